// PNG write settings compared on given pictures: the speed setting used for
// every PNG before (zlib's run-length strategy at level 1 after the "up" and
// "average" row filters), zlib's default settings (level 6, default strategy,
// no row filter, as OpenImageIO writes PNG files by default), and what
// prismora writes now. Prints for each the median time of a write and the
// file's size, each also as a multiple of the former setting's.
//
//   prismora_png_settings FOLDER PICTURE... [--rounds N]
//
// FOLDER takes the files written (a RAM disk keeps the disk out of the
// figures). The first two are written by OpenImageIO from samples made
// beforehand; the last by prismora's own writer from the picture as read,
// as `prismora render` writes it.
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imageio/image_file.h"

namespace {

namespace fs = std::filesystem;
using prismora::imageio::Image;

double MedianMs(int rounds, const std::function<void()>& write) {
  std::vector<double> ms;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    write();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// The picture as 8-bit RGB(A) samples, as the writer hands them to libpng.
std::vector<unsigned char> Samples(const Image& image, int channels) {
  std::vector<unsigned char> samples;
  const auto& r = image.raster;
  for (int y = 0; y < r.height(); ++y) {
    for (int x = 0; x < r.width(); ++x) {
      const auto& p = r.Row<uint8_t>(y)[x];
      samples.insert(samples.end(), {p.red, p.green, p.blue});
      if (channels == 4) samples.push_back(p.alpha);
    }
  }
  return samples;
}

void WriteWithOiio(const fs::path& path, const Image& image, int channels,
                   const std::vector<unsigned char>& samples, bool old) {
  OIIO::ImageSpec spec(image.raster.width(), image.raster.height(), channels,
                       OIIO::TypeDesc::UINT8);
  if (channels == 4) spec.attribute("oiio:UnassociatedAlpha", 1);
  if (old) {
    spec.attribute("compression", "rle");
    spec.attribute("png:compressionLevel", 1);
    spec.attribute("png:filter", 32 | 64);  // up | average
  }
  auto out = OIIO::ImageOutput::create(path.string());
  if (!out || !out->open(path.string(), spec) ||
      !out->write_image(OIIO::TypeDesc::UINT8, samples.data()) || !out->close()) {
    std::fprintf(stderr, "png_settings: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> pictures;
  int rounds = 5;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      pictures.push_back(argv[i]);
    }
  }
  if (argc < 3 || pictures.empty()) {
    std::fprintf(stderr, "usage: prismora_png_settings FOLDER PICTURE... [--rounds N]\n");
    return 2;
  }
  const fs::path folder = argv[1];
  std::printf("%-28s %-10s %-29s %9s %7s %10s %7s\n", "picture", "size", "settings", "write ms",
              "time", "bytes", "size");
  for (const std::string& name : pictures) {
    const Image image = prismora::imageio::ReadImage(name, prismora::imageio::Depth::k8);
    const int channels = image.metadata.has_alpha ? 4 : 3;
    const std::vector<unsigned char> samples = Samples(image, channels);
    struct Row {
      const char* settings;
      std::function<void(const fs::path&)> write;
    };
    const Row rows[] = {
        {"before: rle, level 1, up+avg",
         [&](const fs::path& p) { WriteWithOiio(p, image, channels, samples, true); }},
        {"zlib default: level 6",
         [&](const fs::path& p) { WriteWithOiio(p, image, channels, samples, false); }},
        {"now: prismora's writer",
         [&](const fs::path& p) {
           prismora::imageio::WriteImage(p, image.raster, image.metadata);
         }},
    };
    double before_bytes = 0.0, before_ms = 0.0;
    const std::string size =
        std::to_string(image.raster.width()) + "x" + std::to_string(image.raster.height());
    for (const Row& row : rows) {
      const fs::path out = folder / "png_settings.png";
      const double ms = MedianMs(rounds, [&] { row.write(out); });
      const auto bytes = static_cast<double>(fs::file_size(out));
      if (before_bytes == 0.0) {
        before_bytes = bytes;
        before_ms = ms;
      }
      std::printf("%-28s %-10s %-29s %9.1f %6.2fx %10.0f %6.2fx\n",
                  fs::path(name).filename().string().substr(0, 28).c_str(), size.c_str(),
                  row.settings, ms, ms / before_ms, bytes, bytes / before_bytes);
      fs::remove(out);
    }
  }
  return 0;
}
