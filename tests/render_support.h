// Helpers of the render tests: the effect applied to a layer, frames rendered
// through the real plug-in with the host's audit checked after every call,
// small images of the three depths, and a sampling suite that records the
// positions asked for and can answer from a script.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <vector>

#include "minihost/driver/frame.h"
#include "minihost/params/params.h"
#include "minihost/suites/parameter_suites.h"
#include "minihost/suites/render_services.h"
#include "minihost/suites/sampling.h"
#include "minihost/suites/worlds.h"
#include "params/param_table.h"
#include "render/render_snapshot.h"
#include "test_support.h"

// Pixels compare and print channel by channel (alpha, red, green, blue).
inline bool operator==(const PF_Pixel& a, const PF_Pixel& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}
inline bool operator==(const PF_Pixel16& a, const PF_Pixel16& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}
inline void PrintTo(const PF_Pixel& p, std::ostream* os) {
  *os << "(" << int{p.alpha} << ", " << int{p.red} << ", " << int{p.green} << ", "
      << int{p.blue} << ")";
}
inline void PrintTo(const PF_Pixel16& p, std::ostream* os) {
  *os << "(" << p.alpha << ", " << p.red << ", " << p.green << ", " << p.blue << ")";
}
inline void PrintTo(const PF_PixelFloat& p, std::ostream* os) {
  *os << "(" << p.alpha << ", " << p.red << ", " << p.green << ", " << p.blue << ")";
}

namespace prismora::testing {

using minihost::World;

inline PF_Fixed Fixed(double value) { return ToFixed(value); }
inline PF_Fixed Px(A_long pixels) { return pixels * 65536; }

// The effect applied to a layer of the given size, after global, parameter
// and sequence set-up, with the parameters at their defaults.
class Effect {
 public:
  Effect(A_long width = 16, A_long height = 16) {
    params.SetLayerSize(width, height);
    EXPECT_EQ(host.GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(params.ParamsSetup(), PF_Err_NONE);
    instance = &host.NewInstance();
    EXPECT_EQ(host.SequenceSetup(*instance), PF_Err_NONE);
    EXPECT_THAT(host.problems(), ::testing::IsEmpty());
  }

  PF_ParamDefUnion& operator[](ParamIndex index) {
    return params.Params(*instance)[static_cast<std::size_t>(index)].def.u;
  }
  void Slider(ParamIndex index, double value) { (*this)[index].fd.value = Fixed(value); }
  void Check(ParamIndex index, bool on) { (*this)[index].bd.value = on ? 1 : 0; }
  void Point(ParamIndex index, PF_Fixed x, PF_Fixed y) {
    (*this)[index].td.x_value = x;
    (*this)[index].td.y_value = y;
  }
  void Color(ParamIndex index, A_u_char r, A_u_char g, A_u_char b, A_u_char a = 255) {
    (*this)[index].cd.value = PF_Pixel{a, r, g, b};
  }
  void Mode(A_long mode) { (*this)[PARAM_COLOR_MODE].pd.value = mode; }

  // One frame: pre-render, render when it succeeded, deletion of the
  // pre-render data; nothing may be left behind after any of them.
  PF_Err Render(const World& input, World& output) {
    minihost::Frame frame(host, *instance, input, output);
    PF_Err err = frame.PreRender();
    EXPECT_THAT(host.problems(), ::testing::IsEmpty()) << "after pre-render";
    if (err == PF_Err_NONE) {
      err = frame.Render();
      EXPECT_THAT(host.problems(), ::testing::IsEmpty()) << "after render";
    }
    frame.DeletePreRenderData();
    EXPECT_THAT(host.problems(), ::testing::IsEmpty()) << "after deletion";
    EXPECT_EQ(render.held(), 0u);
    return err;
  }

  // The snapshot as pre-render left it (and, with `render`, as the render
  // left it), copied before the host deletes it.
  RenderSnapshot Snapshot(const World& input, World& output, bool and_render = false) {
    minihost::Frame frame(host, *instance, input, output);
    RenderSnapshot copy{};
    EXPECT_EQ(frame.PreRender(), PF_Err_NONE);
    if (and_render) {
      EXPECT_EQ(frame.Render(), PF_Err_NONE);
    }
    EXPECT_TRUE(frame.pre_render_data() != nullptr);
    if (frame.pre_render_data() != nullptr) {
      EXPECT_EQ(host.handles().Size(frame.pre_render_data()), sizeof(RenderSnapshot));
      std::memcpy(&copy, *frame.pre_render_data(), sizeof copy);
    }
    return copy;
  }

  minihost::Host host{Plugin()};
  minihost::ParamService& params = minihost::InstallParameterSuites(host);
  minihost::RenderService& render = minihost::RenderService::Install(host);
  minihost::Instance* instance = nullptr;
};

// --- Images -----------------------------------------------------------------

// Channel values of an 8-bit pixel at the other depths: 16-bit on 0..32768,
// float on 0..1.
inline PF_Pixel16 To16(const PF_Pixel& p) {
  auto c = [](A_u_char v) { return static_cast<A_u_short>((v * 32768 + 127) / 255); };
  return PF_Pixel16{c(p.alpha), c(p.red), c(p.green), c(p.blue)};
}
inline PF_PixelFloat ToFloat(const PF_Pixel& p) {
  auto c = [](A_u_char v) { return v / 255.0f; };
  return PF_PixelFloat{c(p.alpha), c(p.red), c(p.green), c(p.blue)};
}

// A world of `format` holding the 8-bit pixels of `source` at that depth.
inline std::unique_ptr<World> AtDepth(const World& source, PF_PixelFormat format,
                                      A_long padding = 0) {
  auto out = std::make_unique<World>(source.width(), source.height(), format, padding);
  for (A_long y = 0; y < source.height(); ++y) {
    for (A_long x = 0; x < source.width(); ++x) {
      const PF_Pixel p = source.Get<PF_Pixel>(x, y);
      if (format == PF_PixelFormat_ARGB64) out->Set(x, y, To16(p));
      else if (format == PF_PixelFormat_ARGB128) out->Set(x, y, ToFloat(p));
      else out->Set(x, y, p);
    }
  }
  return out;
}

// Random 8-bit pixels, premultiplied as the host's are (alpha 0 has no
// colour), some opaque, some transparent, some in between.
inline void FillRandom(World& world, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x) {
      const int kind = byte(random) % 4;
      const int alpha = kind == 0 ? 0 : kind == 1 ? byte(random) : 255;
      auto channel = [&] { return static_cast<A_u_char>(byte(random) * alpha / 255); };
      world.Set(x, y, PF_Pixel{static_cast<A_u_char>(alpha), channel(), channel(), channel()});
    }
  }
}

// The same image, left and right (and, with `vertical`, top and bottom) swapped.
inline std::unique_ptr<World> Mirrored(const World& source, bool vertical) {
  auto out = std::make_unique<World>(source.width(), source.height(), source.format());
  const std::size_t bytes = source.pixel_bytes();
  for (A_long y = 0; y < source.height(); ++y) {
    const A_long sy = vertical ? source.height() - 1 - y : y;
    for (A_long x = 0; x < source.width(); ++x) {
      std::memcpy(out->row(y) + static_cast<std::size_t>(x) * bytes,
                  source.row(sy) + static_cast<std::size_t>(source.width() - 1 - x) * bytes,
                  bytes);
    }
  }
  return out;
}

// --- A sampling suite that records and answers -------------------------------

struct SampleCall {
  PF_Fixed x, y;
  const PF_EffectWorld* source;
};

// Replaces the host's 8-bit subpixel sampling while it lives: every position
// is recorded, and `answer`, when set, gives the pixel instead of the host.
class SampleProbe8 {
 public:
  explicit SampleProbe8(minihost::Host& host) : host_(host) {
    current() = this;
    suite_ = minihost::Sampling8Suite();
    suite_.subpixel_sample = &Sample;
    host_.suites().Register(kPFSampling8Suite, kPFSampling8SuiteVersion1, &suite_);
  }
  ~SampleProbe8() {
    host_.suites().Register(kPFSampling8Suite, kPFSampling8SuiteVersion1,
                            &minihost::Sampling8Suite());
    current() = nullptr;
  }
  SampleProbe8(const SampleProbe8&) = delete;
  SampleProbe8& operator=(const SampleProbe8&) = delete;

  std::vector<SampleCall> calls;
  std::function<PF_Pixel(const SampleCall&)> answer;

 private:
  static SampleProbe8*& current() {
    static SampleProbe8* probe = nullptr;
    return probe;
  }
  static PF_Err Sample(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* block,
                       PF_Pixel* dst) {
    SampleProbe8* probe = current();
    probe->calls.push_back(SampleCall{x, y, block->src});
    if (probe->answer) {
      *dst = probe->answer(probe->calls.back());
      return PF_Err_NONE;
    }
    return minihost::Sampling8Suite().subpixel_sample(ref, x, y, block, dst);
  }

  minihost::Host& host_;
  PF_Sampling8Suite1 suite_{};
};

}  // namespace prismora::testing
