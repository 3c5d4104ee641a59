// A frame through the real plug-in, loaded as a host loads it, for inputs a
// host may hand over: the twenty values the render reads in any bit pattern
// (an expression delivers values outside every valid range), worlds of the
// three depths from empty to the render's largest side (areas stay small:
// only thin worlds are long), any row padding, outputs narrower, wider,
// shorter or taller than the input, and pixels of any content, NaN and
// infinities included at float depth.
//
// Each input is rendered twice, into outputs filled with two different bytes,
// and checked (a violation aborts):
//   - the host's audit finds nothing left behind after each command;
//   - an output the render cannot fill gives 255 and stays untouched;
//   - otherwise every pixel of W x H is written (the two outputs agree there,
//     so no pixel kept either filling) and nothing else is: columns beyond W
//     and the row padding keep what they held;
//   - 16-bit channels stay within 0..32768 when the input's do;
//   - float results are finite when the input is tame (finite, alpha >= 0,
//     magnitudes up to 2^20) and so is the vignette's range (or it is off):
//     outside that, the unclamped float arithmetic may overflow by design;
//   - a render takes at most three samples per pixel for the main pass and, for
//     the blur, no more per pixel than can see the world along its run.
// Renders that could take more samples than a fuzzing run affords are
// stopped by a failing sample once past that many; they must then return
// that failure, write nothing beyond W x H and still give everything back.
//
// Input layout (little-endian; bytes past the end read as zero):
//   0      depth: 8-bit, 16-bit, float (mod 3)
//   1, 3   width, height (u16), folded into the sizes above
//   5      output shape: bits 0-1 width W, W+1, W+3, W-1; bit 2 height differs,
//          bit 3 taller (else shorter)
//   6..8   row padding of input, output and the plug-in's own worlds (mod 32)
//   9      pixel coding: 16-bit bit 0 any value (else 0..32768); float mod 3
//          tame, any bits, special values
//   10     the twenty parameters, 9 bytes each: a selector (mod 4: default,
//          valid, any bits, special) and 8 bytes of payload
//   190    pixels, repeated as far as needed
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "minihost/driver/frame.h"
#include "minihost/loading/plugin_library.h"
#include "minihost/params/params.h"
#include "minihost/suites/parameter_suites.h"
#include "minihost/suites/render_services.h"
#include "minihost/suites/sampling.h"
#include "minihost/suites/worlds.h"
#include "params/param_table.h"

namespace {

using minihost::World;
using prismora::ParamIndex;

// The render's own limit on a side (positions are x x 65536 in 32 bits).
constexpr A_long kLargestSide = 32767;
constexpr int64_t kSmallArea = 4096;
// Thin worlds reach just past the render's limit.
constexpr A_long kThinLength = 33000;
constexpr int64_t kSampleBudget = int64_t{1} << 17;
constexpr double kTame = 1048576.0;  // 2^20

// The values the render reads, in the order pre-render checks them out.
constexpr std::array<ParamIndex, 20> kRenderParams = {
    prismora::PARAM_COLOR_MODE,        prismora::PARAM_COLOR1,
    prismora::PARAM_COLOR2,            prismora::PARAM_COLOR3,
    prismora::PARAM_CENTER,            prismora::PARAM_VIGNETTING_CENTER,
    prismora::PARAM_VIGNETTING_SAME,   prismora::PARAM_AMOUNT,
    prismora::PARAM_POWER,             prismora::PARAM_BLUR_AMOUNT,
    prismora::PARAM_RANDOM_ON,         prismora::PARAM_RANDOM_VALUE,
    prismora::PARAM_VIGNETTING_ON,     prismora::PARAM_VIGNETTING_MAXIMUM,
    prismora::PARAM_VIGNETTING_MINIMUM, prismora::PARAM_VIGNETTING_BRIGHTNESS,
    prismora::PARAM_VIGNETTING_POWER,  prismora::PARAM_VIGNETTING_AMOUNT,
    prismora::PARAM_BLUR_ON,           prismora::PARAM_LIMITER,
};

constexpr int32_t kSpecialInts[] = {
    0, 1, -1, 32768, 65536, -65536, 655360, -655360, 6553600, -6553600,
    INT32_MAX, INT32_MIN, INT32_MIN + 1, INT32_MAX - 65535, 32767 * 65536, -32768 * 65536,
};
const double kSpecialDoubles[] = {
    0.0, -0.0, 1.0, -1.0, 0.5, 3.0, kTame, -kTame, 1e300, -1e300,
    std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
    std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::quiet_NaN(),
};
const float kSpecialFloats[] = {
    0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 255.0f, 32768.0f, 1e-20f, 1e20f, -1e20f,
    std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::min(),
    std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
    std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
    std::numeric_limits<float>::quiet_NaN(),
};

template <class T, std::size_t N>
T Pick(const T (&table)[N], uint64_t index) {
  return table[index % N];
}

// The host's subpixel samplers, counted; while a cap is set, every sample
// past it fails with kStopped.
constexpr PF_Err kStopped = 0x5707;
struct SampleCount {
  int64_t taken = 0;
  int64_t cap = INT64_MAX;
};
SampleCount g_samples;

template <class Suite, const Suite& (*Host)(), auto Suite::*Function, class Pixel>
PF_Err Counted(PF_ProgPtr ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* block, Pixel* dst) {
  if (++g_samples.taken > g_samples.cap) return kStopped;
  return (Host().*Function)(ref, x, y, block, dst);
}

PF_Sampling8Suite1 g_sampling8;
PF_Sampling16Suite1 g_sampling16;
PF_SamplingFloatSuite1 g_sampling_float;

void MakeCountedSuites() {
  using minihost::Sampling8Suite, minihost::Sampling16Suite, minihost::SamplingFloatSuite;
  g_sampling8 = Sampling8Suite();
  g_sampling8.subpixel_sample =
      Counted<PF_Sampling8Suite1, Sampling8Suite, &PF_Sampling8Suite1::subpixel_sample, PF_Pixel>;
  g_sampling16 = Sampling16Suite();
  g_sampling16.subpixel_sample16 =
      Counted<PF_Sampling16Suite1, Sampling16Suite, &PF_Sampling16Suite1::subpixel_sample16,
              PF_Pixel16>;
  g_sampling_float = SamplingFloatSuite();
  g_sampling_float.subpixel_sample_float =
      Counted<PF_SamplingFloatSuite1, SamplingFloatSuite,
              &PF_SamplingFloatSuite1::subpixel_sample_float, PF_PixelFloat>;
}

class Bytes {
 public:
  explicit Bytes(std::span<const uint8_t> data) : data_(data) {}
  uint64_t Take(std::size_t n) {
    uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i, ++at_) {
      if (at_ < data_.size()) v |= uint64_t{data_[at_]} << (8 * i);
    }
    return v;
  }
  std::span<const uint8_t> Rest() const {
    return at_ < data_.size() ? data_.subspan(at_) : std::span<const uint8_t>();
  }

 private:
  std::span<const uint8_t> data_;
  std::size_t at_ = 0;
};

// The effect applied to a layer, on a host of its own for each input (a
// host keeps every handle it ever gave out, to recognise a stale one).
struct Effect {
  explicit Effect(std::shared_ptr<const minihost::PluginLibrary> plugin)
      : host(std::move(plugin)),
        params(minihost::InstallParameterSuites(host)),
        render(minihost::RenderService::Install(host)),
        worlds(minihost::WorldService::Install(host)) {
    host.suites().Register(kPFSampling8Suite, kPFSampling8SuiteVersion1, &g_sampling8);
    host.suites().Register(kPFSampling16Suite, kPFSampling16SuiteVersion1, &g_sampling16);
    host.suites().Register(kPFSamplingFloatSuite, kPFSamplingFloatSuiteVersion1, &g_sampling_float);
    // The call log would grow with every input.
    host.faults().set_recording(false);
    params.SetLayerSize(64, 64);
    if (host.GlobalSetup() != PF_Err_NONE || params.ParamsSetup() != PF_Err_NONE) {
      std::fprintf(stderr, "fuzz_render: the plug-in's set-up failed\n");
      std::abort();
    }
    instance = &host.NewInstance();
    if (host.SequenceSetup(*instance) != PF_Err_NONE || !host.problems().empty()) {
      std::fprintf(stderr, "fuzz_render: the plug-in's sequence set-up failed\n");
      std::abort();
    }
    defaults = params.Params(*instance);
  }
  PF_ParamDefUnion& operator[](ParamIndex index) {
    return params.Params(*instance)[static_cast<std::size_t>(index)].def.u;
  }

  minihost::Host host;
  minihost::ParamService& params;
  minihost::RenderService& render;
  minihost::WorldService& worlds;
  minihost::Instance* instance = nullptr;
  std::vector<minihost::HostParam> defaults;
};

std::shared_ptr<const minihost::PluginLibrary> g_plugin;
std::string g_case;  // what the current input sets up, for reports

[[noreturn]] void Violation(const std::string& what) {
  std::fprintf(stderr, "fuzz_render: %s\n  case: %s\n", what.c_str(), g_case.c_str());
  std::abort();
}

void Expect(bool holds, const char* what) {
  if (!holds) Violation(what);
}

void CheckAudit(Effect& e, const char* after) {
  if (e.host.problems().empty()) return;
  std::string text = std::string("the host's audit after ") + after + ":";
  for (const std::string& p : e.host.problems()) text += "\n    " + p;
  Violation(text);
}

void SetParam(Effect& e, ParamIndex index, uint8_t selector, uint64_t payload, A_long width,
              A_long height) {
  const std::size_t i = static_cast<std::size_t>(index);
  const PF_ParamDef& def = e.defaults[i].def;
  PF_ParamDefUnion& u = e[index];
  const int kind = selector % 4;  // default, valid, any bits, special
  const auto low = static_cast<int32_t>(static_cast<uint32_t>(payload));
  const auto high = static_cast<int32_t>(static_cast<uint32_t>(payload >> 32));
  if (kind == 0) return;
  switch (def.param_type) {
    case PF_Param_FIX_SLIDER:
      if (kind == 1) {
        const int64_t span = int64_t{def.u.fd.valid_max} - def.u.fd.valid_min + 1;
        u.fd.value = static_cast<PF_Fixed>(def.u.fd.valid_min +
                                           static_cast<int64_t>(payload % uint64_t(span)));
      } else {
        u.fd.value = kind == 2 ? low : Pick(kSpecialInts, payload);
      }
      break;
    case PF_Param_FLOAT_SLIDER:
      if (kind == 1) {
        const double unit = static_cast<double>(payload >> 11) * 0x1p-53;
        u.fs_d.value = def.u.fs_d.valid_min + unit * (def.u.fs_d.valid_max - def.u.fs_d.valid_min);
      } else if (kind == 2) {
        std::memcpy(&u.fs_d.value, &payload, sizeof u.fs_d.value);
      } else {
        u.fs_d.value = Pick(kSpecialDoubles, payload);
      }
      break;
    case PF_Param_POINT:
      if (kind == 1) {  // anywhere on the world, to the 1/65536 pixel
        u.td.x_value = static_cast<PF_Fixed>(static_cast<uint32_t>(payload) %
                                             (uint64_t(width) * 65536 + 1));
        u.td.y_value = static_cast<PF_Fixed>((payload >> 32) % (uint64_t(height) * 65536 + 1));
      } else if (kind == 2) {
        u.td.x_value = low;
        u.td.y_value = high;
      } else {
        u.td.x_value = Pick(kSpecialInts, payload & 0xFF);
        u.td.y_value = Pick(kSpecialInts, (payload >> 8) & 0xFF);
      }
      break;
    case PF_Param_CHECKBOX:
      u.bd.value = kind == 1 ? static_cast<A_long>(payload & 1)
                   : kind == 2 ? low
                               : Pick(kSpecialInts, payload);
      break;
    case PF_Param_POPUP:
      u.pd.value = kind == 1 ? static_cast<A_long>(1 + payload % uint64_t(def.u.pd.num_choices))
                   : kind == 2 ? low
                               : Pick(kSpecialInts, payload);
      break;
    case PF_Param_COLOR:
      std::memcpy(&u.cd.value, &payload, sizeof u.cd.value);
      break;
    default:
      Violation("a render parameter of an unexpected type");
  }
  char text[96];
  std::snprintf(text, sizeof text, " p%d:%d:%016llx", static_cast<int>(index), kind,
                static_cast<unsigned long long>(payload));
  g_case += text;
}

// World sizes: anything up to kSmallArea pixels, thin worlds up to
// kThinLength long, everything else folded into 64 x 64.
void Size(uint64_t w_raw, uint64_t h_raw, A_long& width, A_long& height) {
  if (w_raw * h_raw <= uint64_t(kSmallArea)) {
    width = static_cast<A_long>(w_raw), height = static_cast<A_long>(h_raw);
  } else if (w_raw <= 2) {
    width = static_cast<A_long>(w_raw), height = static_cast<A_long>(h_raw % (kThinLength + 1));
  } else if (h_raw <= 2) {
    width = static_cast<A_long>(w_raw % (kThinLength + 1)), height = static_cast<A_long>(h_raw);
  } else {
    width = static_cast<A_long>(w_raw % 65), height = static_cast<A_long>(h_raw % 65);
  }
}

// Fills the input from the pixel bytes; tells whether every value lies in the
// depth's valid (16-bit) or tame (float) range.
bool FillInput(World& in, std::span<const uint8_t> bytes, unsigned coding) {
  const std::size_t pb = in.pixel_bytes();
  auto byte = [&](std::size_t i) -> uint64_t {
    return bytes.empty() ? 0 : bytes[i % bytes.size()];
  };
  auto take = [&](std::size_t at, std::size_t n) {
    uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v |= byte(at + i) << (8 * i);
    return v;
  };
  bool within = true;
  for (A_long y = 0; y < in.height(); ++y) {
    for (A_long x = 0; x < in.width(); ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * in.width() + x) * pb;
      switch (in.format()) {
        case PF_PixelFormat_ARGB64: {
          A_u_short c[4];
          for (int k = 0; k < 4; ++k) {
            const auto v = static_cast<A_u_short>(take(at + 2 * k, 2));
            c[k] = (coding & 1) != 0 ? v : static_cast<A_u_short>(v % 32769);
            within = within && c[k] <= 32768;
          }
          in.Set(x, y, PF_Pixel16{c[0], c[1], c[2], c[3]});
          break;
        }
        case PF_PixelFormat_ARGB128: {
          float c[4];
          for (int k = 0; k < 4; ++k) {
            const uint64_t v = take(at + 4 * k, 4);
            switch (coding % 3) {
              case 0:  // alpha 0..1, colour -8..8
                c[k] = k == 0 ? static_cast<float>(v & 0xFFFF) / 65535.0f
                              : static_cast<float>(static_cast<int16_t>(v & 0xFFFF)) / 4096.0f;
                break;
              case 1: {
                const auto bits = static_cast<uint32_t>(v);
                std::memcpy(&c[k], &bits, sizeof c[k]);
                break;
              }
              default: c[k] = Pick(kSpecialFloats, v & 0xFF);
            }
            within = within && std::isfinite(c[k]) && std::fabs(c[k]) <= kTame &&
                     (k != 0 || c[k] >= 0);
          }
          in.Set(x, y, PF_PixelFloat{c[0], c[1], c[2], c[3]});
          break;
        }
        default:
          in.Set(x, y,
                 PF_Pixel8{static_cast<A_u_char>(byte(at)), static_cast<A_u_char>(byte(at + 1)),
                           static_cast<A_u_char>(byte(at + 2)),
                           static_cast<A_u_char>(byte(at + 3))});
      }
    }
  }
  return within;
}

bool AllBytes(const unsigned char* p, std::size_t n, unsigned char value) {
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] != value) return false;
  }
  return true;
}

struct Outcome {
  PF_Err err;
  int64_t samples;
};

Outcome Render(Effect& e, const World& in, World& out, bool capped) {
  g_samples = SampleCount{0, capped ? kSampleBudget : INT64_MAX};
  minihost::Frame frame(e.host, *e.instance, in, out);
  const PF_Err pre = frame.PreRender();
  CheckAudit(e, "pre-render");
  Expect(pre == PF_Err_NONE, "pre-render failed");
  const PF_Err err = frame.Render();
  CheckAudit(e, "render");
  frame.DeletePreRenderData();
  CheckAudit(e, "the deletion of the pre-render data");
  Expect(e.render.held() == 0, "pre-render data still held after its deletion");
  return Outcome{err, g_samples.taken};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  try {
    g_plugin = minihost::PluginLibrary::Load(minihost::DefaultPluginPath());
    MakeCountedSuites();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fuzz_render: %s\n", error.what());
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Effect e(g_plugin);
  Bytes bytes(std::span<const uint8_t>(data, size));

  static constexpr PF_PixelFormat kFormats[] = {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64,
                                                PF_PixelFormat_ARGB128};
  const PF_PixelFormat format = Pick(kFormats, bytes.Take(1));
  A_long width = 0, height = 0;
  Size(bytes.Take(2), bytes.Take(2), width, height);
  const auto shape = static_cast<unsigned>(bytes.Take(1));
  static constexpr A_long kWidthChange[] = {0, 1, 3, -1};
  const A_long out_width = std::max<A_long>(0, width + kWidthChange[shape & 3]);
  const A_long out_height =
      (shape & 4) == 0 ? height : (shape & 8) != 0 ? height + 1 : std::max<A_long>(0, height - 1);
  const auto in_padding = static_cast<A_long>(bytes.Take(1) % 32);
  const auto out_padding = static_cast<A_long>(bytes.Take(1) % 32);
  const auto own_padding = static_cast<A_long>(bytes.Take(1) % 32);
  const auto coding = static_cast<unsigned>(bytes.Take(1));

  char text[160];
  std::snprintf(text, sizeof text, "%s %dx%d pad %d, output %dx%d pad %d, own pad %d, coding %u;",
                minihost::FormatName(format).c_str(), width, height, in_padding, out_width,
                out_height, out_padding, own_padding, coding);
  g_case = text;

  for (ParamIndex index : kRenderParams) {
    const auto selector = static_cast<uint8_t>(bytes.Take(1));
    SetParam(e, index, selector, bytes.Take(8), width, height);
  }
  e.worlds.set_row_padding(own_padding);

  World in(width, height, format, in_padding);
  const bool within = FillInput(in, bytes.Rest(), coding);
  constexpr unsigned char kFill[2] = {0x3C, 0xC3};
  std::unique_ptr<World> out[2];
  for (int run = 0; run < 2; ++run) {
    out[run] = std::make_unique<World>(out_width, out_height, format, out_padding);
    out[run]->FillPixels(kFill[run]);
  }

  const std::size_t pb = in.pixel_bytes();
  const int64_t pixels = int64_t{width} * height;
  const bool blur = e[prismora::PARAM_BLUR_ON].bd.value != 0 &&
                    e[prismora::PARAM_BLUR_AMOUNT].fd.value > 0;
  const int64_t most_samples =
      3 * pixels + (blur ? pixels * (2 * int64_t{std::max(width, height)} + 2) : 0);
  const bool capped = most_samples > kSampleBudget;
  const bool refused = width > kLargestSide || height > kLargestSide || out_width < width ||
                       out_height != height || out[0]->row_bytes() / A_long(pb) < width;

  Outcome outcome[2];
  for (int run = 0; run < 2; ++run) outcome[run] = Render(e, in, *out[run], capped);
  Expect(outcome[0].err == outcome[1].err && outcome[0].samples == outcome[1].samples,
         "the two renders of one input differ in result or samples taken");
  const PF_Err err = outcome[0].err;

  for (int run = 0; run < 2; ++run) {
    Expect(out[run]->PaddingIntact(), "the output's row padding was written");
  }
  if (refused) {
    if (err != PF_Err_BAD_GEOMETRY) {
      Violation("an output the render cannot fill gave " + std::to_string(err) + ", not 255");
    }
    for (A_long y = 0; y < out_height; ++y) {
      Expect(AllBytes(out[0]->row(y), static_cast<std::size_t>(out_width) * pb, kFill[0]),
             "a refused render wrote pixels");
    }
    return 0;
  }
  if (capped && err == kStopped) {
    Expect(outcome[0].samples == kSampleBudget + 1, "the render went on after a failed sample");
  } else {
    if (err != PF_Err_NONE) Violation("the render failed with " + std::to_string(err));
    Expect(outcome[0].samples <= most_samples, "more samples than the world's size allows");
  }

  const bool completed = err == PF_Err_NONE;
  const double vig_max = e[prismora::PARAM_VIGNETTING_MAXIMUM].fs_d.value;
  const double vig_min = e[prismora::PARAM_VIGNETTING_MINIMUM].fs_d.value;
  const bool tame_vignette = e[prismora::PARAM_VIGNETTING_ON].bd.value == 0 ||
                             (std::fabs(vig_max) <= kTame && std::fabs(vig_min) <= kTame);
  for (A_long y = 0; y < height; ++y) {
    const unsigned char* row[2] = {out[0]->row(y), out[1]->row(y)};
    const std::size_t used = static_cast<std::size_t>(width) * pb;
    const std::size_t beyond = static_cast<std::size_t>(out_width - width) * pb;
    for (int run = 0; run < 2; ++run) {
      Expect(AllBytes(row[run] + used, beyond, kFill[run]),
             "a column beyond the input's width was written");
    }
    if (!completed) continue;
    Expect(std::memcmp(row[0], row[1], used) == 0,
           "a pixel within W x H left unwritten (or the render is not deterministic)");
    for (A_long x = 0; x < width; ++x) {
      if (format == PF_PixelFormat_ARGB64 && within) {
        const PF_Pixel16 p = out[0]->Get<PF_Pixel16>(x, y);
        Expect(p.alpha <= 32768 && p.red <= 32768 && p.green <= 32768 && p.blue <= 32768,
               "a 16-bit channel above 32768");
      } else if (format == PF_PixelFormat_ARGB128 && within && tame_vignette) {
        const PF_PixelFloat p = out[0]->Get<PF_PixelFloat>(x, y);
        Expect(std::isfinite(p.alpha) && std::isfinite(p.red) && std::isfinite(p.green) &&
                   std::isfinite(p.blue),
               "a float result that is not finite from a tame input");
      }
    }
  }
  return 0;
}
