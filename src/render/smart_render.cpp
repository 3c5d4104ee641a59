// PF_Cmd_SMART_RENDER: the frame around the pixel passes. It locks the
// snapshot that pre-render stored, checks out the input and output, picks
// the depth from the input's pixel format, checks the geometry, computes
// what all pixels share, runs the main pass and, when blur is on, the blur
// pass; then gives back everything it took, on every way out.
//
// The snapshot handle itself stays with the host, which disposes it through
// the function pre-render handed over.
#include <cstdint>

#include "entry/handlers.h"
#include "host/handle_guard.h"
#include "host/suite_handler.h"
#include "render/blur_pass.h"
#include "render/depth_traits.h"
#include "render/main_pass.h"
#include "render/render_snapshot.h"

namespace prismora {
namespace {

// Positions are handed to the host as x x 65536 in 32 bits.
constexpr A_long kLargestSide = 32767;

bool CallbacksPresent(const PF_InData* in_data, const PF_SmartRenderExtra* extra) {
  const PF_UtilCallbacks& u = *in_data->utils;
  return extra != nullptr && extra->input != nullptr && extra->cb != nullptr &&
         extra->cb->checkout_layer_pixels != nullptr && extra->cb->checkout_output != nullptr &&
         in_data->inter.progress != nullptr && in_data->inter.abort != nullptr &&
         u.copy != nullptr && u.host_new_handle != nullptr && u.host_dispose_handle != nullptr &&
         u.ansi.hypot != nullptr && u.ansi.pow != nullptr && u.ansi.sqrt != nullptr &&
         u.ansi.strcpy != nullptr;
}

// "PF World Suite" 2, acquired and released with a message for the user on
// failure instead of a throw.
class ReportedWorldSuite2 {
 public:
  ReportedWorldSuite2(const PF_InData* in_data, PF_OutData* out_data)
      : in_data_(in_data), out_data_(out_data) {}
  ~ReportedWorldSuite2() { Release(); }
  ReportedWorldSuite2(const ReportedWorldSuite2&) = delete;
  ReportedWorldSuite2& operator=(const ReportedWorldSuite2&) = delete;

  PF_Err Acquire() {
    const void* suite = nullptr;
    const PF_Err err = AcquireSuiteOrReport(in_data_, out_data_, kPFWorldSuite,
                                            kPFWorldSuiteVersion2, "Couldn't load suite.", &suite);
    suite_ = static_cast<const PF_WorldSuite2*>(suite);
    return err;
  }
  PF_Err Release() {
    if (suite_ == nullptr) return PF_Err_NONE;
    suite_ = nullptr;
    return ReleaseSuiteOrReport(in_data_, out_data_, kPFWorldSuite, kPFWorldSuiteVersion2,
                                "Couldn't release suite.");
  }
  const PF_WorldSuite2* get() const { return suite_; }

 private:
  const PF_InData* in_data_;
  PF_OutData* out_data_;
  const PF_WorldSuite2* suite_ = nullptr;
};

// The radial profile table, in a handle of the utility callbacks that is used
// through its own master pointer, unlocked.
class ProfileTable {
 public:
  explicit ProfileTable(const PF_UtilCallbacks* utils) : utils_(utils) {}
  ~ProfileTable() { Dispose(); }
  ProfileTable(const ProfileTable&) = delete;
  ProfileTable& operator=(const ProfileTable&) = delete;

  bool Allocate(int64_t entries) {
    handle_ = utils_->host_new_handle(static_cast<A_HandleSize>(entries) * sizeof(double));
    return handle_ != nullptr && *handle_ != nullptr;
  }
  double* entries() const { return static_cast<double*>(*handle_); }
  void Dispose() {
    if (handle_ != nullptr) utils_->host_dispose_handle(handle_);
    handle_ = nullptr;
  }

 private:
  const PF_UtilCallbacks* utils_;
  PF_Handle handle_ = nullptr;
};

// The snapshot keeps the render-time values, but nothing that points at what
// this call gives back.
class SnapshotPointers {
 public:
  explicit SnapshotPointers(RenderSnapshot& snapshot) : snapshot_(snapshot) {}
  ~SnapshotPointers() {
    snapshot_.profile_table = nullptr;
    StoreSampSource(snapshot_, nullptr);
  }
  SnapshotPointers(const SnapshotPointers&) = delete;
  SnapshotPointers& operator=(const SnapshotPointers&) = delete;

 private:
  RenderSnapshot& snapshot_;
};

struct Frame {
  PF_InData* in_data;
  PF_OutData* out_data;
  SuiteHandler& suites;
  RenderSnapshot& snapshot;
  PF_EffectWorld& input;
  PF_EffectWorld& output;
  const PF_WorldSuite2* world_suite2;
  ProfileTable& table;
};

template <class Depth>
PF_Err RenderAtDepth(Frame& f) {
  constexpr A_long kPixelBytes = sizeof(typename Depth::Pixel);
  const A_long width = f.input.width;
  const A_long height = f.input.height;
  if (f.input.rowbytes / kPixelBytes - width < 0 || f.output.rowbytes / kPixelBytes - width < 0 ||
      height != f.output.height) {
    return PF_Err_BAD_GEOMETRY;
  }
  // Row bytes can leave room for W pixels in an output narrower than W: what
  // lies past its width is not its own (padding, or the rest of a larger
  // image it is a view of), so it is never written.
  if (f.output.width < width) return PF_Err_BAD_GEOMETRY;
  if (width < 0 || height < 0 || width > kLargestSide || height > kLargestSide) {
    return PF_Err_BAD_GEOMETRY;
  }
  if (width > 0 && height > 0 && (f.input.data == nullptr || f.output.data == nullptr)) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }

  RenderSnapshot& s = f.snapshot;
  const PF_ANSICallbacksBlock& ansi = f.in_data->utils->ansi;
  StoreSampSource(s, &f.input);
  s.half_diagonal = ansi.hypot(width * 0.5, height * 0.5);
  s.displace_scale = 0.025 * (s.amount / 65536.0) * s.half_diagonal;
  s.blur_scale = s.displace_scale * (s.blur_amount / 65536.0);

  const int64_t squared = int64_t{width} * width + int64_t{height} * height;
  const auto last = static_cast<int64_t>(ansi.sqrt(static_cast<double>(squared)));
  if (!f.table.Allocate(last + 1)) {
    ansi.strcpy(f.out_data->return_msg, "Memory Error!");
    f.out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  double* table = f.table.entries();
  table[0] = 0.0;
  for (int64_t i = 1; i <= last; ++i) {
    table[i] = ansi.pow(static_cast<double>(i) / s.half_diagonal, s.power);
  }
  s.profile_table = table;
  if (s.vig_on != 0) {
    s.vig_norm = VignetteNorm(s.vig_norm, s.half_diagonal, s.vig_power, ansi.pow);
  }
  const bool blur = s.blur_on != 0 && s.blur_amount > 0;

  RadialValues radial;
  radial.center_x = s.center_x;
  radial.center_y = s.center_y;
  radial.half_diagonal = s.half_diagonal;
  radial.limiter = s.limiter != 0;
  radial.profile = RadialProfile{table, last, s.half_diagonal, s.power, ansi.pow};
  radial.hypot = ansi.hypot;

  DisplacementValues displacement;
  displacement.radial = radial;
  displacement.displace_scale = s.displace_scale;
  displacement.third_sample = s.color_mode != 1;
  displacement.weights = ColorWeights{s.color_a, s.color_b, s.color_c};
  VignetteValues& vignette = displacement.vignette;
  vignette.on = s.vig_on != 0;
  vignette.same = s.vig_same != 0;
  vignette.center_x = s.vig_center_x;
  vignette.center_y = s.vig_center_y;
  vignette.norm = s.vig_norm;
  vignette.power = s.vig_power;
  vignette.brightness = s.vig_brightness;
  vignette.maximum = s.vig_maximum;
  vignette.minimum = s.vig_minimum;
  vignette.pow = ansi.pow;
  vignette.hypot = ansi.hypot;

  // The sampling suite is asked for only when there is a pixel to sample.
  const bool pixels = width > 0 && height > 0;
  const Sampler<Depth> sample(pixels ? Depth::Sampling(f.suites) : nullptr,
                              f.in_data->effect_ref, LoadSampBlock(s));
  const PixelRows<typename Depth::Pixel> rows(f.output);
  PF_Err err;
  {
    const PassScratch<Depth> scratch(width);
    err = MainPass(displacement, sample, width, height, rows,
                   Progress{f.in_data, 0, blur ? 2 * height : height}, scratch.work());
  }
  if (err == PF_Err_NONE && blur) {
    err = BlurPass(BlurValues{radial, s.blur_scale}, sample, f.suites, f.world_suite2, f.in_data,
                   f.output, width, height);
  }
  return err;
}

}  // namespace

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
  if (!CallbacksPresent(in_data, extra)) return PF_Err_BAD_CALLBACK_PARAM;
  SuiteHandler suites(in_data->pica_basicP);
  const PF_HandleSuite1* handles = suites.HandleSuite2();

  // Data that cannot be a snapshot is never read.
  const auto handle = static_cast<PF_Handle>(extra->input->pre_render_data);
  if (handle == nullptr || (handles->host_get_handle_size != nullptr &&
                            handles->host_get_handle_size(handle) < kRenderSnapshotSize)) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  HandleLock lock(handles, handle);
  if (!lock) return PF_Err_BAD_CALLBACK_PARAM;
  RenderSnapshot& snapshot = *lock.As<RenderSnapshot>();
  SnapshotPointers clear_on_exit(snapshot);

  const PF_ProgPtr ref = in_data->effect_ref;
  PF_EffectWorld* input = nullptr;
  PF_EffectWorld* output = nullptr;
  PF_PixelFormat format = PF_PixelFormat_INVALID;
  ReportedWorldSuite2 world_suite2(in_data, out_data);
  ProfileTable table(in_data->utils);
  PF_Err err = extra->cb->checkout_layer_pixels(ref, 0, &input);
  if (err == PF_Err_NONE) err = extra->cb->checkout_output(ref, &output);
  if (err == PF_Err_NONE) err = world_suite2.Acquire();
  // A checkout that reports success but hands no world leaves the format
  // unknown, and nothing is written.
  if (err == PF_Err_NONE && input != nullptr && output != nullptr) {
    err = world_suite2.get()->PF_GetPixelFormat(input, &format);
  }

  if (format == PF_PixelFormat_ARGB32 || format == PF_PixelFormat_ARGB64 ||
      format == PF_PixelFormat_ARGB128) {
    Frame frame{in_data, out_data, suites, snapshot, *input, *output, world_suite2.get(), table};
    if (err == PF_Err_NONE) {
      switch (format) {
        case PF_PixelFormat_ARGB128: err = RenderAtDepth<DepthFloat>(frame); break;
        case PF_PixelFormat_ARGB64: err = RenderAtDepth<Depth16>(frame); break;
        default: err = RenderAtDepth<Depth8>(frame); break;
      }
    }
  } else {
    err = PF_Err_BAD_CALLBACK_PARAM;
  }

  // Given back in this order: the world suite, the table, the snapshot lock.
  const PF_Err released = world_suite2.Release();
  if (err == PF_Err_NONE) err = released;
  table.Dispose();
  return err;
}

}  // namespace prismora
