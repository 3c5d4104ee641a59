// Image files and safe writes, below the command-line tool.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "image_fixtures.h"
#include "imageio/image_file.h"
#include "imageio/pending_file.h"
#include "imageio/raster.h"
#include "temp_dir.h"

namespace prismora::testing {
namespace {

using imageio::Argb;
using imageio::Depth;
using imageio::Image;
using imageio::ImageError;
using imageio::ImageMetadata;
using imageio::PendingFile;
using imageio::Raster;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spill(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// --- Safe writes -------------------------------------------------------------

TEST(PendingFile, CommitReplacesTheTargetAndLeavesNothingElse) {
  TempDir dir;
  Spill(dir / "out.png", "old");
  {
    PendingFile pending(dir / "out.png");
    EXPECT_EQ(pending.path().parent_path(), dir.path());
    EXPECT_EQ(pending.path().extension(), ".png");
    Spill(pending.path(), "new");
    EXPECT_EQ(Slurp(dir / "out.png"), "old");
    pending.Commit();
  }
  EXPECT_EQ(Slurp(dir / "out.png"), "new");
  EXPECT_THAT(dir.Entries(), ElementsAre("out.png"));
}

TEST(PendingFile, AnUncommittedFileIsRemovedAndTheTargetKept) {
  TempDir dir;
  Spill(dir / "out.png", "old");
  {
    PendingFile pending(dir / "out.png");
    Spill(pending.path(), "half a fi");
  }
  EXPECT_EQ(Slurp(dir / "out.png"), "old");
  EXPECT_THAT(dir.Entries(), ElementsAre("out.png"));
}

TEST(PendingFile, RemovePendingFilesNowClearsWhatIsOpen) {
  TempDir dir;
  PendingFile a(dir / "a.exr");
  PendingFile b(dir / "b.exr");
  EXPECT_EQ(dir.Entries().size(), 2u);
  imageio::RemovePendingFilesNow();
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(PendingFile, FoldersThatCannotTakeTheFile) {
  TempDir dir;
  Spill(dir / "file", "x");
  struct Case {
    std::filesystem::path target;
    const char* message;
  };
  for (const Case& c : {Case{dir / "missing" / "out.png", "does not exist"},
                        Case{dir / "file" / "out.png", "is not a folder"}}) {
    try {
      PendingFile pending(c.target);
      ADD_FAILURE() << c.target;
    } catch (const ImageError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.target;
      EXPECT_THAT(e.what(), HasSubstr(c.target.string())) << c.target;
    }
  }
  EXPECT_THAT(dir.Entries(), ElementsAre("file"));
}

TEST(PendingFile, AFolderInTheTargetsPlaceIsNeverReplaced) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder.png");
  EXPECT_THROW(PendingFile(dir / "folder.png"), ImageError);
  // One that appears while the file is written.
  PendingFile pending(dir / "out.png");
  std::filesystem::create_directory(dir / "out.png");
  const std::string bytes = "new";
  ASSERT_TRUE(pending.WriteAt(bytes.data(), bytes.size(), 0));
  EXPECT_THROW(pending.Commit(), ImageError);
  EXPECT_THAT(dir.Entries(), ElementsAre("folder.png", "out.png"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "out.png"));
}

#ifndef _WIN32
// The temporary's name fits the folder's limit whatever the target's length,
// keeps as much of the target's name as fits, and never cuts a character
// written in several bytes.
TEST(PendingFile, TemporaryNamesFitTheFolder) {
  TempDir dir;
  const std::size_t name_max = 255;  // what Linux file systems allow
  std::string e_acute = "\xC3\xA9";
  std::string accents;
  for (int i = 0; i < 125; ++i) accents += e_acute;
  for (const std::string& name :
       {std::string("a.png"), std::string(228, 'x') + ".png", std::string(251, 'y') + ".png",
        accents + ".png", std::string(200, 'z') + "." + std::string(54, 'e')}) {
    ASSERT_LE(name.size(), name_max);
    PendingFile pending(dir / name);
    const std::string temp = pending.path().filename().string();
    EXPECT_LE(temp.size(), name_max) << name;
    EXPECT_EQ(temp[0], '.') << name;
    // The name's beginning, cut between characters.
    std::size_t kept = 0;
    while (kept < name.size() && 1 + kept < temp.size() && temp[1 + kept] == name[kept]) ++kept;
    EXPECT_GE(kept, std::min<std::size_t>(name.size(), 200)) << name;
    if (kept < name.size()) {
      EXPECT_NE(static_cast<unsigned char>(name[kept]) & 0xC0, 0x80) << name;
    }
    pending.Commit();
    EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
  }
}
#endif

// --- 16-bit scaling -------------------------------------------------------------

TEST(SixteenBit, EveryWorldValueSurvivesTheFileScale) {
  for (uint32_t w = 0; w <= 32768; ++w) {
    ASSERT_EQ(imageio::WorldFromFile16(imageio::FileFromWorld16(static_cast<uint16_t>(w))), w);
  }
  EXPECT_EQ(imageio::FileFromWorld16(32768), 65535);
  EXPECT_EQ(imageio::FileFromWorld16(40000), 65535);
  EXPECT_EQ(imageio::WorldFromFile16(65535), 32768);
}

#ifdef PRISMORA_HAVE_IMAGE_FILES

// A raster whose pixel i holds value(i, channel) in every channel.
template <class T, class F>
Raster MakeRaster(int width, int height, F value) {
  Raster r(width, height, imageio::ChannelTraits<T>::kDepth);
  int i = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x, ++i) {
      r.Row<T>(y)[x] = {value(i, 0), value(i, 1), value(i, 2), value(i, 3)};
    }
  }
  return r;
}

ImageMetadata Straight(bool alpha) {
  ImageMetadata m;
  m.has_alpha = alpha;
  return m;
}

TEST(ImageFiles, EverySixteenBitWorldValueSurvivesAWriteAndARead) {
  TempDir dir;
  // 257 x 128 pixels: every value 0..32768 in every channel, alpha included.
  const Raster raster = MakeRaster<uint16_t>(257, 128, [](int i, int c) {
    return static_cast<uint16_t>((i + c * 8191) % 32769);
  });
  for (const char* name : {"all.png", "all.tif"}) {
    imageio::WriteImage(dir / name, raster, Straight(true));
    const Image back = imageio::ReadImage(dir / name);
    EXPECT_EQ(back.raster.depth(), Depth::k16) << name;
    EXPECT_TRUE(back.raster.SamePixels(raster)) << name;
  }
}

// The PNM writer keeps 8 bits per channel: 16-bit pixels are refused with a
// clear message rather than cut down, and no file is left.
TEST(ImageFiles, SixteenBitsAreNotCutDownToEight) {
  TempDir dir;
  const Raster raster = MakeRaster<uint16_t>(7, 5, [](int i, int) {
    return static_cast<uint16_t>(i * 1000);
  });
  try {
    imageio::WriteImage(dir / "all.ppm", raster, Straight(false));
    ADD_FAILURE() << "written";
  } catch (const imageio::ImageError& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("cannot write 16-bit pixels"));
    EXPECT_THAT(e.what(), ::testing::HasSubstr("8 bits per channel"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "all.ppm"));
  EXPECT_THROW(imageio::CheckWritableFormat(dir / "x.pgm", Depth::k16), imageio::ImageError);
  EXPECT_NO_THROW(imageio::CheckWritableFormat(dir / "x.ppm", Depth::k8));
  EXPECT_NO_THROW(imageio::CheckWritableFormat(dir / "x.png", Depth::k16));
}

TEST(ImageFiles, EightBitStraightColourIsKeptExactly) {
  TempDir dir;
  // Alpha 0 and low alpha with bright colour: lost if anything premultiplies.
  const Raster raster = MakeRaster<uint8_t>(64, 16, [](int i, int c) {
    return static_cast<uint8_t>(c == 0 ? i % 7 : (i * 37 + c * 11) % 256);
  });
  for (const char* name : {"s.png", "s.tif", "s.tga"}) {
    imageio::WriteImage(dir / name, raster, Straight(true));
    const Image back = imageio::ReadImage(dir / name);
    EXPECT_EQ(back.raster.depth(), Depth::k8) << name;
    EXPECT_TRUE(back.raster.SamePixels(raster)) << name;
    EXPECT_TRUE(back.metadata.has_alpha) << name;
  }
}

// Every writer's bytes reach the file through checked writes, some through
// a proxy and some through memory: whatever the way, the file reads back
// whole, and exactly where the format keeps pixels exactly. A writer known
// to fail here (JPEG 2000 with this OpenImageIO) must be refused, never
// leave a file that does not read back.
TEST(ImageFiles, EveryWriterMakesWholeFiles) {
  TempDir dir;
  const Raster raster = MakeRaster<uint8_t>(37, 23, [](int i, int c) {
    return static_cast<uint8_t>(c == 0 ? 255 : (i * 29 + c * 83) % 256);
  });
  struct Case {
    const char* name;
    bool exact;
    bool may_refuse = false;
  };
  for (const Case& c : {Case{"w.png", true}, Case{"w.tif", true}, Case{"w.exr", true},
                        Case{"w.dpx", true}, Case{"w.tga", true}, Case{"w.bmp", true},
                        Case{"w.ppm", true}, Case{"w.sgi", true}, Case{"w.jpg", false},
                        Case{"w.hdr", false}, Case{"w.webp", false},
                        Case{"w.jp2", false, true}}) {
    if (!OIIO::ImageOutput::create(c.name)) {
      (void)OIIO::geterror();
      continue;  // a format this OpenImageIO was built without
    }
    // A colour space, which some formats store in blocks that their writers
    // go back to.
    ImageMetadata metadata = Straight(false);
    metadata.attributes.push_back({"oiio:ColorSpace", "string", {}, {"sRGB"}});
    try {
      imageio::WriteImage(dir / c.name, raster, metadata);
      const Image back = imageio::ReadImage(dir / c.name, Depth::k8);
      EXPECT_EQ(back.raster.width(), 37) << c.name;
      EXPECT_EQ(back.raster.height(), 23) << c.name;
      if (c.exact) {
        EXPECT_TRUE(back.raster.SamePixels(raster)) << c.name;
      }
    } catch (const ImageError& e) {
      if (!c.may_refuse) ADD_FAILURE() << c.name << ": " << e.what();
      EXPECT_THAT(e.what(), HasSubstr("are not written here")) << c.name;
      EXPECT_FALSE(std::filesystem::exists(dir / c.name)) << c.name;
    }
  }
}

// Pixels pass between files and memory a strip of rows at a time; 4096 pixels
// a row makes several strips at every depth, the last one short, and a tiled
// file is read whole. Straight alpha 0 keeps colour only if nothing is lost
// at a strip's edge.
TEST(ImageFiles, TallPicturesPassInStripsUnchanged) {
  TempDir dir;
  const int w = 4096, h = 150;
  const Raster r8 = MakeRaster<uint8_t>(w, h, [](int i, int c) {
    return static_cast<uint8_t>((i / 7 + c * 61) % 256);
  });
  const Raster r16 = MakeRaster<uint16_t>(w, h, [](int i, int c) {
    return static_cast<uint16_t>((i + c * 8191) % 32769);
  });
  const Raster r32 = MakeRaster<float>(w, h, [](int i, int c) {
    // Alpha 1/4, 1/2 or 1: premultiplied in the file and divided back exactly.
    return c == 0 ? static_cast<float>(1 << (i % 3)) / 4.0f : static_cast<float>(i % 1000) / 8.0f;
  });
  const struct {
    const char* name;
    const Raster* raster;
  } cases[] = {{"t8.png", &r8}, {"t16.png", &r16}, {"t16.tif", &r16}, {"t32.exr", &r32}};
  for (const auto& c : cases) {
    imageio::WriteImage(dir / c.name, *c.raster, Straight(true));
    EXPECT_TRUE(imageio::ReadImage(dir / c.name).raster.SamePixels(*c.raster)) << c.name;
  }

  // Into pixels held elsewhere, here with rows padded apart.
  std::vector<std::byte> memory;
  const ImageMetadata meta =
      imageio::ReadImage(dir / "t16.png", std::nullopt, [&](int width, int height, Depth d) {
        const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(width + 3) * imageio::BytesPerPixel(d);
        memory.resize(static_cast<std::size_t>(row * height));
        return imageio::MutableRasterView(memory.data(), row, width, height, d);
      });
  EXPECT_EQ(meta.pixel_type, "uint16");
  const imageio::RasterView view(memory.data(), (w + 3) * 8, w, h, Depth::k16);
  EXPECT_EQ(view.Row<uint16_t>(h - 1)[w - 1], r16.Row<uint16_t>(h - 1)[w - 1]);
  imageio::WriteImage(dir / "v.png", view, meta);
  EXPECT_TRUE(imageio::ReadImage(dir / "v.png").raster.SamePixels(r16));

  // A tiled file.
  std::vector<float> values;
  for (int i = 0; i < 100 * 70 * 3; ++i) values.push_back(static_cast<float>(i % 97));
  OIIO::ImageSpec spec(100, 70, 3, OIIO::TypeDesc::FLOAT);
  spec.tile_width = spec.tile_height = 32;
  auto out = OIIO::ImageOutput::create((dir / "tiled.exr").string());
  ASSERT_TRUE(out && out->open((dir / "tiled.exr").string(), spec));
  ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data()));
  ASSERT_TRUE(out->close());
  const Image tiled = imageio::ReadImage(dir / "tiled.exr");
  // The last pixel, 6999, holds values 20997..20999, each modulo 97.
  EXPECT_EQ(tiled.raster.Row<float>(69)[99], (Argb<float>{1.0f, 45.0f, 46.0f, 47.0f}));
}

TEST(ImageFiles, ExrStoresPremultipliedColourAndReadsBackStraight) {
  TempDir dir;
  Raster raster(2, 1, Depth::k32);
  raster.Row<float>(0)[0] = {0.5f, 0.8f, 2.0f, -0.25f};  // unclamped
  raster.Row<float>(0)[1] = {0.0f, 0.0f, 0.0f, 0.0f};
  imageio::WriteImage(dir / "a.exr", raster, Straight(true));

  const RawImage raw = ReadRawImage(dir / "a.exr");
  EXPECT_EQ(raw.spec.nchannels, 4);
  EXPECT_THAT(std::vector<float>(raw.values.begin(), raw.values.begin() + 4),
              ElementsAre(0.4f, 1.0f, -0.125f, 0.5f));

  const Image back = imageio::ReadImage(dir / "a.exr");
  EXPECT_TRUE(back.metadata.associated_alpha);
  EXPECT_EQ(back.raster.depth(), Depth::k32);
  EXPECT_TRUE(back.raster.SamePixels(raster));
}

TEST(ImageFiles, PremultipliedFilesAreDividedBeforeRounding) {
  TempDir dir;
  // Half-float EXR with colour premultiplied by 0.25, read into 8 and 16 bits.
  WriteRawImage(dir / "p.exr", 1, 1, 4, OIIO::TypeDesc::HALF, {0.25f, 0.125f, 0.0f, 0.25f}, 3);
  const Image i8 = imageio::ReadImage(dir / "p.exr", Depth::k8);
  EXPECT_EQ(i8.raster.Row<uint8_t>(0)[0], (Argb<uint8_t>{64, 255, 128, 0}));
  const Image i16 = imageio::ReadImage(dir / "p.exr", Depth::k16);
  EXPECT_EQ(i16.raster.Row<uint16_t>(0)[0], (Argb<uint16_t>{8192, 32768, 16384, 0}));
  const Image f = imageio::ReadImage(dir / "p.exr");
  EXPECT_EQ(f.metadata.pixel_type, "half");
  EXPECT_EQ(f.raster.Row<float>(0)[0], (Argb<float>{0.25f, 1.0f, 0.5f, 0.0f}));
  // Written back as it came: half, premultiplied.
  imageio::WriteImage(dir / "q.exr", f.raster, f.metadata);
  const RawImage raw = ReadRawImage(dir / "q.exr");
  EXPECT_EQ(raw.spec.format, OIIO::TypeDesc::HALF);
  EXPECT_EQ(raw.values, (std::vector<float>{0.25f, 0.125f, 0.0f, 0.25f}));
}

TEST(ImageFiles, DepthFollowsThePixelTypeUnlessAsked) {
  TempDir dir;
  struct Case {
    const char* name;
    OIIO::TypeDesc type;
    std::optional<Depth> asked;
    Depth depth;
  };
  for (const Case& c : {Case{"u8.png", OIIO::TypeDesc::UINT8, {}, Depth::k8},
                        Case{"u16.png", OIIO::TypeDesc::UINT16, {}, Depth::k16},
                        Case{"h.exr", OIIO::TypeDesc::HALF, {}, Depth::k32},
                        Case{"f.tif", OIIO::TypeDesc::FLOAT, {}, Depth::k32},
                        Case{"u8to16.png", OIIO::TypeDesc::UINT8, Depth::k16, Depth::k16},
                        Case{"fto8.tif", OIIO::TypeDesc::FLOAT, Depth::k8, Depth::k8}}) {
    WriteRawImage(dir / c.name, 1, 1, 3, c.type, {0.5f, 0.5f, 0.5f});
    const Image image = imageio::ReadImage(dir / c.name, c.asked);
    EXPECT_EQ(image.raster.depth(), c.depth) << c.name;
    EXPECT_FALSE(image.metadata.has_alpha) << c.name;
    imageio::VisitDepth(c.depth, [&](auto t) {
      using T = typename decltype(t)::type;
      const Argb<T> p = image.raster.Row<T>(0)[0];
      EXPECT_EQ(imageio::ToUnit(p.alpha), 1.0f) << c.name;  // opaque
      EXPECT_NEAR(imageio::ToUnit(p.red), 0.5f, 0.004) << c.name;
    });
  }
}

TEST(ImageFiles, GreyIsExpandedAndAlphaAddedOrKept) {
  TempDir dir;
  WriteRawImage(dir / "g.png", 2, 1, 1, OIIO::TypeDesc::UINT8, {0.0f, 1.0f});
  WriteRawImage(dir / "ga.png", 2, 1, 2, OIIO::TypeDesc::UINT8, {1.0f, 0.2f, 0.6f, 1.0f}, 1);

  const Image g = imageio::ReadImage(dir / "g.png");
  EXPECT_EQ(g.metadata.channels, 1);
  EXPECT_FALSE(g.metadata.has_alpha);
  EXPECT_EQ(g.raster.Row<uint8_t>(0)[0], (Argb<uint8_t>{255, 0, 0, 0}));
  EXPECT_EQ(g.raster.Row<uint8_t>(0)[1], (Argb<uint8_t>{255, 255, 255, 255}));

  const Image ga = imageio::ReadImage(dir / "ga.png");
  EXPECT_TRUE(ga.metadata.has_alpha);
  EXPECT_EQ(ga.raster.Row<uint8_t>(0)[0], (Argb<uint8_t>{51, 255, 255, 255}));
  EXPECT_EQ(ga.raster.Row<uint8_t>(0)[1], (Argb<uint8_t>{255, 153, 153, 153}));

  // Written back in colour; alpha only where the input had one.
  imageio::WriteImage(dir / "g-out.png", g.raster, g.metadata);
  imageio::WriteImage(dir / "ga-out.png", ga.raster, ga.metadata);
  EXPECT_EQ(ReadRawImage(dir / "g-out.png").spec.nchannels, 3);
  EXPECT_EQ(ReadRawImage(dir / "ga-out.png").spec.nchannels, 4);
  EXPECT_TRUE(imageio::ReadImage(dir / "ga-out.png").raster.SamePixels(ga.raster));
}

TEST(ImageFiles, MetadataIsCarriedToTheOutput) {
  TempDir dir;
  {
    OIIO::ImageSpec spec(2, 2, 3, OIIO::TypeDesc::HALF);
    spec.x = 5;  // pixels placed inside a larger picture
    spec.y = 3;
    spec.full_width = 40;
    spec.full_height = 30;
    spec.attribute("XResolution", 300.0f);
    spec.attribute("YResolution", 300.0f);
    spec.attribute("ResolutionUnit", "inch");
    spec.attribute("ImageDescription", "a test card");
    spec.attribute("compression", "piz");
    auto out = OIIO::ImageOutput::create((dir / "in.exr").string());
    ASSERT_TRUE(out->open((dir / "in.exr").string(), spec));
    const std::vector<float> pixels(12, 0.5f);
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, pixels.data()));
    ASSERT_TRUE(out->close());
  }
  const Image image = imageio::ReadImage(dir / "in.exr");
  // OpenEXR files are linear by definition.
  EXPECT_EQ(image.metadata.Text("oiio:ColorSpace"), "Linear");
  // Each format keeps what it can store (PNG keeps resolution in dots per metre).
  for (const char* name : {"out.exr", "out.tif", "out.png"}) {
    imageio::WriteImage(dir / name, image.raster, image.metadata);
    const RawImage raw = ReadRawImage(dir / name);
    EXPECT_NEAR(raw.spec.get_float_attribute("XResolution"), 300.0f, 0.01f) << name;
    EXPECT_NEAR(raw.spec.get_float_attribute("YResolution"), 300.0f, 0.01f) << name;
  }
  const RawImage exr = ReadRawImage(dir / "out.exr");
  EXPECT_EQ(exr.spec.format, OIIO::TypeDesc::HALF);
  EXPECT_EQ(exr.spec.x, 5);
  EXPECT_EQ(exr.spec.y, 3);
  EXPECT_EQ(exr.spec.full_width, 40);
  EXPECT_EQ(exr.spec.full_height, 30);
  EXPECT_EQ(exr.spec.get_string_attribute("ImageDescription"), "a test card");
  EXPECT_EQ(ReadRawImage(dir / "out.tif").spec.get_string_attribute("ImageDescription"),
            "a test card");
  EXPECT_EQ(ReadRawImage(dir / "out.png").spec.get_string_attribute("oiio:ColorSpace"), "Linear");
}

TEST(ImageFiles, BadInputsAreNamed) {
  TempDir dir;
  // A valid PNG cut short, random bytes, a five-channel EXR, a folder.
  const Raster raster = MakeRaster<uint8_t>(64, 64, [](int i, int c) {
    return static_cast<uint8_t>(i * 13 + c * 101);
  });
  // Each format cut short: PNG (checked before decoding), JPEG (whose reader
  // fills in the rest and leaves only a message), OpenEXR.
  for (const char* ext : {".png", ".jpg", ".exr"}) {
    imageio::WriteImage(dir / (std::string("whole") + ext), raster, Straight(true));
    const std::string whole = Slurp(dir / (std::string("whole") + ext));
    Spill(dir / (std::string("cut") + ext), whole.substr(0, whole.size() / 2));
  }
  Spill(dir / "noise.png", std::string(500, '\x5a'));
  Spill(dir / "empty.exr", "");
  WriteRawImage(dir / "five.exr", 1, 1, 5, OIIO::TypeDesc::HALF, {0, 0, 0, 1, 0}, 3,
                {"R", "G", "B", "A", "Z"});
  WriteRawImage(dir / "two.tif", 1, 1, 2, OIIO::TypeDesc::UINT8, {0, 0}, -1);
  std::filesystem::create_directory(dir / "folder.png");
  struct Case {
    const char* name;
    const char* message;
  };
  for (const Case& c : {Case{"missing.png", "does not exist"},
                        Case{"folder.png", "is a folder"},
                        Case{"cut.png", "the PNG file is cut short"},
                        Case{"cut.jpg", "cannot read"},
                        Case{"cut.exr", "cannot read"},
                        Case{"noise.png", "cannot read"},
                        Case{"empty.exr", "cannot read"},
                        Case{"five.exr", "unsupported channel layout: 5 channels (R, G, B, A, Z)"},
                        Case{"two.tif", "unsupported channel layout: 2 channels"}}) {
    try {
      imageio::ReadImage(dir / c.name);
      ADD_FAILURE() << c.name << " was read";
    } catch (const ImageError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.name;
      EXPECT_THAT(e.what(), HasSubstr(c.name)) << c.name;
      EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << e.what();
    }
  }
}

TEST(ImageFiles, OutputFormatsAreKnownByExtension) {
  EXPECT_NO_THROW(imageio::CheckWritableFormat("x.png"));
  EXPECT_NO_THROW(imageio::CheckWritableFormat("x.EXR"));
  EXPECT_THROW(imageio::CheckWritableFormat("x.nosuchformat"), ImageError);
  EXPECT_THROW(imageio::CheckWritableFormat("noextension"), ImageError);
}

#endif  // PRISMORA_HAVE_IMAGE_FILES

}  // namespace
}  // namespace prismora::testing
