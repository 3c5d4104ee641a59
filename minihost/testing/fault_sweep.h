// The fault sweep: a command is sent once to count the host calls it makes,
// then once more for every call k and every form in which call k can fail,
// with call k failing. Every run has a fresh host, prepared without faults
// (the set-up commands the command needs come first), so runs are
// independent. After each run the sweep checks what the command returned
// against a table of expected codes, that the host's audit found nothing
// left behind, that nothing was written outside the output's rows or into
// the input, and that a run that still succeeds gives the same result as the
// run without faults.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "minihost/base/faults.h"
#include "minihost/driver/session.h"
#include "minihost/loading/plugin_library.h"

namespace minihost {

// One command with one set of inputs.
struct SweepCase {
  // PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP, PF_Cmd_SEQUENCE_SETUP,
  // PF_Cmd_SEQUENCE_RESETUP, PF_Cmd_SEQUENCE_SETDOWN,
  // PF_Cmd_UPDATE_PARAMS_UI, PF_Cmd_USER_CHANGED_PARAM,
  // PF_Cmd_SMART_PRE_RENDER or PF_Cmd_SMART_RENDER.
  PF_Cmd cmd = PF_Cmd_GLOBAL_SETUP;
  // Values the user has set before the command, by displayed name.
  std::vector<ParamSetting> settings;
  // Set through the commands a host sends for each change (so expressions
  // are written); otherwise the values are set directly.
  bool settings_as_user = false;
  // PF_Cmd_USER_CHANGED_PARAM: the parameter the user changed.
  PF_ParamIndex changed = 0;
  // The interface commands: sent after a sequence re-set-up, so the
  // sequence data holds no snapshot yet.
  bool after_resetup = false;
  // Pre-render and render: the depth of the layer.
  PF_PixelFormat format = PF_PixelFormat_ARGB32;

  // The command and its inputs, for findings.
  std::string Describe() const;
};

// What a command must do when one host call fails.
struct SweepExpectation {
  enum class Code {
    kExact,      // `code`
    kInjected,   // the host's own code, as the failing call returned it
    kUnchanged,  // what the command returns without faults, with the same result
    kNonZero,    // any error
  };
  Code kind = Code::kNonZero;
  PF_Err code = PF_Err_NONE;
  // Shown to the user: the text in return_msg with
  // PF_OutFlag_DISPLAY_ERROR_MESSAGE; "" for nothing shown. Unchecked when unset.
  std::optional<std::string> message;
  // out_flags exactly. Unchecked when unset.
  std::optional<PF_OutFlags> out_flags;
  // Render: no pixel of the output written.
  bool output_untouched = false;

  static SweepExpectation Exact(PF_Err code);
  static SweepExpectation Injected();
  static SweepExpectation Unchanged();
  static SweepExpectation AnError();
  // The same with the text shown ("" for none), exact out_flags, or no
  // output pixel written.
  SweepExpectation Shown(std::string text) const;
  SweepExpectation Flags(PF_OutFlags flags) const;
  SweepExpectation Untouched() const;
};

// The first rule that matches a failing call gives the expectation.
struct SweepRule {
  std::vector<PF_Cmd> commands;     // any command when empty
  std::string call;                 // a call's name or qualified name; any call when empty
  std::optional<FailureForm> form;  // any form when unset
  SweepExpectation expect;
};

struct SweepOptions {
  // The code of every failure that fails with one; distinct from the codes
  // the plug-in returns on its own, so that passing it on shows.
  PF_Err host_code = 1717;
  // Render: the layer's size and the row padding of every world.
  A_long width = 17;
  A_long height = 11;
  A_long row_padding = 5;
};

struct SweepTotals {
  int commands = 0;      // distinct commands swept
  int cases = 0;         // commands with one set of inputs each
  int64_t calls = 0;     // host calls counted, each of them failed in turn
  int64_t forms = 0;     // distinct pairs of call name and failure form
  int64_t runs = 0;      // runs with one call failing
  int64_t failures = 0;  // runs with at least one finding
};

struct SweepResult {
  SweepTotals totals;
  std::map<std::string, SweepTotals> by_command;  // by command name
  std::vector<std::string> findings;
};

// Sweeps every case. Cases of the same command share no state: each run
// loads nothing but prepares its own host on `plugin`.
SweepResult RunFaultSweep(const std::shared_ptr<const PluginLibrary>& plugin,
                          const std::vector<SweepCase>& cases, const std::vector<SweepRule>& rules,
                          const SweepOptions& options = {});

// The totals, one line overall and one per command.
std::ostream& operator<<(std::ostream& os, const SweepResult& result);

}  // namespace minihost
