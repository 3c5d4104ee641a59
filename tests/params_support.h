// Helpers of the parameter tests: an applied effect, and the host's call log
// cut down to what a test looks at.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "entry/global_data.h"
#include "minihost/driver/session.h"
#include "minihost/suites/aegp_services.h"
#include "params/param_table.h"
#include "test_support.h"

namespace prismora::testing {

// The effect applied to a small layer with the commands a host sends; the
// start must succeed and leave nothing behind.
struct Applied {
  Applied() {
    EXPECT_EQ(session.Start(), PF_Err_NONE);
    EXPECT_THAT(session.problems(), ::testing::IsEmpty());
  }
  // Starts after `prepare` has set up the host (faults, say); the start may
  // then fail, and start_result tells how.
  explicit Applied(const std::function<void(minihost::Host&)>& prepare) {
    prepare(host);
    start_result = session.Start();
  }
  minihost::HostParam& param(ParamIndex index) {
    return session.Params()[static_cast<std::size_t>(index)];
  }
  void Set(ParamIndex index, const minihost::ParamValue& value) {
    session.params().Set(session.instance(), index, value);
  }
  GlobalData& global() { return *static_cast<GlobalData*>(*host.global_data()); }
  // Clears the call log and the last command's findings, so a test sees its
  // own command only.
  void Mark() {
    host.faults().ClearLog();
    mark_ = session.problems().size();
  }
  // Findings since the last Mark().
  std::vector<std::string> problems() const {
    return {session.problems().begin() + static_cast<std::ptrdiff_t>(mark_),
            session.problems().end()};
  }
  int outstanding_references() {
    const minihost::AegpService& aegp = minihost::InstallAegpServices(host);
    return aegp.outstanding_effects() + aegp.outstanding_streams();
  }

  minihost::Host host{Plugin()};
  minihost::Session session{host, 64, 48};
  PF_Err start_result = PF_Err_NONE;

 private:
  std::size_t mark_ = 0;
};

// Entries of the call log that start with `prefix`.
inline std::vector<std::string> Calls(minihost::Host& host, std::string_view prefix) {
  std::vector<std::string> out;
  for (const std::string& entry : host.faults().log()) {
    if (entry.rfind(prefix, 0) == 0) out.push_back(entry);
  }
  return out;
}

// The records sent with PF_UpdateParamUI, as "7E" (enabled) or "7D" (greyed).
inline std::vector<std::string> SentRecords(minihost::Host& host) {
  std::vector<std::string> out;
  for (const std::string& entry : Calls(host, "PF_UpdateParamUI(")) {
    const std::size_t open = entry.find('('), comma = entry.find(',');
    out.push_back(entry.substr(open + 1, comma - open - 1) + entry.substr(comma + 1, 1));
  }
  return out;
}

}  // namespace prismora::testing
