// Image files through OpenImageIO.
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string_view>

#include "imageio/image_file.h"
#include "imageio/pending_file.h"

namespace prismora::imageio {
namespace {

namespace fs = std::filesystem;

std::string Quote(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

// OpenImageIO's messages, on one line.
std::string Tidy(std::string message) {
  for (char& c : message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!message.empty() && message.back() == ' ') message.pop_back();
  return message.empty() ? std::string("the file is damaged or cut short") : message;
}

Depth DepthOfType(OIIO::TypeDesc type) {
  switch (type.basetype) {
    case OIIO::TypeDesc::UINT8:
    case OIIO::TypeDesc::INT8:
      return Depth::k8;
    case OIIO::TypeDesc::HALF:
    case OIIO::TypeDesc::FLOAT:
    case OIIO::TypeDesc::DOUBLE:
      return Depth::k32;
    default:
      return Depth::k16;
  }
}

// The type in which pixels of channel type T travel to and from files.
template <class T>
OIIO::TypeDesc TransferType() {
  if constexpr (std::is_same_v<T, uint8_t>) {
    return OIIO::TypeDesc::UINT8;
  } else if constexpr (std::is_same_v<T, uint16_t>) {
    return OIIO::TypeDesc::UINT16;
  } else {
    return OIIO::TypeDesc::FLOAT;
  }
}

// Rows per strip when pixels pass between a file and memory: about 1 MiB of
// samples, so the buffer stays small and warm, in multiples of 32 rows (the
// blocks of most compressed EXR files).
int StripRows(int width, std::size_t bytes_per_pixel, int height) {
  constexpr std::size_t kStripBytes = std::size_t{1} << 20;
  const std::size_t row =
      std::max<std::size_t>(1, static_cast<std::size_t>(width) * bytes_per_pixel);
  const std::size_t rows = std::max<std::size_t>(32, kStripBytes / row / 32 * 32);
  return static_cast<int>(std::min(rows, static_cast<std::size_t>(std::max(1, height))));
}

// PNG files are compressed for speed at little cost in size: zlib's
// run-length strategy (matches of the previous byte only) after the "up"
// and "average" row filters at 8 bits, "up" alone at 16. On photographs this
// writes about ten times faster than zlib's default level 6 with libpng's
// adaptive filters, in files no larger (often 5 to 10 % smaller); flat
// synthetic pictures, which the default packs best, come out up to 40 %
// larger.
void SetPngCompression(OIIO::ImageSpec& spec) {
  constexpr int kFilterUp = 32;       // PNG_FILTER_UP
  constexpr int kFilterAverage = 64;  // PNG_FILTER_AVG
  spec.attribute("compression", "rle");
  spec.attribute("png:compressionLevel", 1);
  spec.attribute("png:filter", spec.format == OIIO::TypeDesc::UINT16 ? kFilterUp
                                                                     : kFilterUp | kFilterAverage);
}

// Metadata that describes the picture is carried to outputs; what describes
// how the input file stored it (compression, strips, chunking, packing, the
// reader's own notes) is left for the output's writer to decide. The true bit
// count (10-bit DPX) is carried, but only applied to the same format at the
// same depth.
bool CarriedAttribute(std::string_view name) {
  if (name.starts_with("oiio:")) {
    return name == "oiio:ColorSpace" || name == "oiio:Gamma" || name == "oiio:BitsPerSample";
  }
  for (std::string_view prefix : {"tiff:", "openexr:", "dpx:", "jpeg:", "png:"}) {
    if (name.starts_with(prefix)) return false;
  }
  return name != "compression" && name != "planarconfig";
}

std::vector<Attribute> CarriedAttributes(const OIIO::ImageSpec& spec, bool grey) {
  std::vector<Attribute> kept;
  for (const OIIO::ParamValue& p : spec.extra_attribs) {
    const std::string name = p.name().string();
    const OIIO::TypeDesc type = p.type();
    if (!CarriedAttribute(name) || p.nvalues() != 1) continue;
    if (type.basetype == OIIO::TypeDesc::PTR || type.basetype == OIIO::TypeDesc::UNKNOWN ||
        type.basetype == OIIO::TypeDesc::NONE) {
      continue;
    }
    // A grey file's colour profile does not describe the RGB output.
    if (grey && name == "ICCProfile") continue;
    Attribute a;
    a.name = name;
    a.type = type.c_str();
    if (type.basetype == OIIO::TypeDesc::STRING) {
      const int count = std::max(1, type.arraylen);
      for (int i = 0; i < count; ++i) a.text.push_back(p.get_string_indexed(i));
    } else {
      const auto* bytes = static_cast<const std::byte*>(p.data());
      a.data.assign(bytes, bytes + p.datasize());
    }
    kept.push_back(std::move(a));
  }
  return kept;
}

void ApplyAttributes(const std::vector<Attribute>& attributes, OIIO::ImageSpec& spec) {
  for (const Attribute& a : attributes) {
    const OIIO::TypeDesc type(a.type);
    if (type.basetype == OIIO::TypeDesc::UNKNOWN) continue;
    if (type.basetype == OIIO::TypeDesc::STRING) {
      if (a.text.size() != static_cast<std::size_t>(std::max(1, type.arraylen))) continue;
      std::vector<const char*> strings;
      for (const std::string& s : a.text) strings.push_back(s.c_str());
      spec.attribute(a.name, type, strings.data());
    } else if (a.data.size() == type.size()) {
      spec.attribute(a.name, type, a.data.data());
    }
  }
}

// Where the colour and alpha channels of a supported layout are.
struct Layout {
  int colour[3];  // grey: the same channel three times
  int alpha;      // -1: none
};

Layout ChannelLayout(const OIIO::ImageSpec& spec, const fs::path& path) {
  const int n = spec.nchannels;
  const int alpha = spec.alpha_channel >= 0 && spec.alpha_channel < n ? spec.alpha_channel : -1;
  const bool supported = (alpha < 0 && (n == 1 || n == 3)) || (alpha >= 0 && (n == 2 || n == 4));
  if (!supported) {
    std::string names;
    for (int c = 0; c < n; ++c) {
      if (c < static_cast<int>(spec.channelnames.size())) {
        names += (c == 0 ? "" : ", ") + spec.channelnames[static_cast<std::size_t>(c)];
      }
    }
    throw ImageError(Quote(path) + " has an unsupported channel layout: " + std::to_string(n) +
                     (n == 1 ? " channel" : " channels") +
                     (names.empty() ? std::string() : " (" + names + ")") +
                     "; images must be grey, grey+alpha, RGB or RGBA");
  }
  Layout layout{{0, 0, 0}, alpha};
  int k = 0;
  for (int c = 0; c < n && k < 3; ++c) {
    if (c != alpha) layout.colour[k++] = c;
  }
  if (k == 1) layout.colour[1] = layout.colour[2] = layout.colour[0];
  return layout;
}

// One file sample S to a world channel T. Integer samples come at the
// world's own depth; float samples may be anything.
template <class T, class S>
T WorldChannel(S s) {
  if constexpr (std::is_same_v<S, float>) {
    return FromUnit<T>(s);
  } else if constexpr (std::is_same_v<T, uint16_t>) {
    return WorldFromFile16(s);
  } else {
    return s;
  }
}

// Rows first..first+count of `pixels` from the file samples of those rows.
template <class T, class S>
void FillRows(const S* samples, int channels, const Layout& layout, bool premultiplied,
              const MutableRasterView& pixels, int first, int count) {
  const std::size_t width = static_cast<std::size_t>(pixels.width);
  for (int y = 0; y < count; ++y) {
    const S* src =
        samples + static_cast<std::size_t>(y) * width * static_cast<std::size_t>(channels);
    Argb<T>* dst = pixels.Row<T>(first + y);
    for (std::size_t x = 0; x < width; ++x, src += channels) {
      S c[3] = {src[layout.colour[0]], src[layout.colour[1]], src[layout.colour[2]]};
      if constexpr (std::is_same_v<S, float>) {
        if (premultiplied && layout.alpha >= 0 && src[layout.alpha] != 0.0f) {
          for (S& v : c) v /= src[layout.alpha];
        }
      }
      dst[x].red = WorldChannel<T>(c[0]);
      dst[x].green = WorldChannel<T>(c[1]);
      dst[x].blue = WorldChannel<T>(c[2]);
      dst[x].alpha = layout.alpha >= 0 ? WorldChannel<T>(src[layout.alpha])
                                       : static_cast<T>(ChannelTraits<T>::kWhite);
    }
  }
}

// stderr pointed at the null device for as long as any of these lives.
// Files are read in several threads at once: the first to start silences
// stderr and the last to finish restores it, while the console lock, held
// shared, keeps anyone who writes to stderr waiting.
class QuietStderr {
 public:
  QuietStderr() : lock_(ConsoleLock()) {
    std::lock_guard count_lock(CountMutex());
    if (Count()++ > 0) return;
    std::fflush(stderr);
    Saved() = ::dup(2);
    const int null = ::open("/dev/null", O_WRONLY);
    if (Saved() >= 0 && null >= 0) ::dup2(null, 2);
    if (null >= 0) ::close(null);
  }
  ~QuietStderr() {
    std::lock_guard count_lock(CountMutex());
    if (--Count() > 0) return;
    std::fflush(stderr);
    if (Saved() >= 0) {
      ::dup2(Saved(), 2);
      ::close(Saved());
      Saved() = -1;
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  static std::mutex& CountMutex() {
    static std::mutex mutex;
    return mutex;
  }
  static int& Count() {
    static int count = 0;
    return count;
  }
  static int& Saved() {  // the real stderr while silenced
    static int fd = -1;
    return fd;
  }

  std::shared_lock<std::shared_mutex> lock_;
};

// A PNG file must hold whole chunks up to its end chunk. Checked before
// decoding, because OpenImageIO 2.4 leaks memory when libpng runs out of
// data, and because "cut short" says more than libpng's read error.
void CheckPngComplete(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char header[8] = {};
  static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!file.read(reinterpret_cast<char*>(header), 8) ||
      std::memcmp(header, kSignature, sizeof kSignature) != 0) {
    return;  // not a PNG file: its own reader judges it
  }
  std::error_code ec;
  const auto size = static_cast<uint64_t>(fs::file_size(path, ec));
  uint64_t at = 8;
  while (true) {
    unsigned char chunk[8];
    if (at + 8 > size || !file.seekg(static_cast<std::streamoff>(at)) ||
        !file.read(reinterpret_cast<char*>(chunk), 8)) {
      throw ImageError("cannot read " + Quote(path) + ": the PNG file is cut short");
    }
    const uint64_t length = (uint64_t{chunk[0]} << 24) | (uint64_t{chunk[1]} << 16) |
                            (uint64_t{chunk[2]} << 8) | chunk[3];
    at += 8 + length + 4;  // header, data, CRC
    if (at > size) throw ImageError("cannot read " + Quote(path) + ": the PNG file is cut short");
    if (std::memcmp(chunk + 4, "IEND", 4) == 0) return;
  }
}

std::unique_ptr<OIIO::ImageInput> OpenInput(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) throw ImageError(Quote(path) + " does not exist");
  if (fs::is_directory(status)) throw ImageError(Quote(path) + " is a folder, not an image");
  // A pipe would block the reader until someone writes to it, and a device
  // may never end.
  if (!fs::is_regular_file(status)) throw ImageError(Quote(path) + " is not a regular file");
  if (fs::file_size(path, ec) == 0 && !ec) {
    throw ImageError("cannot read " + Quote(path) + ": the file is empty");
  }
  CheckPngComplete(path);
  OIIO::ImageSpec config;
  // Straight colour where the file stores it so, instead of premultiplying.
  config.attribute("oiio:UnassociatedAlpha", 1);
  std::unique_ptr<OIIO::ImageInput> in;
  {
    QuietStderr quiet;
    in = OIIO::ImageInput::open(path.string(), &config);
  }
  if (!in) throw ImageError("cannot read " + Quote(path) + ": " + Tidy(OIIO::geterror()));
  const OIIO::ImageSpec& spec = in->spec();
  if (spec.width <= 0 || spec.height <= 0 || spec.depth != 1 || spec.deep) {
    throw ImageError(Quote(path) + " is not a flat 2-D image (" + std::to_string(spec.width) +
                     "x" + std::to_string(spec.height) + "x" + std::to_string(spec.depth) +
                     (spec.deep ? ", deep" : "") + ")");
  }
  return in;
}

// A header may declare any size. The memory a read of `spec` needs (the
// pixels, and the samples they are decoded from when these are held whole:
// `sample_bytes` a channel) is checked against the machine's before anything
// is allocated, so a damaged header is refused with its size, not met with
// an allocation that fails late or, where the system overcommits, succeeds
// and is then touched.
void CheckReadFits(const fs::path& path, const OIIO::ImageSpec& spec, Depth world_depth,
                   int sample_bytes) {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return;  // unknown: the allocation decides
  const double memory = static_cast<double>(pages) * static_cast<double>(page_size);
  const double need = static_cast<double>(spec.width) * static_cast<double>(spec.height) *
                      (BytesPerPixel(world_depth) + spec.nchannels * sample_bytes);
  if (need <= memory) return;
  constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
  throw ImageError("cannot read " + Quote(path) + ": its " + std::to_string(spec.width) + "x" +
                   std::to_string(spec.height) + " pixels need " +
                   std::to_string(static_cast<uint64_t>(std::ceil(need / kGiB))) +
                   " GiB of memory, more than this machine has (" +
                   std::to_string(static_cast<uint64_t>(memory / kGiB)) + " GiB)");
}

}  // namespace

bool HaveImageFiles() { return true; }

std::shared_mutex& ConsoleLock() {
  static std::shared_mutex lock;
  return lock;
}

void SetFileThreads(int threads) {
  const int n = std::max(1, threads);
  OIIO::attribute("threads", n);
  OIIO::attribute("exr_threads", n);
}

ImageSize ReadImageSize(const fs::path& path) {
  auto in = OpenInput(path);
  return {in->spec().width, in->spec().height};
}

ImageMetadata ReadImage(const fs::path& path, std::optional<Depth> depth,
                        const PixelDestination& destination) {
  auto in = OpenInput(path);
  const OIIO::ImageSpec& spec = in->spec();
  const Layout layout = ChannelLayout(spec, path);

  ImageMetadata meta;
  meta.format = in->format_name();
  meta.pixel_type = spec.format.c_str();
  meta.file_depth = DepthOfType(spec.format);
  meta.channels = spec.nchannels;
  meta.has_alpha = layout.alpha >= 0;
  meta.associated_alpha =
      meta.has_alpha && spec.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0;
  meta.attributes = CarriedAttributes(spec, spec.nchannels <= 2);
  meta.x = spec.x;
  meta.y = spec.y;
  meta.full_x = spec.full_x;
  meta.full_y = spec.full_y;
  meta.full_width = spec.full_width;
  meta.full_height = spec.full_height;

  const Depth world_depth = depth.value_or(meta.file_depth);
  // Tiled files are decoded whole, scanline files a small strip at a time.
  CheckReadFits(path, spec, world_depth,
                spec.tile_width <= 0      ? 0
                : meta.associated_alpha ? 4
                                          : BytesPerPixel(world_depth) / 4);
  try {
    const MutableRasterView pixels = destination(spec.width, spec.height, world_depth);
    if (pixels.width != spec.width || pixels.height != spec.height ||
        pixels.depth != world_depth) {
      throw std::logic_error("ReadImage: the destination does not fit the image");
    }
    VisitDepth(world_depth, [&](auto t) {
      using T = typename decltype(t)::type;
      // Premultiplied colour is divided in float, before any rounding.
      auto read = [&](auto sample_tag) {
        using S = typename decltype(sample_tag)::type;
        // Scanline files are decoded a strip at a time into a small buffer
        // that stays in cache; tiled ones (which take no scanline reads)
        // whole.
        const int strip = spec.tile_width > 0
                              ? spec.height
                              : StripRows(spec.width, spec.nchannels * sizeof(S), spec.height);
        std::vector<S> samples(static_cast<std::size_t>(spec.width) *
                               static_cast<std::size_t>(strip) *
                               static_cast<std::size_t>(spec.nchannels));
        QuietStderr quiet;
        for (int first = 0; first < spec.height; first += strip) {
          const int count = std::min(strip, spec.height - first);
          const bool ok =
              spec.tile_width > 0
                  ? in->read_image(0, 0, 0, spec.nchannels, TransferType<S>(), samples.data())
                  : in->read_scanlines(0, 0, spec.y + first, spec.y + first + count, 0, 0,
                                       spec.nchannels, TransferType<S>(), samples.data());
          // Some readers (JPEG) fill in what they could not decode and only
          // leave a message: the image is damaged all the same.
          const std::string trouble = in->geterror();
          if (!ok || !trouble.empty()) {
            throw ImageError("cannot read " + Quote(path) + ": " + Tidy(trouble));
          }
          FillRows<T>(samples.data(), spec.nchannels, layout, meta.associated_alpha, pixels,
                      first, count);
        }
      };
      if (meta.associated_alpha) {
        read(std::type_identity<float>{});
      } else {
        read(std::type_identity<T>{});
      }
    });
  } catch (const std::bad_alloc&) {
    throw ImageError("not enough memory to read " + Quote(path) + " (" +
                     std::to_string(spec.width) + "x" + std::to_string(spec.height) + ")");
  }
  return meta;
}

Image ReadImage(const fs::path& path, std::optional<Depth> depth) {
  Image image;
  image.metadata = ReadImage(path, depth, [&](int width, int height, Depth d) {
    image.raster = Raster(width, height, d);
    return image.raster.view();
  });
  return image;
}

namespace {

// OpenImageIO's PNM writer stores 8 bits per channel whatever it is given
// (told 16 bits, it writes garbage), so 16-bit pixels would lose half their
// bits without a word.
void CheckWriterDepth(const fs::path& path, const OIIO::ImageOutput& out, Depth depth) {
  if (depth == Depth::k16 && std::string_view(out.format_name()) == "pnm") {
    throw ImageError("cannot write 16-bit pixels to " + Quote(path) +
                     ": PNM files are written with 8 bits per channel here (write PNG, TIFF "
                     "or EXR instead, or render at 8 bits)");
  }
}

}  // namespace

void CheckWritableFormat(const fs::path& path, std::optional<Depth> depth) {
  if (path.extension().empty()) {
    throw ImageError(Quote(path) + " has no file extension to choose the image format by");
  }
  const auto out = OIIO::ImageOutput::create(path.string());
  if (!out) {
    (void)OIIO::geterror();
    throw ImageError("no image format is known for the extension '" +
                     path.extension().string() + "' of " + Quote(path));
  }
  if (depth) CheckWriterDepth(path, *out, *depth);
}

namespace {

// One world channel T to the sample written to the file.
template <class T>
auto FileSample(T v) {
  if constexpr (std::is_same_v<T, uint16_t>) {
    return FileFromWorld16(v);
  } else {
    return v;
  }
}

// The file samples of rows first..first+count of `pixels`.
template <class T, class S>
void FileRows(const RasterView& pixels, int first, int count, int channels, bool premultiply,
              S* dst) {
  for (int y = first; y < first + count; ++y) {
    const Argb<T>* src = pixels.Row<T>(y);
    for (int x = 0; x < pixels.width; ++x, dst += channels) {
      const Argb<T>& p = src[x];
      if constexpr (std::is_same_v<S, float>) {
        const float a = ToUnit(p.alpha);
        const float k = premultiply ? a : 1.0f;
        dst[0] = ToUnit(p.red) * k;
        dst[1] = ToUnit(p.green) * k;
        dst[2] = ToUnit(p.blue) * k;
        if (channels == 4) dst[3] = a;
      } else {
        dst[0] = FileSample(p.red);
        dst[1] = FileSample(p.green);
        dst[2] = FileSample(p.blue);
        if (channels == 4) dst[3] = FileSample(p.alpha);
      }
    }
  }
}

}  // namespace

namespace {

// OpenImageIO's writers reach the file only through this, so that every
// write is one of the pending file's checked ones. A failed write is told to
// the writer as a success: writers do not all handle failures well (one may
// end the program), and the pending file keeps the failure for the end.
class CheckedOutput final : public OIIO::Filesystem::IOProxy {
 public:
  explicit CheckedOutput(PendingFile& file) : IOProxy(file.path().string(), Write), file_(file) {}
  using IOProxy::read;
  using IOProxy::seek;
  using IOProxy::write;
  const char* proxytype() const override { return "checked"; }
  void close() override {}  // the pending file closes itself
  bool seek(int64_t offset) override {
    if (offset < 0) return false;
    m_pos = offset;
    return true;
  }
  size_t write(const void* data, size_t size) override {
    pwrite(data, size, m_pos);
    m_pos += static_cast<int64_t>(size);
    return size;
  }
  size_t pwrite(const void* data, size_t size, int64_t offset) override {
    file_.WriteAt(data, size, static_cast<uint64_t>(offset));
    return size;
  }
  size_t read(void* data, size_t size) override {
    const size_t n = pread(data, size, m_pos);
    m_pos += static_cast<int64_t>(n);
    return n;
  }
  size_t pread(void* data, size_t size, int64_t offset) override {
    return file_.ReadAt(data, size, static_cast<uint64_t>(offset));
  }
  size_t size() const override { return static_cast<size_t>(file_.size()); }
  void flush() const override {}

 private:
  PendingFile& file_;
};

// Writers seen to work through a proxy with OpenImageIO 2.4. Others write a
// file by name (see MemoryFile); the TIFF writer, for one, takes a proxy but
// cannot read back through it the directory it rewrites, and makes broken
// files.
bool WritesThroughProxy(OIIO::ImageOutput& out) {
  static constexpr std::string_view kFormats[] = {"png",   "jpeg", "openexr", "dpx", "targa",
                                                   "bmp",   "pnm",  "hdr",     "webp"};
  return out.supports("ioproxy") &&
         std::find(std::begin(kFormats), std::end(kFormats), out.format_name()) !=
             std::end(kFormats);
}

// For writers that write files by name: a file in memory, named through
// /proc, that is copied into the pending file once whole.
class MemoryFile {
 public:
  explicit MemoryFile(const fs::path& target) {
#ifdef __linux__
    fd_ = ::memfd_create("prismora-output", MFD_CLOEXEC);
#endif
    if (fd_ < 0) {
      throw ImageError("cannot write " + Quote(target) + ": its format's writer cannot be "
                       "checked on this system");
    }
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::string name() const { return "/proc/self/fd/" + std::to_string(fd_); }
  // The writer's own writes go unchecked; in memory only a limit on file
  // sizes (ulimit -f) can cut them short. Throws when it may have.
  void CheckLimit(const PendingFile& file) const {
    struct stat st {};
    struct rlimit limit {};
    if (::fstat(fd_, &st) == 0 && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
        limit.rlim_cur != RLIM_INFINITY && static_cast<rlim_t>(st.st_size) >= limit.rlim_cur) {
      throw ImageError("cannot write " + Quote(file.target()) + ": " + ErrorText(EFBIG));
    }
  }
  void CopyTo(PendingFile& file) const {
    auto fail = [&](int error) {
      throw ImageError("cannot write " + Quote(file.target()) + ": " + ErrorText(error));
    };
    CheckLimit(file);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) fail(errno);
    std::vector<char> buffer(std::size_t{1} << 20);
    uint64_t at = 0;
    while (at < static_cast<uint64_t>(st.st_size)) {
      const ssize_t n = ::pread(fd_, buffer.data(), buffer.size(), static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) fail(n < 0 ? errno : EIO);
      if (!file.WriteAt(buffer.data(), static_cast<std::size_t>(n), at)) return;
      at += static_cast<uint64_t>(n);
    }
  }

 private:
  int fd_ = -1;
};

}  // namespace

void WriteImage(const fs::path& path, const Raster& raster, const ImageMetadata& metadata) {
  WriteImage(path, raster.view(), metadata);
}

void WriteImage(const fs::path& path, const RasterView& raster, const ImageMetadata& metadata) {
  PendingFile file(path);
  WriteImage(file, raster, metadata);
  file.Commit();
}

void WriteImage(PendingFile& file, const RasterView& raster, const ImageMetadata& metadata,
                const RowsWanted& wait_for_rows) {
  const fs::path& path = file.target();
  // Outlives the writer, which may still write while it closes.
  CheckedOutput checked(file);
  auto out = OIIO::ImageOutput::create(path.string());
  if (!out) {
    (void)OIIO::geterror();
    CheckWritableFormat(path);  // throws the message
    throw ImageError("cannot write " + Quote(path));
  }
  CheckWriterDepth(path, *out, raster.depth);
  const std::string writer = out->format_name();
  const bool same_format = writer == metadata.format;
  const bool alpha = metadata.has_alpha && out->supports("alpha");
  const int channels = alpha ? 4 : 3;

  const bool same_depth = raster.depth == metadata.file_depth && !metadata.pixel_type.empty();
  const OIIO::TypeDesc file_type =
      same_depth ? OIIO::TypeDesc(metadata.pixel_type)
                 : VisitDepth(raster.depth, [](auto t) {
                     return TransferType<typename decltype(t)::type>();
                   });
  OIIO::ImageSpec spec(raster.width, raster.height, channels, file_type);
  spec.x = metadata.x;
  spec.y = metadata.y;
  if (metadata.full_width > 0 && metadata.full_height > 0) {
    spec.full_x = metadata.full_x;
    spec.full_y = metadata.full_y;
    spec.full_width = metadata.full_width;
    spec.full_height = metadata.full_height;
  }
  for (Attribute a : metadata.attributes) {
    // The file's true bit count only holds for its own format and depth.
    if (a.name == "oiio:BitsPerSample" && !(same_format && same_depth)) continue;
    ApplyAttributes({a}, spec);
  }
  // OpenEXR stores colour premultiplied by convention, as does a format the
  // input came in premultiplied; the others take straight colour as it is.
  const bool premultiply =
      alpha && (writer == "openexr" || (same_format && metadata.associated_alpha));
  if (alpha && !premultiply) spec.attribute("oiio:UnassociatedAlpha", 1);
  if (writer == "png") SetPngCompression(spec);

  // A strip at a time, as on reading; the file is opened once the first
  // strip is there, so rows that never come leave no file begun.
  const std::size_t sample_bytes =
      premultiply ? sizeof(float) : VisitDepth(raster.depth, [](auto t) {
        return sizeof(typename decltype(t)::type);
      });
  const int strip = StripRows(raster.width, channels * sample_bytes, raster.height);
  if (wait_for_rows && !wait_for_rows(std::min(strip, raster.height))) return;
  // Rows given up once the file is begun are written as they stand, so that
  // the file still closes cleanly for its owner to discard.
  bool waiting = static_cast<bool>(wait_for_rows);

  // The writer is given the temporary's name, so that even a writer that
  // opened it itself would never touch the target.
  std::optional<MemoryFile> memory;
  std::string name = file.path().string();
  if (WritesThroughProxy(*out)) {
    out->set_ioproxy(&checked);
  } else {
    memory.emplace(path);
    name = memory->name();
  }
  // A failed write is told in our words; the writer's own message otherwise.
  auto fail = [&](const std::string& writer_message) {
    if (memory) memory->CheckLimit(file);
    const bool silent = writer_message.find_first_not_of(" \r\n") == std::string::npos;
    throw ImageError("cannot write " + Quote(path) + ": " +
                     (file.failed() ? file.failure()
                      : silent      ? "its format's writer failed without saying why"
                                    : Tidy(writer_message)));
  };
  if (!out->open(name, spec)) fail(out->geterror());
  bool ok = true;
  try {
    VisitDepth(raster.depth, [&](auto t) {
      using T = typename decltype(t)::type;
      auto write = [&](auto sample_tag) {
        using S = typename decltype(sample_tag)::type;
        std::vector<S> samples(static_cast<std::size_t>(raster.width) *
                               static_cast<std::size_t>(strip) *
                               static_cast<std::size_t>(channels));
        for (int first = 0; ok && !file.failed() && first < raster.height; first += strip) {
          const int count = std::min(strip, raster.height - first);
          if (waiting) waiting = wait_for_rows(first + count);
          FileRows<T>(raster, first, count, channels, premultiply, samples.data());
          ok = out->write_scanlines(spec.y + first, spec.y + first + count, 0, TransferType<S>(),
                                    samples.data());
        }
      };
      if (premultiply) {
        write(std::type_identity<float>{});
      } else {
        write(std::type_identity<T>{});
      }
    });
  } catch (const std::bad_alloc&) {
    out->close();
    throw ImageError("not enough memory to write " + Quote(path));
  }
  if (!ok || file.failed()) {
    const std::string message = out->geterror();
    out->close();
    fail(message);
  }
  if (!out->close()) fail(out->geterror());
  if (memory) memory->CopyTo(file);
  if (file.failed()) fail({});
}

}  // namespace prismora::imageio
