// A guard for the effect and stream references a command takes from the AEGP
// layer, so that every one of them is given back: by Release() on the
// ordinary path, or when the guard goes because a suite could not be had.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

#include "host/suite_handler.h"

namespace prismora {

// One effect reference and `N` stream references in fixed slots. Both paths
// give them back in the same order: the effect first, then the streams slot
// by slot. The suite handler must outlive the guard.
template <std::size_t N>
class EffectReferences {
 public:
  explicit EffectReferences(SuiteHandler& suites) : suites_(suites) {}
  ~EffectReferences() {
    // Unwinding already: a suite that cannot be had now leaves its
    // references with the host, but the others are still given back.
    if (effect_ != nullptr) {
      try {
        suites_.EffectSuite2()->AEGP_DisposeEffect(effect_);
      } catch (...) {
      }
    }
    for (AEGP_StreamRefH stream : streams_) {
      if (stream == nullptr) continue;
      try {
        suites_.StreamSuite7()->AEGP_DisposeStream(stream);
      } catch (...) {
      }
    }
  }
  EffectReferences(const EffectReferences&) = delete;
  EffectReferences& operator=(const EffectReferences&) = delete;

  // Where the host writes a reference; whatever it writes there is held,
  // also when it reports an error.
  AEGP_EffectRefH* effect_slot() { return &effect_; }
  AEGP_StreamRefH* stream_slot(std::size_t slot) { return &streams_[slot]; }
  AEGP_EffectRefH effect() const { return effect_; }
  AEGP_StreamRefH stream(std::size_t slot) const { return streams_[slot]; }

  // Gives back everything held. Every release is made even when one fails;
  // the result is the first failure. Throws only when a suite cannot be had,
  // and what is then still held is given back by the destructor.
  PF_Err Release() {
    PF_Err err = PF_Err_NONE;
    if (effect_ != nullptr) {
      const AEGP_EffectSuite2* suite = suites_.EffectSuite2();
      const PF_Err e = suite->AEGP_DisposeEffect(std::exchange(effect_, nullptr));
      if (err == PF_Err_NONE) err = e;
    }
    for (AEGP_StreamRefH& stream : streams_) {
      if (stream == nullptr) continue;
      const AEGP_StreamSuite2* suite = suites_.StreamSuite7();
      const PF_Err e = suite->AEGP_DisposeStream(std::exchange(stream, nullptr));
      if (err == PF_Err_NONE) err = e;
    }
    return err;
  }

 private:
  SuiteHandler& suites_;
  AEGP_EffectRefH effect_ = nullptr;
  std::array<AEGP_StreamRefH, N> streams_{};
};

}  // namespace prismora
