#include "raw_host.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace rawhost {

static_assert(sizeof(void*) == 8, "the published layouts are those of 64-bit plug-ins");
static_assert(sizeof(void (*)()) == 8);

Rect GetRect(const void* base, std::size_t offset) {
  return Rect{Get<int32_t>(base, offset), Get<int32_t>(base, offset + 4),
              Get<int32_t>(base, offset + 8), Get<int32_t>(base, offset + 12)};
}

void PutRect(void* base, std::size_t offset, const Rect& rect) {
  Put(base, offset, rect.left);
  Put(base, offset + 4, rect.top);
  Put(base, offset + 8, rect.right);
  Put(base, offset + 12, rect.bottom);
}

namespace {

// The frame's time, each part distinct, so that a field read from the wrong
// place is seen in what the plug-in passes back.
constexpr int32_t kCurrentTime = 42;
constexpr int32_t kTimeStep = 2;
constexpr int32_t kTotalTime = 300;
constexpr uint32_t kTimeScale = 24;

constexpr int16_t kSpecVersionMajor = 13;  // PF_PLUG_IN_VERSION
constexpr int16_t kSpecVersionMinor = 29;  // PF_PLUG_IN_SUBVERS

constexpr int32_t kPluginId = 7;
constexpr int32_t kSuiteNotFound = 1;

constexpr unsigned char kFreshFill = 0xA5;    // new handle blocks, uncleared new worlds
constexpr unsigned char kOutputFill = 0xEE;   // output pixels before the render
constexpr unsigned char kPaddingFill = 0xCD;  // row padding of both worlds

// Row padding of the worlds the plug-in creates, other than the layer's, so
// that rows taken as width x pixel size, or written past their width, show.
constexpr int32_t kNewWorldPadding = 20;

// Marks the PF_State records the host hands out: 'RaSt'.
constexpr int32_t kStateMagic = 0x74536152;

// A handle's cell is as large as an in_data record and zero past the master
// pointer, so a plug-in that takes a handle for a record reads nulls, not
// whatever memory follows.
constexpr std::size_t kHandleCellSize = 512;

// Slot names of every table the host serves, indexed by offset / 8; null for
// data members.
constexpr const char* kInterSlots[] = {"checkout_param",
                                       "checkin_param",
                                       "add_param",
                                       "abort",
                                       "progress",
                                       "register_ui",
                                       "checkout_layer_audio",
                                       "checkin_layer_audio",
                                       "get_audio_data",
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
constexpr const char* kUtilsSlots[] = {"begin_sampling",
                                       "subpixel_sample",
                                       "area_sample",
                                       nullptr,
                                       "end_sampling",
                                       "composite_rect",
                                       "blend",
                                       "convolve",
                                       "copy",
                                       "fill",
                                       "gaussian_kernel",
                                       "iterate",
                                       "premultiply",
                                       "premultiply_color",
                                       "new_world",
                                       "dispose_world",
                                       "iterate_origin",
                                       "iterate_lut",
                                       "transfer_rect",
                                       "transform_world",
                                       "host_new_handle",
                                       "host_lock_handle",
                                       "host_unlock_handle",
                                       "host_dispose_handle",
                                       "get_callback_addr",
                                       "app",
                                       "ansi.atan",
                                       "ansi.atan2",
                                       "ansi.ceil",
                                       "ansi.cos",
                                       "ansi.exp",
                                       "ansi.fabs",
                                       "ansi.floor",
                                       "ansi.fmod",
                                       "ansi.hypot",
                                       "ansi.log",
                                       "ansi.log10",
                                       "ansi.pow",
                                       "ansi.sin",
                                       "ansi.sqrt",
                                       "ansi.tan",
                                       "ansi.sprintf",
                                       "ansi.strcpy",
                                       "ansi.asin",
                                       "ansi.acos",
                                       nullptr,
                                       "colorCB.RGBtoHLS",
                                       "colorCB.HLStoRGB",
                                       "colorCB.RGBtoYIQ",
                                       "colorCB.YIQtoRGB",
                                       "colorCB.Luminance",
                                       "colorCB.Hue",
                                       "colorCB.Lightness",
                                       "colorCB.Saturation",
                                       "get_platform_data",
                                       "host_get_handle_size",
                                       "iterate_origin_non_clip_src",
                                       "iterate_generic",
                                       "host_resize_handle",
                                       "subpixel_sample16",
                                       "area_sample16",
                                       "fill16",
                                       "premultiply_color16",
                                       "iterate16",
                                       "iterate_origin16",
                                       "iterate_origin_non_clip_src16",
                                       "get_pixel_data8",
                                       "get_pixel_data16",
                                       nullptr};
constexpr const char* kBasicSlots[] = {"AcquireSuite",  "ReleaseSuite", "IsEqual",
                                       "AllocateBlock", "FreeBlock",    "ReallocateBlock",
                                       "Undefined"};
constexpr const char* kHandle2Slots[] = {"host_new_handle",      "host_lock_handle",
                                         "host_unlock_handle",   "host_dispose_handle",
                                         "host_get_handle_size", "host_resize_handle"};
constexpr const char* kUtility7Slots[] = {"AEGP_ReportInfo",
                                          "AEGP_GetDriverPluginInitFuncVersion",
                                          "AEGP_GetDriverImplementationVersion",
                                          "AEGP_StartQuietErrors",
                                          "AEGP_EndQuietErrors",
                                          "AEGP_StartUndoGroup",
                                          "AEGP_EndUndoGroup",
                                          "AEGP_RegisterWithAEGP",
                                          "AEGP_GetMainHWND",
                                          "AEGP_ShowHideAllFloaters",
                                          "AEGP_PaintPalGetForeColor",
                                          "AEGP_PaintPalGetBackColor",
                                          "AEGP_PaintPalSetForeColor",
                                          "AEGP_PaintPalSetBackColor",
                                          "AEGP_CharPalGetFillColor",
                                          "AEGP_CharPalGetStrokeColor",
                                          "AEGP_CharPalSetFillColor",
                                          "AEGP_CharPalSetStrokeColor",
                                          "AEGP_CharPalIsFillColorUIFrontmost",
                                          "AEGP_ConvertFpLongToHSFRatio",
                                          "AEGP_ConvertHSFRatioToFpLong",
                                          "AEGP_CauseIdleRoutinesToBeCalled",
                                          "AEGP_GetSuppressInteractiveUI",
                                          "AEGP_WriteToOSConsole",
                                          "AEGP_WriteToDebugLog"};
constexpr const char* kPFInterface1Slots[] = {"AEGP_GetEffectLayer", "AEGP_GetNewEffectForEffect",
                                              "AEGP_ConvertEffectToCompTime",
                                              "AEGP_GetEffectCamera", "AEGP_GetEffectCameraMatrix"};
constexpr const char* kStream7Slots[] = {"AEGP_IsStreamLegal",
                                         "AEGP_CanVaryOverTime",
                                         "AEGP_GetValidInterpolations",
                                         "AEGP_GetNewLayerStream",
                                         "AEGP_GetEffectNumParamStreams",
                                         "AEGP_GetNewEffectStreamByIndex",
                                         "AEGP_GetNewMaskStream",
                                         "AEGP_DisposeStream",
                                         "AEGP_GetStreamName",
                                         "AEGP_GetStreamUnitsText",
                                         "AEGP_GetStreamProperties",
                                         "AEGP_IsStreamTimevarying",
                                         "AEGP_GetStreamType",
                                         "AEGP_GetNewStreamValue",
                                         "AEGP_DisposeStreamValue",
                                         "AEGP_SetStreamValue",
                                         "AEGP_GetLayerStreamValue",
                                         "AEGP_GetExpressionState",
                                         "AEGP_SetExpressionState",
                                         "AEGP_GetExpression",
                                         "AEGP_SetExpression",
                                         "AEGP_DuplicateStreamRef"};
constexpr const char* kDynamicStream2Slots[] = {"AEGP_GetNewStreamRefForLayer",
                                                "AEGP_GetStreamDepth",
                                                "AEGP_GetStreamGroupingType",
                                                "AEGP_GetNumStreamsInGroup",
                                                "AEGP_GetDynamicStreamFlags",
                                                "AEGP_SetDynamicStreamFlag",
                                                "AEGP_GetNewStreamRefByIndex",
                                                "AEGP_GetNewStreamRefByMatchname",
                                                "AEGP_DeleteStream",
                                                "AEGP_ReorderStream",
                                                "AEGP_DuplicateStream",
                                                "AEGP_SetStreamName",
                                                "AEGP_CanAddStream",
                                                "AEGP_AddStream",
                                                "AEGP_GetMatchName",
                                                "AEGP_GetNewParentStreamRef",
                                                "AEGP_GetStreamIsModified"};
constexpr const char* kEffect2Slots[] = {"AEGP_GetLayerNumEffects",
                                         "AEGP_GetLayerEffectByIndex",
                                         "AEGP_GetInstalledKeyFromLayerEffect",
                                         "AEGP_GetEffectParamUnionByIndex",
                                         "AEGP_GetEffectFlags",
                                         "AEGP_SetEffectFlags",
                                         "AEGP_ReorderEffect",
                                         "AEGP_EffectCallGeneric",
                                         "AEGP_DisposeEffect",
                                         "AEGP_ApplyEffect",
                                         "AEGP_DeleteLayerEffect",
                                         "AEGP_GetNumInstalledEffects",
                                         "AEGP_GetNextInstalledEffect",
                                         "AEGP_GetEffectName",
                                         "AEGP_GetEffectMatchName",
                                         "AEGP_GetEffectCategory",
                                         "AEGP_DuplicateEffect"};
constexpr const char* kParamUtils2Slots[] = {
    "PF_UpdateParamUI",           "PF_GetCurrentStateObsolete",
    "PF_HasParamChangedObsolete", "PF_HaveInputsChangedOverTimeSpanObsolete",
    "PF_IsIdenticalCheckout",     "PF_FindKeyframeTime",
    "PF_GetKeyframeCount",        "PF_CheckoutKeyframe",
    "PF_CheckinKeyframe",         "PF_KeyIndexToTime"};
constexpr const char* kWorld1Slots[] = {"new_world", "dispose_world"};
constexpr const char* kWorld2Slots[] = {"PF_NewWorld", "PF_DisposeWorld", "PF_GetPixelFormat"};
constexpr const char* kSampling8Slots[] = {"nn_sample", "subpixel_sample", "area_sample"};
constexpr const char* kSampling16Slots[] = {"nn_sample16", "subpixel_sample16", "area_sample16"};
constexpr const char* kSamplingFloatSlots[] = {"nn_sample_float", "subpixel_sample_float",
                                               "area_sample_float"};
constexpr const char* kPreRenderCbSlots[] = {"checkout_layer", "GuidMixInPtr"};
constexpr const char* kSmartRenderCbSlots[] = {"checkout_layer_pixels", "checkin_layer_pixels",
                                               "checkout_output"};

enum TableId : int {
  kInter,
  kUtils,
  kBasic,
  kHandle2,
  kUtility7,
  kPFInterface1,
  kStream7,
  kDynamicStream2,
  kEffect2,
  kParamUtils2,
  kWorld1,
  kWorld2,
  kSampling8,
  kSampling16,
  kSamplingFloat,
  kPreRenderCb,
  kSmartRenderCb,
  kTableCount
};

struct TableInfo {
  const char* label;
  const char* suite_name;  // as acquired; null for tables that are not suites
  int32_t version;
  std::size_t size;  // bytes
  const char* const* slots;
  std::size_t slot_count;
  // What a trap returns: 0 in tables holding functions that return pointers,
  // so that a misplaced call there yields null rather than an address.
  intptr_t trap_result;
};

#define RAWHOST_SLOTS(array) array, sizeof(array) / sizeof(array[0])
constexpr TableInfo kTables[kTableCount] = {
    {"PF_InteractCallbacks", nullptr, 0, kInteractSize, RAWHOST_SLOTS(kInterSlots),
     kErr_BAD_CALLBACK_PARAM},
    {"_PF_UtilCallbacks", nullptr, 0, kUtilsSize, RAWHOST_SLOTS(kUtilsSlots), 0},
    {"SPBasicSuite", nullptr, 0, 56, RAWHOST_SLOTS(kBasicSlots), kSuiteNotFound},
    {"\"PF Handle Suite\" 2", "PF Handle Suite", 2, 48, RAWHOST_SLOTS(kHandle2Slots), 0},
    {"\"AEGP Utility Suite\" 7", "AEGP Utility Suite", 7, 200, RAWHOST_SLOTS(kUtility7Slots),
     kErr_BAD_CALLBACK_PARAM},
    {"\"AEGP PF Interface Suite\" 1", "AEGP PF Interface Suite", 1, 40,
     RAWHOST_SLOTS(kPFInterface1Slots), kErr_BAD_CALLBACK_PARAM},
    {"\"AEGP Stream Suite\" 7", "AEGP Stream Suite", 7, 176, RAWHOST_SLOTS(kStream7Slots),
     kErr_BAD_CALLBACK_PARAM},
    {"\"AEGP Dynamic Stream Suite\" 2", "AEGP Dynamic Stream Suite", 2, 136,
     RAWHOST_SLOTS(kDynamicStream2Slots), kErr_BAD_CALLBACK_PARAM},
    {"\"AEGP Effect Suite\" 2", "AEGP Effect Suite", 2, 136, RAWHOST_SLOTS(kEffect2Slots),
     kErr_BAD_CALLBACK_PARAM},
    {"\"PF Param Utils Suite\" 2", "PF Param Utils Suite", 2, 80, RAWHOST_SLOTS(kParamUtils2Slots),
     kErr_BAD_CALLBACK_PARAM},
    {"\"PF World Suite\" 1", "PF World Suite", 1, 16, RAWHOST_SLOTS(kWorld1Slots),
     kErr_BAD_CALLBACK_PARAM},
    {"\"PF World Suite\" 2", "PF World Suite", 2, 24, RAWHOST_SLOTS(kWorld2Slots),
     kErr_BAD_CALLBACK_PARAM},
    {"\"PF Sampling8 Suite\" 1", "PF Sampling8 Suite", 1, 24, RAWHOST_SLOTS(kSampling8Slots),
     kErr_BAD_CALLBACK_PARAM},
    {"\"PF Sampling16 Suite\" 1", "PF Sampling16 Suite", 1, 24, RAWHOST_SLOTS(kSampling16Slots),
     kErr_BAD_CALLBACK_PARAM},
    {"\"PF SamplingFloat Suite\" 1", "PF SamplingFloat Suite", 1, 24,
     RAWHOST_SLOTS(kSamplingFloatSlots), kErr_BAD_CALLBACK_PARAM},
    {"PF_PreRenderCallbacks", nullptr, 0, kPreRenderCallbacksSize, RAWHOST_SLOTS(kPreRenderCbSlots),
     kErr_BAD_CALLBACK_PARAM},
    {"PF_SmartRenderCallbacks", nullptr, 0, kSmartRenderCallbacksSize,
     RAWHOST_SLOTS(kSmartRenderCbSlots), kErr_BAD_CALLBACK_PARAM},
};
#undef RAWHOST_SLOTS

constexpr bool TablesConsistent() {
  for (const TableInfo& t : kTables) {
    if (t.slot_count != t.size / 8 || t.size % 8 != 0 || t.size > 552) return false;
  }
  return true;
}
static_assert(TablesConsistent(), "one name per 8-byte slot");

constexpr std::size_t kMaxSlots = kUtilsSize / 8;

}  // namespace

// --- State --------------------------------------------------------------------

struct RawHost::State {
  struct Handle {
    std::unique_ptr<unsigned char[]> cell;  // the master pointer, then zeros
    std::unique_ptr<unsigned char[]> data;
    uint64_t size = 0;
    int locks = 0;
    bool live = true;
    int serial = 0;
  };
  struct Table {
    alignas(8) unsigned char bytes[kUtilsSize] = {};
  };

  using Entry = int32_t (*)(int32_t, void*, void*, void**, void*, void*);
  using DeleteFunction = void (*)(void*);

  std::string load_error;
  void* library = nullptr;
  Entry entry = nullptr;

  alignas(8) unsigned char effect_ref[kInDataSize] = {};  // our instance: zeros
  Table tables[kTableCount];

  alignas(8) unsigned char in_data[kInDataSize] = {};
  alignas(8) unsigned char out_data[kOutDataSize] = {};
  alignas(8) unsigned char request[kRenderRequestSize] = {};
  alignas(8) unsigned char pre_input[kPreRenderInputSize] = {};
  alignas(8) unsigned char pre_output[kPreRenderOutputSize] = {};
  alignas(8) unsigned char pre_extra[kPreRenderExtraSize] = {};
  alignas(8) unsigned char smart_input[kSmartRenderInputSize] = {};
  alignas(8) unsigned char smart_extra[kSmartRenderExtraSize] = {};
  alignas(8) unsigned char input_world[kWorldSize] = {};
  alignas(8) unsigned char output_world[kWorldSize] = {};

  // Pixels the host holds for a world, in rows of row_bytes.
  struct Image {
    std::vector<unsigned char> bytes;
    int32_t format = kPixelFormat_ARGB32;
    int32_t width = 0, height = 0, row_bytes = 0;
    std::size_t pixel_bytes() const { return PixelBytes(format); }
    std::size_t used() const { return static_cast<std::size_t>(width) * pixel_bytes(); }
    unsigned char* row(int32_t y) { return bytes.data() + static_cast<std::size_t>(y) * row_bytes; }
    const unsigned char* row(int32_t y) const {
      return bytes.data() + static_cast<std::size_t>(y) * row_bytes;
    }
    bool PaddingIntact() const {
      for (int32_t y = 0; y < height; ++y) {
        for (std::size_t i = used(); i < static_cast<std::size_t>(row_bytes); ++i) {
          if (row(y)[i] != kPaddingFill) return false;
        }
      }
      return true;
    }
  };
  // A world the plug-in created. Kept after disposal, so that its pixel
  // memory is never handed out again and a stale record is recognised.
  struct PluginWorld {
    Image image;
    bool live = true;
    int serial = 0;
  };
  // An effect or stream reference handed out: the cell is what the plug-in
  // holds; kept after disposal for the same reason.
  struct Reference {
    std::unique_ptr<int64_t> cell = std::make_unique<int64_t>(0);
    bool stream = false;
    int32_t index = 0;  // of a stream's parameter
    bool live = true;
  };

  int32_t width = 0, height = 0, row_padding = 0;
  int32_t format = kPixelFormat_ARGB32;
  std::vector<unsigned char> layer_pixels;  // packed
  Image input, output;
  std::vector<std::unique_ptr<PluginWorld>> worlds;
  int world_copies = 0;

  void* global_data = nullptr;
  void* sequence_data = nullptr;
  void* pre_render_data = nullptr;
  DeleteFunction delete_function = nullptr;

  std::vector<std::vector<unsigned char>> params;
  int add_param_calls = 0;
  // The instance: current definitions, and the interface state of its
  // streams by parameter index.
  std::vector<std::vector<unsigned char>> values;
  std::map<int32_t, std::string> expressions;
  std::map<int32_t, uint32_t> stream_flags;
  std::vector<Reference> references;
  std::vector<ParamUICall> param_ui_calls;
  std::vector<StreamFlagCall> stream_flag_calls;
  std::vector<ExpressionCall> expression_calls;
  // Per-parameter value hashes of every PF_State handed out, by serial.
  std::map<int32_t, std::vector<uint64_t>> states;
  int32_t next_state = 1;
  int param_checkouts = 0;
  std::multiset<const void*> checked_out;
  std::vector<unsigned char> layer_request = std::vector<unsigned char>(kRenderRequestSize);
  std::vector<int32_t> layer_checkout_ids;
  int samples = 0;
  std::vector<ProgressReport> progress;
  std::string registered_name;

  // Deletion runs on another thread: handles, suites and problems are guarded.
  mutable std::mutex mutex;
  std::vector<std::unique_ptr<Handle>> handles;
  std::map<std::string, int> suites_held;
  std::vector<std::string> problems;

  void Problem(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    problems.push_back(text);
  }
  bool OurRef(const void* ref, const char* call) {
    if (ref == effect_ref) return true;
    Problem(std::string(call) + " with an effect reference that is not the one in in_data");
    return false;
  }

  // Handles. Cells and blocks are kept until the host goes, so a stale
  // handle is recognised instead of read.
  Handle* Find(const void* handle) {
    for (auto& h : handles) {
      if (h->cell.get() == handle) return h.get();
    }
    return nullptr;
  }
  Handle* FindLive(const void* handle, const char* call) {
    Handle* h = Find(handle);
    if (h == nullptr || !h->live) {
      problems.push_back(std::string(call) + (h == nullptr ? " of a pointer that is not a handle"
                                                           : " of a disposed handle"));
      return nullptr;
    }
    return h;
  }
  void* NewHandle(uint64_t size) {
    std::lock_guard<std::mutex> lock(mutex);
    if (size > (uint64_t{1} << 32)) {
      problems.push_back("host_new_handle of " + std::to_string(size) + " bytes");
      return nullptr;
    }
    auto h = std::make_unique<Handle>();
    h->size = size;
    h->data = std::make_unique<unsigned char[]>(size == 0 ? 1 : size);
    std::memset(h->data.get(), kFreshFill, size == 0 ? 1 : size);
    h->cell = std::make_unique<unsigned char[]>(kHandleCellSize);  // zeros
    void* master = h->data.get();
    Put(h->cell.get(), 0, master);
    h->serial = static_cast<int>(handles.size()) + 1;
    handles.push_back(std::move(h));
    return handles.back()->cell.get();
  }
  void* LockHandle(void* handle) {
    std::lock_guard<std::mutex> lock(mutex);
    Handle* h = FindLive(handle, "host_lock_handle");
    if (h == nullptr) return nullptr;
    ++h->locks;
    return h->data.get();
  }
  void UnlockHandle(void* handle) {
    std::lock_guard<std::mutex> lock(mutex);
    Handle* h = FindLive(handle, "host_unlock_handle");
    if (h == nullptr) return;
    if (h->locks == 0) {
      problems.push_back("host_unlock_handle of a handle that is not locked");
      return;
    }
    --h->locks;
  }
  void DisposeHandle(void* handle) {
    std::lock_guard<std::mutex> lock(mutex);
    Handle* h = FindLive(handle, "host_dispose_handle");
    if (h == nullptr) return;
    if (h->locks != 0) {
      problems.push_back("host_dispose_handle of handle #" + std::to_string(h->serial) +
                         " while it is locked");
    }
    h->live = false;
    h->locks = 0;
  }
  uint64_t HandleSize(void* handle) {
    std::lock_guard<std::mutex> lock(mutex);
    Handle* h = FindLive(handle, "host_get_handle_size");
    return h == nullptr ? 0 : h->size;
  }
  bool IsLive(const void* handle) const {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& h : handles) {
      if (h->cell.get() == handle) return h->live;
    }
    return false;
  }

  // The pixels a world record names, found by its data pointer, so that a
  // record the plug-in keeps itself names the world too. Null, after naming
  // the misuse, for pixels the host does not hold or a record whose size
  // disagrees with them.
  Image* FindImage(const void* record, const char* call) {
    if (record == nullptr) {
      Problem(std::string(call) + " without a world");
      return nullptr;
    }
    const void* data = Get<const void*>(record, kWorld_data);
    Image* image = nullptr;
    if (data == input.bytes.data()) image = &input;
    if (data == output.bytes.data()) image = &output;
    for (auto& w : worlds) {
      if (data != w->image.bytes.data()) continue;
      if (!w->live) {
        Problem(std::string(call) + " of world #" + std::to_string(w->serial) +
                ", which is disposed");
        return nullptr;
      }
      image = &w->image;
    }
    if (image == nullptr) {
      Problem(std::string(call) + " of a world the host did not hand out");
      return nullptr;
    }
    if (Get<int32_t>(record, kWorld_width) != image->width ||
        Get<int32_t>(record, kWorld_height) != image->height ||
        Get<int32_t>(record, kWorld_rowbytes) != image->row_bytes) {
      Problem(std::string(call) + " of a world record whose size is not the world's");
      return nullptr;
    }
    return image;
  }

  // Per parameter (the layer left out as 0): a hash of its value and of
  // the text on its stream.
  std::vector<uint64_t> ValueHashes() const {
    std::vector<uint64_t> hashes(values.size(), 0);
    for (std::size_t i = 1; i < values.size(); ++i) {
      uint64_t h = 14695981039346656037ull;  // FNV-1a
      auto add = [&h](unsigned char byte) { h = (h ^ byte) * 1099511628211ull; };
      for (std::size_t b = kParamDef_u; b < kParamDefSize; ++b) add(values[i][b]);
      add(0xFF);
      auto text = expressions.find(static_cast<int32_t>(i));
      if (text != expressions.end()) {
        for (char c : text->second) add(static_cast<unsigned char>(c));
      }
      hashes[i] = h;
    }
    return hashes;
  }

  Reference* FindReference(const void* ref, bool stream, const char* call) {
    for (Reference& r : references) {
      if (r.cell.get() != ref || r.stream != stream) continue;
      if (!r.live) {
        Problem(std::string(call) +
                (stream ? " of a disposed stream reference" : " of a disposed effect reference"));
        return nullptr;
      }
      return &r;
    }
    Problem(std::string(call) + (stream ? " of a stream reference the host did not hand out"
                                        : " of an effect reference the host did not hand out"));
    return nullptr;
  }
  void* NewReference(bool stream, int32_t index) {
    references.push_back(Reference{});
    references.back().stream = stream;
    references.back().index = index;
    return references.back().cell.get();
  }
  bool OurPlugin(int32_t plugin_id, const char* call) {
    if (plugin_id == kPluginId) return true;
    Problem(std::string(call) + " with plug-in id " + std::to_string(plugin_id) +
            " instead of the one AEGP_RegisterWithAEGP gave");
    return false;
  }
  // A state record that stands at the start of a handle's block must fit
  // in that block.
  bool FitsState(const void* state, const char* call) {
    if (state == nullptr) {
      Problem(std::string(call) + " without a state record");
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& h : handles) {
      if (h->live && h->data.get() == state && h->size < kStateSize) {
        problems.push_back(std::string(call) + " handed handle #" + std::to_string(h->serial) +
                           " of " + std::to_string(h->size) + " bytes, shorter than a PF_State");
        return false;
      }
    }
    return true;
  }

  // A definition as the instance starts with it.
  std::vector<unsigned char> Declared(std::size_t index) const {
    std::vector<unsigned char> def = params[index];
    if (Get<int32_t>(def.data(), kParamDef_param_type) == kParam_POINT) {
      // Declared in percent of the layer (16.16); delivered in 16.16 pixels.
      const auto to_pixels = [](int32_t percent, int32_t size) {
        return static_cast<int32_t>(static_cast<int64_t>(percent) * size / 100);
      };
      const std::size_t u = kParamDef_u;
      Put(def.data(), u + kPoint_x_value,
          to_pixels(Get<int32_t>(def.data(), u + kPoint_x_dephault), width));
      Put(def.data(), u + kPoint_y_value,
          to_pixels(Get<int32_t>(def.data(), u + kPoint_y_dephault), height));
    }
    return def;
  }

  static void FillWorld(unsigned char* world, Image& image, int32_t flags) {
    std::memset(world, 0, kWorldSize);
    if (image.format == kPixelFormat_ARGB64) flags |= kWorldFlag_DEEP;
    Put(world, kWorld_world_flags, flags);
    void* data = image.bytes.data();
    Put(world, kWorld_data, data);
    Put(world, kWorld_rowbytes, image.row_bytes);
    Put(world, kWorld_width, image.width);
    Put(world, kWorld_height, image.height);
    PutRect(world, kWorld_extent_hint, Rect{0, 0, image.width, image.height});
    Put(world, kWorld_pix_aspect_ratio, int32_t{1});
    Put(world, kWorld_pix_aspect_ratio + 4, uint32_t{1});
    Put(world, kWorld_origin_x, int32_t{0});
    Put(world, kWorld_origin_y, int32_t{0});
  }
  // Pixels of `fill` bytes, padding filled; at least one byte, so that every
  // world has pixel memory of its own.
  static Image NewImage(int32_t width, int32_t height, int32_t format, int32_t padding,
                        unsigned char fill) {
    Image image;
    image.format = format;
    image.width = width;
    image.height = height;
    image.row_bytes =
        static_cast<int32_t>(static_cast<std::size_t>(width) * PixelBytes(format)) + padding;
    image.bytes.assign(std::max<std::size_t>(1, static_cast<std::size_t>(image.row_bytes) * height),
                       kPaddingFill);
    for (int32_t y = 0; y < height; ++y) std::memset(image.row(y), fill, image.used());
    return image;
  }
  // The layer's pixels at our row bytes, padding filled.
  Image LayerImage() const {
    Image image = NewImage(width, height, format, row_padding, 0);
    for (int32_t y = 0; y < height; ++y) {
      std::memcpy(image.row(y), layer_pixels.data() + static_cast<std::size_t>(y) * image.used(),
                  image.used());
    }
    return image;
  }

  void PrepareInData() {
    unsigned char* in = in_data;
    std::memset(in, 0, kInDataSize);
    std::memcpy(in + kInData_inter, tables[kInter].bytes, kInteractSize);
    void* utils = tables[kUtils].bytes;
    Put(in, kInData_utils, utils);
    void* ref = effect_ref;
    Put(in, kInData_effect_ref, ref);
    Put(in, kInData_quality, int32_t{1});
    Put(in, kInData_version_major, kSpecVersionMajor);
    Put(in, kInData_version_minor, kSpecVersionMinor);
    Put(in, kInData_current_time, kCurrentTime);
    Put(in, kInData_time_step, kTimeStep);
    Put(in, kInData_total_time, kTotalTime);
    Put(in, kInData_local_time_step, kTimeStep);
    Put(in, kInData_time_scale, kTimeScale);
    Put(in, kInData_width, width);
    Put(in, kInData_height, height);
    PutRect(in, kInData_extent_hint, Rect{0, 0, width, height});
    for (std::size_t ratio :
         {kInData_downsample_x, kInData_downsample_y, kInData_pixel_aspect_ratio}) {
      Put(in, ratio, int32_t{1});
      Put(in, ratio + 4, uint32_t{1});
    }
    Put(in, kInData_global_data, global_data);
    Put(in, kInData_sequence_data, sequence_data);
    void* basic = tables[kBasic].bytes;
    Put(in, kInData_pica_basicP, basic);
  }

  int32_t Send(int32_t cmd, void* extra, void** param_list = nullptr) {
    if (entry == nullptr) return kErr_BAD_CALLBACK_PARAM;
    PrepareInData();
    std::memset(out_data, 0, kOutDataSize);
    Put(out_data, kOutData_global_data, global_data);
    Put(out_data, kOutData_sequence_data, sequence_data);
    return entry(cmd, in_data, out_data, param_list, nullptr, extra);
  }

  // An interface command with params[] pointing at copies of the current
  // definitions, the layer's holding the input world. The copies are the
  // host's: the plug-in may read them, not write them.
  int32_t SendWithParams(int32_t cmd, void* extra) {
    if (values.empty()) {
      Problem("interface command before sequence set-up");
      return kErr_BAD_CALLBACK_PARAM;
    }
    std::vector<std::vector<unsigned char>> copies = values;
    std::memcpy(copies[0].data() + kParamDef_u, input_world, kWorldSize);
    const std::vector<std::vector<unsigned char>> sent = copies;
    std::vector<void*> list;
    for (auto& def : copies) list.push_back(def.data());
    const int32_t err = Send(cmd, extra, list.data());
    for (std::size_t i = 0; i < copies.size(); ++i) {
      if (copies[i] != sent[i]) Problem("params[" + std::to_string(i) + "] written by the plug-in");
    }
    // The interface commands may hand back new sequence data.
    sequence_data = Adopt(kOutData_sequence_data, "sequence data");
    return err;
  }

  // A handle the plug-in hands back, kept only when it is one of ours.
  void* Adopt(std::size_t offset, const char* what) {
    void* handle = Get<void*>(out_data, offset);
    if (handle != nullptr && !IsLive(handle)) {
      Problem(std::string(what) + " handed back is not a live handle");
      return nullptr;
    }
    return handle;
  }
};

namespace {

RawHost::State* g_state = nullptr;

// --- Traps --------------------------------------------------------------------

intptr_t Trapped(int table, std::size_t slot) {
  const TableInfo& t = kTables[table];
  if (g_state != nullptr) {
    g_state->Problem(std::string("unexpected call to ") + t.label + "." + t.slots[slot]);
  }
  return t.trap_result;
}

// One function per slot, so that a trap knows where it was called from. Any
// arguments are ignored: in both 64-bit calling conventions the caller owns
// them.
using AnyFunction = intptr_t (*)();

template <int Table, std::size_t Slot>
intptr_t Trap() {
  return Trapped(Table, Slot);
}

template <int Table, std::size_t... Slot>
std::array<AnyFunction, kMaxSlots> TrapsOf(std::index_sequence<Slot...>) {
  return {{&Trap<Table, Slot>...}};
}

template <std::size_t... Table>
std::array<std::array<AnyFunction, kMaxSlots>, kTableCount> AllTraps(
    std::index_sequence<Table...>) {
  return {{TrapsOf<static_cast<int>(Table)>(std::make_index_sequence<kMaxSlots>{})...}};
}

const std::array<std::array<AnyFunction, kMaxSlots>, kTableCount>& Traps() {
  static const auto traps = AllTraps(std::make_index_sequence<kTableCount>{});
  return traps;
}

}  // namespace

// --- Callbacks ------------------------------------------------------------------

extern "C" {

// PF_InteractCallbacks

static int32_t rh_checkout_param(void* effect_ref, int32_t index, int32_t what_time,
                                 int32_t time_step, uint32_t time_scale, void* def) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "checkout_param")) return kErr_BAD_CALLBACK_PARAM;
  if (def == nullptr) {
    s->Problem("checkout_param without a definition to fill");
    return kErr_BAD_CALLBACK_PARAM;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= s->params.size()) {
    s->Problem("checkout_param of parameter " + std::to_string(index) + ", which is not declared");
    return kErr_INVALID_INDEX;
  }
  if (what_time != kCurrentTime || time_step != kTimeStep || time_scale != kTimeScale) {
    s->Problem("checkout_param of parameter " + std::to_string(index) + " at time " +
               std::to_string(what_time) + ", step " + std::to_string(time_step) + ", scale " +
               std::to_string(time_scale) + " instead of in_data's " +
               std::to_string(kCurrentTime) + ", " + std::to_string(kTimeStep) + ", " +
               std::to_string(kTimeScale));
  }
  const auto i = static_cast<std::size_t>(index);
  std::memcpy(def, (s->values.empty() ? s->Declared(i) : s->values[i]).data(), kParamDefSize);
  ++s->param_checkouts;
  s->checked_out.insert(def);
  return kErr_NONE;
}

static int32_t rh_checkin_param(void* effect_ref, void* def) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "checkin_param")) return kErr_BAD_CALLBACK_PARAM;
  auto it = s->checked_out.find(def);
  if (it == s->checked_out.end()) {
    s->Problem("checkin_param of a definition that was not checked out");
    return kErr_BAD_CALLBACK_PARAM;
  }
  s->checked_out.erase(it);
  return kErr_NONE;
}

static int32_t rh_add_param(void* effect_ref, int32_t index, const void* def) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "add_param")) return kErr_BAD_CALLBACK_PARAM;
  ++s->add_param_calls;
  if (def == nullptr) {
    s->Problem("add_param without a definition");
    return kErr_BAD_CALLBACK_PARAM;
  }
  if (index != -1) {
    s->Problem("add_param at index " + std::to_string(index) + " instead of PF_ParamIndex_NONE");
  }
  const auto* bytes = static_cast<const unsigned char*>(def);
  s->params.emplace_back(bytes, bytes + kParamDefSize);
  return kErr_NONE;
}

static int32_t rh_abort(void* effect_ref) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "abort")) return kErr_BAD_CALLBACK_PARAM;
  return kErr_NONE;
}

static int32_t rh_progress(void* effect_ref, int32_t current, int32_t total) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "progress")) return kErr_BAD_CALLBACK_PARAM;
  s->progress.push_back(ProgressReport{current, total});
  return kErr_NONE;
}

// Handles, in the utility callbacks and "PF Handle Suite" 2 alike.

static void* rh_host_new_handle(uint64_t size) {
  return g_state != nullptr ? g_state->NewHandle(size) : nullptr;
}
static void* rh_host_lock_handle(void* handle) {
  return g_state != nullptr ? g_state->LockHandle(handle) : nullptr;
}
static void rh_host_unlock_handle(void* handle) {
  if (g_state != nullptr) g_state->UnlockHandle(handle);
}
static void rh_host_dispose_handle(void* handle) {
  if (g_state != nullptr) g_state->DisposeHandle(handle);
}
static uint64_t rh_host_get_handle_size(void* handle) {
  return g_state != nullptr ? g_state->HandleSize(handle) : 0;
}

// PF_ANSICallbacksBlock. Text goes no further than the end of out_data when
// it is written there.

static std::size_t RoomAt(const char* dst) {
  const auto* out = reinterpret_cast<const char*>(g_state != nullptr ? g_state->out_data : nullptr);
  if (out != nullptr && dst >= out && dst < out + kOutDataSize) {
    return static_cast<std::size_t>(out + kOutDataSize - dst);
  }
  return 4096;
}

static int rh_sprintf(char* dst, const char* format, ...) {
  if (dst == nullptr || format == nullptr) return -1;
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(dst, RoomAt(dst), format, args);
  va_end(args);
  return n;
}

static char* rh_strcpy(char* dst, const char* src) {
  if (dst == nullptr || src == nullptr) return dst;
  std::snprintf(dst, RoomAt(dst), "%s", src);
  return dst;
}

static double rh_atan(double x) { return std::atan(x); }
static double rh_atan2(double y, double x) { return std::atan2(y, x); }
static double rh_ceil(double x) { return std::ceil(x); }
static double rh_cos(double x) { return std::cos(x); }
static double rh_exp(double x) { return std::exp(x); }
static double rh_fabs(double x) { return std::fabs(x); }
static double rh_floor(double x) { return std::floor(x); }
static double rh_fmod(double x, double y) { return std::fmod(x, y); }
static double rh_hypot(double x, double y) { return std::hypot(x, y); }
static double rh_log(double x) { return std::log(x); }
static double rh_log10(double x) { return std::log10(x); }
static double rh_pow(double x, double y) { return std::pow(x, y); }
static double rh_sin(double x) { return std::sin(x); }
static double rh_sqrt(double x) { return std::sqrt(x); }
static double rh_tan(double x) { return std::tan(x); }
static double rh_asin(double x) { return std::asin(x); }
static double rh_acos(double x) { return std::acos(x); }

// SPBasicSuite

static int32_t rh_AcquireSuite(const char* name, int32_t version, const void** suite) {
  RawHost::State* s = g_state;
  if (s == nullptr) return kSuiteNotFound;
  if (name == nullptr || suite == nullptr) {
    s->Problem("AcquireSuite without a name or a destination");
    return kSuiteNotFound;
  }
  for (int t = 0; t < kTableCount; ++t) {
    const TableInfo& info = kTables[t];
    if (info.suite_name == nullptr || std::strcmp(info.suite_name, name) != 0 ||
        info.version != version) {
      continue;
    }
    *suite = s->tables[t].bytes;
    std::lock_guard<std::mutex> lock(s->mutex);
    ++s->suites_held[std::string(name) + " " + std::to_string(version)];
    return kErr_NONE;
  }
  *suite = nullptr;
  s->Problem("AcquireSuite of \"" + std::string(name) + "\" " + std::to_string(version) +
             ", which the host does not have");
  return kSuiteNotFound;
}

static int32_t rh_ReleaseSuite(const char* name, int32_t version) {
  RawHost::State* s = g_state;
  if (s == nullptr) return kSuiteNotFound;
  if (name == nullptr) {
    s->Problem("ReleaseSuite without a name");
    return kSuiteNotFound;
  }
  const std::string key = std::string(name) + " " + std::to_string(version);
  std::lock_guard<std::mutex> lock(s->mutex);
  auto it = s->suites_held.find(key);
  if (it == s->suites_held.end() || it->second == 0) {
    s->problems.push_back("ReleaseSuite of \"" + std::string(name) + "\" " +
                          std::to_string(version) + ", which is not held");
    return kSuiteNotFound;
  }
  if (--it->second == 0) s->suites_held.erase(it);
  return kErr_NONE;
}

// "AEGP Utility Suite" 7

static int32_t rh_AEGP_RegisterWithAEGP(void* /*global_refcon*/, const char* name,
                                        int32_t* plugin_id) {
  RawHost::State* s = g_state;
  if (s == nullptr) return kErr_BAD_CALLBACK_PARAM;
  if (name == nullptr || plugin_id == nullptr) {
    s->Problem("AEGP_RegisterWithAEGP without a name or an id destination");
    return kErr_BAD_CALLBACK_PARAM;
  }
  s->registered_name = name;
  *plugin_id = kPluginId;
  return kErr_NONE;
}

// "PF World Suite" 1 and 2, and the utility callbacks' copy

static int32_t NewWorld(const char* call, void* effect_ref, int32_t width, int32_t height,
                        int32_t format, bool clear, void* world) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, call)) return kErr_BAD_CALLBACK_PARAM;
  if (world == nullptr || width < 0 || height < 0 || width > 30000 || height > 30000 ||
      PixelBytes(format) == 0) {
    s->Problem(std::string(call) + " of " + std::to_string(width) + " x " + std::to_string(height) +
               " pixels of format " + std::to_string(format) +
               (world == nullptr ? " without a record" : ""));
    return kErr_BAD_CALLBACK_PARAM;
  }
  auto created = std::make_unique<RawHost::State::PluginWorld>();
  // Pixels nobody was asked to clear are not zero, so a read of them shows.
  created->image =
      RawHost::State::NewImage(width, height, format, kNewWorldPadding, clear ? 0 : kFreshFill);
  created->serial = static_cast<int>(s->worlds.size()) + 1;
  RawHost::State::FillWorld(static_cast<unsigned char*>(world), created->image,
                            kWorldFlag_WRITEABLE);
  s->worlds.push_back(std::move(created));
  return kErr_NONE;
}

static int32_t rh_new_world(void* effect_ref, int32_t width, int32_t height, int32_t flags,
                            void* world) {
  const int32_t format =
      (flags & kNewWorldFlag_DEEP_PIXELS) != 0 ? kPixelFormat_ARGB64 : kPixelFormat_ARGB32;
  return NewWorld("new_world", effect_ref, width, height, format,
                  (flags & kNewWorldFlag_CLEAR_PIXELS) != 0, world);
}

static int32_t rh_PF_NewWorld(void* effect_ref, int32_t width, int32_t height, char clear_pixels,
                              int32_t format, void* world) {
  return NewWorld("PF_NewWorld", effect_ref, width, height, format, clear_pixels != 0, world);
}

static int32_t rh_dispose_world(void* effect_ref, void* world) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "dispose_world")) return kErr_BAD_CALLBACK_PARAM;
  RawHost::State::Image* image = s->FindImage(world, "dispose_world");
  if (image == nullptr) return kErr_BAD_CALLBACK_PARAM;
  for (auto& w : s->worlds) {
    if (&w->image != image) continue;
    if (!image->PaddingIntact()) {
      s->Problem("dispose_world of world #" + std::to_string(w->serial) +
                 ", written beyond its rows' width");
    }
    w->live = false;
    std::memset(world, 0, kWorldSize);
    return kErr_NONE;
  }
  s->Problem("dispose_world of a world the host handed in, not one the plug-in created");
  return kErr_BAD_CALLBACK_PARAM;
}

static int32_t rh_PF_GetPixelFormat(const void* world, int32_t* format) {
  RawHost::State* s = g_state;
  if (s == nullptr) return kErr_BAD_CALLBACK_PARAM;
  const RawHost::State::Image* image = s->FindImage(world, "PF_GetPixelFormat");
  if (image == nullptr || format == nullptr) return kErr_BAD_CALLBACK_PARAM;
  *format = image->format;
  return kErr_NONE;
}

// Rectangles of the same size inside both worlds; without them, the area
// both cover from their origins.
static int32_t rh_copy(void* effect_ref, void* src, void* dst, void* src_rect, void* dst_rect) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "copy")) return kErr_BAD_CALLBACK_PARAM;
  const RawHost::State::Image* from = s->FindImage(src, "copy");
  RawHost::State::Image* to = s->FindImage(dst, "copy");
  if (from == nullptr || to == nullptr) return kErr_BAD_CALLBACK_PARAM;
  if (from->format != to->format) {
    s->Problem("copy between worlds of formats " + std::to_string(from->format) + " and " +
               std::to_string(to->format));
    return kErr_BAD_CALLBACK_PARAM;
  }
  const Rect common{0, 0, std::min(from->width, to->width), std::min(from->height, to->height)};
  const Rect a = src_rect != nullptr ? GetRect(src_rect, 0) : common;
  const Rect b = dst_rect != nullptr ? GetRect(dst_rect, 0) : common;
  auto inside = [](const Rect& r, const RawHost::State::Image& i) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
           r.right <= i.width && r.bottom <= i.height;
  };
  if (!inside(a, *from) || !inside(b, *to) || a.right - a.left != b.right - b.left ||
      a.bottom - a.top != b.bottom - b.top) {
    s->Problem("copy with areas that differ in size or lie outside the worlds");
    return kErr_BAD_CALLBACK_PARAM;
  }
  const std::size_t pixel = from->pixel_bytes();
  for (int32_t y = 0; y < a.bottom - a.top; ++y) {
    std::memmove(to->row(b.top + y) + static_cast<std::size_t>(b.left) * pixel,
                 from->row(a.top + y) + static_cast<std::size_t>(a.left) * pixel,
                 static_cast<std::size_t>(a.right - a.left) * pixel);
  }
  ++s->world_copies;
  return kErr_NONE;
}

// "PF Sampling8 Suite", "PF Sampling16 Suite" and "PF SamplingFloat Suite"
// 1: bilinear in 16.16. ix = x >> 16, fx = x & 0xFFFF (likewise y); the
// pixels (ix, iy), (ix+1, iy), (ix, iy+1), (ix+1, iy+1) weigh (65536-fx)
// (65536-fy), fx(65536-fy), (65536-fx)fy and fx fy. Pixels outside the world
// count as zero and pixels of weight zero are not read. Every channel on its
// own, as stored: at 8 and 16 bits (sum of w x v + 2^31) >> 32 in unsigned
// 64 bits; at float depth the double sum, in that pixel order from 0.0, of
// (w / 2^32) x v, narrowed to float, and a whole-number position is the
// pixel itself.

static int32_t Sample(const char* call, int32_t depth_format, void* effect_ref, int32_t x,
                      int32_t y, const void* params, void* dst_pixel) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, call)) return kErr_BAD_CALLBACK_PARAM;
  ++s->samples;
  if (params == nullptr || dst_pixel == nullptr) {
    s->Problem(std::string(call) + " without a block or a destination");
    return kErr_BAD_CALLBACK_PARAM;
  }
  const RawHost::State::Image* image = s->FindImage(Get<const void*>(params, kSampPB_src), call);
  if (image == nullptr) return kErr_BAD_CALLBACK_PARAM;
  if (image->format != depth_format) {
    s->Problem(std::string(call) + " of a world of format " + std::to_string(image->format));
    return kErr_BAD_CALLBACK_PARAM;
  }
  const std::size_t pixel = image->pixel_bytes();
  const int64_t ix = x >> 16, iy = y >> 16;
  const uint64_t fx = static_cast<uint32_t>(x) & 0xFFFF, fy = static_cast<uint32_t>(y) & 0xFFFF;
  const uint64_t gx = 65536 - fx, gy = 65536 - fy;
  const struct {
    int64_t x, y;
    uint64_t weight;
  } taps[4] = {
      {ix, iy, gx * gy}, {ix + 1, iy, fx * gy}, {ix, iy + 1, gx * fy}, {ix + 1, iy + 1, fx * fy}};
  auto at = [&](int64_t tx, int64_t ty) -> const unsigned char* {
    if (tx < 0 || ty < 0 || tx >= image->width || ty >= image->height) return nullptr;
    return image->row(static_cast<int32_t>(ty)) + static_cast<std::size_t>(tx) * pixel;
  };
  auto* out = static_cast<unsigned char*>(dst_pixel);

  if (depth_format == kPixelFormat_ARGB128) {
    if (fx == 0 && fy == 0) {
      const unsigned char* p = at(ix, iy);
      if (p != nullptr) {
        std::memcpy(out, p, pixel);
      } else {
        std::memset(out, 0, pixel);
      }
      return kErr_NONE;
    }
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    for (const auto& tap : taps) {
      const unsigned char* p = tap.weight != 0 ? at(tap.x, tap.y) : nullptr;
      if (p == nullptr) continue;
      const double w = static_cast<double>(tap.weight) / 4294967296.0;
      for (std::size_t c = 0; c < 4; ++c) sums[c] += w * Get<float>(p, 4 * c);
    }
    for (std::size_t c = 0; c < 4; ++c) Put(out, 4 * c, static_cast<float>(sums[c]));
    return kErr_NONE;
  }

  const std::size_t channel = pixel / 4;  // 1 or 2 bytes
  uint64_t sums[4] = {uint64_t{1} << 31, uint64_t{1} << 31, uint64_t{1} << 31, uint64_t{1} << 31};
  for (const auto& tap : taps) {
    const unsigned char* p = tap.weight != 0 ? at(tap.x, tap.y) : nullptr;
    if (p == nullptr) continue;
    for (std::size_t c = 0; c < 4; ++c) {
      const uint64_t v = channel == 1 ? p[c] : Get<uint16_t>(p, 2 * c);
      sums[c] += tap.weight * v;
    }
  }
  for (std::size_t c = 0; c < 4; ++c) {
    if (channel == 1) {
      out[c] = static_cast<unsigned char>(sums[c] >> 32);
    } else {
      Put(out, 2 * c, static_cast<uint16_t>(sums[c] >> 32));
    }
  }
  return kErr_NONE;
}

static int32_t rh_subpixel_sample(void* effect_ref, int32_t x, int32_t y, const void* params,
                                  void* dst_pixel) {
  return Sample("subpixel_sample", kPixelFormat_ARGB32, effect_ref, x, y, params, dst_pixel);
}
static int32_t rh_subpixel_sample16(void* effect_ref, int32_t x, int32_t y, const void* params,
                                    void* dst_pixel) {
  return Sample("subpixel_sample16", kPixelFormat_ARGB64, effect_ref, x, y, params, dst_pixel);
}
static int32_t rh_subpixel_sample_float(void* effect_ref, int32_t x, int32_t y, const void* params,
                                        void* dst_pixel) {
  return Sample("subpixel_sample_float", kPixelFormat_ARGB128, effect_ref, x, y, params, dst_pixel);
}

// "AEGP PF Interface Suite" 1, "AEGP Effect Suite" 2, "AEGP Stream Suite" 7
// and "AEGP Dynamic Stream Suite" 2: references to the instance and to its
// parameters' streams, each counted until it is disposed.

static int32_t rh_AEGP_GetNewEffectForEffect(int32_t plugin_id, void* effect_ref, void** effect) {
  RawHost::State* s = g_state;
  const char* call = "AEGP_GetNewEffectForEffect";
  if (s == nullptr || !s->OurRef(effect_ref, call)) return kErr_BAD_CALLBACK_PARAM;
  if (effect == nullptr) {
    s->Problem(std::string(call) + " without a destination");
    return kErr_BAD_CALLBACK_PARAM;
  }
  if (!s->OurPlugin(plugin_id, call)) return kErr_BAD_CALLBACK_PARAM;
  *effect = s->NewReference(false, 0);
  return kErr_NONE;
}

static int32_t rh_AEGP_DisposeEffect(void* effect) {
  RawHost::State* s = g_state;
  if (s == nullptr) return kErr_BAD_CALLBACK_PARAM;
  RawHost::State::Reference* r = s->FindReference(effect, false, "AEGP_DisposeEffect");
  if (r == nullptr) return kErr_BAD_CALLBACK_PARAM;
  r->live = false;
  return kErr_NONE;
}

static int32_t rh_AEGP_GetNewEffectStreamByIndex(int32_t plugin_id, void* effect, int32_t index,
                                                 void** stream) {
  RawHost::State* s = g_state;
  const char* call = "AEGP_GetNewEffectStreamByIndex";
  if (s == nullptr) return kErr_BAD_CALLBACK_PARAM;
  if (stream == nullptr) {
    s->Problem(std::string(call) + " without a destination");
    return kErr_BAD_CALLBACK_PARAM;
  }
  if (!s->OurPlugin(plugin_id, call) || s->FindReference(effect, false, call) == nullptr) {
    return kErr_BAD_CALLBACK_PARAM;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= s->values.size()) {
    s->Problem(std::string(call) + " of parameter " + std::to_string(index) +
               ", which the instance does not have");
    return kErr_INVALID_INDEX;
  }
  *stream = s->NewReference(true, index);
  return kErr_NONE;
}

static int32_t rh_AEGP_DisposeStream(void* stream) {
  RawHost::State* s = g_state;
  if (s == nullptr) return kErr_BAD_CALLBACK_PARAM;
  RawHost::State::Reference* r = s->FindReference(stream, true, "AEGP_DisposeStream");
  if (r == nullptr) return kErr_BAD_CALLBACK_PARAM;
  r->live = false;
  return kErr_NONE;
}

static int32_t rh_AEGP_SetExpression(int32_t plugin_id, void* stream, const char* expression) {
  RawHost::State* s = g_state;
  const char* call = "AEGP_SetExpression";
  if (s == nullptr || !s->OurPlugin(plugin_id, call)) return kErr_BAD_CALLBACK_PARAM;
  RawHost::State::Reference* r = s->FindReference(stream, true, call);
  if (r == nullptr) return kErr_BAD_CALLBACK_PARAM;
  if (expression == nullptr) {
    s->Problem(std::string(call) + " without a text");
    return kErr_BAD_CALLBACK_PARAM;
  }
  // The empty text removes the expression.
  if (*expression == '\0') {
    s->expressions.erase(r->index);
  } else {
    s->expressions[r->index] = expression;
  }
  s->expression_calls.push_back(ExpressionCall{r->index, expression});
  return kErr_NONE;
}

static int32_t rh_AEGP_SetDynamicStreamFlag(void* stream, uint32_t flag, unsigned char undoable,
                                            unsigned char set) {
  RawHost::State* s = g_state;
  if (s == nullptr) return kErr_BAD_CALLBACK_PARAM;
  RawHost::State::Reference* r = s->FindReference(stream, true, "AEGP_SetDynamicStreamFlag");
  if (r == nullptr) return kErr_BAD_CALLBACK_PARAM;
  if (flag == 0 || (flag & (flag - 1)) != 0 || undoable > 1 || set > 1) {
    s->Problem("AEGP_SetDynamicStreamFlag with flag " + std::to_string(flag) + ", undoable " +
               std::to_string(undoable) + ", set " + std::to_string(set));
    return kErr_BAD_CALLBACK_PARAM;
  }
  uint32_t& flags = s->stream_flags[r->index];
  flags = set != 0 ? (flags | flag) : (flags & ~flag);
  s->stream_flag_calls.push_back(StreamFlagCall{r->index, flag, set != 0});
  return kErr_NONE;
}

// "PF Param Utils Suite" 2

static int32_t rh_PF_UpdateParamUI(void* effect_ref, int32_t index, const void* def) {
  RawHost::State* s = g_state;
  const char* call = "PF_UpdateParamUI";
  if (s == nullptr || !s->OurRef(effect_ref, call)) return kErr_BAD_CALLBACK_PARAM;
  if (index <= 0 || static_cast<std::size_t>(index) >= s->values.size()) {
    s->Problem(std::string(call) + " of parameter " + std::to_string(index) +
               ", which the instance does not have");
    return kErr_INVALID_INDEX;
  }
  if (def == nullptr) {
    s->Problem(std::string(call) + " without a record");
    return kErr_BAD_CALLBACK_PARAM;
  }
  std::vector<unsigned char>& value = s->values[static_cast<std::size_t>(index)];
  const int32_t type = Get<int32_t>(def, kParamDef_param_type);
  if (type != Get<int32_t>(value.data(), kParamDef_param_type)) {
    s->Problem(std::string(call) + " of parameter " + std::to_string(index) + " with type " +
               std::to_string(type) + ", not its declared type");
    return kErr_BAD_CALLBACK_PARAM;
  }
  const char* name = static_cast<const char*>(def) + kParamDef_name;
  if (std::memchr(name, '\0', kParamDef_name_size) == nullptr) {
    s->Problem(std::string(call) + " of parameter " + std::to_string(index) +
               " with a name that is not terminated");
    return kErr_BAD_CALLBACK_PARAM;
  }
  const int32_t ui_flags = Get<int32_t>(def, kParamDef_ui_flags);
  s->param_ui_calls.push_back(ParamUICall{index, ui_flags, name});
  // The host shows the record's greying and name.
  const int32_t shown = Get<int32_t>(value.data(), kParamDef_ui_flags);
  Put(value.data(), kParamDef_ui_flags, (shown & ~kPUI_DISABLED) | (ui_flags & kPUI_DISABLED));
  std::memcpy(value.data() + kParamDef_name, name, kParamDef_name_size);
  return kErr_NONE;
}

static int32_t rh_PF_GetCurrentStateObsolete(void* effect_ref, void* state) {
  RawHost::State* s = g_state;
  const char* call = "PF_GetCurrentStateObsolete";
  if (s == nullptr || !s->OurRef(effect_ref, call)) return kErr_BAD_CALLBACK_PARAM;
  if (!s->FitsState(state, call)) return kErr_BAD_CALLBACK_PARAM;
  const int32_t serial = s->next_state++;
  s->states[serial] = s->ValueHashes();
  Put(state, 0, kStateMagic);
  Put(state, 4, serial);
  Put(state, 8, int32_t{0});
  Put(state, 12, int32_t{0});
  return kErr_NONE;
}

static int32_t rh_PF_HasParamChangedObsolete(void* effect_ref, const void* state, int32_t index,
                                             char* changed) {
  RawHost::State* s = g_state;
  const char* call = "PF_HasParamChangedObsolete";
  if (s == nullptr || !s->OurRef(effect_ref, call)) return kErr_BAD_CALLBACK_PARAM;
  if (!s->FitsState(state, call)) return kErr_BAD_CALLBACK_PARAM;
  if (changed == nullptr) {
    s->Problem(std::string(call) + " without a destination");
    return kErr_BAD_CALLBACK_PARAM;
  }
  auto then = s->states.find(Get<int32_t>(state, 4));
  if (Get<int32_t>(state, 0) != kStateMagic || then == s->states.end()) {
    s->Problem(std::string(call) + " of a record PF_GetCurrentStateObsolete did not fill");
    return kErr_BAD_CALLBACK_PARAM;
  }
  const std::vector<uint64_t> now = s->ValueHashes();
  bool differs = false;
  if (index == kParamIndex_CHECK_ALL || index == kParamIndex_CHECK_ALL_EXCEPT_LAYER_PARAMS ||
      index == kParamIndex_CHECK_ALL_HONOR_EXCLUDE) {
    differs = now != then->second;
  } else if (index >= 0 && static_cast<std::size_t>(index) < now.size()) {
    differs = now[static_cast<std::size_t>(index)] != then->second[static_cast<std::size_t>(index)];
  } else {
    s->Problem(std::string(call) + " of parameter " + std::to_string(index));
    return kErr_INVALID_INDEX;
  }
  *changed = differs ? 1 : 0;
  return kErr_NONE;
}

// PF_PreRenderCallbacks

static int32_t rh_checkout_layer(void* effect_ref, int32_t index, int32_t checkout_id,
                                 const void* request, int32_t what_time, int32_t time_step,
                                 uint32_t time_scale, void* result) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "checkout_layer")) return kErr_BAD_CALLBACK_PARAM;
  if (request == nullptr || result == nullptr) {
    s->Problem("checkout_layer without a request or a result");
    return kErr_BAD_CALLBACK_PARAM;
  }
  if (index != 0) {
    s->Problem("checkout_layer of parameter " + std::to_string(index) + ", which is no layer");
    return kErr_INVALID_INDEX;
  }
  if (what_time != kCurrentTime || time_step != kTimeStep || time_scale != kTimeScale) {
    s->Problem("checkout_layer at time " + std::to_string(what_time) + ", step " +
               std::to_string(time_step) + ", scale " + std::to_string(time_scale) +
               " instead of in_data's");
  }
  std::memcpy(s->layer_request.data(), request, kRenderRequestSize);
  s->layer_checkout_ids.push_back(checkout_id);

  const Rect bounds{0, 0, s->width, s->height};
  const Rect asked = GetRect(request, kRequest_rect);
  Rect given{std::max(asked.left, bounds.left), std::max(asked.top, bounds.top),
             std::min(asked.right, bounds.right), std::min(asked.bottom, bounds.bottom)};
  if (given.left >= given.right || given.top >= given.bottom) given = Rect{};
  std::memset(result, 0, kCheckoutResultSize);
  PutRect(result, kCheckout_result_rect, given);
  PutRect(result, kCheckout_max_result_rect, bounds);
  Put(result, kCheckout_par, int32_t{1});
  Put(result, kCheckout_par + 4, uint32_t{1});
  Put(result, kCheckout_ref_width, s->width);
  Put(result, kCheckout_ref_height, s->height);
  return kErr_NONE;
}

// PF_SmartRenderCallbacks

static int32_t rh_checkout_layer_pixels(void* effect_ref, int32_t checkout_id, void** pixels) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "checkout_layer_pixels")) {
    return kErr_BAD_CALLBACK_PARAM;
  }
  bool known = false;
  for (int32_t id : s->layer_checkout_ids) known = known || id == checkout_id;
  if (pixels == nullptr || !known) {
    s->Problem("checkout_layer_pixels of checkout id " + std::to_string(checkout_id) +
               ", which pre-render did not check out");
    return kErr_BAD_CALLBACK_PARAM;
  }
  *pixels = s->input_world;
  return kErr_NONE;
}

static int32_t rh_checkin_layer_pixels(void* effect_ref, int32_t /*checkout_id*/) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "checkin_layer_pixels")) {
    return kErr_BAD_CALLBACK_PARAM;
  }
  return kErr_NONE;
}

static int32_t rh_checkout_output(void* effect_ref, void** output) {
  RawHost::State* s = g_state;
  if (s == nullptr || !s->OurRef(effect_ref, "checkout_output")) return kErr_BAD_CALLBACK_PARAM;
  if (output == nullptr) {
    s->Problem("checkout_output without a destination");
    return kErr_BAD_CALLBACK_PARAM;
  }
  *output = s->output_world;
  return kErr_NONE;
}

}  // extern "C"

namespace {

// Every function slot of every table a trap, then the served slots.
void BuildTables(RawHost::State& s) {
  for (int t = 0; t < kTableCount; ++t) {
    for (std::size_t slot = 0; slot < kTables[t].slot_count; ++slot) {
      if (kTables[t].slots[slot] != nullptr) Put(s.tables[t].bytes, slot * 8, Traps()[t][slot]);
    }
  }
  unsigned char* inter = s.tables[kInter].bytes;
  Put(inter, kInter_checkout_param, &rh_checkout_param);
  Put(inter, kInter_checkin_param, &rh_checkin_param);
  Put(inter, kInter_add_param, &rh_add_param);
  Put(inter, kInter_abort, &rh_abort);
  Put(inter, kInter_progress, &rh_progress);

  unsigned char* utils = s.tables[kUtils].bytes;
  Put(utils, kUtils_host_new_handle, &rh_host_new_handle);
  Put(utils, kUtils_host_lock_handle, &rh_host_lock_handle);
  Put(utils, kUtils_host_unlock_handle, &rh_host_unlock_handle);
  Put(utils, kUtils_host_dispose_handle, &rh_host_dispose_handle);
  Put(utils, kUtils_host_get_handle_size, &rh_host_get_handle_size);
  const std::size_t a = kUtils_ansi;
  Put(utils, a + kAnsi_atan, &rh_atan);
  Put(utils, a + kAnsi_atan2, &rh_atan2);
  Put(utils, a + kAnsi_ceil, &rh_ceil);
  Put(utils, a + kAnsi_cos, &rh_cos);
  Put(utils, a + kAnsi_exp, &rh_exp);
  Put(utils, a + kAnsi_fabs, &rh_fabs);
  Put(utils, a + kAnsi_floor, &rh_floor);
  Put(utils, a + kAnsi_fmod, &rh_fmod);
  Put(utils, a + kAnsi_hypot, &rh_hypot);
  Put(utils, a + kAnsi_log, &rh_log);
  Put(utils, a + kAnsi_log10, &rh_log10);
  Put(utils, a + kAnsi_pow, &rh_pow);
  Put(utils, a + kAnsi_sin, &rh_sin);
  Put(utils, a + kAnsi_sqrt, &rh_sqrt);
  Put(utils, a + kAnsi_tan, &rh_tan);
  Put(utils, a + kAnsi_sprintf, &rh_sprintf);
  Put(utils, a + kAnsi_strcpy, &rh_strcpy);
  Put(utils, a + kAnsi_asin, &rh_asin);
  Put(utils, a + kAnsi_acos, &rh_acos);

  unsigned char* basic = s.tables[kBasic].bytes;
  Put(basic, 0, &rh_AcquireSuite);  // AcquireSuite
  Put(basic, 8, &rh_ReleaseSuite);  // ReleaseSuite

  unsigned char* handle2 = s.tables[kHandle2].bytes;
  Put(handle2, 0, &rh_host_new_handle);        // host_new_handle
  Put(handle2, 8, &rh_host_lock_handle);       // host_lock_handle
  Put(handle2, 16, &rh_host_unlock_handle);    // host_unlock_handle
  Put(handle2, 24, &rh_host_dispose_handle);   // host_dispose_handle
  Put(handle2, 32, &rh_host_get_handle_size);  // host_get_handle_size

  Put(utils, 64, &rh_copy);  // copy

  Put(s.tables[kUtility7].bytes, 56, &rh_AEGP_RegisterWithAEGP);  // AEGP_RegisterWithAEGP
  Put(s.tables[kPFInterface1].bytes, 8, &rh_AEGP_GetNewEffectForEffect);
  Put(s.tables[kStream7].bytes, 40, &rh_AEGP_GetNewEffectStreamByIndex);
  Put(s.tables[kStream7].bytes, 56, &rh_AEGP_DisposeStream);
  Put(s.tables[kStream7].bytes, 160, &rh_AEGP_SetExpression);
  Put(s.tables[kDynamicStream2].bytes, 40, &rh_AEGP_SetDynamicStreamFlag);
  Put(s.tables[kEffect2].bytes, 64, &rh_AEGP_DisposeEffect);
  Put(s.tables[kParamUtils2].bytes, 0, &rh_PF_UpdateParamUI);
  Put(s.tables[kParamUtils2].bytes, 8, &rh_PF_GetCurrentStateObsolete);
  Put(s.tables[kParamUtils2].bytes, 16, &rh_PF_HasParamChangedObsolete);
  Put(s.tables[kWorld1].bytes, 0, &rh_new_world);                     // new_world
  Put(s.tables[kWorld1].bytes, 8, &rh_dispose_world);                 // dispose_world
  Put(s.tables[kWorld2].bytes, 0, &rh_PF_NewWorld);                   // PF_NewWorld
  Put(s.tables[kWorld2].bytes, 16, &rh_PF_GetPixelFormat);            // PF_GetPixelFormat
  Put(s.tables[kSampling8].bytes, 8, &rh_subpixel_sample);            // subpixel_sample
  Put(s.tables[kSampling16].bytes, 8, &rh_subpixel_sample16);         // subpixel_sample16
  Put(s.tables[kSamplingFloat].bytes, 8, &rh_subpixel_sample_float);  // subpixel_sample_float

  Put(s.tables[kPreRenderCb].bytes, kPreCb_checkout_layer, &rh_checkout_layer);
  unsigned char* smart = s.tables[kSmartRenderCb].bytes;
  Put(smart, kSmartCb_checkout_layer_pixels, &rh_checkout_layer_pixels);
  Put(smart, kSmartCb_checkin_layer_pixels, &rh_checkin_layer_pixels);
  Put(smart, kSmartCb_checkout_output, &rh_checkout_output);
}

}  // namespace

// --- RawHost ----------------------------------------------------------------------

RawHost::RawHost(const std::string& library_path) : state_(std::make_unique<State>()) {
  State& s = *state_;
  if (g_state != nullptr) {
    s.load_error = "another RawHost is alive";
    return;
  }
  g_state = &s;
  BuildTables(s);
#if defined(_WIN32)
  std::wstring wide(library_path.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, library_path.c_str(), -1, wide.data(),
                                    static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
  // An absolute path with backslashes, so that the library's own dependencies
  // are searched for in its folder.
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    s.load_error = "LoadLibraryExW failed with error " + std::to_string(GetLastError());
    return;
  }
  s.library = module;
  FARPROC symbol = GetProcAddress(module, "EntryPointFunc");
#else
  s.library = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (s.library == nullptr) {
    const char* why = dlerror();
    s.load_error = why != nullptr ? why : "dlopen failed";
    return;
  }
  void* symbol = dlsym(s.library, "EntryPointFunc");
#endif
  if (symbol == nullptr) {
    s.load_error = "no EntryPointFunc in " + library_path;
    return;
  }
  static_assert(sizeof symbol == sizeof s.entry);
  std::memcpy(&s.entry, &symbol, sizeof s.entry);
}

RawHost::~RawHost() {
  State& s = *state_;
  if (s.library != nullptr) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(s.library));
#else
    dlclose(s.library);
#endif
  }
  if (g_state == &s) g_state = nullptr;
}

bool RawHost::loaded() const { return state_->entry != nullptr; }
const std::string& RawHost::load_error() const { return state_->load_error; }

void RawHost::SetLayer(int32_t width, int32_t height, const std::vector<unsigned char>& pixels,
                       int32_t row_padding, int32_t format) {
  State& s = *state_;
  s.width = width;
  s.height = height;
  s.row_padding = row_padding;
  s.format = format;
  s.layer_pixels = pixels;
  s.layer_pixels.resize(static_cast<std::size_t>(width) * height * PixelBytes(format));
  s.input = s.LayerImage();
  State::FillWorld(s.input_world, s.input, 0);
  s.output = s.LayerImage();
  State::FillWorld(s.output_world, s.output, kWorldFlag_WRITEABLE);
}

int32_t RawHost::About() { return state_->Send(kCmd_ABOUT, nullptr); }

int32_t RawHost::GlobalSetup() {
  State& s = *state_;
  const int32_t err = s.Send(kCmd_GLOBAL_SETUP, nullptr);
  s.global_data = s.Adopt(kOutData_global_data, "global data");
  return err;
}

int32_t RawHost::ParamsSetup() {
  State& s = *state_;
  s.params.assign(1, std::vector<unsigned char>(kParamDefSize, 0));
  Put(s.params[0].data(), kParamDef_param_type, kParam_LAYER);
  s.add_param_calls = 0;
  return s.Send(kCmd_PARAMS_SETUP, nullptr);
}

int32_t RawHost::SequenceSetup() {
  State& s = *state_;
  s.values.clear();
  for (std::size_t i = 0; i < s.params.size(); ++i) s.values.push_back(s.Declared(i));
  const int32_t err = s.Send(kCmd_SEQUENCE_SETUP, nullptr);
  s.sequence_data = s.Adopt(kOutData_sequence_data, "sequence data");
  return err;
}

int32_t RawHost::SequenceSetdown() {
  State& s = *state_;
  const int32_t err = s.Send(kCmd_SEQUENCE_SETDOWN, nullptr);
  s.sequence_data = nullptr;  // the instance is gone, and with it the host's reference
  return err;
}

int32_t RawHost::UpdateParamsUI() { return state_->SendWithParams(kCmd_UPDATE_PARAMS_UI, nullptr); }

int32_t RawHost::UserChangedParam(int32_t index) {
  alignas(4) unsigned char extra[kUserChangedParamExtraSize] = {};
  Put(extra, kUserChanged_param_index, index);
  return state_->SendWithParams(kCmd_USER_CHANGED_PARAM, extra);
}

int32_t RawHost::ChangeParam(int32_t index, int32_t value) {
  State& s = *state_;
  if (index <= 0 || static_cast<std::size_t>(index) >= s.values.size()) {
    return kErr_INVALID_INDEX;
  }
  Put(s.values[static_cast<std::size_t>(index)].data(), kParamDef_u, value);
  int32_t err = kErr_NONE;
  if ((Get<int32_t>(s.params[static_cast<std::size_t>(index)].data(), kParamDef_flags) &
       kParamFlag_SUPERVISE) != 0) {
    err = UserChangedParam(index);
  }
  const int32_t update_err = UpdateParamsUI();
  return err != kErr_NONE ? err : update_err;
}

// The request's depth is the layer's: 8, 16 or 32 bits a channel.
static int16_t BitDepth(int32_t format) { return static_cast<int16_t>(PixelBytes(format) * 2); }

int32_t RawHost::SmartPreRender() {
  State& s = *state_;
  std::memset(s.request, 0, kRenderRequestSize);
  PutRect(s.request, kRequest_rect, Rect{0, 0, s.width, s.height});
  Put(s.request, kRequest_field, int32_t{0});
  Put(s.request, kRequest_channel_mask, kChannelMask_ARGB);
  s.request[kRequest_preserve_rgb_of_zero_alpha] = 1;

  std::memset(s.pre_input, 0, kPreRenderInputSize);
  std::memcpy(s.pre_input + kPreInput_output_request, s.request, kRenderRequestSize);
  Put(s.pre_input, kPreInput_bitdepth, BitDepth(s.format));
  std::memset(s.pre_output, 0, kPreRenderOutputSize);
  void* input = s.pre_input;
  void* output = s.pre_output;
  void* cb = s.tables[kPreRenderCb].bytes;
  Put(s.pre_extra, kPreExtra_input, input);
  Put(s.pre_extra, kPreExtra_output, output);
  Put(s.pre_extra, kPreExtra_cb, cb);
  s.layer_checkout_ids.clear();

  const int32_t err = s.Send(kCmd_SMART_PRE_RENDER, s.pre_extra);
  s.pre_render_data = Get<void*>(s.pre_output, kPreOutput_pre_render_data);
  std::memcpy(&s.delete_function, s.pre_output + kPreOutput_delete_pre_render_data_func,
              sizeof s.delete_function);
  if (s.pre_render_data != nullptr && s.delete_function == nullptr) {
    // The host would free() the data itself, and it is a host handle.
    s.Problem("pre-render data handed over without a function to delete it");
  }
  return err;
}

int32_t RawHost::SmartRender() {
  State& s = *state_;
  s.output = State::NewImage(s.width, s.height, s.format, s.row_padding, kOutputFill);
  State::FillWorld(s.output_world, s.output, kWorldFlag_WRITEABLE);

  std::memset(s.smart_input, 0, kSmartRenderInputSize);
  std::memcpy(s.smart_input + kSmartInput_output_request, s.request, kRenderRequestSize);
  Put(s.smart_input, kSmartInput_bitdepth, BitDepth(s.format));
  Put(s.smart_input, kSmartInput_pre_render_data, s.pre_render_data);
  void* input = s.smart_input;
  void* cb = s.tables[kSmartRenderCb].bytes;
  Put(s.smart_extra, kSmartExtra_input, input);
  Put(s.smart_extra, kSmartExtra_cb, cb);
  return s.Send(kCmd_SMART_RENDER, s.smart_extra);
}

void RawHost::DeletePreRenderData() {
  State& s = *state_;
  void* data = std::exchange(s.pre_render_data, nullptr);
  const State::DeleteFunction function = std::exchange(s.delete_function, nullptr);
  if (data == nullptr || function == nullptr) return;
  // Another thread, with no command under way: the function has nothing but
  // its argument to go by.
  std::thread([function, data] { function(data); }).join();
}

const unsigned char* RawHost::out_data() const { return state_->out_data; }
const unsigned char* RawHost::pre_render_output() const { return state_->pre_output; }
const std::vector<std::vector<unsigned char>>& RawHost::params() const { return state_->params; }
const std::vector<unsigned char>& RawHost::layer_request() const { return state_->layer_request; }
int RawHost::layer_checkouts() const { return static_cast<int>(state_->layer_checkout_ids.size()); }
int RawHost::add_param_calls() const { return state_->add_param_calls; }
int RawHost::param_checkouts() const { return state_->param_checkouts; }
int RawHost::samples() const { return state_->samples; }
const std::vector<ProgressReport>& RawHost::progress() const { return state_->progress; }
const std::string& RawHost::registered_name() const { return state_->registered_name; }
void* RawHost::global_data() const { return state_->global_data; }
void* RawHost::sequence_data() const { return state_->sequence_data; }
void* RawHost::pre_render_data() const { return state_->pre_render_data; }

std::array<unsigned char, 4> RawHost::OutputPixel(int32_t x, int32_t y) const {
  const State& s = *state_;
  std::array<unsigned char, 4> p{};
  if (s.format == kPixelFormat_ARGB32) {
    std::memcpy(p.data(), s.output.row(y) + static_cast<std::size_t>(x) * 4, 4);
  }
  return p;
}

std::vector<unsigned char> RawHost::OutputPixels() const {
  const State& s = *state_;
  std::vector<unsigned char> packed;
  for (int32_t y = 0; y < s.height; ++y) {
    packed.insert(packed.end(), s.output.row(y), s.output.row(y) + s.output.used());
  }
  return packed;
}

bool RawHost::OutputPaddingIntact() const { return state_->output.PaddingIntact(); }

bool RawHost::InputUnchanged() const { return state_->input.bytes == state_->LayerImage().bytes; }

unsigned char* RawHost::Value(int32_t index) {
  State& s = *state_;
  if (index < 0 || static_cast<std::size_t>(index) >= s.values.size()) return nullptr;
  return s.values[static_cast<std::size_t>(index)].data();
}

std::string RawHost::Expression(int32_t index) const {
  auto it = state_->expressions.find(index);
  return it == state_->expressions.end() ? std::string() : it->second;
}

uint32_t RawHost::StreamFlags(int32_t index) const {
  auto it = state_->stream_flags.find(index);
  return it == state_->stream_flags.end() ? 0 : it->second;
}

const std::vector<ParamUICall>& RawHost::param_ui_calls() const { return state_->param_ui_calls; }
const std::vector<StreamFlagCall>& RawHost::stream_flag_calls() const {
  return state_->stream_flag_calls;
}
const std::vector<ExpressionCall>& RawHost::expression_calls() const {
  return state_->expression_calls;
}

void RawHost::ClearCalls() {
  state_->param_ui_calls.clear();
  state_->stream_flag_calls.clear();
  state_->expression_calls.clear();
}

int RawHost::references_given() const { return static_cast<int>(state_->references.size()); }

std::vector<std::string> RawHost::LiveReferences() const {
  std::vector<std::string> live;
  for (const State::Reference& r : state_->references) {
    if (!r.live) continue;
    live.push_back(r.stream ? "stream of parameter " + std::to_string(r.index)
                            : std::string("effect"));
  }
  return live;
}

int RawHost::worlds_created() const { return static_cast<int>(state_->worlds.size()); }

std::vector<std::string> RawHost::LiveWorlds() const {
  std::vector<std::string> live;
  for (const auto& w : state_->worlds) {
    if (!w->live) continue;
    live.push_back("world #" + std::to_string(w->serial) + " of " + std::to_string(w->image.width) +
                   " x " + std::to_string(w->image.height) + " pixels, format " +
                   std::to_string(w->image.format));
  }
  return live;
}

int RawHost::world_copies() const { return state_->world_copies; }

bool RawHost::IsLiveHandle(const void* handle) const { return state_->IsLive(handle); }

std::vector<std::string> RawHost::LiveHandlesExcept(const void* kept) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  std::vector<std::string> live;
  for (const auto& h : state_->handles) {
    if (!h->live || h->cell.get() == kept) continue;
    live.push_back("handle #" + std::to_string(h->serial) + " of " + std::to_string(h->size) +
                   " bytes");
  }
  return live;
}

int RawHost::LocksHeld() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  int locks = 0;
  for (const auto& h : state_->handles) locks += h->live ? h->locks : 0;
  return locks;
}

std::vector<std::string> RawHost::SuitesHeld() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  std::vector<std::string> held;
  for (const auto& [suite, count] : state_->suites_held) {
    held.push_back(suite + " x" + std::to_string(count));
  }
  return held;
}

int RawHost::ParamsCheckedOut() const { return static_cast<int>(state_->checked_out.size()); }

std::vector<std::string> RawHost::problems() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->problems;
}

}  // namespace rawhost
