#include "host/suite_handler.h"

namespace prismora {
namespace {

struct SuiteName {
  const char* name;
  A_long version;
};

// Indexed by SuiteHandler::Slot, in release order.
constexpr std::array<SuiteName, 11> kSuites = {{
    {kAEGPStreamSuite, kAEGPStreamSuiteVersion2},
    {kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion2},
    {kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1},
    {kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1},
    {kAEGPEffectSuite, kAEGPEffectSuiteVersion2},
    {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion3},
    {kPFHandleSuite, kPFHandleSuiteVersion1},
    {kPFWorldSuite, kPFWorldSuiteVersion1},
    {kPFSampling8Suite, kPFSampling8SuiteVersion1},
    {kPFSampling16Suite, kPFSampling16SuiteVersion1},
    {kPFSamplingFloatSuite, kPFSamplingFloatSuiteVersion1},
}};

void Report(const PF_InData* in_data, PF_OutData* out_data, const char* message) {
  out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
  if (in_data->utils != nullptr && in_data->utils->ansi.sprintf != nullptr) {
    // Printed through "%s" so that a '%' in a message can never be read as a conversion.
    in_data->utils->ansi.sprintf(out_data->return_msg, "%s", message);
  }
}

}  // namespace

SuiteHandler::SuiteHandler(const SPBasicSuite* basic) : basic_(basic) {
  static_assert(kSuites.size() == kSlotCount);
  if (basic_ == nullptr) throw PF_Err{PF_Err_BAD_CALLBACK_PARAM};
}

SuiteHandler::~SuiteHandler() {
  for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
    if (suites_[slot] != nullptr) {
      basic_->ReleaseSuite(kSuites[slot].name, kSuites[slot].version);
    }
  }
}

const void* SuiteHandler::Acquire(Slot slot) {
  if (suites_[slot] != nullptr) return suites_[slot];
  const void* suite = nullptr;
  const SPErr err = basic_->AcquireSuite(kSuites[slot].name, kSuites[slot].version, &suite);
  if (err != 0 || suite == nullptr) {
    // A suite that was half handed over is given back, so nothing leaks.
    if (suite != nullptr) basic_->ReleaseSuite(kSuites[slot].name, kSuites[slot].version);
    throw PF_Err{PF_Err_BAD_CALLBACK_PARAM};
  }
  suites_[slot] = suite;
  return suite;
}

PF_Err AcquireSuiteOrReport(const PF_InData* in_data, PF_OutData* out_data, const char* name,
                            A_long version, const char* message, const void** suite) {
  if (in_data->pica_basicP != nullptr) {
    in_data->pica_basicP->AcquireSuite(name, version, suite);
    if (*suite != nullptr) return PF_Err_NONE;
  }
  Report(in_data, out_data, message != nullptr ? message : "Not able to acquire AEFX Suite.");
  return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err ReleaseSuiteOrReport(const PF_InData* in_data, PF_OutData* out_data, const char* name,
                            A_long version, const char* message) {
  if (in_data->pica_basicP != nullptr) {
    in_data->pica_basicP->ReleaseSuite(name, version);
    return PF_Err_NONE;
  }
  Report(in_data, out_data, message != nullptr ? message : "Not able to release AEFX Suite.");
  return PF_Err_BAD_CALLBACK_PARAM;
}

}  // namespace prismora
