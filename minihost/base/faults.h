// Fault injection and the record of host calls. Every host service asks the
// injector before it does its work, so a test can make any call fail on its
// n-th use, and can see how many calls a command made and in which order.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/ae_types.h"

namespace minihost {

// How a failing call fails. Each call supports the forms that make sense for
// it: a call that returns a code gives `code`; a call that returns a pointer
// or handle gives null; an acquisition can also report an error yet still
// hand out the suite (kErrorWithResult).
enum class FailureForm { kError, kNull, kErrorWithResult };

struct Failure {
  FailureForm form = FailureForm::kError;
  PF_Err code = PF_Err_INTERNAL_STRUCT_DAMAGED;
};

std::string ToString(const Failure& failure);
// "error", "null" or "error with result".
std::string FormName(FailureForm form);

// The forms in which a call of this host can be made to fail, by the call's
// name: the forms its service honours (a code for a call that returns one,
// null for one that hands out a pointer or handle, an error that still hands
// out the result where the service models that). Empty for a call that
// cannot fail (its result is none, or not looked at by the host); nullopt for
// a name this host does not know. A service that adds a call adds its row.
std::optional<std::vector<FailureForm>> FailureFormsOf(std::string_view call);

// One counted call as the trace keeps it: its name and, where it has one,
// its qualified form.
struct TracedCall {
  std::string name;
  std::string qualified;
};

class FaultInjector {
 public:
  // Fails the n-th use (1-based, counted from now) of the call `key`. A key is
  // a call's name ("host_new_handle") or, for suite acquisition and release,
  // also its qualified form ("AcquireSuite(PF Handle Suite,2)").
  void FailNth(std::string key, int nth, Failure failure);
  // Fails the n-th host call of any kind (1-based, counted from now).
  void FailAnyNth(int nth, Failure failure);
  // Drops every rule.
  void Clear();

  // Counts one use of a call and tells whether it must fail. `qualified` is
  // the optional second key of the same call.
  std::optional<Failure> Check(std::string_view name, std::string_view qualified = {});

  // One host call: recorded in the log (as `qualified`, or `name` followed by
  // `detail`), counted, and checked against the rules.
  std::optional<Failure> Enter(std::string_view name, std::string_view qualified = {},
                               std::string_view detail = {});

  // Calls counted since construction or the last ResetCounts().
  int Count(std::string_view key) const;
  int64_t TotalCalls() const { return total_; }
  void ResetCounts();

  // Ordered names of the calls made, when recording is on (off for hot paths
  // such as sampling, which are only counted).
  void set_recording(bool on) { recording_ = on; }
  bool recording() const { return recording_; }
  void Record(std::string entry);
  const std::vector<std::string>& log() const { return log_; }
  void ClearLog() { log_.clear(); }

  // Every counted call in order, hot paths included, while tracing is on;
  // turning it on starts a fresh trace. It tells a fault sweep which call
  // the n-th one is, and so in which forms it can fail.
  void set_tracing(bool on);
  const std::vector<TracedCall>& trace() const { return trace_; }

  // The failures injected so far, for reports.
  const std::vector<std::string>& injected() const { return injected_; }
  // True while every call must be checked: a rule is set or calls are
  // traced. Hot paths (sampling) skip the check otherwise.
  bool armed() const { return tracing_ || !rules_.empty() || any_rule_.has_value(); }

 private:
  struct Rule {
    int fires_at;  // absolute count of the key at which the rule fires
    Failure failure;
  };
  struct AnyRule {
    int64_t fires_at;
    Failure failure;
  };
  std::map<std::string, std::vector<Rule>, std::less<>> rules_;
  std::optional<AnyRule> any_rule_;
  std::map<std::string, int, std::less<>> counts_;
  int64_t total_ = 0;
  bool recording_ = true;
  std::vector<std::string> log_;
  std::vector<std::string> injected_;
  bool tracing_ = false;
  std::vector<TracedCall> trace_;
};

}  // namespace minihost
