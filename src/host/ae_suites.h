// The basic suite and the host suites Prismora acquires through it, with the
// names and versions under which the host serves them.
#pragma once

#include "host/ae_world.h"
#include "host/ae_params.h"

extern "C" {

struct SPBasicSuite {
  SPErr (*AcquireSuite)(const char* name, A_long version, const void** suite);
  SPErr (*ReleaseSuite)(const char* name, A_long version);
  A_Boolean (*IsEqual)(const char* token1, const char* token2);
  SPErr (*AllocateBlock)(size_t size, void** block);
  SPErr (*FreeBlock)(void* block);
  SPErr (*ReallocateBlock)(void* block, size_t new_size, void** new_block);
  SPErr (*Undefined)(void);
};

struct AEGP_UtilitySuite7 {
  A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_name,
                                 AEGP_PluginID* plugin_id);
};

struct PF_HandleSuite2 {
  PF_Handle (*host_new_handle)(A_HandleSize size);
  void* (*host_lock_handle)(PF_Handle handle);
  void (*host_unlock_handle)(PF_Handle handle);
  void (*host_dispose_handle)(PF_Handle handle);
  // Size in bytes of a live handle; 0 for a null or unknown one.
  A_HandleSize (*host_get_handle_size)(PF_Handle handle);
};

struct AEGP_PFInterfaceSuite1 {
  A_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID plugin_id, PF_ProgPtr effect_ref,
                                      AEGP_EffectRefH* effect);
};

struct AEGP_StreamSuite7 {
  A_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID plugin_id, AEGP_EffectRefH effect,
                                          PF_ParamIndex index, AEGP_StreamRefH* stream);
  A_Err (*AEGP_DisposeStream)(AEGP_StreamRefH stream);
  A_Err (*AEGP_SetExpression)(AEGP_PluginID plugin_id, AEGP_StreamRefH stream,
                              const A_char* expression);
};

struct AEGP_DynamicStreamSuite2 {
  A_Err (*AEGP_SetDynamicStreamFlag)(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag,
                                     A_Boolean undoable, A_Boolean set);
};

struct AEGP_EffectSuite2 {
  A_Err (*AEGP_DisposeEffect)(AEGP_EffectRefH effect);
};

struct PF_ParamUtilsSuite2 {
  PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex index,
                             const PF_ParamDef* def);
  PF_Err (*PF_GetCurrentState)(PF_ProgPtr effect_ref, PF_State* state);
  PF_Err (*PF_HasParamChanged)(PF_ProgPtr effect_ref, const PF_State* state,
                               PF_ParamIndex index, PF_Boolean* changed);
};

struct PF_WorldSuite1 {
  PF_Err (*new_world)(PF_ProgPtr effect_ref, A_long width, A_long height,
                      PF_NewWorldFlags flags, PF_EffectWorld* world);
  PF_Err (*dispose_world)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
};

struct PF_WorldSuite2 {
  PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long width, A_long height,
                        PF_Boolean clear_pix, PF_PixelFormat format, PF_EffectWorld* world);
  PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
  PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* world, PF_PixelFormat* format);
};

// The sampling suites: nearest, subpixel (bilinear) and area sampling at one
// 16.16 position of the block's source world.
struct PF_Sampling8Suite1 {
  PF_Err (*nn_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                      PF_Pixel* dst);
  PF_Err (*subpixel_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                            const PF_SampPB* params, PF_Pixel* dst);
  PF_Err (*area_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                        PF_Pixel* dst);
};

struct PF_Sampling16Suite1 {
  PF_Err (*nn_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                        const PF_SampPB* params, PF_Pixel16* dst);
  PF_Err (*subpixel_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                              const PF_SampPB* params, PF_Pixel16* dst);
  PF_Err (*area_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                          const PF_SampPB* params, PF_Pixel16* dst);
};

struct PF_SamplingFloatSuite1 {
  PF_Err (*nn_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                            const PF_SampPB* params, PF_PixelFloat* dst);
  PF_Err (*subpixel_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                                  const PF_SampPB* params, PF_PixelFloat* dst);
  PF_Err (*area_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                              const PF_SampPB* params, PF_PixelFloat* dst);
};

}  // extern "C"

// Suite names and versions, exactly as passed to AcquireSuite.
inline constexpr const char* kAEGPUtilitySuite = "AEGP Utility Suite";
inline constexpr A_long kAEGPUtilitySuiteVersion7 = 7;
inline constexpr const char* kPFHandleSuite = "PF Handle Suite";
inline constexpr A_long kPFHandleSuiteVersion2 = 2;
inline constexpr const char* kAEGPPFInterfaceSuite = "AEGP PF Interface Suite";
inline constexpr A_long kAEGPPFInterfaceSuiteVersion1 = 1;
inline constexpr const char* kAEGPStreamSuite = "AEGP Stream Suite";
inline constexpr A_long kAEGPStreamSuiteVersion7 = 7;
inline constexpr const char* kAEGPDynamicStreamSuite = "AEGP Dynamic Stream Suite";
inline constexpr A_long kAEGPDynamicStreamSuiteVersion2 = 2;
inline constexpr const char* kAEGPEffectSuite = "AEGP Effect Suite";
inline constexpr A_long kAEGPEffectSuiteVersion2 = 2;
inline constexpr const char* kPFParamUtilsSuite = "PF Param Utils Suite";
inline constexpr A_long kPFParamUtilsSuiteVersion2 = 2;
inline constexpr const char* kPFWorldSuite = "PF World Suite";
inline constexpr A_long kPFWorldSuiteVersion1 = 1;
inline constexpr A_long kPFWorldSuiteVersion2 = 2;
inline constexpr const char* kPFSampling8Suite = "PF Sampling8 Suite";
inline constexpr const char* kPFSampling16Suite = "PF Sampling16 Suite";
inline constexpr const char* kPFSamplingFloatSuite = "PF SamplingFloat Suite";
inline constexpr A_long kPFSamplingSuiteVersion1 = 1;
