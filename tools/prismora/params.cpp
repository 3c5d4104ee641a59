// prismora params: the effect's controls as the host holds them after the
// commands a real host sends when the effect is applied and the user makes
// the given changes.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "effect_renderer.h"
#include "imageio/image_file.h"
#include "json_output.h"
#include "media/movie_reader.h"
#include "minihost/driver/session.h"
#include "minihost/params/param_text.h"
#include "settings_file.h"

namespace prismora::cli {
namespace {

using Row = std::vector<std::string>;

// The largest layer side a host makes.
constexpr int kMaxLayerSide = 30000;

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

// The time the values are shown at, in the host's terms as a frame at that
// time has it, and in seconds.
struct ShownTime {
  HostTime host;
  double seconds = 0.0;
};

ShownTime TimeShown(const minihost::KeyTime& time, const media::FrameRate& rate) {
  ShownTime t;
  t.host = TimeOf(time, rate);
  t.seconds = static_cast<double>(t.host.value) / static_cast<double>(t.host.scale);
  return t;
}

// A parameter's value as a frame at `time` checks it out.
PF_ParamDef ValueAt(minihost::Session& session, PF_ParamIndex index, const ShownTime& time) {
  PF_ParamDef def{};
  session.params().Checkout(session.instance(), index, time.host.value, time.host.step,
                            time.host.scale, &def);
  return def;
}

// The size of the picture in an image or movie file, upright.
std::pair<A_long, A_long> SizeOfFile(const std::filesystem::path& file) {
  if (media::IsMovieName(file) || imageio::ReadsAsMovie(file)) {
    const media::MovieReader movie(file, imageio::InputAlpha::kAsStored);
    return {movie.info().width, movie.info().height};
  }
  const imageio::ImageSize size = imageio::ReadImageSize(file);
  return {size.width, size.height};
}

std::string Animation(const minihost::HostParam& p) {
  if (!p.keyframes.empty() && p.user_expression) return "keyframes, expression";
  if (!p.keyframes.empty()) return "keyframes";
  return p.user_expression ? "expression" : "";
}

// With anything animated, a last column says what is, and the values of
// animated parameters are those at the time shown.
std::vector<Row> ControlRows(minihost::Session& session, const ShownTime& time) {
  const std::vector<minihost::HostParam>& params = session.Params();
  bool any_animated = false;
  for (const minihost::HostParam& p : params) any_animated = any_animated || p.animated();
  std::vector<Row> rows = {{"index", "name", "type", "valid range", "slider range", "default",
                            "value", "visibility", "interface"}};
  if (any_animated) rows.front().push_back("animation");
  for (std::size_t i = 0; i < params.size(); ++i) {
    const minihost::HostParam& p = params[i];
    const auto index = static_cast<PF_ParamIndex>(i);
    const PF_ParamDef value = p.animated() ? ValueAt(session, index, time) : p.def;
    rows.push_back({std::to_string(i), minihost::DisplayName(p.def, index),
                    minihost::TypeName(p.def.param_type), minihost::FormatValidRange(p.def),
                    minihost::FormatSliderRange(p.def), minihost::FormatDefault(p.def),
                    minihost::FormatValue(value), p.hidden ? "hidden" : "shown",
                    p.disabled() ? "greyed out" : "enabled"});
    if (any_animated) rows.back().push_back(Animation(p));
  }
  return rows;
}

void PrintExpressions(minihost::Session& session, const ShownTime& time) {
  bool any = false;
  const std::vector<minihost::HostParam>& params = session.Params();
  const std::string at = minihost::FormatNumber(time.seconds);
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (params[i].expression.empty()) continue;
    any = true;
    const auto index = static_cast<PF_ParamIndex>(i);
    std::printf("expression on \"%s\" (%zu): %s\n",
                minihost::DisplayName(params[i].def, index).c_str(), i,
                params[i].expression.c_str());
    if (params[i].user_expression) {
      const std::string value = minihost::FormatValue(ValueAt(session, index, time));
      const minihost::ExpressionResult r =
          session.params().ExpressionFailure(session.instance(), index, time.seconds);
      if (r.ok) {
        std::printf("  value at time %s: %s\n", at.c_str(), value.c_str());
      } else {
        std::printf("  value at time %s: %s (the value without it: %s at byte %zu)\n",
                    at.c_str(), value.c_str(), r.error.c_str(), r.error_position);
      }
      continue;
    }
    const minihost::ExpressionResult r =
        session.params().Evaluate(session.instance(), index, time.seconds);
    if (r.ok) {
      std::printf("  value at time %s: %.5f\n", at.c_str(), r.value);
    } else {
      std::printf("  value at time %s: %.5f (the static value: %s at byte %zu)\n", at.c_str(),
                  r.value, r.error.c_str(), r.error_position);
    }
  }
  if (!any) std::printf("expressions: none\n");
}

// The controls as a table for people, then the expressions.
void PrintText(minihost::Session& session, const std::filesystem::path& plugin,
               const ShownTime& shown, bool time_given) {
  std::printf("plug-in  %s\n", plugin.string().c_str());
  std::printf("layer    %d x %d pixels\n", session.params().layer_width(),
              session.params().layer_height());
  if (time_given) std::printf("time     %s s\n", minihost::FormatNumber(shown.seconds).c_str());
  std::printf("\n");
  PrintTable(ControlRows(session, shown));
  std::printf("\n");
  PrintExpressions(session, shown);
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
  std::optional<minihost::KeyTime> time;
  media::FrameRate rate{30, 1};
  std::optional<std::pair<A_long, A_long>> size;
  std::optional<std::filesystem::path> layer;
  std::optional<std::filesystem::path> save;
  bool json = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (TakePluginOption(args, i, plugin) || TakeParamOption(args, i, settings) ||
        TakeSettingsOption(args, i, settings)) {
      continue;
    }
    if (args[i] == "--time") {
      time = ParseTime(TakeValue(args, i), args[i]);
    } else if (args[i] == "--fps") {
      rate = ParseRate(TakeValue(args, i), args[i]);
    } else if (args[i] == "--size") {
      size = ParseSize(TakeValue(args, i), args[i], 1, kMaxLayerSide);
    } else if (args[i] == "--layer") {
      layer = std::string(TakeValue(args, i));
    } else if (args[i] == "--save") {
      save = std::string(TakeValue(args, i));
    } else if (args[i] == "--json") {
      json = true;
    } else {
      throw UsageError{"params: unknown option '" + std::string(args[i]) + "'"};
    }
  }
  if (size && layer) throw UsageError{"give --size or --layer, not both"};
  RefuseUnfollowedAnimation(settings);
  minihost::ResolveFrames(settings, rate.num, rate.den);
  const ShownTime shown = TimeShown(time.value_or(minihost::KeyTime{}), rate);
  if (layer) size = SizeOfFile(*layer);
  const auto [width, height] = size.value_or(
      std::pair<A_long, A_long>{minihost::kDefaultLayerWidth, minihost::kDefaultLayerHeight});

  minihost::Host host(minihost::PluginLibrary::Load(plugin));
  minihost::Session session(host, width, height);
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
  if (const PF_Err time_err = session.SetTime(shown.seconds); err == PF_Err_NONE) err = time_err;

  if (json) {
    PrintParamsJson(session, plugin, shown.seconds,
                    [&](PF_ParamIndex index) { return ValueAt(session, index, shown); });
  } else {
    PrintText(session, plugin, shown, time.has_value());
  }
  for (const minihost::ParamWarning& w : session.params().TakeWarnings()) {
    std::fprintf(stderr, "prismora: warning: %s\n", w.message.c_str());
  }
  if (save) WriteSettingsFile(*save, session.user_settings(), session.params().declared());
  return ExitCode(err, session);
}

}  // namespace prismora::cli
