#include "minihost/faults.h"

namespace minihost {

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
