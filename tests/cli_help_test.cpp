// prismora's help, --version and --json output, run as a user and a script
// run them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "test_support.h"

namespace prismora::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;
using nlohmann::json;

const std::vector<std::string> kCommands = {"info", "params", "render", "demo", "farm"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines of one section of a help text ("options:" up to the next blank
// line).
std::vector<std::string> Section(const std::string& help, const std::string& title) {
  std::vector<std::string> out;
  bool in = false;
  for (const std::string& line : Lines(help)) {
    if (line == title) {
      in = true;
    } else if (in && line.empty()) {
      break;
    } else if (in) {
      out.push_back(line);
    }
  }
  return out;
}

TEST(CliHelp, EveryFormShowsTheCommandsHelpOnStdout) {
  for (const std::string& command : kCommands) {
    const CommandResult reference = RunTool("help " + command);
    ASSERT_EQ(reference.exit_code, 0) << command << ": " << reference.err;
    EXPECT_THAT(reference.out, StartsWith("usage: prismora " + command)) << command;
    EXPECT_THAT(reference.out, AllOf(HasSubstr("\noptions:\n"), HasSubstr("\nexamples:\n"),
                                     HasSubstr("\nexit codes:\n")))
        << command;
    // --help wherever it stands among the command's arguments, after
    // anything however wrong, and the help command's own forms.
    for (const std::string& args :
         {command + " --help", command + " -h", "--help " + command, "help " + command + " -h",
          command + " --plugin x.aex -p Amount=2 -h", command + " --no-such-option --help",
          command + " one two three --help"}) {
      const CommandResult r = RunTool(args);
      EXPECT_EQ(r.exit_code, 0) << args;
      EXPECT_EQ(r.out, reference.out) << args;
      EXPECT_THAT(r.err, IsEmpty()) << args;
    }
  }
}

TEST(CliHelp, TheOverviewListsTheCommands) {
  for (const char* args : {"--help", "-h", "help", "help --help", "--version --help"}) {
    const CommandResult r = RunTool(args);
    EXPECT_EQ(r.exit_code, 0) << args;
    EXPECT_THAT(r.err, IsEmpty()) << args;
    EXPECT_THAT(r.out, AllOf(StartsWith("usage: prismora COMMAND"), HasSubstr("--version"),
                             HasSubstr("prismora COMMAND --help")))
        << args;
    for (const std::string& command : kCommands) {
      EXPECT_THAT(r.out, HasSubstr("\n  " + command)) << args;
    }
  }
  // Nothing at all is a usage error: the overview goes to stderr.
  const CommandResult bare = RunTool("");
  EXPECT_EQ(bare.exit_code, 2);
  EXPECT_THAT(bare.out, IsEmpty());
  EXPECT_THAT(bare.err, StartsWith("usage: prismora COMMAND"));
}

// "--help" and "-h" as the value of an option that takes one are that
// value, as the command's parser reads it.
TEST(CliHelp, ValuesThatLookLikeHelpAreValues) {
  struct Case {
    const char* args;
    const char* message;  // empty: any error
  };
  for (const Case& c : {
           Case{"params -p Amount=--help", "\"Amount\""},
           Case{"params -p --help", "expected NAME=VALUE"},
           Case{"params --param -h", "expected NAME=VALUE"},
           Case{"info --plugin --help", "--help"},
           Case{"--version --plugin --help", "could not be loaded"},
           Case{"demo --size -h", "--size takes WIDTHxHEIGHT"},
           Case{"render in.png out.png --time -h", "--time: the time \"-h\" is no time"},
           Case{"render in.png out.png --fps --help", "--fps takes a frame rate"},
           Case{"render in.png out.png --compression -h", ""},
           Case{"render in.png out.png --alpha --help", ""},
       }) {
    const CommandResult r = RunTool(c.args);
    EXPECT_NE(r.exit_code, 0) << c.args;
    EXPECT_THAT(r.out, Not(HasSubstr("usage:"))) << c.args;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.args;
  }
}

TEST(CliHelp, UsageErrorsPointToTheRightHelp) {
  struct Case {
    const char* args;
    const char* message;
    const char* pointer;
  };
  for (const Case& c : {
           Case{"help nosuch", "no command 'nosuch'; the commands are info, params, render, demo, farm",
                "(see 'prismora --help')"},
           Case{"help render demo", "help takes one COMMAND", "(see 'prismora --help')"},
           Case{"nosuch", "unknown command 'nosuch'", "(see 'prismora --help')"},
           Case{"--nosuch", "unknown option '--nosuch'", "(see 'prismora --help')"},
           Case{"info --bogus", "unknown option '--bogus'", "(see 'prismora info --help')"},
           Case{"params -p Amount=12", "outside the valid range", "(see 'prismora params --help')"},
           Case{"render in.png", "render needs INPUT and OUTPUT", "(see 'prismora render --help')"},
           Case{"demo --size 1x1", "--size takes", "(see 'prismora demo --help')"},
           Case{"--version extra", "--version takes only --plugin PATH", "(see 'prismora --help')"},
           Case{"--plugin x.aex", "--plugin goes after a command", "(see 'prismora --help')"},
       }) {
    const CommandResult r = RunTool(c.args);
    EXPECT_EQ(r.exit_code, 2) << c.args;
    EXPECT_THAT(r.out, IsEmpty()) << c.args;
    EXPECT_THAT(r.err, AllOf(StartsWith("prismora: "), HasSubstr(c.message),
                             HasSubstr(c.pointer)))
        << c.args;
  }
}

TEST(CliHelp, TextsFitEightyColumns) {
  std::vector<std::string> topics = kCommands;
  topics.push_back("");
  topics.push_back("help");
  for (const std::string& topic : topics) {
    const CommandResult r = RunTool("help " + topic);
    ASSERT_EQ(r.exit_code, 0) << topic;
    for (const std::string& line : Lines(r.out)) {
      EXPECT_LE(line.size(), 80u) << topic << ": " << line;
      EXPECT_THAT(line, Not(::testing::EndsWith(" "))) << topic << ": " << line;
    }
  }
}

// Every option a command's help lists is one its parser knows, so the help
// cannot drift from the parsers.
TEST(CliHelp, EveryListedOptionIsKnownToItsCommand) {
  const TempDir dir;
  for (const std::string& command : kCommands) {
    const std::vector<std::string> options = Section(RunTool("help " + command).out, "options:");
    ASSERT_THAT(options, Not(IsEmpty())) << command;
    for (const std::string& line : options) {
      if (line.rfind("  -", 0) != 0) continue;
      // The term: "-p, --param NAME=VALUE", up to the two blanks before the text.
      const std::string term = line.substr(2, line.find("  ", 2) - 2);
      std::vector<std::string> spellings;
      bool takes_value = false;
      std::istringstream words(term);
      for (std::string word; words >> word;) {
        if (word[0] == '-') {
          if (word.back() == ',') word.pop_back();
          spellings.push_back(word);
        } else {
          takes_value = true;
        }
      }
      for (const std::string& option : spellings) {
        if (option == "-h" || option == "--help") continue;
        // --save writes its file: into a folder of the test's own.
        const std::string value =
            option == "--save" ? " '" + (dir.path() / "1.json").string() + "'" : " 1";
        const std::string args = command + " " + option + (takes_value ? value : "");
        const CommandResult r = RunTool(args);
        EXPECT_THAT(r.err, Not(HasSubstr("unknown option"))) << args;
        EXPECT_THAT(r.err, Not(HasSubstr("needs a value"))) << args;
      }
    }
  }
}

// The examples that need no files run as shown.
TEST(CliHelp, ExamplesOfInfoAndParamsRun) {
  for (const char* command : {"info", "params"}) {
    int ran = 0;
    for (const std::string& line : Section(RunTool(std::string("help ") + command).out,
                                           "examples:")) {
      const std::string prefix = "  prismora ";
      if (line.rfind(prefix, 0) != 0) continue;
      const CommandResult r = RunTool(line.substr(prefix.size()));
      EXPECT_EQ(r.exit_code, 0) << line << ": " << r.err;
      ++ran;
    }
    EXPECT_GT(ran, 0) << command;
  }
}

TEST(CliVersion, NamesTheToolAndThePlugin) {
  for (const std::string& args :
       {std::string("--version"), std::string("-V"),
        std::string("--version --plugin '" PRISMORA_PLUGIN_PATH "'"),
        std::string("--plugin '" PRISMORA_PLUGIN_PATH "' -V")}) {
    const CommandResult r = RunTool(args);
    EXPECT_EQ(r.exit_code, 0) << args << ": " << r.err;
    EXPECT_THAT(r.err, IsEmpty()) << args;
    EXPECT_THAT(r.out, AllOf(StartsWith("prismora " PRISMORA_VERSION "\n"),
                             HasSubstr("plug-in  Prismora 1.00 (release, build 1)\n"),
                             HasSubstr("(64bit).aex\n")))
        << args;
  }
}

TEST(CliVersion, APluginThatDoesNotLoadStillGivesTheToolsVersion) {
  struct Case {
    std::string plugin;
    const char* why;
  };
  for (const Case& c : {Case{"/nonexistent.aex", "/nonexistent.aex"},
                        Case{PRISMORA_MISMATCHED_PLUGIN_PATH, "refused at global set-up"}}) {
    const CommandResult r = RunTool("--version --plugin '" + c.plugin + "'");
    EXPECT_EQ(r.exit_code, 1) << c.plugin;
    EXPECT_EQ(r.out, "prismora " PRISMORA_VERSION "\n") << c.plugin;
    EXPECT_THAT(r.err, AllOf(HasSubstr("the plug-in could not be loaded"), HasSubstr(c.why)))
        << c.plugin;
  }
}

// "label   value" lines of prismora info's text output.
std::map<std::string, std::vector<std::string>> InfoFields(const std::string& text) {
  std::map<std::string, std::vector<std::string>> fields;
  std::string label;
  for (const std::string& line : Lines(text)) {
    if (line.size() < 17) continue;
    std::string head = line.substr(0, 16);
    head.erase(head.find_last_not_of(' ') + 1);
    if (!head.empty()) label = head;
    std::string value = line.substr(17);
    value.erase(0, value.find_first_not_of(' '));
    fields[label].push_back(value);
  }
  return fields;
}

TEST(CliJson, InfoSaysWhatTheTextSays) {
  const CommandResult text = RunTool("info");
  const CommandResult r = RunTool("info --json");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.err, IsEmpty());
  const json j = json::parse(r.out);
  auto fields = InfoFields(text.out);
  EXPECT_EQ(j.at("format_version"), 1);
  EXPECT_EQ(j.at("plugin"), fields["plug-in"].at(0));
  EXPECT_EQ(j.at("name"), "Prismora");
  EXPECT_EQ(j.at("name"), fields["name"].at(0));
  EXPECT_EQ(j.at("category"), fields["category"].at(0));
  EXPECT_EQ(j.at("match_name"), fields["match name"].at(0));
  EXPECT_EQ(j.at("entry_point"), fields["entry point"].at(0));
  const json& pipl = j.at("pipl_version");
  EXPECT_EQ(std::to_string(pipl.at("major").get<int>()) + "." +
                std::to_string(pipl.at("minor").get<int>()),
            fields["PiPL version"].at(0));
  const json& api = j.at("api_version");
  EXPECT_EQ(std::to_string(api.at("major").get<int>()) + "." +
                std::to_string(api.at("minor").get<int>()),
            fields["API version"].at(0));
  const json& version = j.at("effect_version");
  EXPECT_EQ(version.at("text"), fields["effect version"].at(0));
  EXPECT_EQ(version.at("major"), 1);
  EXPECT_EQ(version.at("minor"), 0);
  EXPECT_EQ(version.at("stage"), "release");
  for (const char* key : {"out_flags", "out_flags2"}) {
    const std::vector<std::string>& lines = fields[key];
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", j.at(key).at("value").get<unsigned>());
    EXPECT_EQ(hex, lines.at(0)) << key;
    EXPECT_EQ(j.at(key).at("names"),
              json(std::vector<std::string>(lines.begin() + 1, lines.end())))
        << key;
  }
  // The text shows the About text's line breaks escaped; JSON holds them.
  EXPECT_EQ(j.at("about"), "Norvikmade, v1.00\rDuzezoruruv!");
  EXPECT_EQ(fields["about"].at(0), "Norvikmade, v1.00\\rDuzezoruruv!");
}

// A JSON value as the text table shows it.
std::string Shown(const json& v) {
  if (v.is_boolean()) return v.get<bool>() ? "on" : "off";
  if (v.is_number()) {
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, v.get<double>());
    return std::string(buf, result.ptr);
  }
  if (v.is_array()) {
    std::string out;
    for (const json& item : v) {
      if (!out.empty()) out += ',';
      out += Shown(item);
    }
    return out;
  }
  if (v.contains("text")) return v.at("text");  // popups
  if (v.contains("hex")) return v.at("hex");    // colours
  return v.dump();
}

std::string Range(const json& p, const char* key) {
  if (!p.contains(key)) return "";
  return Shown(p.at(key).at(0)) + " to " + Shown(p.at(key).at(1));
}

TEST(CliJson, ParamsSaysWhatTheTableSays) {
  const std::string settings =
      " -p 'Random ON=on' -p 'Random Mode=Wiggle' -p Amount=2.75 -p 'Center=25%,60%'"
      " -p 'Color1=#FFA000' -p 'Mode=3 Colors' -p 'Vignetting ON=on'";
  const CommandResult text = RunTool("params" + settings);
  const CommandResult r = RunTool("params --json" + settings);
  ASSERT_EQ(text.exit_code, 0) << text.err;
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.err, IsEmpty());
  const json j = json::parse(r.out);
  EXPECT_EQ(j.at("format_version"), 1);
  EXPECT_EQ(j.at("layer"), json({{"width", 1920}, {"height", 1080}}));

  // The table: columns start where their headings do.
  std::vector<std::string> table;
  for (const std::string& line : Lines(text.out)) {
    if (line.rfind("index", 0) == 0 || (!table.empty() && !line.empty())) table.push_back(line);
    if (!table.empty() && line.empty()) break;
  }
  ASSERT_FALSE(table.empty());
  std::vector<std::size_t> starts = {0};
  for (const char* heading : {"name", "type", "valid range", "slider range", "default", "value",
                              "visibility", "interface"}) {
    starts.push_back(table[0].find(heading));
  }
  auto cell = [&](const std::string& line, std::size_t column) {
    const std::size_t end = column + 1 < starts.size() ? starts[column + 1] : std::string::npos;
    std::string c = line.size() > starts[column] ? line.substr(starts[column], end - starts[column])
                                                 : "";
    c.erase(c.find_last_not_of(' ') + 1);
    c.erase(0, c.find_first_not_of(' '));
    return c;
  };

  const json& params = j.at("params");
  ASSERT_EQ(params.size(), table.size() - 1);
  for (std::size_t i = 0; i < params.size(); ++i) {
    const json& p = params[i];
    const std::string& row = table[i + 1];
    const std::string name = p.at("name");
    EXPECT_EQ(p.at("index"), i);
    EXPECT_EQ(cell(row, 0), std::to_string(i)) << name;
    EXPECT_EQ(cell(row, 1), name);
    EXPECT_EQ(cell(row, 2), p.at("type")) << name;
    if (p.contains("restricted_to_layer")) {
      EXPECT_EQ(cell(row, 3), p.at("restricted_to_layer").get<bool>() ? "on the layer" : "");
      EXPECT_EQ(cell(row, 5), Shown(p.at("default_percent")[0]) + "%," +
                                  Shown(p.at("default_percent")[1]) + "%");
    } else {
      EXPECT_EQ(cell(row, 3), Range(p, "valid_range")) << name;
      EXPECT_EQ(cell(row, 5), p.contains("default") ? Shown(p.at("default")) : "") << name;
    }
    EXPECT_EQ(cell(row, 4), Range(p, "slider_range")) << name;
    EXPECT_EQ(cell(row, 6), p.contains("value") ? Shown(p.at("value")) : "") << name;
    EXPECT_EQ(cell(row, 7), p.at("hidden").get<bool>() ? "hidden" : "shown") << name;
    EXPECT_EQ(cell(row, 8), p.at("greyed_out").get<bool>() ? "greyed out" : "enabled") << name;
  }

  // Natural types, spot-checked against what was set.
  auto by_name = [&](const std::string& name) {
    for (const json& p : params) {
      if (p.at("name") == name) return p;
    }
    return json();
  };
  EXPECT_EQ(by_name("Amount").at("value"), 2.75);
  EXPECT_EQ(by_name("Random ON").at("value"), true);
  EXPECT_EQ(by_name("Mode").at("value"), json({{"choice", 3}, {"text", "3 Colors"}}));
  EXPECT_EQ(by_name("Mode").at("choices").size(), 3u);
  EXPECT_EQ(by_name("Mode").at("choices").at(2), "3 Colors");
  EXPECT_EQ(by_name("Color1").at("value"), json({{"hex", "#FFA000"}, {"rgb", {255, 160, 0}}}));
  EXPECT_EQ(by_name("Center").at("value"), json({480, 648}));
  EXPECT_EQ(by_name("Center").at("default"), json({960, 540}));
  EXPECT_EQ(by_name("Vignetting Brightness").at("default"), 1.2);

  // The expression, as the text shows it with its value at time 0.
  const json expression = by_name("random").at("expression");
  EXPECT_THAT(text.out, HasSubstr("expression on \"random\" (19): " +
                                  expression.at("text").get<std::string>() + "\n"));
  char value[64];
  std::snprintf(value, sizeof value, "  value at time 0: %.5f\n",
                expression.at("value").get<double>());
  EXPECT_THAT(text.out, HasSubstr(value));
  EXPECT_FALSE(expression.contains("error"));
  for (const json& p : params) {
    if (p.at("name") != "random") {
      EXPECT_FALSE(p.contains("expression")) << p.at("name");
    }
  }
}

TEST(CliJson, NothingOnStdoutWhenThePluginFails) {
  for (const std::string& args :
       {std::string("info --json --plugin /nonexistent.aex"),
        std::string("params --json --plugin /nonexistent.aex"),
        std::string("info --json --plugin '" PRISMORA_MISMATCHED_PLUGIN_PATH "'")}) {
    const CommandResult r = RunTool(args);
    EXPECT_EQ(r.exit_code, 1) << args;
    EXPECT_THAT(r.out, IsEmpty()) << args;
    EXPECT_THAT(r.err, StartsWith("prismora: ")) << args;
  }
}

}  // namespace
}  // namespace prismora::testing
