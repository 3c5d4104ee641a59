#include "minihost/suites/worlds.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <new>
#include <unordered_map>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace minihost {
namespace {

constexpr std::size_t kAlignment = 16;
// Worlds of some megabytes start on 2 MiB boundaries and, on Linux, ask for
// transparent huge pages: first touching a 4K frame's world then costs a few
// dozen page faults instead of thousands (each dear on virtual machines).
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kHugeWorld = 4 * kHugePage;
// Pixels of a world the plug-in did not ask to have cleared: never zero, so
// a read of what nobody wrote shows.
constexpr unsigned char kUnclearedFill = 0xA5;

// Live worlds by pixel memory, so a record the plug-in copied still names
// its world.
std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}
std::unordered_map<const void*, World*>& Registry() {
  static std::unordered_map<const void*, World*> registry;
  return registry;
}

struct WorldServiceOf {
  static WorldService* Current(Host*& host) {
    host = Host::Current();
    return host != nullptr ? host->FindService<WorldService>() : nullptr;
  }
};

}  // namespace

std::size_t PixelBytes(PF_PixelFormat format) {
  switch (format) {
    case PF_PixelFormat_ARGB32: return sizeof(PF_Pixel8);
    case PF_PixelFormat_ARGB64: return sizeof(PF_Pixel16);
    case PF_PixelFormat_ARGB128: return sizeof(PF_PixelFloat);
    default: return 0;
  }
}

std::string FormatName(PF_PixelFormat format) {
  switch (format) {
    case PF_PixelFormat_ARGB32: return "argb";
    case PF_PixelFormat_ARGB64: return "ae16";
    case PF_PixelFormat_ARGB128: return "ae32";
    default: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(format));
      return buf;
    }
  }
}

void World::Free::operator()(unsigned char* p) const {
  ::operator delete(p, std::align_val_t{alignment});
}

World::World(A_long width, A_long height, PF_PixelFormat format, A_long row_padding)
    : format_(format), row_padding_(row_padding), bytes_(nullptr, Free{kAlignment}) {
  const std::size_t pixel = PixelBytes(format);
  if (pixel == 0) throw HostError("a world of unknown pixel format " + FormatName(format));
  if (width < 0 || height < 0 || row_padding < 0) {
    throw HostError("a world of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels with row padding " + std::to_string(row_padding));
  }
  const int64_t row_bytes = int64_t{width} * static_cast<int64_t>(pixel) + row_padding;
  if (row_bytes > INT32_MAX) throw HostError("a world whose rows do not fit in 32 bits");
  const std::size_t size = static_cast<std::size_t>(row_bytes) * static_cast<std::size_t>(height);
  // At least one byte, so that every world has pixel memory of its own.
  const std::size_t alignment = size >= kHugeWorld ? kHugePage : kAlignment;
  auto* bytes = static_cast<unsigned char*>(
      ::operator new(size == 0 ? 1 : size, std::align_val_t{alignment}, std::nothrow));
  if (bytes == nullptr) throw std::bad_alloc();
  bytes_.get_deleter().alignment = alignment;
  bytes_.reset(bytes);
#ifdef __linux__
  if (alignment == kHugePage) ::madvise(bytes, size / kHugePage * kHugePage, MADV_HUGEPAGE);
#endif

  world_.world_flags = PF_WorldFlag_WRITEABLE;
  if (format == PF_PixelFormat_ARGB64) world_.world_flags |= PF_WorldFlag_DEEP;
  world_.data = reinterpret_cast<PF_PixelPtr>(bytes);
  world_.rowbytes = static_cast<A_long>(row_bytes);
  world_.width = width;
  world_.height = height;
  world_.extent_hint = PF_Rect{0, 0, width, height};
  world_.pix_aspect_ratio = PF_RationalScale{1, 1};
  for (A_long y = 0; y < height; ++y) {
    std::memset(row(y), 0, static_cast<std::size_t>(width) * pixel);
    std::memset(row(y) + static_cast<std::ptrdiff_t>(width) * static_cast<std::ptrdiff_t>(pixel),
                kPaddingFill, static_cast<std::size_t>(row_padding));
  }
  std::lock_guard lock(RegistryMutex());
  Registry()[bytes] = this;
}

World::~World() {
  std::lock_guard lock(RegistryMutex());
  Registry().erase(bytes_.get());
}

World* World::Find(const void* data) {
  std::lock_guard lock(RegistryMutex());
  auto it = Registry().find(data);
  return it == Registry().end() ? nullptr : it->second;
}

void World::CheckPixel(std::size_t size, A_long x, A_long y) const {
  if (size != pixel_bytes() || x < 0 || y < 0 || x >= width() || y >= height()) {
    throw HostError("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") of " +
                    std::to_string(size) + " bytes asked of a " + std::to_string(width()) +
                    " x " + std::to_string(height()) + " " + FormatName(format_) + " world");
  }
}

void World::FillPixels(unsigned char byte) {
  for (A_long y = 0; y < height(); ++y) {
    std::memset(row(y), byte, static_cast<std::size_t>(width()) * pixel_bytes());
  }
}

bool World::PaddingIntact() const {
  const std::size_t used = static_cast<std::size_t>(width()) * pixel_bytes();
  for (A_long y = 0; y < height(); ++y) {
    for (A_long i = 0; i < row_padding_; ++i) {
      if (row(y)[used + static_cast<std::size_t>(i)] != kPaddingFill) return false;
    }
  }
  return true;
}

bool World::SamePixels(const World& other) const {
  if (format_ != other.format_ || width() != other.width() || height() != other.height()) {
    return false;
  }
  const std::size_t used = static_cast<std::size_t>(width()) * pixel_bytes();
  for (A_long y = 0; y < height(); ++y) {
    if (std::memcmp(row(y), other.row(y), used) != 0) return false;
  }
  return true;
}

// --- The suites ------------------------------------------------------------------

struct WorldCalls {
  static PF_Err Create(const char* call, A_long width, A_long height, PF_PixelFormat format,
                       bool clear, PF_EffectWorld* world) {
    Host* host = nullptr;
    WorldService* service = WorldServiceOf::Current(host);
    if (service == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    std::string detail(1, '(');
    detail.append(std::to_string(width)).append(1, 'x').append(std::to_string(height));
    detail.append(1, ',').append(FormatName(format)).append(1, ')');
    if (auto failure = host->faults().Enter(call, {}, detail)) {
      if (failure->form == FailureForm::kNull && world != nullptr) {
        *world = PF_EffectWorld{};
        return PF_Err_NONE;
      }
      return failure->code;
    }
    if (world == nullptr || width < 0 || height < 0 || PixelBytes(format) == 0) {
      host->Problem(std::string(call) + " asked for a " + std::to_string(width) + " x " +
                    std::to_string(height) + " world of format " + FormatName(format) +
                    (world == nullptr ? " without a record" : ""));
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    std::unique_ptr<World> created;
    try {
      created = std::make_unique<World>(width, height, format, service->row_padding_);
    } catch (const std::exception&) {
      return PF_Err_OUT_OF_MEMORY;
    }
    if (!clear) created->FillPixels(kUnclearedFill);
    *world = created->effect_world();
    service->worlds_.emplace(world->data, std::move(created));
    ++service->created_;
    return PF_Err_NONE;
  }

  static PF_Err Dispose(const char* call, PF_EffectWorld* world) {
    Host* host = nullptr;
    WorldService* service = WorldServiceOf::Current(host);
    if (service == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    auto failure = host->faults().Enter(call);
    auto it = world != nullptr ? service->worlds_.find(world->data) : service->worlds_.end();
    if (it == service->worlds_.end()) {
      host->Problem(std::string(call) + " of a world the plug-in did not create");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!it->second->PaddingIntact()) {
      host->Problem(std::string(call) + " of a world written beyond its rows' width");
    }
    // Given back even when the host then reports an error.
    service->worlds_.erase(it);
    ++service->disposed_;
    *world = PF_EffectWorld{};
    return failure ? failure->code : PF_Err_NONE;
  }

  static PF_Err NewWorld1(PF_ProgPtr, A_long width, A_long height, PF_NewWorldFlags flags,
                          PF_EffectWorld* world) {
    const PF_PixelFormat format = (flags & PF_NewWorldFlag_DEEP_PIXELS) != 0
                                      ? PF_PixelFormat_ARGB64
                                      : PF_PixelFormat_ARGB32;
    return Create("new_world", width, height, format,
                  (flags & PF_NewWorldFlag_CLEAR_PIXELS) != 0, world);
  }
  static PF_Err DisposeWorld1(PF_ProgPtr, PF_EffectWorld* world) {
    return Dispose("dispose_world", world);
  }
  static PF_Err NewWorld2(PF_ProgPtr, A_long width, A_long height, PF_Boolean clear,
                          PF_PixelFormat format, PF_EffectWorld* world) {
    return Create("PF_NewWorld", width, height, format, clear != 0, world);
  }
  static PF_Err DisposeWorld2(PF_ProgPtr, PF_EffectWorld* world) {
    return Dispose("PF_DisposeWorld", world);
  }

  static PF_Err GetPixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format) {
    Host* host = Host::Current();
    if (host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const World* known = world != nullptr ? World::Find(world->data) : nullptr;
    if (auto failure = host->faults().Enter("PF_GetPixelFormat")) {
      if (failure->form == FailureForm::kErrorWithResult && known != nullptr &&
          format != nullptr) {
        *format = known->format();
      }
      return failure->code;
    }
    if (known == nullptr || format == nullptr) {
      host->Problem("PF_GetPixelFormat of a world the host does not know");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    *format = known->format();
    return PF_Err_NONE;
  }

  // Rectangles of the same size inside both worlds.
  static PF_Err Copy(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_rect,
                     PF_Rect* dst_rect) {
    Host* host = Host::Current();
    if (host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (auto failure = host->faults().Enter("copy")) return failure->code;
    const World* from = src != nullptr ? World::Find(src->data) : nullptr;
    World* to = dst != nullptr ? World::Find(dst->data) : nullptr;
    if (from == nullptr || to == nullptr) {
      host->Problem("copy between worlds the host does not know");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    // Without rectangles: the area both worlds cover, from their origins.
    const PF_Rect common{0, 0, std::min(from->width(), to->width()),
                         std::min(from->height(), to->height())};
    const PF_Rect s = src_rect != nullptr ? *src_rect : common;
    const PF_Rect d = dst_rect != nullptr ? *dst_rect : common;
    auto inside = [](const PF_Rect& r, const World& w) {
      return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
             r.right <= w.width() && r.bottom <= w.height();
    };
    if (from->format() != to->format()) {
      host->Problem("copy from a " + FormatName(from->format()) + " world to a " +
                    FormatName(to->format()) + " world");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!inside(s, *from) || !inside(d, *to) || s.right - s.left != d.right - d.left ||
        s.bottom - s.top != d.bottom - d.top) {
      host->Problem("copy with areas that do not match or lie outside the worlds");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const std::size_t pixel = from->pixel_bytes();
    const std::size_t bytes = static_cast<std::size_t>(s.right - s.left) * pixel;
    for (A_long y = 0; y < s.bottom - s.top; ++y) {
      std::memmove(to->row(d.top + y) + static_cast<std::size_t>(d.left) * pixel,
                   from->row(s.top + y) + static_cast<std::size_t>(s.left) * pixel, bytes);
    }
    return PF_Err_NONE;
  }
};

namespace {
constexpr PF_WorldSuite1 kWorldSuite1 = {WorldCalls::NewWorld1, WorldCalls::DisposeWorld1};
constexpr PF_WorldSuite2 kWorldSuite2 = {WorldCalls::NewWorld2, WorldCalls::DisposeWorld2,
                                         WorldCalls::GetPixelFormat};
}  // namespace

WorldService& WorldService::Install(Host& host) {
  if (WorldService* existing = host.FindService<WorldService>()) return *existing;
  auto& service = host.AddService(std::make_unique<WorldService>(host));
  host.suites().Register(kPFWorldSuite, kPFWorldSuiteVersion1, &kWorldSuite1);
  host.suites().Register(kPFWorldSuite, kPFWorldSuiteVersion2, &kWorldSuite2);
  host.util_callbacks().copy = WorldCalls::Copy;
  return service;
}

World* WorldService::Find(const PF_EffectWorld* world) const {
  if (world == nullptr) return nullptr;
  auto it = worlds_.find(world->data);
  return it == worlds_.end() ? nullptr : it->second.get();
}

void WorldService::Audit(std::vector<std::string>& problems) {
  for (const auto& [data, world] : worlds_) {
    problems.push_back("world of " + std::to_string(world->width()) + " x " +
                       std::to_string(world->height()) + " " + FormatName(world->format()) +
                       " pixels not disposed" +
                       (world->PaddingIntact() ? "" : ", and written beyond its rows' width"));
  }
  // Freed by the host, so each is reported once.
  worlds_.clear();
}

}  // namespace minihost
