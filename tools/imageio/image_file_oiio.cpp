// Image files through OpenImageIO.
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string_view>
#include <utility>

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

// What --compression takes, per format, in the format's own terms: methods,
// some with a level (":9"), or a bare number.
struct Levels {
  std::string_view method;
  int low = 1, high = 0;  // high 0: any number from low
};
struct CompressionNames {
  std::string_view format;  // OpenImageIO's name
  std::string_view shown;   // for messages
  std::vector<std::string_view> methods;
  std::vector<Levels> levels;             // the methods that take a level
  int number_low = -1, number_high = -1;  // a bare number instead of a method
  std::string_view help;
};

const std::vector<CompressionNames>& Compressions() {
  static const std::vector<CompressionNames> kNames = {
      {"openexr", "OpenEXR",
       {"none", "rle", "zips", "zip", "piz", "pxr24", "b44", "b44a", "dwaa", "dwab"},
       {{"zip", 1, 9}, {"zips", 1, 9}, {"dwaa", 1, 0}, {"dwab", 1, 0}}, -1, -1,
       "none, rle, zips, zip, piz, pxr24, b44, b44a, dwaa or dwab (zip and zips may add a "
       "level :1 to :9, dwaa and dwab a level such as :45)"},
      {"tiff", "TIFF", {"none", "lzw", "zip", "packbits"}, {{"zip", 1, 9}}, -1, -1,
       "none, lzw, zip or packbits (zip may add a level :1 to :9)"},
      {"png", "PNG", {}, {}, 0, 9, "a zlib level from 0 (none) to 9 (smallest)"},
      {"jpeg", "JPEG", {}, {}, 1, 100, "a quality from 1 to 100"},
  };
  return kNames;
}

// A whole number in [low, high] (high 0: any from low), or nothing.
std::optional<int> WholeNumber(std::string_view text, int low, int high) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < low || (high > 0 && n > high)) return std::nullopt;
  return n;
}

bool TakesCompression(const CompressionNames& names, std::string_view text) {
  if (names.number_low >= 0) {
    return WholeNumber(text, names.number_low, names.number_high).has_value();
  }
  const std::size_t colon = text.find(':');
  const std::string_view method = text.substr(0, colon);
  const auto has = [](const std::vector<std::string_view>& list, std::string_view m) {
    return std::find(list.begin(), list.end(), m) != list.end();
  };
  if (!has(names.methods, method)) return false;
  if (colon == std::string_view::npos) return true;
  for (const Levels& levels : names.levels) {
    if (levels.method == method) {
      return WholeNumber(text.substr(colon + 1), levels.low, levels.high).has_value();
    }
  }
  return false;
}

// Why a writer of OpenImageIO's format `writer` cannot take `compression`;
// empty when it can.
std::string CompressionProblem(std::string_view writer, const std::string& compression) {
  std::string known;
  for (const CompressionNames& names : Compressions()) {
    if (names.format == writer) {
      if (TakesCompression(names, compression)) return {};
      return "--compression '" + compression + "' is not one " + std::string(names.shown) +
             " files take: they take " + std::string(names.help);
    }
    known += (known.empty() ? "" : ", ") + std::string(names.shown);
  }
  return "--compression is not available for " + std::string(writer) +
         " files here, only for " + known + " files";
}


// Metadata that describes the picture is carried to outputs; what describes
// how the input file stored it (compression, strips, chunking, packing, the
// reader's own notes) is left for the output's writer to decide. The true bit
// count (10-bit DPX) is carried, but only applied to the same format at the
// same depth. The orientation is applied to the pixels on reading, so the
// output is upright without it.
bool CarriedAttribute(std::string_view name) {
  if (name.starts_with("oiio:")) {
    return name == "oiio:ColorSpace" || name == "oiio:Gamma" || name == "oiio:BitsPerSample";
  }
  for (std::string_view prefix : {"tiff:", "openexr:", "dpx:", "jpeg:", "png:"}) {
    if (name.starts_with(prefix)) return false;
  }
  return name != "compression" && name != "planarconfig" && name != "Orientation";
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

// How the samples of a file become pixels.
struct Conversion {
  Layout layout;
  bool divide = false;        // colour premultiplied: divided where alpha is above 0
  bool ignore_alpha = false;  // opaque, the colour as stored
};

// Where samples land: `count` rows of `width` samples, each row `stride`
// pixels of the samples from the last, `skip` pixels into it, to rows from
// `y` of `pixels`, from column `x`.
struct Placement {
  int x = 0, y = 0, width = 0, count = 0;
  std::size_t stride = 0, skip = 0;
};

template <class T, class S>
void FillRows(const S* samples, int channels, const Conversion& conversion,
              const MutableRasterView& pixels, const Placement& at) {
  const Layout& layout = conversion.layout;
  const bool alpha = layout.alpha >= 0 && !conversion.ignore_alpha;
  const auto n = static_cast<std::size_t>(channels);
  for (int y = 0; y < at.count; ++y) {
    const S* src = samples + (static_cast<std::size_t>(y) * at.stride + at.skip) * n;
    Argb<T>* dst = pixels.Row<T>(at.y + y) + at.x;
    for (int x = 0; x < at.width; ++x, src += n) {
      S c[3] = {src[layout.colour[0]], src[layout.colour[1]], src[layout.colour[2]]};
      if constexpr (std::is_same_v<S, float>) {
        if (alpha && conversion.divide && src[layout.alpha] > 0.0f) {
          for (S& v : c) v /= src[layout.alpha];
        }
      }
      dst[x].red = WorldChannel<T>(c[0]);
      dst[x].green = WorldChannel<T>(c[1]);
      dst[x].blue = WorldChannel<T>(c[2]);
      dst[x].alpha = alpha ? WorldChannel<T>(src[layout.alpha])
                           : static_cast<T>(ChannelTraits<T>::kWhite);
    }
  }
}

// EXIF and TIFF orientation (see Reorient).
int OrientationOf(const OIIO::ImageSpec& spec) {
  const int orientation = spec.get_int_attribute("Orientation", 1);
  return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// Resolutions and sizes that name the axes swap with them, and a pixel's
// aspect turns over.
void TransposeAttributes(std::vector<Attribute>& attributes) {
  static constexpr std::pair<std::string_view, std::string_view> kPairs[] = {
      {"XResolution", "YResolution"}, {"Exif:PixelXDimension", "Exif:PixelYDimension"}};
  for (Attribute& a : attributes) {
    if (a.name == "PixelAspectRatio" && a.type == "float" && a.data.size() == sizeof(float)) {
      float aspect = 0;
      std::memcpy(&aspect, a.data.data(), sizeof aspect);
      if (aspect > 0) aspect = 1 / aspect;
      std::memcpy(a.data.data(), &aspect, sizeof aspect);
    }
    for (const auto& [x, y] : kPairs) {
      if (a.name == x) {
        a.name = y;
      } else if (a.name == y) {
        a.name = x;
      }
    }
  }
}

// The picture a file's pixels make, as a host's layer: the display window,
// holding what of the data window lies inside it.
struct Geometry {
  OIIO::ROI picture;     // the display window
  OIIO::ROI stored;      // the part of the data window inside it (may be empty)
  int orientation = 1;
  int width() const { return Transposes(orientation) ? picture.height() : picture.width(); }
  int height() const { return Transposes(orientation) ? picture.width() : picture.height(); }
  bool whole() const { return stored == picture; }
};

Geometry GeometryOf(const OIIO::ImageSpec& spec) {
  Geometry g;
  const OIIO::ROI data(spec.x, spec.x + spec.width, spec.y, spec.y + spec.height);
  g.picture = spec.full_width > 0 && spec.full_height > 0
                  ? OIIO::ROI(spec.full_x, spec.full_x + spec.full_width, spec.full_y,
                              spec.full_y + spec.full_height)
                  : data;
  g.stored = OIIO::roi_intersection(data, g.picture);
  if (g.stored.width() <= 0 || g.stored.height() <= 0) g.stored = OIIO::ROI(0, 0, 0, 0);
  g.orientation = OrientationOf(spec);
  return g;
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

[[noreturn]] void RefuseMovie(const fs::path& path) {
  throw ImageError(Quote(path) + " is a movie: the frames of a sequence are image files "
                   "(give the movie itself as INPUT)");
}

// A file of several images (OpenEXR parts, TIFF pages, GIF frames) would
// lose all but the first without a word: refused, naming them. A Photoshop
// file's first image is its composite, the picture its layers make. The
// seek may leave the reader unfit to read (OpenImageIO 2.4's WebP reader
// then fails every read): the caller opens the file afresh.
void CheckSingleImage(OIIO::ImageInput& in, const fs::path& path) {
  const bool more = std::string_view(in.format_name()) != "psd" && in.seek_subimage(1, 0);
  (void)in.geterror();
  if (!more) return;
  const std::string format = in.format_name();
  const char* kind = format == "openexr" ? "parts" : format == "tiff" ? "pages" : "images";
  constexpr int kNamed = 8;
  std::string list;
  int count = 0;
  // Readers that know the count say it, which spares seeking through the
  // rest (the frames of a long GIF).
  const int known = in.spec().get_int_attribute("oiio:subimages", 0);
  for (; (known <= 0 || count < std::min(known, kNamed)) && in.seek_subimage(count, 0); ++count) {
    if (count >= kNamed) continue;
    const OIIO::ImageSpec& spec = in.spec();
    const std::string name = spec.get_string_attribute("oiio:subimagename");
    if (count > 0) list += ", ";
    if (name.empty()) {
      list += std::to_string(count + 1);
    } else {
      list.append(1, '"').append(name).append(1, '"');
    }
    list.append(" ").append(std::to_string(spec.width)).append("x").append(
        std::to_string(spec.height));
  }
  (void)in.geterror();
  count = std::max(count, known);
  if (count > kNamed) list += " and " + std::to_string(count - kNamed) + " more";
  throw ImageError(Quote(path) + " holds " + std::to_string(count) + " " + kind + " (" + list +
                   "); render takes files of one image: write the one to render to a file "
                   "of its own");
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
  if (IsMovieName(path)) RefuseMovie(path);
  CheckPngComplete(path);
  OIIO::ImageSpec config;
  // Straight colour where the file stores it so, instead of premultiplying.
  config.attribute("oiio:UnassociatedAlpha", 1);
  std::unique_ptr<OIIO::ImageInput> in;
  {
    QuietStderr quiet;
    in = OIIO::ImageInput::open(path.string(), &config);
    // A movie under another name.
    if (in && std::string_view(in->format_name()) == "ffmpeg") RefuseMovie(path);
    if (in) {
      CheckSingleImage(*in, path);
      in = OIIO::ImageInput::open(path.string(), &config);
    }
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

// A header may declare any size. The memory a read needs (the picture's
// pixels, twice when they are turned upright, and the samples they are
// decoded from when these are held whole: `sample_bytes` a channel) is
// checked against the machine's before anything is allocated, so a damaged
// header is refused with its size, not met with an allocation that fails
// late or, where the system overcommits, succeeds and is then touched.
void CheckReadFits(const fs::path& path, const OIIO::ImageSpec& spec, const Geometry& geometry,
                   Depth world_depth, int sample_bytes) {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return;  // unknown: the allocation decides
  const double memory = static_cast<double>(pages) * static_cast<double>(page_size);
  const double picture = static_cast<double>(geometry.picture.width()) *
                         static_cast<double>(geometry.picture.height());
  const double need =
      picture * BytesPerPixel(world_depth) * (geometry.orientation == 1 ? 1 : 2) +
      static_cast<double>(spec.width) * static_cast<double>(spec.height) * spec.nchannels *
          sample_bytes;
  if (need <= memory) return;
  constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
  throw ImageError("cannot read " + Quote(path) + ": its " +
                   std::to_string(geometry.picture.width()) + "x" +
                   std::to_string(geometry.picture.height()) + " pixels need " +
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
  const Geometry geometry = GeometryOf(in->spec());
  return {geometry.width(), geometry.height(), DepthOfType(in->spec().format),
          ChannelLayout(in->spec(), path).alpha >= 0};
}

bool ReadsAsMovie(const fs::path& path) {
  if (IsMovieName(path)) return true;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  // A damaged PNG is no movie, and OpenImageIO's PNG reader leaks on a cut
  // header: the read that follows reports it.
  try {
    CheckPngComplete(path);
  } catch (const ImageError&) {
    return false;
  }
  QuietStderr quiet;
  auto in = OIIO::ImageInput::open(path.string());
  (void)OIIO::geterror();
  return in && std::string_view(in->format_name()) == "ffmpeg";
}

ImageMetadata ReadImage(const fs::path& path, std::optional<Depth> depth,
                        const PixelDestination& destination, InputAlpha alpha) {
  auto in = OpenInput(path);
  const OIIO::ImageSpec& spec = in->spec();
  const Geometry geometry = GeometryOf(spec);

  ImageMetadata meta;
  meta.format = in->format_name();
  meta.pixel_type = spec.format.c_str();
  meta.file_depth = DepthOfType(spec.format);
  meta.channels = spec.nchannels;
  Conversion conversion{ChannelLayout(spec, path)};
  meta.has_alpha = conversion.layout.alpha >= 0;
  meta.associated_alpha =
      meta.has_alpha && spec.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0;
  conversion.divide = meta.has_alpha && (alpha == InputAlpha::kPremultiplied ||
                                         (alpha == InputAlpha::kAsStored && meta.associated_alpha));
  conversion.ignore_alpha = alpha == InputAlpha::kIgnore;
  meta.attributes = CarriedAttributes(spec, spec.nchannels <= 2);
  if (Transposes(geometry.orientation)) TransposeAttributes(meta.attributes);
  meta.full_x = geometry.picture.xbegin;
  meta.full_y = geometry.picture.ybegin;
  meta.cropped = !geometry.whole();
  meta.compression = spec.get_string_attribute("compression");
  const float dwa_level = spec.get_float_attribute("openexr:dwaCompressionLevel", 0.0f);
  if (meta.compression.starts_with("dwa") && dwa_level > 0.0f) {
    meta.compression += ":" + std::to_string(static_cast<int>(std::lround(dwa_level)));
  }

  const Depth world_depth = depth.value_or(meta.file_depth);
  // Tiled files are decoded whole, scanline files a small strip at a time.
  CheckReadFits(path, spec, geometry, world_depth,
                spec.tile_width <= 0 ? 0
                : conversion.divide  ? 4
                                     : BytesPerPixel(world_depth) / 4);
  const OIIO::ROI& stored = geometry.stored;
  try {
    const MutableRasterView pixels = destination(geometry.width(), geometry.height(), world_depth);
    if (pixels.width != geometry.width() || pixels.height != geometry.height() ||
        pixels.depth != world_depth) {
      throw std::logic_error("ReadImage: the destination does not fit the image");
    }
    // A picture to be turned upright is read as stored first.
    Raster sideways;
    MutableRasterView target = pixels;
    if (geometry.orientation != 1) {
      sideways = Raster(geometry.picture.width(), geometry.picture.height(), world_depth);
      target = sideways.view();
    } else if (!geometry.whole()) {
      // Outside the data window the picture is transparent black.
      for (int y = 0; y < target.height; ++y) {
        std::memset(target.data + y * target.row_bytes, 0,
                    static_cast<std::size_t>(target.width) * BytesPerPixel(world_depth));
      }
    }
    VisitDepth(world_depth, [&](auto t) {
      using T = typename decltype(t)::type;
      // Premultiplied colour is divided in float, before any rounding.
      auto read = [&](auto sample_tag) {
        using S = typename decltype(sample_tag)::type;
        if (stored.height() <= 0) return;
        // Scanline files are decoded a strip at a time into a small buffer
        // that stays in cache; tiled ones (which take no scanline reads)
        // whole.
        const bool tiled = spec.tile_width > 0;
        const int strip =
            tiled ? spec.height
                  : StripRows(spec.width, spec.nchannels * sizeof(S), stored.height());
        std::vector<S> samples(static_cast<std::size_t>(spec.width) *
                               static_cast<std::size_t>(strip) *
                               static_cast<std::size_t>(spec.nchannels));
        Placement at;
        at.x = stored.xbegin - geometry.picture.xbegin;
        at.width = stored.width();
        at.stride = static_cast<std::size_t>(spec.width);
        at.skip = static_cast<std::size_t>(stored.xbegin - spec.x);
        QuietStderr quiet;
        for (int first = stored.ybegin; first < stored.yend; first += strip) {
          const int count = std::min(strip, stored.yend - first);
          const bool ok =
              tiled ? in->read_image(0, 0, 0, spec.nchannels, TransferType<S>(), samples.data())
                    : in->read_scanlines(0, 0, first, first + count, 0, 0, spec.nchannels,
                                         TransferType<S>(), samples.data());
          // Some readers (JPEG) fill in what they could not decode and only
          // leave a message: the image is damaged all the same.
          const std::string trouble = in->geterror();
          if (!ok || !trouble.empty()) {
            throw ImageError("cannot read " + Quote(path) + ": " + Tidy(trouble));
          }
          at.y = first - geometry.picture.ybegin;
          at.count = count;
          // A whole tiled image starts at the data window's top row.
          const std::size_t row = tiled ? static_cast<std::size_t>(first - spec.y) : 0;
          FillRows<T>(samples.data() + row * at.stride * static_cast<std::size_t>(spec.nchannels),
                      spec.nchannels, conversion, target, at);
        }
      };
      if (conversion.divide) {
        read(std::type_identity<float>{});
      } else {
        read(std::type_identity<T>{});
      }
      if (geometry.orientation != 1) Reorient<T>(sideways.view(), geometry.orientation, pixels);
    });
  } catch (const std::bad_alloc&) {
    throw ImageError("not enough memory to read " + Quote(path) + " (" +
                     std::to_string(geometry.picture.width()) + "x" +
                     std::to_string(geometry.picture.height()) + ")");
  }
  return meta;
}

Image ReadImage(const fs::path& path, std::optional<Depth> depth, InputAlpha alpha) {
  Image image;
  image.metadata = ReadImage(
      path, depth,
      [&](int width, int height, Depth d) {
        image.raster = Raster(width, height, d);
        return image.raster.view();
      },
      alpha);
  return image;
}

namespace {

// Formats whose writer this OpenImageIO has but that cannot be trusted, and
// pixel depths a writer would silently lower: refused before anything is
// written.
void CheckWriter(const fs::path& path, const OIIO::ImageOutput& out, std::optional<Depth> depth) {
  // OpenImageIO 2.4's JPEG 2000 writer reports success, leaves an empty file
  // and leaks the codec's picture: it is never handed a frame.
  if (std::string_view(out.format_name()) == "jpeg2000") {
    throw ImageError("cannot write " + Quote(path) + ": JPEG 2000 files are not written here "
                     "(write TIFF, PNG or EXR instead)");
  }
  // The PNM writer stores 8 bits per channel whatever it is given (told 16
  // bits, it writes garbage).
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
  if (IsMovieName(path)) {
    throw ImageError("cannot write " + Quote(path) + ": render writes images, not movies "
                     "(write an image sequence, such as out.####.png, with --frames)");
  }
  const auto out = OIIO::ImageOutput::create(path.string());
  if (!out) {
    (void)OIIO::geterror();
    throw ImageError("no image format is known for the extension '" +
                     path.extension().string() + "' of " + Quote(path));
  }
  CheckWriter(path, *out, depth);
}

void CheckCompression(const fs::path& path, const std::string& compression) {
  const auto out = OIIO::ImageOutput::create(path.string());
  if (!out) {
    (void)OIIO::geterror();
    CheckWritableFormat(path);  // throws the message
    return;
  }
  const std::string problem = CompressionProblem(out->format_name(), compression);
  if (!problem.empty()) throw ImageError(problem + " (" + Quote(path) + ")");
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

// The smallest box holding every pixel that is not transparent black (all
// four channels zero); a single pixel at the origin when there is none,
// since files hold at least one.
template <class T>
OIIO::ROI ContentBox(const RasterView& pixels) {
  int x0 = pixels.width, x1 = 0, y0 = pixels.height, y1 = 0;
  const Argb<T> clear{};
  for (int y = 0; y < pixels.height; ++y) {
    const Argb<T>* row = pixels.Row<T>(y);
    int first = 0;
    while (first < pixels.width && row[first] == clear) ++first;
    if (first == pixels.width) continue;
    int last = pixels.width - 1;
    while (row[last] == clear) --last;
    x0 = std::min(x0, first);
    x1 = std::max(x1, last + 1);
    y0 = std::min(y0, y);
    y1 = y + 1;
  }
  return x0 < x1 ? OIIO::ROI(x0, x1, y0, y1) : OIIO::ROI(0, 1, 0, 1);
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

// PNG files are compressed for speed at little cost in size: zlib's
// run-length strategy (matches of the previous byte only) after the "up"
// and "average" row filters at 8 bits, "up" alone at 16. On photographs this
// writes several times faster than zlib's default level 6, in files no
// larger. Flat pictures (charts, graphics, gradients, renders with even
// areas) are the exception: the run-length strategy misses their repeats a
// few pixels or a row apart, and files come out up to several times larger
// than with zlib's default settings (level 6, default strategy, no row
// filter), which pack them quickly. So the first rows decide (the same rows
// whether or not the file is written while the picture is made): packed in
// memory both ways, zlib's defaults are chosen when run-lengths leave much
// to pack (flat pictures are packed to well under half) and zlib's defaults
// pack them a tenth smaller still. Photographs rarely pass the first test,
// which saves the slow trial on them.
constexpr int kTrialRows = 16;
constexpr double kFlatRunLengthShare = 0.4;
constexpr double kFlatGain = 0.9;

void SetFastPng(OIIO::ImageSpec& spec) {
  constexpr int kFilterUp = 32;       // PNG_FILTER_UP
  constexpr int kFilterAverage = 64;  // PNG_FILTER_AVG
  spec.attribute("compression", "rle");
  spec.attribute("png:compressionLevel", 1);
  spec.attribute("png:filter", spec.format == OIIO::TypeDesc::UINT16 ? kFilterUp
                                                                     : kFilterUp | kFilterAverage);
}

void SetZlibDefaultPng(OIIO::ImageSpec& spec, int level = 6) {
  spec.attribute("compression", "default");
  spec.attribute("png:compressionLevel", level);
  spec.attribute("png:filter", 0);
}

// The bytes of a PNG file of `samples` (rows of spec's width) written with
// the settings `set` gives; 0 when it cannot be made.
template <class S>
std::size_t PngSize(const OIIO::ImageSpec& spec, const std::vector<S>& samples, int rows,
                    void (*set)(OIIO::ImageSpec&, int)) {
  OIIO::ImageSpec trial(spec.width, rows, spec.nchannels, spec.format);
  trial.alpha_channel = spec.alpha_channel;
  trial.attribute("oiio:UnassociatedAlpha", 1);
  set(trial, 0);
  std::vector<unsigned char> bytes;
  OIIO::Filesystem::IOVecOutput memory(bytes);
  auto out = OIIO::ImageOutput::create("trial.png");
  if (!out) return 0;
  out->set_ioproxy(&memory);
  const bool ok = out->open("trial.png", trial) &&
                  out->write_image(TransferType<S>(), samples.data()) && out->close();
  (void)out->geterror();
  return ok ? bytes.size() : 0;
}

template <class T>
void SetPngCompression(OIIO::ImageSpec& spec, const RasterView& first_rows, int channels) {
  const int rows = std::min(kTrialRows, first_rows.height);
  std::vector<T> samples(static_cast<std::size_t>(first_rows.width) *
                         static_cast<std::size_t>(rows) * static_cast<std::size_t>(channels));
  FileRows<T>(first_rows, 0, rows, channels, false, samples.data());
  const std::size_t fast =
      PngSize(spec, samples, rows, [](OIIO::ImageSpec& s, int) { SetFastPng(s); });
  const double raw = static_cast<double>(samples.size() * sizeof(T));
  if (fast > 0 && static_cast<double>(fast) <= kFlatRunLengthShare * raw) {
    const std::size_t zlib =
        PngSize(spec, samples, rows, [](OIIO::ImageSpec& s, int) { SetZlibDefaultPng(s); });
    if (zlib > 0 && static_cast<double>(zlib) <= kFlatGain * static_cast<double>(fast)) {
      SetZlibDefaultPng(spec);
      return;
    }
  }
  SetFastPng(spec);
}

// The output's compression: the one asked for, else the input's for the
// same format; PNG files by their pictures when nothing is asked.
void SetCompression(OIIO::ImageSpec& spec, const std::string& writer, bool same_format,
                    const ImageMetadata& metadata, const RasterView& first_rows, int channels) {
  const std::string& asked = metadata.output_compression;
  if (!asked.empty()) {
    const std::string problem = CompressionProblem(writer, asked);
    if (!problem.empty()) throw ImageError(problem);
  }
  if (writer == "png") {
    if (asked.empty()) {
      VisitDepth(first_rows.depth, [&](auto t) {
        SetPngCompression<typename decltype(t)::type>(spec, first_rows, channels);
      });
    } else {
      SetZlibDefaultPng(spec, std::stoi(asked));
    }
  } else if (writer == "jpeg" && !asked.empty()) {
    spec.attribute("compression", "jpeg:" + asked);
  } else if (!asked.empty()) {
    spec.attribute("compression", asked);
  } else if (same_format && !metadata.compression.empty()) {
    spec.attribute("compression", metadata.compression);
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

bool FileSizesLimited() {
  struct rlimit limit {};
  return ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
}

// Writers seen to work through a proxy with OpenImageIO 2.4. Others write a
// file by name (see MemoryFile); the TIFF writer, for one, takes a proxy but
// cannot read back through it the directory it rewrites, and makes broken
// files.
bool WritesThroughProxy(OIIO::ImageOutput& out) {
  const std::string_view format = out.format_name();
  // The JPEG writer takes more than twice as long through a proxy (0.13 s
  // against 0.055 s for 3840x2160), so it writes into memory, unless a
  // limit on file sizes could cut that short: libjpeg would then end the
  // program itself.
  if (format == "jpeg") return FileSizesLimited();
  static constexpr std::string_view kFormats[] = {"png", "openexr", "dpx", "targa",
                                                   "bmp", "pnm",     "hdr", "webp"};
  return out.supports("ioproxy") &&
         std::find(std::begin(kFormats), std::end(kFormats), format) != std::end(kFormats);
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
  // The writer's own writes go unchecked; in memory, short of the machine
  // running out of it, only a limit on file sizes (ulimit -f) can cut them
  // short. Throws when it may have.
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

void WriteImage(PendingFile& file, const RasterView& pixels, const ImageMetadata& metadata,
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
  CheckWriter(path, *out, pixels.depth);
  const std::string writer = out->format_name();
  const bool same_format = writer == metadata.format;
  const bool alpha = metadata.has_alpha && out->supports("alpha");
  const int channels = alpha ? 4 : 3;

  // The picture is the display window. A cropped input gives an output
  // cropped as tightly, where the format keeps a display window: its data
  // window is the box around everything not transparent black, fringes
  // included, known once the whole picture is.
  const bool display_window = out->supports("displaywindow");
  OIIO::ROI box(0, pixels.width, 0, pixels.height);
  if (metadata.cropped && display_window) {
    if (wait_for_rows && !wait_for_rows(pixels.height)) return;
    box = VisitDepth(pixels.depth,
                     [&](auto t) { return ContentBox<typename decltype(t)::type>(pixels); });
  }
  const RasterView raster(pixels.data + box.ybegin * pixels.row_bytes +
                              static_cast<std::ptrdiff_t>(box.xbegin) * BytesPerPixel(pixels.depth),
                          pixels.row_bytes, box.width(), box.height(), pixels.depth);

  const bool same_depth = raster.depth == metadata.file_depth && !metadata.pixel_type.empty();
  const OIIO::TypeDesc file_type =
      same_depth ? OIIO::TypeDesc(metadata.pixel_type)
                 : VisitDepth(raster.depth, [](auto t) {
                     return TransferType<typename decltype(t)::type>();
                   });
  OIIO::ImageSpec spec(raster.width, raster.height, channels, file_type);
  // The picture keeps its place where the format can say so.
  const bool origin =
      display_window || (out->supports("origin") &&
                         ((metadata.full_x >= 0 && metadata.full_y >= 0) ||
                          out->supports("negativeorigin")));
  if (origin) {
    spec.x = metadata.full_x + box.xbegin;
    spec.y = metadata.full_y + box.ybegin;
    spec.full_x = metadata.full_x;
    spec.full_y = metadata.full_y;
    spec.full_width = pixels.width;
    spec.full_height = pixels.height;
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

  // A strip at a time, as on reading; the file is opened once the first
  // strip is there, so rows that never come leave no file begun.
  const std::size_t sample_bytes =
      premultiply ? sizeof(float) : VisitDepth(raster.depth, [](auto t) {
        return sizeof(typename decltype(t)::type);
      });
  const int strip = StripRows(raster.width, channels * sample_bytes, raster.height);
  if (wait_for_rows && !wait_for_rows(std::min(strip, raster.height))) return;
  SetCompression(spec, writer, same_format, metadata,
                 RasterView(raster.data, raster.row_bytes, raster.width,
                            std::min(strip, raster.height), raster.depth),
                 channels);
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
    {
      // Closed unfinished, a writer may complain on stderr too (libpng
      // does); the message that counts is ours.
      QuietStderr quiet;
      out->close();
    }
    fail(message);
  }
  if (!out->close()) fail(out->geterror());
  if (memory) memory->CopyTo(file);
  if (file.failed()) fail({});
  // A writer that fails without a word may leave nothing at all (the JPEG
  // 2000 writer of OpenImageIO 2.4 here).
  if (file.size() == 0) fail("its format's writer wrote nothing");
}

}  // namespace prismora::imageio
