#include "settings_file.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "commands.h"
#include "imageio/pending_file.h"
#include "minihost/params/param_text.h"

namespace prismora::cli {
namespace {

using Json = nlohmann::ordered_json;
using minihost::ParamSetting;

// Larger files are no settings a person wrote.
constexpr std::uintmax_t kMaxFileSize = 16u << 20;

// A JSON pointer's step: '~' and '/' escaped.
std::string Step(const std::string& key) {
  std::string out = "/";
  for (char c : key) {
    if (c == '~') out += "~0";
    else if (c == '/') out += "~1";
    else out += c;
  }
  return out;
}

class Reader {
 public:
  Reader(std::string file, int layer) : file_(std::move(file)), layer_(layer) {}

  [[noreturn]] void Fail(const std::string& path, const std::string& message) const {
    throw UsageError{file_ + ": " + (path.empty() ? "" : path + ": ") + message};
  }

  std::vector<ParamSetting> Read(const Json& root) {
    if (!root.is_object()) {
      Fail("", "the settings are one JSON object: {\"prismora-settings\": 1, \"params\": {...}}");
    }
    const auto version = root.find("prismora-settings");
    if (version == root.end()) {
      Fail("", "no \"prismora-settings\" version: this is no prismora settings file");
    }
    if (!version->is_number_integer() || version->get<int64_t>() < 1) {
      Fail("/prismora-settings", "the format's version is a whole number from 1, not " +
                                     version->dump());
    }
    if (version->get<int64_t>() > kSettingsFormat) {
      Fail("/prismora-settings", "format " + version->dump() +
                                     " is newer than this prismora reads (up to " +
                                     std::to_string(kSettingsFormat) + ")");
    }
    for (const auto& [key, value] : root.items()) {
      if (key != "prismora-settings" && key != "params") {
        Fail(Step(key), "unknown key (a settings file holds \"prismora-settings\" and "
                        "\"params\")");
      }
    }
    const auto params = root.find("params");
    if (params == root.end()) return {};
    if (!params->is_object()) Fail("/params", "expected an object of parameters by name");
    for (const auto& [name, entry] : params->items()) Param(name, entry);
    return std::move(settings_);
  }

 private:
  void Param(const std::string& name, const Json& entry) {
    const std::string path = "/params" + Step(name);
    if (!entry.is_object()) {
      Add(name, path, ParamSetting::Kind::kValue, Text(entry, path), {});
      return;
    }
    for (const auto& [key, value] : entry.items()) {
      if (key != "value" && key != "keyframes" && key != "expression") {
        Fail(path + Step(key),
             "unknown key (a parameter takes \"value\" or \"keyframes\", and \"expression\")");
      }
    }
    if (entry.empty()) Fail(path, "no \"value\", \"keyframes\" or \"expression\"");
    if (const auto value = entry.find("value"); value != entry.end()) {
      Add(name, path + "/value", ParamSetting::Kind::kValue, Text(*value, path + "/value"), {});
    }
    if (const auto keys = entry.find("keyframes"); keys != entry.end()) {
      const std::string keys_path = path + "/keyframes";
      if (!keys->is_array() || keys->empty()) {
        Fail(keys_path, "expected a list of keyframes, [{\"time\": 0, \"value\": ...}, ...]");
      }
      for (std::size_t i = 0; i < keys->size(); ++i) Key(name, keys_path + "/" + std::to_string(i),
                                                         (*keys)[i]);
    }
    if (const auto expression = entry.find("expression"); expression != entry.end()) {
      const std::string e_path = path + "/expression";
      if (!expression->is_string() || expression->get<std::string>().empty()) {
        Fail(e_path, "expected the expression's text, not " + expression->dump());
      }
      Add(name, e_path, ParamSetting::Kind::kExpression, expression->get<std::string>(), {});
    }
  }

  void Key(const std::string& name, const std::string& path, const Json& key) {
    if (!key.is_object()) Fail(path, "expected {\"time\": ..., \"value\": ...}");
    for (const auto& [k, v] : key.items()) {
      if (k != "time" && k != "value") Fail(path + Step(k), "unknown key (a keyframe takes "
                                                            "\"time\" and \"value\")");
    }
    const auto time = key.find("time");
    const auto value = key.find("value");
    if (time == key.end()) Fail(path, "the keyframe has no \"time\"");
    if (value == key.end()) Fail(path, "the keyframe has no \"value\"");
    minihost::KeyTime t;
    try {
      if (time->is_number()) {
        t = minihost::ParseKeyTime(minihost::FormatNumber(time->get<double>()));
      } else if (time->is_string()) {
        t = minihost::ParseKeyTime(time->get<std::string>());
      } else {
        Fail(path + "/time", "expected seconds (1.5, \"1.5s\") or a frame (\"f36\"), not " +
                                 time->dump());
      }
    } catch (const minihost::ParamValueError& e) {
      Fail(path + "/time", e.what());
    }
    Add(name, path + "/value", ParamSetting::Kind::kKeyframe, Text(*value, path + "/value"), t);
  }

  // A value as the text `-p` takes.
  std::string Text(const Json& value, const std::string& path) const {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
    if (value.is_number()) return value.dump();
    if (value.is_array()) {
      std::string text;
      for (const Json& part : value) {
        if (!part.is_number() && !part.is_string()) {
          Fail(path, "expected numbers or texts in the list, not " + part.dump());
        }
        if (!text.empty()) text += ',';
        text += part.is_string() ? part.get<std::string>() : part.dump();
      }
      return text;
    }
    Fail(path, "expected a value (a number, true or false, a text or a list), not " +
                   value.dump());
  }

  void Add(const std::string& name, const std::string& path, ParamSetting::Kind kind,
           std::string text, minihost::KeyTime time) {
    ParamSetting s;
    s.name = name;
    s.value = std::move(text);
    s.kind = kind;
    s.time = time;
    s.layer = layer_;
    s.origin = file_ + ": " + path;
    settings_.push_back(std::move(s));
  }

  std::string file_;
  int layer_;
  std::vector<ParamSetting> settings_;
};

// "line 3, column 7" of a byte offset.
std::string Position(const std::string& text, std::size_t byte) {
  byte = std::min(byte, text.size());
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < byte; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Whole numbers without a decimal point.
Json Number(double v) {
  if (v == std::trunc(v) && std::fabs(v) < 9e15) return Json(static_cast<int64_t>(v));
  return Json(v);
}

// The natural JSON form of a value in text, by the parameter's type.
Json ValueJson(const PF_ParamDef& def, PF_ParamIndex index, const std::string& text) {
  const minihost::ParamValue value = minihost::ParseParamValue(def, index, text);
  const auto number = Number;
  if (const auto* s = std::get_if<minihost::SliderValue>(&value)) return number(s->value);
  if (const auto* b = std::get_if<bool>(&value)) return Json(*b);
  if (const auto* p = std::get_if<minihost::PopupValue>(&value)) {
    const std::vector<std::string> choices = minihost::PopupChoices(def);
    if (p->choice >= 1 && static_cast<std::size_t>(p->choice) <= choices.size()) {
      return Json(choices[static_cast<std::size_t>(p->choice) - 1]);
    }
    return Json(p->choice);
  }
  if (const auto* c = std::get_if<PF_Pixel>(&value)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", c->red, c->green, c->blue);
    return Json(hex);
  }
  const auto& pt = std::get<minihost::PointValue>(value);
  if (!pt.x_percent && !pt.y_percent) return Json::array({number(pt.x), number(pt.y)});
  std::string both = minihost::FormatNumber(pt.x) + (pt.x_percent ? "%," : ",");
  both += minihost::FormatNumber(pt.y) + (pt.y_percent ? "%" : "");
  return Json(both);
}

}  // namespace

std::vector<ParamSetting> ReadSettingsFile(const std::filesystem::path& file, int layer) {
  const std::string name = file.string();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    throw UsageError{"the settings file '" + name + "' " +
                     (std::filesystem::exists(file, ec) ? "is no file" : "does not exist")};
  }
  if (std::filesystem::file_size(file, ec) > kMaxFileSize) {
    throw UsageError{"the settings file '" + name + "' is too large for settings (over 16 MiB)"};
  }
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) throw UsageError{"cannot read the settings file '" + name + "'"};
  Json root;
  try {
    root = Json::parse(text);
  } catch (const Json::parse_error& e) {
    // nlohmann's words after its own position: "syntax error while parsing ...".
    std::string reason = e.what();
    if (const std::size_t colon = reason.find(": "); colon != std::string::npos) {
      reason.erase(0, colon + 2);
    }
    throw UsageError{name + ": invalid JSON at " + Position(text, e.byte == 0 ? 0 : e.byte - 1) +
                     ": " + reason};
  }
  return Reader(name, layer).Read(root);
}

void WriteSettingsFile(const std::filesystem::path& file,
                       const std::vector<ParamSetting>& settings,
                       const std::vector<PF_ParamDef>& declared) {
  Json params = Json::object();
  for (const ParamSetting& s : settings) {
    const PF_ParamIndex index = minihost::FindParam(declared, s.name);
    const PF_ParamDef& def = declared[static_cast<std::size_t>(index)];
    Json& entry = params[s.name];
    switch (s.kind) {
      case ParamSetting::Kind::kValue: entry["value"] = ValueJson(def, index, s.value); break;
      case ParamSetting::Kind::kKeyframe: {
        Json key = Json::object();
        key["time"] = s.time.frames ? Json(s.time.Text()) : Number(s.time.value);
        key["value"] = ValueJson(def, index, s.value);
        entry["keyframes"].push_back(std::move(key));
        break;
      }
      case ParamSetting::Kind::kExpression: entry["expression"] = s.value; break;
    }
  }
  // A value alone is written as the value.
  for (auto& [name, entry] : params.items()) {
    if (entry.size() == 1 && entry.contains("value")) {
      Json value = std::move(entry["value"]);
      entry = std::move(value);
    }
  }
  Json root = Json::object();
  root["prismora-settings"] = kSettingsFormat;
  root["params"] = std::move(params);
  const std::string text = root.dump(2) + "\n";
  imageio::PendingFile pending(file);
  pending.WriteAt(text.data(), text.size(), 0);
  pending.Commit();
}

}  // namespace prismora::cli
