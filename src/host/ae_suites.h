// The basic suite and the suite tables acquired through it, each complete and
// in the host's slot order, under the host's table names. A table is
// acquired by the suite's name and a version number; the host's headers name
// the table by their own count (version 7 of "AEGP Stream Suite" is the table
// AEGP_StreamSuite2). Entries the plug-in and our host use are typed; the
// others keep their slot as PF_UnusedEntry.
#pragma once

#include "host/ae_params.h"
#include "host/ae_world.h"

extern "C" {

struct SPBasicSuite {
  SPErr (*AcquireSuite)(const char* name, int32 version, const void** suite);
  SPErr (*ReleaseSuite)(const char* name, int32 version);
  SPBoolean (*IsEqual)(const char* token1, const char* token2);
  SPErr (*AllocateBlock)(size_t size, void** block);
  SPErr (*FreeBlock)(void* block);
  SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
  SPErr (*Undefined)(void);
};

struct AEGP_UtilitySuite3 {
  PF_UnusedEntry AEGP_ReportInfo;
  PF_UnusedEntry AEGP_GetDriverPluginInitFuncVersion;
  PF_UnusedEntry AEGP_GetDriverImplementationVersion;
  PF_UnusedEntry AEGP_StartQuietErrors;
  PF_UnusedEntry AEGP_EndQuietErrors;
  PF_UnusedEntry AEGP_StartUndoGroup;
  PF_UnusedEntry AEGP_EndUndoGroup;
  A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_nameZ,
                                 AEGP_PluginID* plugin_id);
  PF_UnusedEntry AEGP_GetMainHWND;
  PF_UnusedEntry AEGP_ShowHideAllFloaters;
  PF_UnusedEntry AEGP_PaintPalGetForeColor;
  PF_UnusedEntry AEGP_PaintPalGetBackColor;
  PF_UnusedEntry AEGP_PaintPalSetForeColor;
  PF_UnusedEntry AEGP_PaintPalSetBackColor;
  PF_UnusedEntry AEGP_CharPalGetFillColor;
  PF_UnusedEntry AEGP_CharPalGetStrokeColor;
  PF_UnusedEntry AEGP_CharPalSetFillColor;
  PF_UnusedEntry AEGP_CharPalSetStrokeColor;
  PF_UnusedEntry AEGP_CharPalIsFillColorUIFrontmost;
  PF_UnusedEntry AEGP_ConvertFpLongToHSFRatio;
  PF_UnusedEntry AEGP_ConvertHSFRatioToFpLong;
  PF_UnusedEntry AEGP_CauseIdleRoutinesToBeCalled;
  PF_UnusedEntry AEGP_GetSuppressInteractiveUI;
  PF_UnusedEntry AEGP_WriteToOSConsole;
  PF_UnusedEntry AEGP_WriteToDebugLog;
};

struct PF_HandleSuite1 {
  PF_Handle (*host_new_handle)(A_HandleSize size);
  void* (*host_lock_handle)(PF_Handle pf_handle);
  void (*host_unlock_handle)(PF_Handle pf_handle);
  void (*host_dispose_handle)(PF_Handle pf_handle);
  // Size in bytes of a live handle.
  A_HandleSize (*host_get_handle_size)(PF_Handle pf_handle);
  PF_Err (*host_resize_handle)(A_HandleSize new_sizeL, PF_Handle* handlePH);
};

struct AEGP_PFInterfaceSuite1 {
  PF_UnusedEntry AEGP_GetEffectLayer;
  A_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID aegp_plugin_id, PF_ProgPtr effect_pp_ref,
                                      AEGP_EffectRefH* effect_refPH);
  PF_UnusedEntry AEGP_ConvertEffectToCompTime;
  PF_UnusedEntry AEGP_GetEffectCamera;
  PF_UnusedEntry AEGP_GetEffectCameraMatrix;
};

struct AEGP_StreamSuite2 {
  PF_UnusedEntry AEGP_IsStreamLegal;
  PF_UnusedEntry AEGP_CanVaryOverTime;
  PF_UnusedEntry AEGP_GetValidInterpolations;
  PF_UnusedEntry AEGP_GetNewLayerStream;
  PF_UnusedEntry AEGP_GetEffectNumParamStreams;
  A_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID aegp_plugin_id,
                                          AEGP_EffectRefH effect_refH, PF_ParamIndex param_index,
                                          AEGP_StreamRefH* streamPH);
  PF_UnusedEntry AEGP_GetNewMaskStream;
  A_Err (*AEGP_DisposeStream)(AEGP_StreamRefH streamH);
  PF_UnusedEntry AEGP_GetStreamName;
  PF_UnusedEntry AEGP_GetStreamUnitsText;
  PF_UnusedEntry AEGP_GetStreamProperties;
  PF_UnusedEntry AEGP_IsStreamTimevarying;
  PF_UnusedEntry AEGP_GetStreamType;
  PF_UnusedEntry AEGP_GetNewStreamValue;
  PF_UnusedEntry AEGP_DisposeStreamValue;
  PF_UnusedEntry AEGP_SetStreamValue;
  PF_UnusedEntry AEGP_GetLayerStreamValue;
  PF_UnusedEntry AEGP_GetExpressionState;
  PF_UnusedEntry AEGP_SetExpressionState;
  PF_UnusedEntry AEGP_GetExpression;
  A_Err (*AEGP_SetExpression)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                              const A_char* expressionP);
  PF_UnusedEntry AEGP_DuplicateStreamRef;
};

struct AEGP_DynamicStreamSuite2 {
  PF_UnusedEntry AEGP_GetNewStreamRefForLayer;
  PF_UnusedEntry AEGP_GetStreamDepth;
  PF_UnusedEntry AEGP_GetStreamGroupingType;
  PF_UnusedEntry AEGP_GetNumStreamsInGroup;
  PF_UnusedEntry AEGP_GetDynamicStreamFlags;
  A_Err (*AEGP_SetDynamicStreamFlag)(AEGP_StreamRefH streamH, AEGP_DynStreamFlags one_flag,
                                     A_Boolean undoableB, A_Boolean setB);
  PF_UnusedEntry AEGP_GetNewStreamRefByIndex;
  PF_UnusedEntry AEGP_GetNewStreamRefByMatchname;
  PF_UnusedEntry AEGP_DeleteStream;
  PF_UnusedEntry AEGP_ReorderStream;
  PF_UnusedEntry AEGP_DuplicateStream;
  PF_UnusedEntry AEGP_SetStreamName;
  PF_UnusedEntry AEGP_CanAddStream;
  PF_UnusedEntry AEGP_AddStream;
  PF_UnusedEntry AEGP_GetMatchName;
  PF_UnusedEntry AEGP_GetNewParentStreamRef;
  PF_UnusedEntry AEGP_GetStreamIsModified;
};

struct AEGP_EffectSuite2 {
  PF_UnusedEntry AEGP_GetLayerNumEffects;
  PF_UnusedEntry AEGP_GetLayerEffectByIndex;
  PF_UnusedEntry AEGP_GetInstalledKeyFromLayerEffect;
  PF_UnusedEntry AEGP_GetEffectParamUnionByIndex;
  PF_UnusedEntry AEGP_GetEffectFlags;
  PF_UnusedEntry AEGP_SetEffectFlags;
  PF_UnusedEntry AEGP_ReorderEffect;
  PF_UnusedEntry AEGP_EffectCallGeneric;
  A_Err (*AEGP_DisposeEffect)(AEGP_EffectRefH effect_refH);
  PF_UnusedEntry AEGP_ApplyEffect;
  PF_UnusedEntry AEGP_DeleteLayerEffect;
  PF_UnusedEntry AEGP_GetNumInstalledEffects;
  PF_UnusedEntry AEGP_GetNextInstalledEffect;
  PF_UnusedEntry AEGP_GetEffectName;
  PF_UnusedEntry AEGP_GetEffectMatchName;
  PF_UnusedEntry AEGP_GetEffectCategory;
  PF_UnusedEntry AEGP_DuplicateEffect;
};

// The parameter-state calls are the obsolete pair that takes a bare state
// record, which is what this table holds.
struct PF_ParamUtilsSuite1 {
  PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                             const PF_ParamDef* defP);
  PF_Err (*PF_GetCurrentStateObsolete)(PF_ProgPtr effect_ref, PF_State* stateP);
  PF_Err (*PF_HasParamChangedObsolete)(PF_ProgPtr effect_ref, const PF_State* stateP,
                                       PF_ParamIndex param_index, PF_Boolean* changedPB);
  PF_UnusedEntry PF_HaveInputsChangedOverTimeSpanObsolete;
  PF_UnusedEntry PF_IsIdenticalCheckout;
  PF_UnusedEntry PF_FindKeyframeTime;
  PF_UnusedEntry PF_GetKeyframeCount;
  PF_UnusedEntry PF_CheckoutKeyframe;
  PF_UnusedEntry PF_CheckinKeyframe;
  PF_UnusedEntry PF_KeyIndexToTime;
};

struct PF_WorldSuite1 {
  PF_Err (*new_world)(PF_ProgPtr effect_ref, A_long width, A_long height,
                      PF_NewWorldFlags flags, PF_EffectWorld* world);
  PF_Err (*dispose_world)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
};

struct PF_WorldSuite2 {
  PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long widthL, A_long heightL,
                        PF_Boolean clear_pixB, PF_PixelFormat pixel_format,
                        PF_EffectWorld* worldP);
  PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* worldP);
  PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* worldP, PF_PixelFormat* pixel_formatP);
};

// The sampling suites: nearest, subpixel (bilinear) and area sampling at one
// 16.16 position of the block's source world.
struct PF_Sampling8Suite1 {
  PF_Err (*nn_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                      PF_Pixel* dst_pixel);
  PF_Err (*subpixel_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                            const PF_SampPB* params, PF_Pixel* dst_pixel);
  PF_Err (*area_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                        PF_Pixel* dst_pixel);
};

struct PF_Sampling16Suite1 {
  PF_Err (*nn_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                        const PF_SampPB* params, PF_Pixel16* dst_pixel);
  PF_Err (*subpixel_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                              const PF_SampPB* params, PF_Pixel16* dst_pixel);
  PF_Err (*area_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                          const PF_SampPB* params, PF_Pixel16* dst_pixel);
};

struct PF_SamplingFloatSuite1 {
  PF_Err (*nn_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                            const PF_SampPB* params, PF_PixelFloat* dst_pixel);
  PF_Err (*subpixel_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                                  const PF_SampPB* params, PF_PixelFloat* dst_pixel);
  PF_Err (*area_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                              const PF_SampPB* params, PF_PixelFloat* dst_pixel);
};

}  // extern "C"

// Suite names exactly as passed to AcquireSuite, and the version numbers
// under the host's constant names.
inline constexpr const char* kAEGPUtilitySuite = "AEGP Utility Suite";
inline constexpr int32 kAEGPUtilitySuiteVersion3 = 7;
inline constexpr const char* kPFHandleSuite = "PF Handle Suite";
inline constexpr int32 kPFHandleSuiteVersion1 = 2;
inline constexpr const char* kAEGPPFInterfaceSuite = "AEGP PF Interface Suite";
inline constexpr int32 kAEGPPFInterfaceSuiteVersion1 = 1;
inline constexpr const char* kAEGPStreamSuite = "AEGP Stream Suite";
inline constexpr int32 kAEGPStreamSuiteVersion2 = 7;
inline constexpr const char* kAEGPDynamicStreamSuite = "AEGP Dynamic Stream Suite";
inline constexpr int32 kAEGPDynamicStreamSuiteVersion2 = 2;
inline constexpr const char* kAEGPEffectSuite = "AEGP Effect Suite";
inline constexpr int32 kAEGPEffectSuiteVersion2 = 2;
inline constexpr const char* kPFParamUtilsSuite = "PF Param Utils Suite";
inline constexpr int32 kPFParamUtilsSuiteVersion1 = 2;
inline constexpr const char* kPFWorldSuite = "PF World Suite";
inline constexpr int32 kPFWorldSuiteVersion1 = 1;
inline constexpr int32 kPFWorldSuiteVersion2 = 2;
inline constexpr const char* kPFSampling8Suite = "PF Sampling8 Suite";
inline constexpr int32 kPFSampling8SuiteVersion1 = 1;
inline constexpr const char* kPFSampling16Suite = "PF Sampling16 Suite";
inline constexpr int32 kPFSampling16SuiteVersion1 = 1;
inline constexpr const char* kPFSamplingFloatSuite = "PF SamplingFloat Suite";
inline constexpr int32 kPFSamplingFloatSuiteVersion1 = 1;
