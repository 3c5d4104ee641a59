#include "minihost/base/faults.h"

#include <array>

namespace minihost {
namespace {

constexpr FailureForm kE = FailureForm::kError;
constexpr FailureForm kN = FailureForm::kNull;
constexpr FailureForm kR = FailureForm::kErrorWithResult;

struct CallForms {
  std::string_view call;
  std::size_t count;
  std::array<FailureForm, 3> forms;
};

// What each service does with a failure it is told to inject.
constexpr CallForms kCallForms[] = {
    // The basic suite: an acquisition can fail, hand out nothing without an
    // error, or report an error and still hand out the suite.
    {"AcquireSuite", 3, {kE, kN, kR}},
    {"ReleaseSuite", 1, {kE}},
    // Handles: allocation and locking give null; the rest cannot fail.
    {"host_new_handle", 1, {kN}},
    {"host_lock_handle", 1, {kN}},
    {"host_unlock_handle", 0, {}},
    {"host_dispose_handle", 0, {}},
    {"host_get_handle_size", 0, {}},
    // The AEGP layer: references can come with an error.
    {"AEGP_RegisterWithAEGP", 1, {kE}},
    {"AEGP_GetNewEffectForEffect", 2, {kE, kR}},
    {"AEGP_DisposeEffect", 1, {kE}},
    {"AEGP_GetNewEffectStreamByIndex", 2, {kE, kR}},
    {"AEGP_DisposeStream", 1, {kE}},
    {"AEGP_SetExpression", 1, {kE}},
    {"AEGP_SetDynamicStreamFlag", 1, {kE}},
    {"PF_UpdateParamUI", 1, {kE}},
    {"PF_GetCurrentState", 1, {kE}},
    {"PF_HasParamChanged", 1, {kE}},
    // Parameters: a check-in's result is not the host's to refuse.
    {"add_param", 1, {kE}},
    {"checkout_param", 1, {kE}},
    {"checkin_param", 0, {}},
    // Rendering: a checkout can succeed without handing anything out.
    {"checkout_layer", 2, {kE, kN}},
    {"checkout_layer_pixels", 2, {kE, kN}},
    {"checkin_layer_pixels", 1, {kE}},
    {"checkout_output", 2, {kE, kN}},
    {"progress", 1, {kE}},
    {"abort", 1, {kE}},
    // Worlds: a creation can succeed with no pixels; a format query can
    // fail yet name the format.
    {"new_world", 2, {kE, kN}},
    {"PF_NewWorld", 2, {kE, kN}},
    {"dispose_world", 1, {kE}},
    {"PF_DisposeWorld", 1, {kE}},
    {"PF_GetPixelFormat", 2, {kE, kR}},
    {"copy", 1, {kE}},
    // Sampling, at every depth.
    {"subpixel_sample", 1, {kE}},
    {"nn_sample", 1, {kE}},
    {"nn_sample16", 1, {kE}},
    {"nn_sample_float", 1, {kE}},
    {"area_sample", 1, {kE}},
    {"area_sample16", 1, {kE}},
    {"area_sample_float", 1, {kE}},
};

}  // namespace

std::string ToString(const Failure& failure) {
  switch (failure.form) {
    case FailureForm::kError:
      return "error " + std::to_string(failure.code);
    case FailureForm::kNull:
      return "null result";
    case FailureForm::kErrorWithResult:
      return "error " + std::to_string(failure.code) + " with a result";
  }
  return "?";
}

std::string FormName(FailureForm form) {
  switch (form) {
    case FailureForm::kError: return "error";
    case FailureForm::kNull: return "null";
    case FailureForm::kErrorWithResult: return "error with result";
  }
  return "?";
}

std::optional<std::vector<FailureForm>> FailureFormsOf(std::string_view call) {
  for (const CallForms& row : kCallForms) {
    if (row.call == call) {
      return std::vector<FailureForm>(row.forms.begin(),
                                      row.forms.begin() + static_cast<std::ptrdiff_t>(row.count));
    }
  }
  return std::nullopt;
}

void FaultInjector::set_tracing(bool on) {
  tracing_ = on;
  if (on) trace_.clear();
}

void FaultInjector::FailNth(std::string key, int nth, Failure failure) {
  auto it = counts_.find(key);
  const int base = it == counts_.end() ? 0 : it->second;
  rules_[std::move(key)].push_back(Rule{base + nth, failure});
}

void FaultInjector::FailAnyNth(int nth, Failure failure) {
  any_rule_ = AnyRule{total_ + nth, failure};
}

void FaultInjector::Clear() {
  rules_.clear();
  any_rule_.reset();
}

std::optional<Failure> FaultInjector::Check(std::string_view name, std::string_view qualified) {
  ++total_;
  if (tracing_) trace_.push_back(TracedCall{std::string(name), std::string(qualified)});
  std::optional<Failure> result;
  if (any_rule_ && any_rule_->fires_at == total_) result = any_rule_->failure;
  for (std::string_view key : {name, qualified}) {
    if (key.empty()) continue;
    auto count_it = counts_.find(key);
    if (count_it == counts_.end()) count_it = counts_.emplace(std::string(key), 0).first;
    const int count = ++count_it->second;
    auto rule_it = rules_.find(key);
    if (rule_it == rules_.end()) continue;
    for (const Rule& rule : rule_it->second) {
      if (rule.fires_at == count && !result) result = rule.failure;
    }
  }
  if (result) {
    injected_.push_back(std::string(qualified.empty() ? name : qualified) + ": " +
                        ToString(*result));
  }
  return result;
}

std::optional<Failure> FaultInjector::Enter(std::string_view name, std::string_view qualified,
                                            std::string_view detail) {
  if (recording_) {
    log_.push_back(qualified.empty() ? std::string(name) + std::string(detail)
                                     : std::string(qualified));
  }
  return Check(name, qualified);
}

int FaultInjector::Count(std::string_view key) const {
  auto it = counts_.find(key);
  return it == counts_.end() ? 0 : it->second;
}

void FaultInjector::ResetCounts() {
  counts_.clear();
  total_ = 0;
  rules_.clear();
  any_rule_.reset();
}

void FaultInjector::Record(std::string entry) {
  if (recording_) log_.push_back(std::move(entry));
}

}  // namespace minihost
