#include "minihost/suites/aegp_services.h"

#include <string>

#include "minihost/host/traps.h"
#include "minihost/params/params.h"

namespace minihost {
namespace {

// The host and its services for a suite call, or null outside a command.
struct Context {
  Host* host = nullptr;
  AegpService* aegp = nullptr;
  ParamService* params = nullptr;
};

Context Current() {
  Context c;
  c.host = Host::Current();
  if (c.host != nullptr) {
    c.aegp = c.host->FindService<AegpService>();
    c.params = c.host->FindService<ParamService>();
  }
  if (c.aegp == nullptr || c.params == nullptr) c.host = nullptr;
  return c;
}

std::string Detail(PF_ParamIndex index) {
  std::string out = "(";
  out += std::to_string(index);
  out += ')';
  return out;
}

std::string StreamDetail(AegpService& aegp, AEGP_StreamRefH stream, const char* suffix = "") {
  const AegpService::StreamRecord* record = aegp.Find(stream);
  std::string out = "(";
  out += record != nullptr ? std::to_string(record->index) : std::string("?");
  out += suffix;
  out += ')';
  return out;
}

// A stream reference the plug-in holds, or null after naming the misuse.
AegpService::StreamRecord* LiveStream(Context& c, AEGP_StreamRefH stream, const char* call) {
  AegpService::StreamRecord* record = c.aegp->Find(stream);
  if (record == nullptr || !record->live) {
    c.host->Problem(std::string(call) +
                    (record == nullptr ? " with an unknown stream reference"
                                       : " with a disposed stream reference"));
    return nullptr;
  }
  return record;
}

// --- AEGP PF Interface Suite 1 ---------------------------------------------

A_Err GetNewEffectForEffect(AEGP_PluginID plugin_id, PF_ProgPtr effect_ref,
                            AEGP_EffectRefH* effect) {
  Context c = Current();
  if (c.host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  // A failure hands out nothing, unless it is one that comes with a result.
  auto failure = c.host->faults().Enter("AEGP_GetNewEffectForEffect");
  if (failure && failure->form != FailureForm::kErrorWithResult) return failure->code;
  if (effect == nullptr) {
    c.host->Problem("AEGP_GetNewEffectForEffect without a destination");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (!CheckPluginId(*c.host, plugin_id, "AEGP_GetNewEffectForEffect")) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  Instance* instance = c.host->InstanceFromRef(effect_ref);
  if (instance == nullptr) {
    c.host->Problem("AEGP_GetNewEffectForEffect with a foreign effect reference");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *effect = c.aegp->NewEffect(instance);
  return failure ? failure->code : PF_Err_NONE;
}

constexpr AEGP_PFInterfaceSuite1 kPFInterfaceSuite1 = {
    .AEGP_GetEffectLayer = MINIHOST_TRAP(AEGP_PFInterfaceSuite1, AEGP_GetEffectLayer),
    .AEGP_GetNewEffectForEffect = GetNewEffectForEffect,
    .AEGP_ConvertEffectToCompTime =
        MINIHOST_TRAP(AEGP_PFInterfaceSuite1, AEGP_ConvertEffectToCompTime),
    .AEGP_GetEffectCamera = MINIHOST_TRAP(AEGP_PFInterfaceSuite1, AEGP_GetEffectCamera),
    .AEGP_GetEffectCameraMatrix = MINIHOST_TRAP(AEGP_PFInterfaceSuite1, AEGP_GetEffectCameraMatrix),
};

// --- AEGP Effect Suite 2 ---------------------------------------------------

A_Err DisposeEffect(AEGP_EffectRefH effect) {
  Context c = Current();
  if (c.host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  auto failure = c.host->faults().Enter("AEGP_DisposeEffect");
  AegpService::EffectRecord* record = c.aegp->Find(effect);
  if (record == nullptr || !record->live) {
    c.host->Problem(record == nullptr ? "AEGP_DisposeEffect of an unknown effect reference"
                                      : "AEGP_DisposeEffect of an effect reference already disposed");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  // The plug-in did its part even when the host then reports an error.
  record->live = false;
  return failure ? failure->code : PF_Err_NONE;
}

constexpr AEGP_EffectSuite2 kEffectSuite2 = {
    .AEGP_GetLayerNumEffects = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_GetLayerNumEffects),
    .AEGP_GetLayerEffectByIndex = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_GetLayerEffectByIndex),
    .AEGP_GetInstalledKeyFromLayerEffect =
        MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_GetInstalledKeyFromLayerEffect),
    .AEGP_GetEffectParamUnionByIndex =
        MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_GetEffectParamUnionByIndex),
    .AEGP_GetEffectFlags = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_GetEffectFlags),
    .AEGP_SetEffectFlags = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_SetEffectFlags),
    .AEGP_ReorderEffect = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_ReorderEffect),
    .AEGP_EffectCallGeneric = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_EffectCallGeneric),
    .AEGP_DisposeEffect = DisposeEffect,
    .AEGP_ApplyEffect = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_ApplyEffect),
    .AEGP_DeleteLayerEffect = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_DeleteLayerEffect),
    .AEGP_GetNumInstalledEffects = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_GetNumInstalledEffects),
    .AEGP_GetNextInstalledEffect = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_GetNextInstalledEffect),
    .AEGP_GetEffectName = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_GetEffectName),
    .AEGP_GetEffectMatchName = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_GetEffectMatchName),
    .AEGP_GetEffectCategory = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_GetEffectCategory),
    .AEGP_DuplicateEffect = MINIHOST_TRAP(AEGP_EffectSuite2, AEGP_DuplicateEffect),
};

// --- AEGP Stream Suite 7 (AEGP_StreamSuite2) -----------------------------------------------------

A_Err GetNewEffectStreamByIndex(AEGP_PluginID plugin_id, AEGP_EffectRefH effect,
                                PF_ParamIndex index, AEGP_StreamRefH* stream) {
  Context c = Current();
  if (c.host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  auto failure = c.host->faults().Enter("AEGP_GetNewEffectStreamByIndex", {}, Detail(index));
  if (failure && failure->form != FailureForm::kErrorWithResult) return failure->code;
  if (stream == nullptr) {
    c.host->Problem("AEGP_GetNewEffectStreamByIndex without a destination");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (!CheckPluginId(*c.host, plugin_id, "AEGP_GetNewEffectStreamByIndex")) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  AegpService::EffectRecord* record = c.aegp->Find(effect);
  if (record == nullptr || !record->live) {
    c.host->Problem(std::string("AEGP_GetNewEffectStreamByIndex with ") +
                    (record == nullptr ? "an unknown" : "a disposed") + " effect reference");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= c.params->declared().size()) {
    return PF_Err_INVALID_INDEX;
  }
  *stream = c.aegp->NewStream(record->instance, index);
  return failure ? failure->code : PF_Err_NONE;
}

A_Err DisposeStream(AEGP_StreamRefH stream) {
  Context c = Current();
  if (c.host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  auto failure = c.host->faults().Enter("AEGP_DisposeStream", {}, StreamDetail(*c.aegp, stream));
  AegpService::StreamRecord* record = LiveStream(c, stream, "AEGP_DisposeStream");
  if (record == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  record->live = false;
  return failure ? failure->code : PF_Err_NONE;
}

A_Err SetExpression(AEGP_PluginID plugin_id, AEGP_StreamRefH stream, const A_char* expression) {
  Context c = Current();
  if (c.host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (auto failure =
          c.host->faults().Enter("AEGP_SetExpression", {}, StreamDetail(*c.aegp, stream))) {
    return failure->code;
  }
  if (!CheckPluginId(*c.host, plugin_id, "AEGP_SetExpression")) return PF_Err_BAD_CALLBACK_PARAM;
  AegpService::StreamRecord* record = LiveStream(c, stream, "AEGP_SetExpression");
  if (record == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (expression == nullptr) {
    c.host->Problem("AEGP_SetExpression without a text");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  c.params->SetExpression(*record->instance, record->index, expression);
  // The host takes any text and shows its errors when it evaluates it; a
  // plug-in that writes a text that cannot be evaluated has a fault.
  const ExpressionResult result = c.params->Evaluate(*record->instance, record->index, 0.0);
  if (!result.ok) {
    c.host->Problem("AEGP_SetExpression wrote a text the host cannot evaluate: " + result.error +
                    " (byte " + std::to_string(result.error_position) + " of \"" + expression +
                    "\")");
  }
  return PF_Err_NONE;
}

constexpr AEGP_StreamSuite2 kStreamSuite2 = {
    .AEGP_IsStreamLegal = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_IsStreamLegal),
    .AEGP_CanVaryOverTime = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_CanVaryOverTime),
    .AEGP_GetValidInterpolations = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetValidInterpolations),
    .AEGP_GetNewLayerStream = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetNewLayerStream),
    .AEGP_GetEffectNumParamStreams =
        MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetEffectNumParamStreams),
    .AEGP_GetNewEffectStreamByIndex = GetNewEffectStreamByIndex,
    .AEGP_GetNewMaskStream = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetNewMaskStream),
    .AEGP_DisposeStream = DisposeStream,
    .AEGP_GetStreamName = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetStreamName),
    .AEGP_GetStreamUnitsText = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetStreamUnitsText),
    .AEGP_GetStreamProperties = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetStreamProperties),
    .AEGP_IsStreamTimevarying = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_IsStreamTimevarying),
    .AEGP_GetStreamType = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetStreamType),
    .AEGP_GetNewStreamValue = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetNewStreamValue),
    .AEGP_DisposeStreamValue = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_DisposeStreamValue),
    .AEGP_SetStreamValue = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_SetStreamValue),
    .AEGP_GetLayerStreamValue = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetLayerStreamValue),
    .AEGP_GetExpressionState = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetExpressionState),
    .AEGP_SetExpressionState = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_SetExpressionState),
    .AEGP_GetExpression = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_GetExpression),
    .AEGP_SetExpression = SetExpression,
    .AEGP_DuplicateStreamRef = MINIHOST_TRAP(AEGP_StreamSuite2, AEGP_DuplicateStreamRef),
};

// --- AEGP Dynamic Stream Suite 2 ---------------------------------------------

A_Err SetDynamicStreamFlag(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag,
                           A_Boolean /*undoable*/, A_Boolean set) {
  Context c = Current();
  if (c.host == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const char* state = flag == AEGP_DynStreamFlag_HIDDEN ? (set ? ",hidden" : ",shown") : ",?";
  if (auto failure = c.host->faults().Enter("AEGP_SetDynamicStreamFlag", {},
                                            StreamDetail(*c.aegp, stream, state))) {
    return failure->code;
  }
  AegpService::StreamRecord* record = LiveStream(c, stream, "AEGP_SetDynamicStreamFlag");
  if (record == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (flag != AEGP_DynStreamFlag_HIDDEN) {
    c.host->Problem("AEGP_SetDynamicStreamFlag with flag " + std::to_string(flag) +
                    ", which this host does not model");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  c.params->Params(*record->instance)[static_cast<std::size_t>(record->index)].hidden = set != 0;
  return PF_Err_NONE;
}

constexpr AEGP_DynamicStreamSuite2 kDynamicStreamSuite2 = {
    .AEGP_GetNewStreamRefForLayer =
        MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_GetNewStreamRefForLayer),
    .AEGP_GetStreamDepth = MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_GetStreamDepth),
    .AEGP_GetStreamGroupingType =
        MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_GetStreamGroupingType),
    .AEGP_GetNumStreamsInGroup = MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_GetNumStreamsInGroup),
    .AEGP_GetDynamicStreamFlags =
        MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_GetDynamicStreamFlags),
    .AEGP_SetDynamicStreamFlag = SetDynamicStreamFlag,
    .AEGP_GetNewStreamRefByIndex =
        MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_GetNewStreamRefByIndex),
    .AEGP_GetNewStreamRefByMatchname =
        MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_GetNewStreamRefByMatchname),
    .AEGP_DeleteStream = MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_DeleteStream),
    .AEGP_ReorderStream = MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_ReorderStream),
    .AEGP_DuplicateStream = MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_DuplicateStream),
    .AEGP_SetStreamName = MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_SetStreamName),
    .AEGP_CanAddStream = MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_CanAddStream),
    .AEGP_AddStream = MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_AddStream),
    .AEGP_GetMatchName = MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_GetMatchName),
    .AEGP_GetNewParentStreamRef =
        MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_GetNewParentStreamRef),
    .AEGP_GetStreamIsModified = MINIHOST_TRAP(AEGP_DynamicStreamSuite2, AEGP_GetStreamIsModified),
};

}  // namespace

bool CheckPluginId(Host& host, AEGP_PluginID id, const char* call) {
  if (host.registered() && id == host.plugin_id()) return true;
  host.Problem(std::string(call) + " with plug-in id " + std::to_string(id) +
               (host.registered() ? ", not the registered " + std::to_string(host.plugin_id())
                                  : ", but the plug-in never registered"));
  return false;
}

AEGP_EffectRefH AegpService::NewEffect(Instance* instance) {
  effects_.push_back(std::make_unique<EffectRecord>(EffectRecord{instance}));
  return reinterpret_cast<AEGP_EffectRefH>(effects_.back().get());
}

AEGP_StreamRefH AegpService::NewStream(Instance* instance, PF_ParamIndex index) {
  streams_.push_back(std::make_unique<StreamRecord>(StreamRecord{instance, index}));
  return reinterpret_cast<AEGP_StreamRefH>(streams_.back().get());
}

AegpService::EffectRecord* AegpService::Find(AEGP_EffectRefH effect) {
  for (const auto& record : effects_) {
    if (reinterpret_cast<AEGP_EffectRefH>(record.get()) == effect) return record.get();
  }
  return nullptr;
}

AegpService::StreamRecord* AegpService::Find(AEGP_StreamRefH stream) {
  for (const auto& record : streams_) {
    if (reinterpret_cast<AEGP_StreamRefH>(record.get()) == stream) return record.get();
  }
  return nullptr;
}

int AegpService::outstanding_effects() const {
  int n = 0;
  for (const auto& record : effects_) n += record->live ? 1 : 0;
  return n;
}

int AegpService::outstanding_streams() const {
  int n = 0;
  for (const auto& record : streams_) n += record->live ? 1 : 0;
  return n;
}

void AegpService::Audit(std::vector<std::string>& problems) {
  int effects = 0;
  for (const auto& record : effects_) {
    if (!record->live || record->reported) continue;
    record->reported = true;
    ++effects;
  }
  if (effects != 0) {
    problems.push_back(std::to_string(effects) + " effect reference(s) not disposed");
  }
  std::string streams;
  for (const auto& record : streams_) {
    if (!record->live || record->reported) continue;
    record->reported = true;
    streams += (streams.empty() ? "" : ", ") + std::to_string(record->index);
  }
  if (!streams.empty()) {
    problems.push_back("stream reference(s) not disposed, of parameter(s) " + streams);
  }
}

AegpService& InstallAegpServices(Host& host) {
  if (AegpService* existing = host.FindService<AegpService>()) return *existing;
  AegpService& service = host.AddService(std::make_unique<AegpService>(host));
  host.suites().Register(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1,
                         &kPFInterfaceSuite1);
  host.suites().Register(kAEGPEffectSuite, kAEGPEffectSuiteVersion2, &kEffectSuite2);
  host.suites().Register(kAEGPStreamSuite, kAEGPStreamSuiteVersion2, &kStreamSuite2);
  host.suites().Register(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion2,
                         &kDynamicStreamSuite2);
  return service;
}

}  // namespace minihost
