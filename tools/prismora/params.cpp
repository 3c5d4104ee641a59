// prismora params: the effect's controls as the host holds them after the
// commands a real host sends when the effect is applied and the user makes
// the given changes.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "json_output.h"
#include "minihost/driver/session.h"
#include "minihost/params/param_text.h"

namespace prismora::cli {
namespace {

using Row = std::vector<std::string>;

void PrintTable(const std::vector<Row>& rows) {
  std::vector<std::size_t> widths;
  for (const Row& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      std::string cell = row[i];
      // Numbers line up on the right, text on the left.
      if (i == 0) cell.insert(0, widths[i] - cell.size(), ' ');
      else if (i + 1 < row.size()) cell.resize(widths[i], ' ');
      line += cell;
      if (i + 1 < row.size()) line += "  ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::printf("%s\n", line.c_str());
  }
}

std::vector<Row> ControlRows(minihost::Session& session) {
  std::vector<Row> rows = {{"index", "name", "type", "valid range", "slider range", "default",
                            "value", "visibility", "interface"}};
  const std::vector<minihost::HostParam>& params = session.Params();
  for (std::size_t i = 0; i < params.size(); ++i) {
    const minihost::HostParam& p = params[i];
    const auto index = static_cast<PF_ParamIndex>(i);
    rows.push_back({std::to_string(i), minihost::DisplayName(p.def, index),
                    minihost::TypeName(p.def.param_type), minihost::FormatValidRange(p.def),
                    minihost::FormatSliderRange(p.def), minihost::FormatDefault(p.def),
                    minihost::FormatValue(p.def), p.hidden ? "hidden" : "shown",
                    p.disabled() ? "greyed out" : "enabled"});
  }
  return rows;
}

void PrintExpressions(minihost::Session& session) {
  bool any = false;
  const std::vector<minihost::HostParam>& params = session.Params();
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (params[i].expression.empty()) continue;
    any = true;
    const auto index = static_cast<PF_ParamIndex>(i);
    std::printf("expression on \"%s\" (%zu): %s\n",
                minihost::DisplayName(params[i].def, index).c_str(), i,
                params[i].expression.c_str());
    const minihost::ExpressionResult r = session.params().Evaluate(session.instance(), index, 0.0);
    if (r.ok) {
      std::printf("  value at time 0: %.5f\n", r.value);
    } else {
      std::printf("  value at time 0: %.5f (the static value: %s at byte %zu)\n", r.value,
                  r.error.c_str(), r.error_position);
    }
  }
  if (!any) std::printf("expressions: none\n");
}

// 1 when a change was answered with an error or the host found something
// not given back, each said on stderr; the controls are shown all the same.
int ExitCode(PF_Err err, const minihost::Session& session) {
  int exit_code = kExitOk;
  if (err != PF_Err_NONE) {
    std::fprintf(stderr, "prismora: a change was answered with error %d\n", err);
    exit_code = kExitFailure;
  }
  for (const std::string& problem : session.problems()) {
    std::fprintf(stderr, "prismora: host found: %s\n", problem.c_str());
    exit_code = kExitFailure;
  }
  return exit_code;
}

}  // namespace

int RunParams(std::span<const std::string_view> args) {
  std::filesystem::path plugin = minihost::DefaultPluginPath();
  std::vector<minihost::ParamSetting> settings;
  bool json = false;
  try {
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (TakePluginOption(args, i, plugin)) continue;
      if (args[i] == "-p" || args[i] == "--param") {
        if (i + 1 >= args.size()) throw UsageError{"-p needs NAME=VALUE"};
        auto [name, value] = minihost::SplitAssignment(args[++i]);
        settings.push_back({std::move(name), std::move(value)});
        continue;
      }
      if (args[i] == "--json") {
        json = true;
        continue;
      }
      throw UsageError{"params: unknown option '" + std::string(args[i]) + "'"};
    }
  } catch (const minihost::ParamValueError& e) {
    throw UsageError{e.what()};
  }

  minihost::Host host(minihost::PluginLibrary::Load(plugin));
  minihost::Session session(host);
  if (const PF_Err err = session.Start(); err != PF_Err_NONE) {
    std::fprintf(stderr, "prismora: applying the effect failed with error %d\n", err);
    return kExitFailure;
  }
  PF_Err err = PF_Err_NONE;
  try {
    err = session.ApplySettings(settings);
  } catch (const minihost::ParamValueError& e) {
    throw UsageError{e.what()};
  }

  if (json) {
    PrintParamsJson(session, plugin);
    return ExitCode(err, session);
  }
  std::printf("plug-in  %s\n", plugin.string().c_str());
  std::printf("layer    %d x %d pixels\n\n", session.params().layer_width(),
              session.params().layer_height());
  PrintTable(ControlRows(session));
  std::printf("\n");
  PrintExpressions(session);
  return ExitCode(err, session);
}

}  // namespace prismora::cli
