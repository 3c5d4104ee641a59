#include "settings_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
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

// Texts quoted from a file, kept to a line's length.
std::string Clipped(std::string text) {
  constexpr std::size_t kMax = 80;
  if (text.size() > kMax) text = text.substr(0, kMax - 3) + "...";
  return text;
}

// Settings nest a few levels (parameter, keyframes, keyframe, point);
// anything deeper is no settings file, and is refused before it is built.
constexpr int kMaxDepth = 64;

// Builds the document from the parser's events, keeping the JSON path of
// the value being read, so that a file nested too deep or a number that no
// double or 64-bit integer holds is refused with where it is, before any of
// it is used.
class DocumentBuilder {
 public:
  using number_integer_t = Json::number_integer_t;
  using number_unsigned_t = Json::number_unsigned_t;
  using number_float_t = Json::number_float_t;
  using string_t = Json::string_t;
  using binary_t = Json::binary_t;

  explicit DocumentBuilder(Json& root) : root_(root) {}

  bool null() { return Add(Json(nullptr)); }
  bool boolean(bool v) { return Add(Json(v)); }
  bool number_integer(number_integer_t v) { return Add(Json(v)); }
  bool number_unsigned(number_unsigned_t v) {
    if (v > static_cast<number_unsigned_t>(std::numeric_limits<int64_t>::max())) {
      return TooLarge(std::to_string(v));
    }
    return Add(Json(v));
  }
  bool number_float(number_float_t v, const string_t& text) {
    // A whole number beyond 64 bits arrives as a double, its digits lost.
    if (text.find_first_of(".eE") == string_t::npos) return TooLarge(text);
    return Add(Json(v));
  }
  bool string(string_t& v) { return Add(Json(std::move(v))); }
  bool binary(binary_t&) { return Add(Json(nullptr)); }  // not in JSON text

  bool start_object(std::size_t) { return Open(Json::object()); }
  bool start_array(std::size_t) { return Open(Json::array()); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool key(string_t& k) {
    key_ = std::move(k);
    return true;
  }

  template <class Exception>
  bool parse_error(std::size_t byte, const std::string& token, const Exception& e) {
    if (e.id == 406) return TooLarge(token);  // a number overflowing a double
    error_byte_ = byte;
    reason_ = e.what();
    return false;
  }

  // Set when the events stopped: where (a JSON path, or a byte offset for a
  // syntax error, with `path_error` false) and why.
  bool path_error() const { return path_error_; }
  const std::string& where() const { return where_; }
  std::size_t error_byte() const { return error_byte_; }
  const std::string& reason() const { return reason_; }

 private:
  struct Level {
    Json* container;
    std::string path;
    std::size_t count = 0;  // of an array's values so far
  };

  // The path of the value about to be added.
  std::string NextPath() const {
    if (levels_.empty()) return "";
    const Level& top = levels_.back();
    return top.path + (top.container->is_array() ? "/" + std::to_string(top.count) : Step(key_));
  }

  Json* Insert(Json&& value) {
    if (levels_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Level& top = levels_.back();
    if (top.container->is_array()) {
      ++top.count;
      top.container->push_back(std::move(value));
      return &top.container->back();
    }
    Json& slot = (*top.container)[key_];
    slot = std::move(value);
    return &slot;
  }

  bool Add(Json&& value) {
    Insert(std::move(value));
    return true;
  }

  bool Open(Json&& container) {
    std::string path = NextPath();
    if (levels_.size() >= static_cast<std::size_t>(kMaxDepth)) {
      return Stop(path, "nested deeper than " + std::to_string(kMaxDepth) +
                            " levels: no settings file nests so deep");
    }
    Json* added = Insert(std::move(container));
    levels_.push_back({added, std::move(path)});
    return true;
  }

  bool Close() {
    levels_.pop_back();
    return true;
  }

  bool TooLarge(const std::string& number) {
    return Stop(NextPath(), "the number " + Clipped(number) + " is too large to be held");
  }

  bool Stop(const std::string& path, std::string reason) {
    path_error_ = true;
    // A path through 64 levels is long: its start and end, cut between
    // steps, say where.
    where_ = path;
    if (path.size() > 120) {
      const std::size_t head = path.rfind('/', 56);
      std::size_t tail = path.find('/', path.size() - 56);
      if (tail == std::string::npos) tail = path.size() - 56;  // within one long key
      where_ = path.substr(0, head) + "/..." + path.substr(tail);
    }
    reason_ = std::move(reason);
    return false;
  }

  Json& root_;
  std::vector<Level> levels_;
  std::string key_;
  bool path_error_ = false;
  std::string where_;
  std::size_t error_byte_ = 0;
  std::string reason_;
};

// The document in `text`, or UsageError naming the file and where it fails.
Json ParseDocument(const std::string& name, const std::string& text) {
  Json root;
  DocumentBuilder builder(root);
  if (Json::sax_parse(text, &builder)) return root;
  if (builder.path_error()) {
    throw UsageError{name + ": " + (builder.where().empty() ? "" : builder.where() + ": ") +
                     builder.reason()};
  }
  // nlohmann's words after its own position: "syntax error while parsing ...".
  std::string reason = builder.reason();
  if (const std::size_t colon = reason.find(": "); colon != std::string::npos) {
    reason.erase(0, colon + 2);
  }
  // What it last read can be a whole line of the file.
  if (const std::size_t last = reason.find("; last read: '"); last != std::string::npos) {
    const std::size_t from = last + 14;
    const std::size_t to = reason.rfind('\'');
    if (to != std::string::npos && to > from) {
      reason = reason.substr(0, from) + Clipped(reason.substr(from, to - from)) +
               reason.substr(to);
    }
  }
  const std::size_t byte = builder.error_byte();
  throw UsageError{name + ": invalid JSON at " + Position(text, byte == 0 ? 0 : byte - 1) + ": " +
                   reason};
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

// The system's reason for an error number, as the rest of a sentence.
std::string Reason(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

// The file's bytes, or UsageError with the system's reason.
std::string ReadWhole(const std::filesystem::path& file, const std::string& quoted) {
  errno = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.string().c_str(), "rb"),
                                                      &std::fclose);
  if (!in) throw UsageError{"cannot read " + quoted + ": " + Reason(errno)};
  std::string text;
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
    text.append(buffer, n);
    if (text.size() > kMaxFileSize) {
      throw UsageError{quoted + " is too large for settings (over 16 MiB)"};
    }
  }
  if (std::ferror(in.get())) throw UsageError{"cannot read " + quoted + ": " + Reason(errno)};
  return text;
}

}  // namespace

std::vector<ParamSetting> ReadSettingsFile(const std::filesystem::path& file, int layer) {
  const std::string name = file.string();
  const std::string quoted = "the settings file '" + name + "'";
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(file, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    throw UsageError{quoted + " does not exist"};
  }
  if (ec) throw UsageError{"cannot read " + quoted + ": " + Reason(ec.value())};
  if (status.type() == std::filesystem::file_type::directory) {
    throw UsageError{quoted + " is a directory"};
  }
  if (status.type() != std::filesystem::file_type::regular) throw UsageError{quoted + " is no file"};
  if (std::filesystem::file_size(file, ec) > kMaxFileSize) {
    throw UsageError{quoted + " is too large for settings (over 16 MiB)"};
  }
  const std::string text = ReadWhole(file, quoted);
  const Json root = ParseDocument(name, text);
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
