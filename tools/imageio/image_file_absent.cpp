// Image files in a build without OpenImageIO: the interface stays, every
// call reports that this build has no image files.
#include "imageio/image_file.h"

namespace prismora::imageio {
namespace {

[[noreturn]] void Unavailable() {
  throw ImageError("this build of prismora has no image file support (built without OpenImageIO)");
}

}  // namespace

bool HaveImageFiles() { return false; }

std::shared_mutex& ConsoleLock() {
  static std::shared_mutex lock;
  return lock;
}

void SetFileThreads(int) {}

Image ReadImage(const std::filesystem::path&, std::optional<Depth>, InputAlpha) { Unavailable(); }
ImageMetadata ReadImage(const std::filesystem::path&, std::optional<Depth>,
                        const PixelDestination&, InputAlpha) {
  Unavailable();
}
ImageSize ReadImageSize(const std::filesystem::path&) { Unavailable(); }
bool ReadsAsMovie(const std::filesystem::path&) { return false; }
void CheckWritableFormat(const std::filesystem::path&, std::optional<Depth>) { Unavailable(); }
void CheckCompression(const std::filesystem::path&, const std::string&) { Unavailable(); }
void WriteImage(const std::filesystem::path&, const Raster&, const ImageMetadata&) {
  Unavailable();
}
void WriteImage(const std::filesystem::path&, const RasterView&, const ImageMetadata&) {
  Unavailable();
}
void WriteImage(PendingFile&, const RasterView&, const ImageMetadata&, const RowsWanted&) {
  Unavailable();
}

}  // namespace prismora::imageio
