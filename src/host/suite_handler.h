// Host suites for the length of one command: acquired on first use, released
// in a fixed order when the handler that owns them returns or throws.
#pragma once

#include <array>
#include <cstddef>

#include "host/ae_effect.h"

namespace prismora {

class SuiteHandler {
 public:
  // Throws PF_Err_BAD_CALLBACK_PARAM when the host gave no basic suite.
  explicit SuiteHandler(const SPBasicSuite* basic);
  ~SuiteHandler();
  SuiteHandler(const SuiteHandler&) = delete;
  SuiteHandler& operator=(const SuiteHandler&) = delete;

  // Each accessor acquires its suite at most once per handler and throws
  // PF_Err_BAD_CALLBACK_PARAM when the host cannot supply it.
  const AEGP_StreamSuite2* StreamSuite7() { return Get<AEGP_StreamSuite2>(kStream7); }
  const AEGP_DynamicStreamSuite2* DynamicStreamSuite2() {
    return Get<AEGP_DynamicStreamSuite2>(kDynamicStream2);
  }
  const AEGP_PFInterfaceSuite1* PFInterfaceSuite1() {
    return Get<AEGP_PFInterfaceSuite1>(kPFInterface1);
  }
  const PF_ParamUtilsSuite1* ParamUtilsSuite2() { return Get<PF_ParamUtilsSuite1>(kParamUtils2); }
  const AEGP_EffectSuite2* EffectSuite2() { return Get<AEGP_EffectSuite2>(kEffect2); }
  const AEGP_UtilitySuite3* UtilitySuite7() { return Get<AEGP_UtilitySuite3>(kUtility7); }
  const PF_HandleSuite1* HandleSuite2() { return Get<PF_HandleSuite1>(kHandle2); }
  const PF_WorldSuite1* WorldSuite1() { return Get<PF_WorldSuite1>(kWorld1); }
  const PF_Sampling8Suite1* Sampling8Suite1() { return Get<PF_Sampling8Suite1>(kSampling8); }
  const PF_Sampling16Suite1* Sampling16Suite1() { return Get<PF_Sampling16Suite1>(kSampling16); }
  const PF_SamplingFloatSuite1* SamplingFloatSuite1() {
    return Get<PF_SamplingFloatSuite1>(kSamplingFloat);
  }

 private:
  // Slots in release order.
  enum Slot : std::size_t {
    kStream7,
    kDynamicStream2,
    kPFInterface1,
    kParamUtils2,
    kEffect2,
    kUtility7,
    kHandle2,
    kWorld1,
    kSampling8,
    kSampling16,
    kSamplingFloat,
    kSlotCount
  };

  template <class Suite>
  const Suite* Get(Slot slot) {
    return static_cast<const Suite*>(Acquire(slot));
  }
  const void* Acquire(Slot slot);

  const SPBasicSuite* basic_;
  std::array<const void*, kSlotCount> suites_{};
};

// Acquire or release one suite without throwing: on failure the message (or
// a generic one) is shown to the user and PF_Err_BAD_CALLBACK_PARAM returned.
PF_Err AcquireSuiteOrReport(const PF_InData* in_data, PF_OutData* out_data, const char* name,
                            A_long version, const char* message, const void** suite);
PF_Err ReleaseSuiteOrReport(const PF_InData* in_data, PF_OutData* out_data, const char* name,
                            A_long version, const char* message);

}  // namespace prismora
