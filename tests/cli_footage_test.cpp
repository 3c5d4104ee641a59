// How prismora render takes its input and writes its output, run as a user
// runs it: alpha, display and data windows, orientation, files of several
// images, movies, and the output's compression.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "image_fixtures.h"
#include "temp_dir.h"
#include "test_support.h"

#ifdef PRISMORA_HAVE_IMAGE_FILES
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#endif

namespace prismora::testing {
namespace {

#ifdef PRISMORA_HAVE_IMAGE_FILES

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A path quoted for the shell.
std::string Q(const std::filesystem::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

// Writes `values` (interleaved, in [0, 1] units for integer files) with the
// spec's window and attributes as given.
void WriteSpec(const std::filesystem::path& path, const OIIO::ImageSpec& spec,
               const std::vector<float>& values) {
  auto out = OIIO::ImageOutput::create(path.string());
  ASSERT_TRUE(out) << OIIO::geterror();
  ASSERT_TRUE(out->open(path.string(), spec)) << out->geterror();
  ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data())) << out->geterror();
  ASSERT_TRUE(out->close()) << out->geterror();
}

class CliFootage : public ::testing::Test {
 protected:
  std::filesystem::path File(const std::string& name) const { return dir_ / name; }
  CommandResult Render(const std::string& in, const std::string& out,
                       const std::string& more = "") {
    return RunTool("render " + Q(File(in)) + " " + Q(File(out)) + " -q " + more);
  }
  TempDir dir_;
};

// --- Alpha ----------------------------------------------------------------------

// Four pixels: an emissive one (colour under alpha 0), two partly
// transparent ones and an opaque one, straight.
const std::vector<float> kStraight = {0.5f, 0.5f, 0.5f, 0.0f,  0.8f, 0.4f, 0.2f, 0.25f,
                                      0.3f, 0.6f, 0.9f, 0.5f,  0.6f, 0.3f, 0.9f, 1.0f};

std::vector<float> Premultiplied(std::vector<float> v) {
  for (std::size_t i = 0; i < v.size(); i += 4) {
    for (int c = 0; c < 3; ++c) v[i + c] *= v[i + 3];
  }
  return v;
}

// Colour under alpha 0 carries no weight in the effect's mix: such pixels
// come out transparent black.
std::vector<float> ClearUnderZero(std::vector<float> v) {
  for (std::size_t i = 0; i < v.size(); i += 4) {
    if (v[i + 3] == 0.0f) v[i] = v[i + 1] = v[i + 2] = 0.0f;
  }
  return v;
}

// The same files read, rendered with no change and written, under each way
// of taking their alpha: what the output file stores, pixel for pixel.
TEST_F(CliFootage, AlphaIsTakenAsTheUserSays) {
  // The emissive pixel keeps its colour in the premultiplied EXR, as
  // additive glows do.
  const std::vector<float> premultiplied = Premultiplied(kStraight);
  std::vector<float> emissive = premultiplied;
  emissive[0] = emissive[1] = emissive[2] = 0.5f;
  WriteRawImage(File("straight.png"), 4, 1, 4, OIIO::TypeDesc::UINT8, kStraight, 3);
  WriteRawImage(File("straight16.tif"), 4, 1, 4, OIIO::TypeDesc::UINT16, kStraight, 3);
  {
    OIIO::ImageSpec spec(4, 1, 4, OIIO::TypeDesc::HALF);
    spec.alpha_channel = 3;
    WriteSpec(File("premultiplied.exr"), spec, emissive);
    spec.format = OIIO::TypeDesc::UINT8;  // associated alpha: OpenImageIO's default for TIFF
    WriteSpec(File("associated.tif"), spec, premultiplied);
  }
  const RawImage png = ReadRawImage(File("straight.png"));
  const RawImage exr = ReadRawImage(File("premultiplied.exr"));
  const RawImage tif = ReadRawImage(File("associated.tif"));
  ASSERT_EQ(tif.spec.get_int_attribute("oiio:UnassociatedAlpha"), 0);
  std::vector<float> opaque = exr.values, straight_exr = exr.values, divided_png = png.values;
  for (std::size_t i = 0; i < opaque.size(); i += 4) {
    opaque[i + 3] = 1.0f;  // colour as stored, alpha 1
    for (int c = 0; c < 3; ++c) {
      straight_exr[i + c] *= straight_exr[i + 3];
      if (divided_png[i + 3] > 0.0f) {
        divided_png[i + c] = std::min(1.0f, divided_png[i + c] / divided_png[i + 3]);
      }
    }
  }

  struct Case {
    std::string in, out, alpha;
    std::vector<float> expected;
    float tolerance;  // 0: exact
  };
  const std::vector<Case> cases = {
      // Straight files stay as they are where alpha is above 0.
      {"straight.png", "a.png", "", ClearUnderZero(png.values), 0.0f},
      {"straight16.tif", "a.tif", "", ClearUnderZero(ReadRawImage(File("straight16.tif")).values),
       1.0f / 32768},
      // Premultiplied files are divided and multiplied again: exact where
      // alpha is above 0.
      {"premultiplied.exr", "b.exr", "", ClearUnderZero(exr.values), 0.0f},
      {"associated.tif", "b.tif", "", tif.values, 0.0f},
      // Opaque: the emissive colour is kept.
      {"premultiplied.exr", "c.exr", "--alpha ignore", opaque, 0.0f},
      // Taken as straight, the colour is premultiplied on writing.
      {"premultiplied.exr", "d.exr", "--alpha straight", straight_exr, 1e-3f},
      // Taken as premultiplied, the colour is divided, and PNG stores it so.
      {"straight.png", "e.png", "--alpha premultiplied", ClearUnderZero(divided_png), 0.51f / 255},
      {"straight.png", "f.png", "--alpha as-is", {}, 0.0f},
  };
  for (const Case& c : cases) {
    const CommandResult r = Render(c.in, c.out, "-p Amount=0 " + c.alpha);
    if (c.expected.empty()) {
      EXPECT_EQ(r.exit_code, 2) << c.alpha;
      EXPECT_THAT(r.err, HasSubstr("--alpha takes straight, premultiplied or ignore"));
      continue;
    }
    ASSERT_EQ(r.exit_code, 0) << c.in << " " << c.alpha << "\n" << r.err;
    const RawImage out = ReadRawImage(File(c.out));
    ASSERT_EQ(out.values.size(), c.expected.size()) << c.out;
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
      if (c.tolerance == 0.0f) {
        EXPECT_EQ(out.values[i], c.expected[i]) << c.out << " " << c.alpha << " sample " << i;
      } else {
        EXPECT_NEAR(out.values[i], c.expected[i], c.tolerance) << c.out << " sample " << i;
      }
    }
  }
}

// Premultiplied half floats of every kind a renderer writes, above 1
// included, come back bit for bit wherever alpha is above 0.
TEST_F(CliFootage, PremultipliedHalfFloatsRoundTripExactly) {
  std::vector<float> values;
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>(seed >> 8) / static_cast<float>(1u << 24);
  };
  for (int i = 0; i < 64 * 16; ++i) {
    const float a = i % 7 == 0 ? 0.0f : next();
    for (int c = 0; c < 3; ++c) values.push_back(next() * 4.0f * a);
    values.push_back(a);
  }
  OIIO::ImageSpec spec(64, 16, 4, OIIO::TypeDesc::HALF);
  spec.alpha_channel = 3;
  WriteSpec(File("in.exr"), spec, values);
  ASSERT_EQ(Render("in.exr", "out.exr", "-p Amount=0").exit_code, 0);
  const RawImage in = ReadRawImage(File("in.exr"));
  const RawImage out = ReadRawImage(File("out.exr"));
  ASSERT_EQ(out.values.size(), in.values.size());
  int compared = 0;
  for (std::size_t i = 0; i < in.values.size(); i += 4) {
    if (in.values[i + 3] <= 0.0f) continue;
    ++compared;
    for (int c = 0; c < 4; ++c) ASSERT_EQ(out.values[i + c], in.values[i + c]) << i / 4;
  }
  EXPECT_GT(compared, 800);
}

// --- Windows --------------------------------------------------------------------

// The stored values of an output over its display window, transparent black
// where the data window holds nothing.
std::vector<float> Picture(const RawImage& image) {
  const OIIO::ImageSpec& s = image.spec;
  std::vector<float> picture(
      static_cast<std::size_t>(s.full_width) * s.full_height * s.nchannels, 0.0f);
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      const int px = s.x + x - s.full_x, py = s.y + y - s.full_y;
      if (px < 0 || py < 0 || px >= s.full_width || py >= s.full_height) continue;
      for (int c = 0; c < s.nchannels; ++c) {
        picture[(static_cast<std::size_t>(py) * s.full_width + px) * s.nchannels + c] =
            image.values[(static_cast<std::size_t>(y) * s.width + x) * s.nchannels + c];
      }
    }
  }
  return picture;
}

// A render plate stored three ways: whole, cropped to the box around its
// content (as renderers write them), and with overscan (pixels beyond the
// display window, which are not part of the picture). Every way renders the
// same picture: the centre and the size of the effect follow the display
// window, fringes spread past the box, and outputs keep the display window.
TEST_F(CliFootage, CroppedAndOverscanPlatesRenderLikeTheWholeOne) {
  constexpr int kW = 48, kH = 32, kX = 4, kY = 2;  // the display window at (4, 2)
  constexpr int kBoxX = 14, kBoxY = 9, kBoxW = 12, kBoxH = 10;  // content, in the picture
  auto content = [&](int px, int py, int c) {
    const bool inside = px >= kBoxX && px < kBoxX + kBoxW && py >= kBoxY && py < kBoxY + kBoxH;
    return inside ? (c == 3 ? 1.0f : 0.25f + 0.2f * c + 0.01f * (px - kBoxX)) : 0.0f;
  };
  auto write = [&](const std::string& name, int x0, int y0, int w, int h) {
    OIIO::ImageSpec spec(w, h, 4, OIIO::TypeDesc::HALF);
    spec.alpha_channel = 3;
    spec.x = kX + x0;
    spec.y = kY + y0;
    spec.full_x = kX;
    spec.full_y = kY;
    spec.full_width = kW;
    spec.full_height = kH;
    std::vector<float> values;
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) {
        const bool picture = x >= 0 && y >= 0 && x < kW && y < kH;
        for (int c = 0; c < 4; ++c) values.push_back(picture ? content(x, y, c) : 0.7f);
      }
    }
    WriteSpec(File(name), spec, values);
  };
  write("whole.exr", 0, 0, kW, kH);
  write("cropped.exr", kBoxX, kBoxY, kBoxW, kBoxH);
  write("overscan.exr", -6, -3, kW + 12, kH + 6);

  for (const char* name : {"whole", "cropped", "overscan"}) {
    const CommandResult r = Render(std::string(name) + ".exr", std::string(name) + "-out.exr",
                                   "-p Amount=10 -p 'Center=30%,40%'");
    ASSERT_EQ(r.exit_code, 0) << name << "\n" << r.err;
  }
  const RawImage whole = ReadRawImage(File("whole-out.exr"));
  const RawImage cropped = ReadRawImage(File("cropped-out.exr"));
  const RawImage overscan = ReadRawImage(File("overscan-out.exr"));
  for (const RawImage* out : {&whole, &cropped, &overscan}) {
    EXPECT_EQ(out->spec.full_x, kX);
    EXPECT_EQ(out->spec.full_y, kY);
    EXPECT_EQ(out->spec.full_width, kW);
    EXPECT_EQ(out->spec.full_height, kH);
  }
  // The whole plate's output is whole; the cropped plate's is cropped, to a
  // box wider than the input's where the fringes reach.
  EXPECT_EQ(whole.spec.width, kW);
  EXPECT_EQ(whole.spec.height, kH);
  EXPECT_LT(cropped.spec.width * cropped.spec.height, kW * kH);
  EXPECT_GT(cropped.spec.width, kBoxW);
  const std::vector<float> picture = Picture(whole);
  EXPECT_EQ(Picture(cropped), picture);
  EXPECT_EQ(Picture(overscan), picture);
  // Fringes did spread beyond the content's box.
  int outside = 0;
  for (int py = 0; py < kH; ++py) {
    for (int px = 0; px < kW; ++px) {
      const bool box = px >= kBoxX && px < kBoxX + kBoxW && py >= kBoxY && py < kBoxY + kBoxH;
      outside += !box && picture[(static_cast<std::size_t>(py) * kW + px) * 4 + 3] > 0.0f;
    }
  }
  EXPECT_GT(outside, 0);
}

// --- Orientation --------------------------------------------------------------

// A picture with a different colour in each corner, so every turn shows.
std::vector<float> Corners(int w, int h) {
  std::vector<float> v;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      v.push_back(x < w / 2 ? 0.9f : 0.1f);
      v.push_back(y < h / 2 ? 0.8f : 0.2f);
      v.push_back(static_cast<float>(x + y * w) / static_cast<float>(w * h));
    }
  }
  return v;
}

// Where the stored pixel (x, y) of a w x h picture is seen, by the EXIF
// definition of each orientation: where the first stored row and column lie
// in the picture as seen.
std::pair<int, int> Seen(int orientation, int x, int y, int w, int h) {
  switch (orientation) {
    case 2: return {w - 1 - x, y};          // row 0 at the top, column 0 on the right
    case 3: return {w - 1 - x, h - 1 - y};  // row 0 at the bottom, column 0 on the right
    case 4: return {x, h - 1 - y};          // row 0 at the bottom, column 0 on the left
    case 5: return {y, x};                  // row 0 on the left, column 0 at the top
    case 6: return {h - 1 - y, x};          // row 0 on the right, column 0 at the top
    case 7: return {h - 1 - y, w - 1 - x};  // row 0 on the right, column 0 at the bottom
    case 8: return {y, w - 1 - x};          // row 0 on the left, column 0 at the bottom
    default: return {x, y};                 // row 0 at the top, column 0 on the left
  }
}

// Every EXIF orientation, in TIFF and JPEG files: the output holds the
// pixels turned upright, and no orientation to turn them again.
TEST_F(CliFootage, OrientationIsAppliedToThePixels) {
  constexpr int kW = 10, kH = 6;
  std::vector<std::pair<std::string, int>> cases;
  for (int o = 1; o <= 8; ++o) cases.emplace_back(std::to_string(o) + ".tif", o);
  cases.emplace_back("portrait.jpg", 6);
  for (const auto& [name, orientation] : cases) {
    OIIO::ImageSpec spec(kW, kH, 3, OIIO::TypeDesc::UINT8);
    spec.attribute("Orientation", orientation);
    WriteSpec(File(name), spec, Corners(kW, kH));
    const RawImage stored = ReadRawImage(File(name));  // as decoded, before turning
    ASSERT_EQ(stored.spec.get_int_attribute("Orientation"), orientation) << name;
    const bool turned = orientation >= 5;
    const int w = turned ? kH : kW, h = turned ? kW : kH;
    std::vector<float> expected(stored.values.size());
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const auto [sx, sy] = Seen(orientation, x, y, kW, kH);
        for (int c = 0; c < 3; ++c) {
          expected[(static_cast<std::size_t>(sy) * w + sx) * 3 + c] =
              stored.values[(static_cast<std::size_t>(y) * kW + x) * 3 + c];
        }
      }
    }
    for (const char* ext : {".png", ".tif"}) {
      const std::string out = name + "-out" + ext;
      const CommandResult r = Render(name, out, "-p Amount=0");
      ASSERT_EQ(r.exit_code, 0) << name << "\n" << r.err;
      const RawImage got = ReadRawImage(File(out));
      EXPECT_EQ(got.spec.width, w) << out;
      EXPECT_EQ(got.spec.height, h) << out;
      EXPECT_EQ(got.values, expected) << out;
      EXPECT_EQ(got.spec.get_int_attribute("Orientation", 1), 1) << out;
    }
  }
}

// --- What is refused ---------------------------------------------------------

// Files of several images, images named as movies and sequences of movies
// end with a message naming them, exit 1, and write nothing.
TEST_F(CliFootage, SeveralImagesAndMoviesAreRefusedByName) {
  {
    OIIO::ImageSpec specs[2] = {OIIO::ImageSpec(8, 8, 4, OIIO::TypeDesc::HALF),
                                OIIO::ImageSpec(8, 8, 1, OIIO::TypeDesc::FLOAT)};
    specs[0].attribute("name", "beauty");
    specs[1].attribute("name", "depth");
    specs[1].channelnames = {"Z"};
    auto out = OIIO::ImageOutput::create(File("parts.exr").string());
    ASSERT_TRUE(out->open(File("parts.exr").string(), 2, specs)) << out->geterror();
    const std::vector<float> values(8 * 8 * 4, 0.5f);
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data()));
    ASSERT_TRUE(out->open(File("parts.exr").string(), specs[1], OIIO::ImageOutput::AppendSubimage));
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data()));
    ASSERT_TRUE(out->close());
  }
  {
    OIIO::ImageSpec specs[3] = {OIIO::ImageSpec(8, 6, 3, OIIO::TypeDesc::UINT8),
                                OIIO::ImageSpec(4, 3, 3, OIIO::TypeDesc::UINT8),
                                OIIO::ImageSpec(8, 6, 3, OIIO::TypeDesc::UINT8)};
    auto out = OIIO::ImageOutput::create(File("pages.tif").string());
    ASSERT_TRUE(out->open(File("pages.tif").string(), 3, specs)) << out->geterror();
    const std::vector<float> values(8 * 6 * 3, 0.5f);
    for (int page = 0; page < 3; ++page) {
      if (page > 0) {
        ASSERT_TRUE(out->open(File("pages.tif").string(), specs[page],
                              OIIO::ImageOutput::AppendSubimage));
      }
      ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data()));
    }
    ASSERT_TRUE(out->close());
  }
  // Movies are known by name, and read as movies: an image under a movie's
  // name is not one. A sequence's frames are images.
  WriteRawImage(File("still.png"), 8, 6, 3, OIIO::TypeDesc::UINT8, std::vector<float>(144, 0.5f));
  for (const char* movie : {"clip.mov", "clip.MP4", "clip.mkv", "clip.webm", "clip.0001.mxf",
                            "clip.0002.mxf"}) {
    std::filesystem::copy_file(File("still.png"), File(movie));
  }
  struct Case {
    std::string args;
    int exit_code;
    std::string message;
  };
  const std::string out = Q(File("out.exr"));
  const std::vector<Case> cases = {
      {Q(File("parts.exr")) + " " + out, 1,
       "parts.exr' holds 2 parts (\"beauty\" 8x8, \"depth\" 8x8); render takes files of one "
       "image"},
      {Q(File("pages.tif")) + " " + out, 1,
       "pages.tif' holds 3 pages (1 8x6, 2 4x3, 3 8x6); render takes files of one image"},
      {Q(File("clip.mov")) + " " + out, 1, "clip.mov' is not a movie but a single image"},
      {Q(File("clip.MP4")) + " " + Q(File("o.#.png")) + " --frames 0-23", 1,
       "clip.MP4' is not a movie but a single image"},
      {Q(File("clip.mkv")) + " " + out, 1, "clip.mkv' is not a movie"},
      {Q(File("clip.webm")) + " " + out, 1, "clip.webm' is not a movie"},
      {Q(File("clip.####.mxf")) + " " + Q(File("o.#.png")) + " --frames 1-2", 1,
       "clip.0001.mxf' is a movie: the frames of a sequence are image files"},
  };
  const std::vector<std::string> before = dir_.Entries();
  for (const Case& c : cases) {
    const CommandResult r = RunTool("render -q " + c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args << "\n" << r.err;
    EXPECT_THAT(r.err, AllOf(StartsWith("prismora: "), HasSubstr(c.message))) << c.args;
    EXPECT_EQ(dir_.Entries(), before) << c.args;
  }
}

// --- Compression ---------------------------------------------------------------

std::string CompressionOf(const std::filesystem::path& path) {
  const RawImage raw = ReadRawImage(path);
  std::string name = raw.spec.get_string_attribute("compression");
  const float level = raw.spec.get_float_attribute("openexr:dwaCompressionLevel", 0.0f);
  if (name.starts_with("dwa") && level > 0.0f) {
    name += ':';
    name += std::to_string(std::lround(level));
  }
  return name;
}

// The input's compression is kept for an output of its format, another
// format gets its writer's default, and --compression chooses.
TEST_F(CliFootage, CompressionIsKeptOrChosen) {
  auto write = [&](const std::string& name, const std::string& compression) {
    OIIO::ImageSpec spec(64, 32, 3, name.ends_with(".exr") ? OIIO::TypeDesc::HALF
                                                           : OIIO::TypeDesc::UINT8);
    spec.attribute("compression", compression);
    WriteSpec(File(name), spec, Corners(64, 32));
  };
  write("dwaa.exr", "dwaa:60");
  write("piz.exr", "piz");
  write("lzw.tif", "lzw");
  struct Case {
    std::string in, out, asked, compression;
  };
  for (const Case& c : {Case{"dwaa.exr", "a.exr", "", "dwaa:60"},
                        Case{"piz.exr", "b.exr", "", "piz"},
                        Case{"lzw.tif", "c.tif", "", "lzw"},
                        Case{"lzw.tif", "d.exr", "", "zip"},  // the writer's default
                        Case{"piz.exr", "e.exr", "dwab:120", "dwab:120"},
                        Case{"piz.exr", "f.exr", "zip:9", "zip"},
                        Case{"dwaa.exr", "g.tif", "packbits", "packbits"},
                        Case{"lzw.tif", "h.tif", "none", "none"}}) {
    std::string asked;
    if (!c.asked.empty()) asked.append(" --compression ").append(c.asked);
    const CommandResult r = Render(c.in, c.out, std::string("-p Amount=0").append(asked));
    ASSERT_EQ(r.exit_code, 0) << c.out << "\n" << r.err;
    EXPECT_EQ(CompressionOf(File(c.out)), c.compression) << c.in << " -> " << c.out << asked;
  }

  // JPEG quality and PNG level show in the sizes.
  ASSERT_EQ(Render("lzw.tif", "q20.jpg", "--compression 20").exit_code, 0);
  ASSERT_EQ(Render("lzw.tif", "q95.jpg", "--compression 95").exit_code, 0);
  EXPECT_LT(std::filesystem::file_size(File("q20.jpg")),
            std::filesystem::file_size(File("q95.jpg")));
  ASSERT_EQ(Render("lzw.tif", "z0.png", "--compression 0").exit_code, 0);
  ASSERT_EQ(Render("lzw.tif", "z9.png", "--compression 9").exit_code, 0);
  EXPECT_GT(std::filesystem::file_size(File("z0.png")), 64u * 32 * 3);
  EXPECT_LT(std::filesystem::file_size(File("z9.png")),
            std::filesystem::file_size(File("z0.png")) / 4);
}

// The bytes of a PNG file's compressed pixels (its IDAT chunks).
std::size_t PixelBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(8);
  std::size_t total = 0;
  unsigned char head[8];
  while (in.read(reinterpret_cast<char*>(head), 8)) {
    const std::size_t length = (std::size_t{head[0]} << 24) | (std::size_t{head[1]} << 16) |
                               (std::size_t{head[2]} << 8) | head[3];
    if (std::string_view(reinterpret_cast<char*>(head) + 4, 4) == "IDAT") total += length;
    in.seekg(static_cast<std::streamoff>(length + 4), std::ios::cur);
  }
  return total;
}

// A flat picture (a smooth gradient, as charts and graphics have) is packed
// at least as tightly as zlib's default settings pack it.
TEST_F(CliFootage, FlatPngIsNeverLargerThanZlibsDefault) {
  OIIO::ImageBuf gradient(OIIO::ImageSpec(320, 180, 3, OIIO::TypeDesc::UINT8));
  const float black[3] = {0, 0, 0}, red[3] = {1, 0, 0}, green[3] = {0, 1, 0}, blue[3] = {0, 0, 1};
  OIIO::ImageBufAlgo::fill(gradient, black, red, green, blue);
  ASSERT_TRUE(gradient.write(File("gradient.png").string()));  // zlib's default settings
  ASSERT_EQ(Render("gradient.png", "out.png", "-p Amount=0").exit_code, 0);
  EXPECT_LE(PixelBytes(File("out.png")), PixelBytes(File("gradient.png")));
  EXPECT_EQ(ReadRawImage(File("out.png")).values, ReadRawImage(File("gradient.png")).values);
}

TEST_F(CliFootage, CompressionOutsideWhatTheFormatTakesIsAUsageError) {
  WriteRawImage(File("in.png"), 8, 6, 3, OIIO::TypeDesc::UINT8, std::vector<float>(144, 0.5f));
  struct Case {
    std::string out, asked, message;
  };
  for (const Case& c :
       {Case{"o.exr", "zap",
             "--compression 'zap' is not one OpenEXR files take: they take none, rle"},
        Case{"o.exr", "piz:3", "is not one OpenEXR files take"},
        Case{"o.exr", "dwaa:0", "is not one OpenEXR files take"},
        Case{"o.exr", "zip:10", "is not one OpenEXR files take"},
        Case{"o.tif", "zip:10", "is not one TIFF files take: they take none, lzw, zip or packbits"},
        Case{"o.png", "10", "is not one PNG files take: they take a zlib level from 0"},
        Case{"o.png", "fast", "is not one PNG files take"},
        Case{"o.jpg", "0", "is not one JPEG files take: they take a quality from 1 to 100"},
        Case{"o.jpg", "lzw", "is not one JPEG files take"},
        Case{"o.bmp", "9", "--compression is not available for bmp files here, only for OpenEXR, "
                           "TIFF, PNG, JPEG files"},
        Case{"o.png", "''", "--compression needs a value"}}) {
    const CommandResult r = Render("in.png", c.out, "--compression " + c.asked);
    EXPECT_EQ(r.exit_code, 2) << c.out << " " << c.asked << "\n" << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.out << " " << c.asked;
    EXPECT_FALSE(std::filesystem::exists(File(c.out))) << c.out;
  }
}

#endif  // PRISMORA_HAVE_IMAGE_FILES

}  // namespace
}  // namespace prismora::testing
