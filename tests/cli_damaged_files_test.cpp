// prismora render given damaged, impossible and misnamed image files, made
// in each test from good files: every bad one ends with a message naming the
// file and the problem, a non-zero exit, and no output or temporary file; in
// a sequence, the frames before a damaged one stay written whole and the
// outputs of the frames after it are left as they were.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "image_fixtures.h"
#include "temp_dir.h"
#include "test_support.h"

#if defined(PRISMORA_HAVE_IMAGE_FILES) && !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace prismora::testing {
namespace {

#ifdef PRISMORA_HAVE_IMAGE_FILES

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// A path quoted for the shell.
std::string Q(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spit(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// --- Taking files apart -----------------------------------------------------

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string BigEndian32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

void PutLittleEndian32(std::string& bytes, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

struct PngChunk {
  std::string type;
  std::string data;
};

std::vector<PngChunk> PngChunks(const std::string& png) {
  std::vector<PngChunk> chunks;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const auto* p = reinterpret_cast<const unsigned char*>(png.data() + at);
    const std::size_t length = (std::size_t{p[0]} << 24) | (std::size_t{p[1]} << 16) |
                               (std::size_t{p[2]} << 8) | p[3];
    chunks.push_back({png.substr(at + 4, 4), png.substr(at + 8, length)});
    at += 12 + length;
  }
  return chunks;
}

// A well-formed PNG of the chunks: lengths and checksums made anew.
std::string PngFile(const std::vector<PngChunk>& chunks) {
  std::string png = "\x89PNG\r\n\x1a\n";
  for (const PngChunk& c : chunks) {
    png += BigEndian32(static_cast<uint32_t>(c.data.size())) + c.type + c.data;
    png += BigEndian32(Crc32(c.type + c.data));
  }
  return png;
}

// The PNG with every chunk of `type` passed through `change`.
std::string ChangedPng(const std::string& png, const std::string& type,
                       const std::function<void(std::string&)>& change) {
  std::vector<PngChunk> chunks = PngChunks(png);
  for (PngChunk& c : chunks) {
    if (c.type == type) change(c.data);
  }
  return PngFile(chunks);
}

// The PNG with its header's size replaced, and its pixel data left as it was.
std::string PngDeclaring(const std::string& png, uint32_t width, uint32_t height) {
  return ChangedPng(png, "IHDR", [&](std::string& d) {
    d.replace(0, 8, BigEndian32(width) + BigEndian32(height));
  });
}

// The PNG with its compressed pixel data scrambled past the stream's header:
// every chunk whole and its checksum right, so only decoding finds it.
std::string PngWithDamagedPixels(const std::string& png) {
  return ChangedPng(png, "IDAT", [](std::string& d) {
    for (std::size_t i = 4; i < d.size() && i < 40; ++i) d[i] = static_cast<char>(d[i] ^ 0x5A);
  });
}

// The EXR with its data window set to [0, 0] .. [x_max, y_max].
std::string ExrWithDataWindow(std::string exr, uint32_t x_max, uint32_t y_max) {
  const std::string name("dataWindow\0box2i\0", 17);
  const std::size_t at = exr.find(name);
  EXPECT_NE(at, std::string::npos);
  if (at == std::string::npos) return exr;
  const std::size_t box = at + name.size() + 4;  // past the value's size
  PutLittleEndian32(exr, box + 8, x_max);
  PutLittleEndian32(exr, box + 12, y_max);
  return exr;
}

// The EXR with the pixel types of its channel list overwritten.
std::string ExrWithDamagedChannels(std::string exr) {
  const std::string name("channels\0chlist\0", 16);
  const std::size_t at = exr.find(name);
  EXPECT_NE(at, std::string::npos);
  if (at == std::string::npos) return exr;
  // The first channel: size, its name ("A" or "B"), then its pixel type.
  exr.replace(at + name.size() + 4 + 2, 4, "\xff\xff\xff\x7f");
  return exr;
}

// The little-endian TIFF with its first directory's offset set to `offset`.
std::string TiffWithDirectoryAt(std::string tif, uint32_t offset) {
  EXPECT_EQ(tif.substr(0, 4), std::string("II*\0", 4));
  PutLittleEndian32(tif, 4, offset);
  return tif;
}

// The TIFF with the first entries of its directory overwritten.
std::string TiffWithDamagedDirectory(std::string tif) {
  const auto* p = reinterpret_cast<const unsigned char*>(tif.data() + 4);
  const std::size_t at = p[0] | (p[1] << 8) | (p[2] << 16) | (std::size_t{p[3]} << 24);
  if (at + 2 + 48 <= tif.size()) tif.replace(at + 2, 48, 48, '\xee');
  return tif;
}

// --- The files ----------------------------------------------------------------

std::vector<float> Picture(int width, int height, int channels, float shade = 1.0f) {
  std::vector<float> v;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool square = x > width / 4 && x < width / 2 && y > height / 4 && y < height / 2;
      const float ramp = static_cast<float>(x) / static_cast<float>(width - 1);
      for (int c = 0; c < channels; ++c) {
        v.push_back(c == 3 ? 0.5f + 0.5f * ramp : shade * (square ? 0.9f : ramp * 0.3f * c));
      }
    }
  }
  return v;
}

class CliDamagedFiles : public ::testing::Test {
 protected:
  fs::path File(const std::string& name) const { return dir_ / name; }

  // Good files of each format, for the damaged ones to be made from.
  void MakeGoodFiles() {
    WriteRawImage(File("good.png"), 32, 24, 3, OIIO::TypeDesc::UINT8, Picture(32, 24, 3));
    WriteRawImage(File("good16.png"), 32, 24, 4, OIIO::TypeDesc::UINT16, Picture(32, 24, 4), 3);
    WriteRawImage(File("good.exr"), 32, 24, 4, OIIO::TypeDesc::HALF, Picture(32, 24, 4), 3);
    WriteRawImage(File("good.tif"), 32, 24, 3, OIIO::TypeDesc::UINT8, Picture(32, 24, 3));
    WriteRawImage(File("good.jpg"), 32, 24, 3, OIIO::TypeDesc::UINT8, Picture(32, 24, 3));
  }

  CommandResult Render(const std::string& args) { return RunTool("render -q " + args); }

  TempDir dir_;
};

// One damaged input: its message names the file and the problem; nothing is
// written.
TEST_F(CliDamagedFiles, EachEndsWithItsProblemAndLeavesNothing) {
  MakeGoodFiles();
  const std::string png = Slurp(File("good.png"));
  const std::string exr = Slurp(File("good.exr"));
  const std::string tif = Slurp(File("good.tif"));
  const std::string jpg = Slurp(File("good.jpg"));

  struct Case {
    const char* name;
    std::string bytes;  // the input's contents
    const char* file;   // the input's name
    std::string message;
  };
  const std::vector<Case> cases = {
      {"empty PNG", "", "empty.png", "the file is empty"},
      {"empty EXR", "", "empty.exr", "the file is empty"},
      {"text named .png", "Not an image, just text.\n", "text.png", "Not a PNG file"},
      {"PNG cut inside its header", png.substr(0, 20), "cut-header.png",
       "the PNG file is cut short"},
      {"PNG cut before its end chunk", png.substr(0, png.size() - 12), "cut-end.png",
       "the PNG file is cut short"},
      {"PNG whose pixel data is damaged", PngWithDamagedPixels(png), "bad-pixels.png",
       "PNG read error"},
      {"PNG with a wrong checksum", png.substr(0, 29) + '\x7f' + png.substr(30),
       "bad-checksum.png", "CRC error"},
      // 16-bit RGBA: 8 bytes a pixel, 75 GiB in all.
      {"PNG declaring 100000x100000", PngDeclaring(Slurp(File("good16.png")), 100000, 100000),
       "huge.png", "its 100000x100000 pixels need 75 GiB of memory, more than this machine has"},
      {"PNG declaring more than PNG allows", PngDeclaring(png, 3'000'000, 3'000'000),
       "huger.png", "Invalid IHDR data"},
      {"EXR whose magic number is damaged", std::string(1, '\x77') + exr.substr(1), "bad-magic.exr",
       "is not an OpenEXR file"},
      {"EXR whose channel list is damaged", ExrWithDamagedChannels(exr), "bad-channels.exr",
       "image channel is invalid"},
      {"EXR cut inside its header", exr.substr(0, 100), "cut-header.exr",
       "Unexpected end of file"},
      {"EXR cut inside its pixels", exr.substr(0, exr.size() * 2 / 3), "cut-pixels.exr",
       "Error reading pixel data"},
      {"EXR declaring 100000x100000", ExrWithDataWindow(exr, 99999, 99999), "huge.exr",
       "Unexpected end of file"},
      {"EXR declaring an impossible window", ExrWithDataWindow(exr, 0x7FFFFFF0, 0x7FFFFFF0),
       "bad-window.exr", "Invalid data window"},
      {"TIFF whose directory lies past its end", TiffWithDirectoryAt(tif, 0xFFFFF000),
       "bad-offset.tif", "Failed to read directory"},
      {"TIFF whose directory is damaged", TiffWithDamagedDirectory(tif), "bad-directory.tif",
       "TIFF directory is missing required"},
      {"TIFF cut before its directory", tif.substr(0, tif.size() / 2), "cut.tif",
       "Failed to read directory"},
      {"JPEG cut short", jpg.substr(0, jpg.size() / 2), "cut.jpg", "Premature end of JPEG file"},
  };
  for (const Case& c : cases) Spit(File(c.file), c.bytes);

  const std::vector<std::string> before = dir_.Entries();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandResult r = Render(Q(File(c.file)) + " " + Q(File("out.png")));
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_THAT(r.err, AllOf(StartsWith("prismora: "), HasSubstr(Q(File(c.file))),
                             HasSubstr(c.message)));
    EXPECT_THAT(r.out, IsEmpty());
    EXPECT_EQ(dir_.Entries(), before);
  }
}

// Inputs that are no image file at all, and an output that is the input
// under another name.
TEST_F(CliDamagedFiles, WhatIsNoImageFileIsRefusedByName) {
  MakeGoodFiles();
  fs::create_directory(File("folder.png"));
  fs::create_symlink(File("good.png"), File("link.png"));
  struct Case {
    const char* name;
    std::string input;
    std::string output;
    int exit_code;
    std::string message;
  };
  std::vector<Case> cases = {
      {"a folder", Q(File("folder.png")), Q(File("out.png")), 1,
       Q(File("folder.png")) + " is a folder, not an image"},
      {"the output a link to the input", Q(File("good.png")), Q(File("link.png")), 2,
       "the output " + Q(File("link.png")) + " is the input"},
      {"a sequence written over itself", Q(File("in.#.png")), Q(File("in.#.png")) + " --frame 1",
       2, "the output " + Q(File("in.1.png")) + " is the input"},
  };
  fs::copy_file(File("good.png"), File("in.1.png"));
#ifndef _WIN32
  // A pipe nobody writes to: opening it to read would wait for ever.
  ASSERT_EQ(mkfifo(File("pipe.png").c_str(), 0600), 0);
  cases.push_back({"a pipe", Q(File("pipe.png")), Q(File("out.png")), 1,
                   Q(File("pipe.png")) + " is not a regular file"});
#endif
  const std::vector<std::string> before = dir_.Entries();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandResult r = Render(c.input + " " + c.output);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    EXPECT_THAT(r.err, AllOf(StartsWith("prismora: "), HasSubstr(c.message)));
    EXPECT_EQ(dir_.Entries(), before);
  }
  EXPECT_EQ(Slurp(File("good.png")), Slurp(File("link.png")));
}

// The reader is chosen by what the file holds: a good PNG named .exr is an
// image like any other.
TEST_F(CliDamagedFiles, AGoodFileUnderAnotherExtensionIsReadByItsContents) {
  MakeGoodFiles();
  fs::copy_file(File("good.png"), File("png-named.exr"));
  ASSERT_EQ(Render(Q(File("good.png")) + " " + Q(File("a.png")) + " -p Amount=4").exit_code, 0);
  const CommandResult r = Render(Q(File("png-named.exr")) + " " + Q(File("b.png")) +
                                 " -p Amount=4");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const RawImage a = ReadRawImage(File("a.png"));
  const RawImage b = ReadRawImage(File("b.png"));
  EXPECT_EQ(b.spec.format, OIIO::TypeDesc::UINT8);
  EXPECT_EQ(a.values, b.values);
}

// A frame whose header is good but whose pixels are damaged is found only
// when it is read: the frames before it are already written, and stay whole;
// the outputs of the frames from it on keep what they held.
TEST_F(CliDamagedFiles, ADamagedFrameStopsTheSequenceKeepingTheFramesBefore) {
  for (int f = 1; f <= 4; ++f) {
    WriteRawImage(File("in." + std::to_string(f) + ".png"), 32, 24, 3, OIIO::TypeDesc::UINT8,
                  Picture(32, 24, 3, 0.5f + 0.1f * static_cast<float>(f)));
  }
  const std::string settings = " --frames 1-4 -p Amount=5 -p 'Blur ON=on'";
  ASSERT_EQ(Render(Q(File("in.#.png")) + " " + Q(File("good.#.png")) + settings).exit_code, 0);
  Spit(File("in.3.png"), PngWithDamagedPixels(Slurp(File("in.3.png"))));
  Spit(File("out.3.png"), "precious");
  Spit(File("out.4.png"), "precious");

  const CommandResult r =
      Render(Q(File("in.#.png")) + " " + Q(File("out.#.png")) + " --threads 1" + settings);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, StartsWith("prismora: frame 3: cannot read " + Q(File("in.3.png"))));
  for (const char* f : {"1", "2"}) {
    const RawImage good = ReadRawImage(File(std::string("good.") + f + ".png"));
    const RawImage out = ReadRawImage(File(std::string("out.") + f + ".png"));
    EXPECT_EQ(out.spec.width, 32) << f;
    EXPECT_EQ(out.values, good.values) << f;
  }
  EXPECT_EQ(Slurp(File("out.3.png")), "precious");
  EXPECT_EQ(Slurp(File("out.4.png")), "precious");

  // Damage that the headers show stops the sequence before any frame, on
  // any number of threads.
  Spit(File("in.2.png"), Slurp(File("in.2.png")).substr(0, 100));
  const std::vector<std::string> before = dir_.Entries();
  const CommandResult cut =
      Render(Q(File("in.#.png")) + " " + Q(File("new.#.png")) + " --threads 2" + settings);
  EXPECT_EQ(cut.exit_code, 1);
  EXPECT_THAT(cut.err, AllOf(HasSubstr(Q(File("in.2.png"))), HasSubstr("cut short")));
  EXPECT_EQ(dir_.Entries(), before);
}

#endif  // PRISMORA_HAVE_IMAGE_FILES

}  // namespace
}  // namespace prismora::testing
