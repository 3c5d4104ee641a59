#include "minihost/testing/fault_sweep.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "minihost/base/error.h"
#include "minihost/driver/frame.h"
#include "minihost/params/param_text.h"
#include "minihost/suites/worlds.h"

namespace minihost {
namespace {

// Output bytes the render has not written.
constexpr unsigned char kUnwritten = 0x5A;
// Columns of the output beyond the layer's width, which the render must not
// write either.
constexpr A_long kExtraColumns = 2;

bool IsInterface(PF_Cmd cmd) {
  return cmd == PF_Cmd_UPDATE_PARAMS_UI || cmd == PF_Cmd_USER_CHANGED_PARAM;
}
bool IsRender(PF_Cmd cmd) { return cmd == PF_Cmd_SMART_PRE_RENDER || cmd == PF_Cmd_SMART_RENDER; }

// A premultiplied 8-bit pixel of a fixed pseudo-random sequence: some
// transparent, some partly covered, most opaque.
PF_Pixel LayerPixel(uint32_t& state) {
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>(state >> 24);
  };
  const int kind = next() % 4;
  const int alpha = kind == 0 ? 0 : kind == 1 ? next() : 255;
  auto channel = [&] { return static_cast<A_u_char>(next() * alpha / 255); };
  return PF_Pixel{static_cast<A_u_char>(alpha), channel(), channel(), channel()};
}

void FillLayer(World& world) {
  uint32_t state = 12345;
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x) {
      const PF_Pixel p = LayerPixel(state);
      switch (world.format()) {
        case PF_PixelFormat_ARGB64: {
          auto c = [](A_u_char v) { return static_cast<A_u_short>((v * 32768 + 127) / 255); };
          world.Set(x, y, PF_Pixel16{c(p.alpha), c(p.red), c(p.green), c(p.blue)});
          break;
        }
        case PF_PixelFormat_ARGB128: {
          auto c = [](A_u_char v) { return v / 255.0f; };
          world.Set(x, y, PF_PixelFloat{c(p.alpha), c(p.red), c(p.green), c(p.blue)});
          break;
        }
        default: world.Set(x, y, p); break;
      }
    }
  }
}

// Every byte of a world, row padding included.
std::vector<unsigned char> Bytes(const World& world) {
  const std::size_t row = static_cast<std::size_t>(world.row_bytes());
  std::vector<unsigned char> out(row * static_cast<std::size_t>(world.height()));
  for (A_long y = 0; y < world.height(); ++y) {
    std::memcpy(out.data() + static_cast<std::size_t>(y) * row, world.row(y), row);
  }
  return out;
}

// One run of a case: a fresh host prepared for the command, the command, and
// what it left.
class CaseRun {
 public:
  CaseRun(const std::shared_ptr<const PluginLibrary>& plugin, const SweepCase& c,
          const SweepOptions& options)
      : case_(c),
        options_(options),
        host_(plugin),
        session_(host_, options.width, options.height) {}

  // Everything the command needs first, without faults. Throws HostError
  // when any of it fails.
  void Prepare() {
    switch (case_.cmd) {
      case PF_Cmd_GLOBAL_SETUP: break;
      case PF_Cmd_PARAMS_SETUP: Require(host_.GlobalSetup(), "global set-up"); break;
      case PF_Cmd_SEQUENCE_SETUP:
        Require(host_.GlobalSetup(), "global set-up");
        Require(session_.params().ParamsSetup(), "parameter set-up");
        instance_ = &host_.NewInstance();
        break;
      default:
        Require(session_.Start(), "the effect's start");
        instance_ = &session_.instance();
        ApplySettings();
        if (IsInterface(case_.cmd) && case_.after_resetup) {
          Require(host_.SequenceResetup(*instance_), "sequence re-set-up");
        }
        if (IsRender(case_.cmd)) PrepareFrame();
        break;
    }
    if (!session_.problems().empty()) {
      throw HostError("preparing left a problem: " + session_.problems().front());
    }
    if (!host_.problems().empty()) {
      throw HostError("preparing left a problem: " + host_.problems().front());
    }
  }

  PF_Err Send() {
    switch (case_.cmd) {
      case PF_Cmd_GLOBAL_SETUP: return host_.GlobalSetup();
      case PF_Cmd_PARAMS_SETUP: return session_.params().ParamsSetup();
      case PF_Cmd_SEQUENCE_SETUP: return host_.SequenceSetup(*instance_);
      case PF_Cmd_SEQUENCE_RESETUP: return host_.SequenceResetup(*instance_);
      case PF_Cmd_SEQUENCE_SETDOWN: return host_.SequenceSetdown(*instance_);
      case PF_Cmd_UPDATE_PARAMS_UI: return session_.UpdateParamsUI();
      case PF_Cmd_USER_CHANGED_PARAM: return session_.UserChangedParam(case_.changed);
      case PF_Cmd_SMART_PRE_RENDER: return frame_->PreRender();
      case PF_Cmd_SMART_RENDER: return frame_->Render();
      default: throw HostError("the sweep cannot send " + CommandName(case_.cmd));
    }
  }

  // After the command: the audit, and for the render phases the pre-render
  // data's deletion (audited too) and the worlds. Keeps the command's
  // result for comparison.
  std::vector<std::string> Check() {
    std::vector<std::string> problems = host_.problems();
    result_ = Result();
    if (IsRender(case_.cmd)) {
      frame_->DeletePreRenderData();
      for (const std::string& p : host_.problems()) problems.push_back(p);
      if (frame_->service().held() != 0) problems.push_back("pre-render data still held");
      if (Bytes(*input_) != input_bytes_) problems.push_back("the input layer was written");
      if (!output_->PaddingIntact()) problems.push_back("the output's row padding was written");
      const std::size_t pixel = output_->pixel_bytes();
      for (A_long y = 0; y < output_->height(); ++y) {
        const unsigned char* beyond =
            output_->row(y) + static_cast<std::size_t>(input_->width()) * pixel;
        if (!std::all_of(beyond, beyond + kExtraColumns * pixel,
                         [](unsigned char b) { return b == kUnwritten; })) {
          problems.push_back("output row " + std::to_string(y) +
                             " was written beyond the layer's width");
          break;
        }
      }
    }
    return problems;
  }

  // Whether the render wrote no output pixel at all.
  bool OutputUntouched() const {
    const std::size_t used = static_cast<std::size_t>(output_->width()) * output_->pixel_bytes();
    for (A_long y = 0; y < output_->height(); ++y) {
      const unsigned char* row = output_->row(y);
      if (!std::all_of(row, row + used, [](unsigned char b) { return b == kUnwritten; })) {
        return false;
      }
    }
    return true;
  }

  // What the command produced, as a text two runs can be compared by.
  const std::string& result() const { return result_; }
  Host& host() { return host_; }

 private:
  static void Require(PF_Err err, const char* what) {
    if (err != PF_Err_NONE) {
      throw HostError(std::string(what) + " failed with " + std::to_string(err));
    }
  }

  void ApplySettings() {
    if (case_.settings.empty()) return;
    if (case_.settings_as_user) {
      Require(session_.ApplySettings(case_.settings), "the user's settings");
      return;
    }
    ParamService& params = session_.params();
    for (const ParamSetting& s : case_.settings) {
      const PF_ParamIndex index = params.IndexOf(s.name);
      params.Set(
          *instance_, index,
          ParseParamValue(params.declared()[static_cast<std::size_t>(index)], index, s.value));
    }
  }

  void PrepareFrame() {
    const A_long padding = options_.row_padding;
    input_ = std::make_unique<World>(options_.width, options_.height, case_.format, padding);
    FillLayer(*input_);
    input_bytes_ = Bytes(*input_);
    output_ = std::make_unique<World>(options_.width + kExtraColumns, options_.height, case_.format,
                                      padding);
    output_->FillPixels(kUnwritten);
    // The render's own worlds are padded too.
    WorldService::Install(host_).set_row_padding(padding);
    frame_ = std::make_unique<Frame>(host_, *instance_, *input_, *output_);
    if (case_.cmd == PF_Cmd_SMART_RENDER) Require(frame_->PreRender(), "pre-render");
  }

  std::string Result() {
    const PF_OutData& out = host_.out_data();
    std::string text =
        "out_flags " + std::to_string(out.out_flags) + ", message \"" + host_.return_msg() + "\"";
    switch (case_.cmd) {
      case PF_Cmd_GLOBAL_SETUP:
      case PF_Cmd_PARAMS_SETUP:
        text += ", version " + std::to_string(out.my_version) + ", out_flags2 " +
                std::to_string(out.out_flags2) + ", parameters " +
                std::to_string(session_.params().declared().size()) + ", global data " +
                std::to_string(host_.handles().Size(host_.global_data()));
        break;
      case PF_Cmd_SEQUENCE_SETUP:
      case PF_Cmd_SEQUENCE_RESETUP:
      case PF_Cmd_SEQUENCE_SETDOWN:
        text += ", sequence data " + std::to_string(host_.handles().Size(instance_->sequence_data));
        break;
      case PF_Cmd_UPDATE_PARAMS_UI:
      case PF_Cmd_USER_CHANGED_PARAM:
        for (const HostParam& p : session_.Params()) {
          text += p.hidden ? 'H' : '-';
          text += p.disabled() ? 'D' : 'E';
          text += p.expression;
          text += ';';
        }
        break;
      case PF_Cmd_SMART_PRE_RENDER:
        if (PF_Handle h = frame_->pre_render_data(); h != nullptr && host_.handles().IsLive(h)) {
          const auto* bytes = static_cast<const char*>(*h);
          text.append(bytes, host_.handles().Size(h));
        }
        break;
      case PF_Cmd_SMART_RENDER: {
        const std::vector<unsigned char> bytes = Bytes(*output_);
        text.append(bytes.begin(), bytes.end());
        break;
      }
      default: break;
    }
    return text;
  }

  const SweepCase& case_;
  const SweepOptions& options_;
  Host host_;
  Session session_;
  Instance* instance_ = nullptr;
  std::unique_ptr<World> input_;
  std::vector<unsigned char> input_bytes_;
  std::unique_ptr<World> output_;
  std::unique_ptr<Frame> frame_;
  std::string result_;
};

bool Matches(const SweepRule& rule, PF_Cmd cmd, const TracedCall& call, FailureForm form) {
  if (!rule.commands.empty() &&
      std::find(rule.commands.begin(), rule.commands.end(), cmd) == rule.commands.end()) {
    return false;
  }
  if (!rule.call.empty() && rule.call != call.name && rule.call != call.qualified) return false;
  return !rule.form || *rule.form == form;
}

SweepExpectation Expected(const std::vector<SweepRule>& rules, PF_Cmd cmd, const TracedCall& call,
                          FailureForm form) {
  for (const SweepRule& rule : rules) {
    if (Matches(rule, cmd, call, form)) return rule.expect;
  }
  return SweepExpectation{};  // an error, whichever
}

const std::string& KeyOf(const TracedCall& call) {
  return call.qualified.empty() ? call.name : call.qualified;
}

// Everything a run did wrong against its expectation.
std::vector<std::string> Judge(CaseRun& run, PF_Err err, const SweepExpectation& expect,
                               PF_Err injected_code, PF_Err baseline_err,
                               const std::string& baseline_result, PF_Cmd cmd) {
  std::vector<std::string> out;
  auto expect_code = [&](PF_Err code, const char* what) {
    if (err != code) {
      out.push_back("returned " + std::to_string(err) + ", not " + what + " " +
                    std::to_string(code));
    }
  };
  switch (expect.kind) {
    case SweepExpectation::Code::kExact: expect_code(expect.code, "the code"); break;
    case SweepExpectation::Code::kInjected: expect_code(injected_code, "the host's code"); break;
    case SweepExpectation::Code::kUnchanged:
      expect_code(baseline_err, "the code without faults");
      if (err == baseline_err && run.result() != baseline_result) {
        out.push_back("succeeded with another result than without faults");
      }
      break;
    case SweepExpectation::Code::kNonZero:
      if (err == PF_Err_NONE) out.push_back("returned 0, not an error");
      break;
  }
  const PF_OutData& data = run.host().out_data();
  if (expect.message) {
    const bool shown = (data.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0;
    if (expect.message->empty() && (shown || !run.host().return_msg().empty())) {
      out.push_back("showed \"" + run.host().return_msg() + "\", where nothing is shown");
    } else if (!expect.message->empty() && (!shown || run.host().return_msg() != *expect.message)) {
      out.push_back("showed \"" + run.host().return_msg() + "\"" +
                    (shown ? "" : " without the display flag") + ", not \"" + *expect.message +
                    "\"");
    }
  }
  if (expect.out_flags && data.out_flags != *expect.out_flags) {
    out.push_back("left out_flags " + std::to_string(data.out_flags) + ", not " +
                  std::to_string(*expect.out_flags));
  }
  if (expect.output_untouched && cmd == PF_Cmd_SMART_RENDER && !run.OutputUntouched()) {
    out.push_back("wrote output pixels");
  }
  return out;
}

}  // namespace

SweepExpectation SweepExpectation::Exact(PF_Err code) {
  SweepExpectation e;
  e.kind = Code::kExact;
  e.code = code;
  return e;
}

SweepExpectation SweepExpectation::Injected() {
  SweepExpectation e;
  e.kind = Code::kInjected;
  return e;
}

SweepExpectation SweepExpectation::Unchanged() {
  SweepExpectation e;
  e.kind = Code::kUnchanged;
  return e;
}

SweepExpectation SweepExpectation::AnError() { return SweepExpectation{}; }

SweepExpectation SweepExpectation::Shown(std::string text) const {
  SweepExpectation e = *this;
  e.message = std::move(text);
  return e;
}

SweepExpectation SweepExpectation::Flags(PF_OutFlags flags) const {
  SweepExpectation e = *this;
  e.out_flags = flags;
  return e;
}

SweepExpectation SweepExpectation::Untouched() const {
  SweepExpectation e = *this;
  e.output_untouched = true;
  return e;
}

std::string SweepCase::Describe() const {
  std::string text = CommandName(cmd);
  std::vector<std::string> parts;
  if (IsRender(cmd)) parts.push_back(FormatName(format));
  if (cmd == PF_Cmd_USER_CHANGED_PARAM) parts.push_back("changed " + std::to_string(changed));
  if (after_resetup) parts.push_back("after re-set-up");
  for (const ParamSetting& s : settings) parts.push_back(s.name + "=" + s.value);
  if (!parts.empty()) {
    text += " (";
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : ", ") + parts[i];
    text += ")";
  }
  return text;
}

SweepResult RunFaultSweep(const std::shared_ptr<const PluginLibrary>& plugin,
                          const std::vector<SweepCase>& cases, const std::vector<SweepRule>& rules,
                          const SweepOptions& options) {
  SweepResult result;
  std::set<std::string> forms;
  std::map<std::string, std::set<std::string>> forms_by_command;
  std::set<std::string> unknown_calls;

  for (const SweepCase& c : cases) {
    const std::string command = CommandName(c.cmd);
    SweepTotals& totals = result.by_command[command];
    ++totals.cases;
    const std::string label = c.Describe();

    // The run without faults, which counts the calls and names them.
    PF_Err baseline_err = PF_Err_NONE;
    std::string baseline_result;
    std::vector<TracedCall> trace;
    try {
      CaseRun counting(plugin, c, options);
      counting.Prepare();
      counting.host().faults().set_tracing(true);
      baseline_err = counting.Send();
      counting.host().faults().set_tracing(false);
      trace = counting.host().faults().trace();
      std::vector<std::string> problems = counting.Check();
      baseline_result = counting.result();
      for (const std::string& p : problems) result.findings.push_back(label + ": " + p);
      if (baseline_err != PF_Err_NONE) {
        result.findings.push_back(label + ": fails without faults, with " +
                                  std::to_string(baseline_err));
      }
      if (!problems.empty() || baseline_err != PF_Err_NONE) {
        ++totals.failures;
        continue;
      }
    } catch (const std::exception& e) {
      result.findings.push_back(label + ": " + e.what());
      ++totals.failures;
      continue;
    }

    totals.calls += static_cast<int64_t>(trace.size());
    for (std::size_t k = 1; k <= trace.size(); ++k) {
      const TracedCall& call = trace[k - 1];
      const std::optional<std::vector<FailureForm>> call_forms = FailureFormsOf(call.name);
      if (!call_forms) {
        if (unknown_calls.insert(call.name).second) {
          result.findings.push_back("host call " + call.name +
                                    " has no known failure forms, so it is not swept");
        }
        continue;
      }
      for (FailureForm form : *call_forms) {
        const std::string form_key = call.name + " (" + FormName(form) + ")";
        forms.insert(form_key);
        forms_by_command[command].insert(form_key);
        ++totals.runs;
        const std::string where = label + ": call " + std::to_string(k) + " of " +
                                  std::to_string(trace.size()) + ", " + KeyOf(call) +
                                  ", failing (" + FormName(form) + "): ";
        std::vector<std::string> problems;
        try {
          CaseRun run(plugin, c, options);
          run.Prepare();
          run.host().faults().FailAnyNth(static_cast<int>(k), Failure{form, options.host_code});
          PF_Err err = PF_Err_NONE;
          try {
            err = run.Send();
          } catch (const HostError& e) {
            problems.push_back(std::string("the host refused the plug-in: ") + e.what());
          }
          run.host().faults().Clear();
          const std::vector<std::string>& injected = run.host().faults().injected();
          if (injected.size() != 1 || injected.front().rfind(KeyOf(call) + ": ", 0) != 0) {
            problems.push_back(
                "the failure did not fall on that call: " +
                (injected.empty() ? std::string("none injected") : injected.front()));
          }
          for (std::string& p : run.Check()) problems.push_back(std::move(p));
          for (std::string& p : Judge(run, err, Expected(rules, c.cmd, call, form),
                                      options.host_code, baseline_err, baseline_result, c.cmd)) {
            problems.push_back(std::move(p));
          }
        } catch (const std::exception& e) {
          problems.push_back(e.what());
        }
        if (!problems.empty()) {
          ++totals.failures;
          for (const std::string& p : problems) result.findings.push_back(where + p);
        }
      }
    }
  }

  for (auto& [command, totals] : result.by_command) {
    totals.commands = 1;
    totals.forms = static_cast<int64_t>(forms_by_command[command].size());
    result.totals.commands += 1;
    result.totals.cases += totals.cases;
    result.totals.calls += totals.calls;
    result.totals.runs += totals.runs;
    result.totals.failures += totals.failures;
  }
  result.totals.forms = static_cast<int64_t>(forms.size());
  return result;
}

std::ostream& operator<<(std::ostream& os, const SweepResult& result) {
  auto line = [&os](const SweepTotals& t) {
    os << t.cases << " cases, " << t.calls << " calls swept, " << t.forms << " failure forms, "
       << t.runs << " runs, " << t.failures << " failures\n";
  };
  os << "fault sweep: " << result.totals.commands << " commands, ";
  line(result.totals);
  for (const auto& [command, totals] : result.by_command) {
    os << "  " << command << ": ";
    line(totals);
  }
  return os;
}

}  // namespace minihost
