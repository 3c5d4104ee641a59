// Image files through OpenImageIO: any format it reads and writes, chosen by
// the file's contents on reading and by the extension on writing.
//
// Reading gives a Raster of the depth the file's pixel type calls for (8-bit
// files 8, 16-bit and other integer files 16, half and float files 32) unless
// a depth is asked for. The raster is the picture as a host sees the layer:
// the display window (pixels outside the file's data window are transparent
// black, pixels outside the display window are not part of it), turned
// upright by the file's orientation tag. Grey is expanded to red, green and
// blue; an image without alpha gets an opaque one; colour stored
// premultiplied by alpha is divided back where alpha is above 0 (pixels of
// alpha 0 keep their colour), unless the caller says how to take the alpha.
// Files of several images (multi-part, multi-page) and movies are refused.
//
// Writing is the reverse for the metadata of the file the image came from:
// alpha only when that file had one, premultiplied where the output format
// stores it so, the file's own pixel type where the depth is unchanged, its
// display window, and its descriptive metadata (resolution, colour space
// name, ...) carried over. An output of the input's format keeps its
// compression unless another is asked for. PNG files are compressed for
// speed (zlib's run-length strategy after fixed row filters) unless the
// picture is flat, which zlib's default settings pack far better.
// Pixels pass to and from files a strip of rows at a time.
//
// Builds without OpenImageIO (the Windows cross build) keep the interface:
// HaveImageFiles() is false and every call throws ImageError.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "imageio/raster.h"

namespace prismora::imageio {

// A file that cannot be read or written; the message names the file and the
// problem.
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One metadata item of a file, kept as OpenImageIO describes it so that any
// type can be carried to an output.
struct Attribute {
  std::string name;
  std::string type;              // OpenImageIO's type name: "float", "string", "uint8[560]", ...
  std::vector<std::byte> data;   // the values, for every type but text
  std::vector<std::string> text; // the values of a text type
};

struct ImageMetadata {
  std::string format;           // reader's format name ("png", "openexr"); empty if made in code
  std::string pixel_type;       // the file's channel type ("uint8", "uint16", "half", ...)
  Depth file_depth = Depth::k8; // the depth that pixel type gives
  int channels = 4;             // in the file: 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA
  bool has_alpha = true;
  bool associated_alpha = false;  // the file stores colour premultiplied by alpha
  std::vector<Attribute> attributes;
  // The picture's origin (the display window's), for formats that keep one.
  int full_x = 0, full_y = 0;
  // The file held pixels for only part of the picture (its data window was
  // not the display window): outputs that can do so store only the part that
  // is not transparent black.
  bool cropped = false;
  // How the file's pixels are compressed, in its format's own terms ("zip",
  // "dwaa:45", "lzw"); empty when the reader does not say.
  std::string compression;
  // The output's compression when the user chose one, in the output format's
  // terms (see CheckCompression); empty: the input's when the format is the
  // same, else the writer's default.
  std::string output_compression;

  // Value of a text attribute, or empty.
  std::string Text(const std::string& name) const {
    for (const Attribute& a : attributes) {
      if (a.name == name && !a.text.empty()) return a.text.front();
    }
    return {};
  }
};

struct Image {
  Raster raster;
  ImageMetadata metadata;
};

// False when built without OpenImageIO.
bool HaveImageFiles();

// Some format libraries (libpng) print their problems on stderr as well as
// reporting them. The copy on stderr is only noise next to the one message
// prismora prints, so it is silenced while a file is opened and read. This
// lock is held shared meanwhile (several files may be read at once): a
// thread that writes to stderr while files may be read in other threads
// takes it exclusively, so that its output is not lost.
std::shared_mutex& ConsoleLock();

// The most threads that the format libraries may use for one file
// (OpenImageIO's own and OpenEXR's); all the cores by default.
void SetFileThreads(int threads);

// How the alpha of an input is taken, as a host's "interpret footage" does.
enum class InputAlpha {
  kAsStored,       // as the file says: colour premultiplied only where the format stores it so
  kStraight,       // the colour is straight whatever the file says
  kPremultiplied,  // the colour is premultiplied whatever the file says
  kIgnore,         // the image is opaque: alpha is 1, the colour is taken as stored
};

// Reads the image of the file. Files that are not regular (pipes, devices),
// movies, files of several images and images whose read would need more
// memory than the machine has are refused before anything is decoded.
Image ReadImage(const std::filesystem::path& path, std::optional<Depth> depth = std::nullopt,
                InputAlpha alpha = InputAlpha::kAsStored);

// The same into pixels held elsewhere: `destination` is told the picture's
// size and depth once they are known and returns pixels of that size and
// depth to fill (every pixel is written). Returns the file's metadata.
using PixelDestination = std::function<MutableRasterView(int width, int height, Depth depth)>;
ImageMetadata ReadImage(const std::filesystem::path& path, std::optional<Depth> depth,
                        const PixelDestination& destination,
                        InputAlpha alpha = InputAlpha::kAsStored);

// The width and height of the file's picture, upright, its depth and
// whether it has alpha, from its header alone.
struct ImageSize {
  int width = 0;
  int height = 0;
  Depth depth = Depth::k8;
  bool has_alpha = false;
};
ImageSize ReadImageSize(const std::filesystem::path& path);

// Movie files by extension (.mov, .mp4, .mkv, .avi, .webm, .mxf, ...),
// those OpenImageIO reads (through FFmpeg) and those it does not.
bool IsMovieName(const std::filesystem::path& path);

// True for a file that ReadImage refuses as a movie: a movie's extension,
// or contents that OpenImageIO reads as one.
bool ReadsAsMovie(const std::filesystem::path& path);

// Throws ImageError when no writer knows the path's extension, or when its
// writer cannot keep pixels of `depth`.
void CheckWritableFormat(const std::filesystem::path& path,
                         std::optional<Depth> depth = std::nullopt);

// Throws ImageError, naming what it takes, when the format of `path` takes
// no compression `compression`: OpenEXR a method (none, rle, zips, zip, piz,
// pxr24, b44, b44a, dwaa, dwab; zip and zips with an optional :1-9 level,
// dwaa and dwab with an optional :level), TIFF a method (none, lzw, zip with
// an optional :1-9 level, packbits), PNG a zlib level (0-9), JPEG a quality
// (1-100).
void CheckCompression(const std::filesystem::path& path, const std::string& compression);

// Writes `raster` to `path` through a PendingFile, committed once whole:
// `path` keeps its old contents on any failure. `metadata` describes the
// file the image came from.
void WriteImage(const std::filesystem::path& path, const Raster& raster,
                const ImageMetadata& metadata);
void WriteImage(const std::filesystem::path& path, const RasterView& pixels,
                const ImageMetadata& metadata);
// Writes the pixels into `file` (its target's extension chooses the format)
// for the caller to commit. Every byte passes through the file's checked
// writes, whichever the format: a write that fails ends the work with an
// ImageError naming the target and the cause. While the pixels are still
// being made, `wait_for_rows` is called before rows are read with how many
// from the top are needed, and returns true once they are final, or false
// when they never will be; given up, the rest is written as it stands, for
// the caller to discard.
using RowsWanted = std::function<bool(int rows)>;
class PendingFile;
void WriteImage(PendingFile& file, const RasterView& pixels, const ImageMetadata& metadata,
                const RowsWanted& wait_for_rows = {});

}  // namespace prismora::imageio
