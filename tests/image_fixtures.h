// Image files made and read with OpenImageIO itself, below our own image
// I/O, so tests can set up any layout and see exactly what a file stores.
#pragma once

#ifdef PRISMORA_HAVE_IMAGE_FILES

#include <gtest/gtest.h>
#include <OpenImageIO/imageio.h>

#include <filesystem>
#include <string>
#include <vector>

namespace prismora::testing {

// Writes `values` (interleaved channels, in [0, 1] units for integer files)
// as they are: no association or conversion of alpha is asked for.
inline void WriteRawImage(const std::filesystem::path& path, int width, int height,
                          int channels, OIIO::TypeDesc file_type,
                          const std::vector<float>& values, int alpha_channel = -1,
                          const std::vector<std::string>& names = {}) {
  OIIO::ImageSpec spec(width, height, channels, file_type);
  spec.alpha_channel = alpha_channel;
  if (!names.empty()) spec.channelnames = names;
  if (alpha_channel >= 0) spec.attribute("oiio:UnassociatedAlpha", 1);
  auto out = OIIO::ImageOutput::create(path.string());
  ASSERT_TRUE(out) << OIIO::geterror();
  ASSERT_TRUE(out->open(path.string(), spec)) << out->geterror();
  ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data())) << out->geterror();
  ASSERT_TRUE(out->close()) << out->geterror();
}

struct RawImage {
  OIIO::ImageSpec spec;
  std::vector<float> values;  // as stored, in [0, 1] units for integer files
};

inline RawImage ReadRawImage(const std::filesystem::path& path) {
  RawImage raw;
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::open(path.string(), &config);
  if (!in) {
    ADD_FAILURE() << OIIO::geterror();
    return raw;
  }
  raw.spec = in->spec();
  raw.values.resize(static_cast<std::size_t>(raw.spec.width) * raw.spec.height *
                    raw.spec.nchannels);
  EXPECT_TRUE(in->read_image(0, 0, 0, raw.spec.nchannels, OIIO::TypeDesc::FLOAT,
                             raw.values.data()))
      << in->geterror();
  return raw;
}

}  // namespace prismora::testing

#endif  // PRISMORA_HAVE_IMAGE_FILES
