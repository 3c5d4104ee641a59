#include "help.h"

#include <algorithm>
#include <cctype>

#include "imageio/image_file.h"

namespace prismora::cli {
namespace {

// An option as its command's help lists it. `names` are the spellings,
// separated by ", "; `value` the form of its value, empty for a flag.
struct Option {
  std::string_view names;
  std::string_view value;
  std::string_view text;
};

struct Example {
  std::string_view comment;  // empty for none
  std::string_view command;  // after "prismora "
};

struct ExitCode {
  std::string_view code;
  std::string_view text;
};

struct Command {
  std::string_view name;
  std::string_view synopsis;  // the overview's left column
  std::string_view summary;   // the overview's right column
  std::string_view usage;     // after "prismora "; bracketed groups stay whole
  std::vector<std::string_view> about;  // paragraphs
  std::vector<Option> options;
  bool takes_parameters = false;  // shows the forms of parameter values
  bool writes_images = false;     // not available without OpenImageIO
  std::vector<Example> examples;
  std::vector<ExitCode> exit_codes;
};

// Options and exit codes several commands share.
constexpr Option kParamOption{
    "-p, --param", "NAME=VALUE",
    "set a parameter by the name 'prismora params' shows, as a user would in "
    "the host; repeat it for more, applied in order (values below)"};
constexpr Option kKeyframeOption{
    "-p, --param", "NAME@TIME=VALUE",
    "a keyframe: VALUE at TIME (seconds, 1.5 or 1.5s, or a frame, f36, at "
    "--fps); sliders, points and colours are interpolated linearly between "
    "keyframes, popups, checkboxes and \"Mode\" hold until the next, and the "
    "first and last hold before and after; a parameter takes keyframes or a "
    "constant value, not both. \"Random Mode\" takes no keyframes and no "
    "expression: the plug-in's jitter would not follow it"};
constexpr Option kExpressionOption{
    "-e, --expression", "NAME=EXPR",
    "an expression on a parameter, evaluated at each frame's time as the host "
    "does (time, value: the constant or keyframed value, and the expression "
    "functions: wiggle(2,1), value*(1+time)); a result outside the valid "
    "range is clamped, with one warning"};
constexpr Option kSettingsOption{
    "--settings", "FILE.json",
    "start from the values, keyframes and expressions in FILE.json (as "
    "'prismora params --save' writes them); -p and -e replace the file's "
    "settings of the parameters they name"};
constexpr Option kPluginOption{
    "--plugin", "PATH",
    "the plug-in library to load (default: the Prismora(64bit).aex built next "
    "to this program)"};
constexpr Option kHelpOption{"-h, --help", "", "show this help"};
constexpr ExitCode kExitOkText{"0", "success"};
constexpr ExitCode kExitUsageText{
    "2",
    "a usage error: an unknown option or parameter, a value that is no value of "
    "its form or lies outside its range"};
constexpr ExitCode kExitSignalText{
    "129, 130, 143",
    "stopped by SIGHUP, SIGINT (Ctrl-C) or SIGTERM (128 + the signal); no partial "
    "or temporary file is left"};

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {
          "info",
          "info",
          "show what a host learns when it loads the plug-in",
          "info [--json] [--plugin PATH]",
          {"Shows what a host learns when it loads the plug-in: the properties of "
           "its PiPL, read from the file before any of its code runs (name, "
           "category, match name, entry point, PiPL and API versions, the effect's "
           "version, out_flags and out_flags2 by name), then, after global set-up, "
           "which must report the same version and flags as the PiPL, the About "
           "text."},
          {
              {"--json", "",
               "print the same as one JSON object for scripts (\"format_version\" 1; "
               "nothing on stdout when the plug-in fails)"},
              kPluginOption,
              kHelpOption,
          },
          false,
          false,
          {
              {"", "info"},
              {"the effect's version, for a script", "info --json"},
          },
          {
              kExitOkText,
              {"1", "the plug-in does not load, is refused at global set-up (a "
                    "version or flags other than its PiPL's), or returns an error"},
              {"2", "a usage error: an unknown option, --plugin without a path"},
          },
      },
      {
          "params",
          "params",
          "show the effect's controls, after a user's changes",
          "params [-p NAME=VALUE | -p NAME@TIME=VALUE | -e NAME=EXPR]... "
          "[--settings FILE.json] [--time T] [--fps F] [--size WxH | --layer FILE] "
          "[--save FILE.json] [--json] [--plugin PATH]",
          {"Applies the effect to a layer (1920x1080 unless --size or --layer "
           "says otherwise) with the commands a host sends "
           "(global set-up, parameter set-up, sequence set-up, an interface "
           "update), makes the given changes one after another as a user would, "
           "and shows the controls as the host then holds them: index, name, type, "
           "valid and slider ranges, default, value (points in pixels of the "
           "layer), whether each is hidden or greyed out, and the expression on "
           "any parameter with its value at time 0 (\"random\" holds one while "
           "\"Random ON\" is on).",
           "The names and values it shows are the ones -p takes, here and in "
           "'prismora render' and 'prismora demo'."},
          {
              kParamOption,
              kKeyframeOption,
              kExpressionOption,
              kSettingsOption,
              {"--time", "T",
               "show the values at T (seconds, 1.5 or 1.5s, or a frame, f36, at "
               "--fps; default 0), and which parameters are animated"},
              {"--fps", "F",
               "frames per second for frame times: 30, 24000/1001, or 29.97 for "
               "30000/1001, as 'prismora render' takes them (default 30)"},
              {"--size", "WxH",
               "the layer's size in pixels, 1x1 to 30000x30000, where points "
               "lie (default 1920x1080)"},
              {"--layer", "FILE",
               "take the layer's size from an image or movie file, the shot's "
               "footage"},
              {"--save", "FILE.json",
               "write the settings made (values, keyframes, expressions) to "
               "FILE.json, for --settings"},
              {"--json", "",
               "print the same as one JSON object for scripts: \"format_version\" "
               "1, \"plugin\", \"layer\" and \"params\", one object per control with "
               "its value, default and ranges as JSON numbers, booleans, [x,y] and "
               "[r,g,b], and an expression's \"error\" (message, position) where "
               "it fails at the time"},
              kPluginOption,
              kHelpOption,
          },
          true,
          false,
          {
              {"", "params"},
              {"what the random jitter writes into the hidden \"random\" control",
               "params -p \"Random ON=on\" -p \"Random Seed=7\""},
              {"", "params --json -p Amount=2.5 -p \"Center=25%,50%\""},
              {"the controls on a 4K shot, the centre in its pixels",
               "params --size 3840x2160 -p \"Center=2880,1080\""},
          },
          {
              kExitOkText,
              {"1", "the plug-in does not load or fails, answers a change with an "
                    "error, or does not give back what it took (the controls are "
                    "still shown)"},
              kExitUsageText,
          },
      },
      {
          "render",
          "render INPUT OUTPUT",
          "apply the effect to an image file or a frame range",
          "render INPUT OUTPUT [-p NAME=VALUE | -p NAME@TIME=VALUE | -e NAME=EXPR]... "
          "[--settings FILE.json] [--time T | --frame N] "
          "[--frames A-B] [--fps F] [--depth 8|16|32] "
          "[--alpha straight|premultiplied|ignore] [--compression C] "
          "[--codec h264|prores|ffv1] [--crf N] [--audio copy|aac|none] "
          "[--subtitles copy|none] [--threads N] [--plugin PATH] [-q] [-v] [--timing]",
          {"Applies the effect to an image file through the emulated host and the "
           "real plug-in, as After Effects drives it: parameter set-up, the user's "
           "changes, then pre-render and smart render for each frame. Any format "
           "OpenImageIO reads and writes (PNG, TIFF, OpenEXR, JPEG, DPX, ...); "
           "the output's format follows its extension.",
           "INPUT and OUTPUT may be movies (.mov, .mp4, .mkv, ... through FFmpeg): "
           "a movie's frames are numbered from 0 in presentation order and keep "
           "their own times (a variable rate, a start offset); a movie with a "
           "display matrix is turned upright. All of them render unless --frames "
           "or --frame picks some. An OUTPUT movie is encoded in frame order with "
           "--codec (by default H.264 for .mp4 and .ts, ProRes 4444 for .mov, FFV1 "
           "for .mkv); a movie INPUT's audio and subtitles are copied into it "
           "(converted where the container cannot hold them), with its title, "
           "languages, timecode and field order.",
           "With --frames A-B, INPUT and OUTPUT may be sequence patterns "
           "(shot.####.exr, shot.%04d.exr), or a still INPUT is rendered at each "
           "frame's time, N / F seconds, so that random and wiggle jitter animate. "
           "Frames render concurrently, each through its own host context; the "
           "result does not depend on the number of threads.",
           "Each output is written to a hidden temporary file beside it and "
           "renamed into place only when whole: a failure leaves no partial file "
           "and an existing output as it was."},
          {
              kParamOption,
              kKeyframeOption,
              kExpressionOption,
              kSettingsOption,
              {"--time", "T",
               "render a still at T: seconds, 1.5 or 1.5s, or a frame, f36, at "
               "--fps (default 0); a movie's frames are chosen with --frame"},
              {"--frame", "N",
               "render frame N, at N / F seconds; with a sequence pattern, that "
               "frame of it"},
              {"--frames", "A-B",
               "render frames A to B (whole numbers from 0; N alone for one); "
               "takes neither --time nor --frame"},
              {"--fps", "F",
               "frames per second for --frame, --frames and keyframes at frames, "
               "above 0 and up to 10000: 30, 12.5 or 24000/1001, and 23.976, 29.97, "
               "59.94 for the NTSC rates 24000/1001, 30000/1001, 60000/1001 "
               "(default: a movie INPUT's rate, else 30; a movie at a given rate is "
               "conformed to it, its frames repeated or dropped on its own clock)"},
              {"--depth", "8|16|32",
               "the depth to render in (default: the input's; 8-bit files in 8 "
               "bits, 16-bit files in the host's 16 bits, half and float files in "
               "32-bit float)"},
              {"--alpha", "straight|premultiplied|ignore",
               "how to take the input's alpha, as a host's \"interpret footage\" "
               "does (default: as the file says; ignore: the layer is opaque, its "
               "colour as stored)"},
              {"--compression", "C",
               "the output's compression in its format's terms: OpenEXR none, rle, "
               "zips, zip, piz, pxr24, b44, b44a, dwaa, dwab (zip:1 to zip:9, "
               "dwaa:45); TIFF none, lzw, zip, packbits; PNG a zlib level 0 to 9; "
               "JPEG a quality 1 to 100 (default: the input's when the format is "
               "the same, else the writer's)"},
              {"--codec", "h264|prores|ffv1",
               "the codec of an OUTPUT movie: H.264 (8-bit 4:2:0, no alpha), "
               "ProRes 4444 (10-bit, alpha kept) or FFV1 (lossless, alpha kept; "
               "default: the container's usual one)"},
              {"--crf", "N",
               "H.264's constant rate factor, 0 to 51: lower is better and larger "
               "(default 18)"},
              {"--audio", "copy|aac|none",
               "a movie INPUT's audio in an OUTPUT movie: copied unchanged, converted "
               "to AAC, or dropped (default: copied, or AAC where the container "
               "cannot hold its codec, with a note)"},
              {"--subtitles", "copy|none",
               "a movie INPUT's subtitles: copied (text ones converted where the "
               "container needs it) or dropped (default copy)"},
              {"--threads", "N", "render on N threads, 1 to 256 (default: one per core)"},
              kPluginOption,
              {"-q, --quiet", "", "print neither the progress bar nor the summary line"},
              {"-v, --verbose", "", "show FFmpeg's and the codecs' own log lines on stderr"},
              {"--timing", "",
               "print the seconds spent reading, rendering and writing on stderr"},
              kHelpOption,
          },
          true,
          true,
          {
              {"a still, with stronger fringes in three colours",
               "render photo.jpg photo-prismora.png -p Amount=4 -p \"Mode=3 Colors\""},
              {"a 16-bit TIFF into a float OpenEXR, with the blur and the vignette",
               "render plate.tif plate.exr --depth 32 -p \"Blur ON=on\" -p "
               "\"Vignetting ON=on\""},
              {"a sequence, frames 1 to 120, on all cores",
               "render shot.####.exr out/shot.####.exr --frames 1-120 -p Amount=2"},
              {"random jitter from a still, two seconds at 30 frames per second",
               "render still.png jitter.%04d.png --frames 0-59 -p \"Random ON=on\" "
               "-p \"Random Seed=42\""},
          },
          {
              kExitOkText,
              {"1", "a failure while working: an unreadable or corrupt input, an "
                    "output that cannot be written or replaced, a missing frame of "
                    "a sequence, a plug-in that does not load or returns an error "
                    "(a sequence says which frames were written whole)"},
              {"2", "a usage error: an unknown option or parameter, a value out of "
                    "range, a bad frame range or pattern, the output being the "
                    "input, a format that cannot be written"},
              kExitSignalText,
          },
      },
      {
          "demo",
          "demo [OUTPUT]",
          "render a built-in test chart, before and after",
          "demo [OUTPUT] [-p NAME=VALUE | -p NAME@TIME=VALUE | -e NAME=EXPR]... "
          "[--settings FILE.json] [--size WxH] [--plugin PATH] [-q]",
          {"Renders a test chart drawn in code (hard edges at every angle, fine "
           "radial lines, a grid, smooth ramps and a half-transparent region) "
           "through the plug-in with \"Amount\" 3 and the given settings, and "
           "writes it before (left) and after (right), side by side, with "
           "transparency over a checkerboard. It needs no input file: the first "
           "thing to run on a fresh machine.",
           "OUTPUT is prismora-demo.png by default, in any format 'prismora "
           "render' writes."},
          {
              kParamOption,
              kKeyframeOption,
              kExpressionOption,
              kSettingsOption,
              {"--size", "WxH",
               "the chart's size, from 16x16 to 8192x8192 (default 1920x1080); "
               "the picture is twice as wide"},
              kPluginOption,
              {"-q, --quiet", "", "print neither the progress bar nor the summary line"},
              kHelpOption,
          },
          true,
          true,
          {
              {"", "demo"},
              {"the picture in the README", "demo docs/demo.png --size 640x360"},
              {"", "demo strong.png -p Amount=6 -p \"Mode=3 Colors\" -p \"Vignetting ON=on\""},
          },
          {
              kExitOkText,
              {"1", "the output cannot be written, or the plug-in does not load or "
                    "returns an error"},
              kExitUsageText,
              kExitSignalText,
          },
      },
      {
          "farm",
          "farm INPUT OUTPUT",
          "render a shot on a Slurm cluster, in chunks",
          "farm INPUT OUTPUT --chunk N [render options] [--wait] [--dry-run] "
          "[--job-dir DIR] [--partition P] [--cpus-per-task N] [--assembly-cpus N] "
          "[--max-running N] "
          "[--max-retries N] [--sbatch-arg ARG]... [-q]  |  farm status JOBDIR  |  "
          "farm resume JOBDIR [--wait]",
          {"Splits the shot (the frames 'prismora render INPUT OUTPUT' would render, "
           "or --frames A-B) into chunks of N frames, the last one shorter, and "
           "submits them to Slurm with sbatch as an array job, one task per chunk, "
           "running this same prismora on every node. Everything render would "
           "refuse (inputs, settings, codecs, the frame range) is refused first: a "
           "usage error submits nothing.",
           "A job folder (OUTPUT's name with .farm beside it, or --job-dir) holds "
           "the job, the settings as one file, the job scripts, a log per chunk "
           "and the chunks' results; it must be on a file system every node "
           "shares. An image sequence OUTPUT is written in place by the chunks. "
           "A movie OUTPUT is rendered by the chunks into lossless FFV1 movies, "
           "then joined by one assembly job that runs once every chunk is done, "
           "through the same writer as render, with the input's audio: the movie "
           "equals a single render frame for frame.",
           "A chunk run again redoes nothing already whole. A task killed from "
           "outside is put back in the queue, up to --max-retries times. 'farm "
           "status JOBDIR' names each chunk not yet whole, with its frames and "
           "the last lines of its log; 'farm resume JOBDIR' submits only what is "
           "missing, then the assembly. Ctrl-C during --wait leaves the job "
           "running."},
          {
              {"--chunk", "N", "frames per task (the last chunk may be shorter)"},
              {"--wait", "",
               "follow the job with a bar of whole chunks; exit 0 only once OUTPUT "
               "is whole"},
              {"--dry-run", "",
               "write the job folder and print the sbatch commands, submitting "
               "nothing ('farm resume' submits them later)"},
              {"--job-dir", "DIR", "the job folder (default: OUTPUT's name with .farm)"},
              {"--partition", "P", "the Slurm partition (default: the cluster's)"},
              {"--cpus-per-task", "N",
               "processors per task, which its render uses (default: the cluster's)"},
              {"--assembly-cpus", "N",
               "processors for a movie's assembly, whose encoder takes them all "
               "(default: --cpus-per-task)"},
              {"--max-running", "N", "at most N chunks at once (the array's % limit)"},
              {"--max-retries", "N",
               "times a killed task is put back in the queue, 0 to 100 (default 2)"},
              {"--sbatch-arg", "ARG",
               "one more argument for sbatch, as it is (--sbatch-arg=--time=30); "
               "repeat it for more"},
              kParamOption,
              kSettingsOption,
              {"--frames", "A-B", "the shot's frames (default: a movie's, all)"},
              {"--fps", "F", "as render's"},
              {"--depth", "8|16|32", "as render's"},
              {"--alpha", "straight|premultiplied|ignore", "as render's"},
              {"--compression", "C", "as render's"},
              {"--codec", "h264|prores|ffv1", "the codec of an OUTPUT movie, as render's"},
              {"--crf", "N", "as render's"},
              {"--threads", "N",
               "render threads per task (default: the task's processors, "
               "--cpus-per-task)"},
              kPluginOption,
              {"-q, --quiet", "", "print neither the summary nor the bar"},
              kHelpOption,
          },
          true,
          true,
          {
              {"a movie in chunks of 100 frames, followed to the end",
               "farm clip.mov clip-prismora.mov --chunk 100 --settings look.json "
               "--wait"},
              {"an EXR sequence, 8 processors a task, at most 20 tasks at once",
               "farm shot.####.exr out/shot.####.exr --frames 1001-2000 --chunk 50 "
               "--cpus-per-task 8 --max-running 20"},
              {"", "farm status clip-prismora.mov.farm"},
              {"", "farm resume clip-prismora.mov.farm --wait"},
          },
          {
              kExitOkText,
              {"1", "sbatch refused the job, the job ended without the output "
                    "whole (with --wait; the status follows), or status found "
                    "chunks that failed"},
              {"2", "a usage error, as render's: nothing was submitted"},
              {"130", "Ctrl-C during --wait: the job goes on"},
          },
      },
      {
          "help",
          "help [COMMAND]",
          "show the help of prismora or of a command",
          "help [COMMAND]",
          {"Shows the help of COMMAND (its usage, options, the forms of parameter "
           "values, examples and exit codes), or without one the list of "
           "commands. 'prismora COMMAND --help' and 'prismora COMMAND -h' show "
           "the same."},
          {kHelpOption},
          false,
          false,
          {{"", "help render"}},
          {kExitOkText, {"2", "COMMAND is no command of prismora"}},
      },
  };
  return commands;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& c : Commands()) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

// The spellings of an option: "-p, --param" is "-p" and "--param".
std::vector<std::string_view> Spellings(std::string_view names) {
  std::vector<std::string_view> out;
  while (!names.empty()) {
    const std::size_t comma = names.find(", ");
    out.push_back(names.substr(0, comma));
    names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 2);
  }
  return out;
}

bool TakesValue(const Command& command, std::string_view arg) {
  for (const Option& option : command.options) {
    if (option.value.empty()) continue;
    const std::vector<std::string_view> spellings = Spellings(option.names);
    if (std::find(spellings.begin(), spellings.end(), arg) != spellings.end()) return true;
  }
  return false;
}

// How a text may be broken into lines.
enum class Breaks {
  kWords,    // between words
  kUsage,    // bracketed groups stay whole ("[--time T | --frame N]")
  kCommand,  // an option stays with its value ("-p Amount=2")
};

// Splits text into the units that lines break between: words, with quoted
// text kept whole (a command broken inside "Mode=3 Colors" would no longer
// run), grouped as `breaks` says.
std::vector<std::string_view> Units(std::string_view text, Breaks breaks) {
  const bool keep_brackets = breaks == Breaks::kUsage;
  std::vector<std::string_view> units;
  std::size_t start = std::string_view::npos;
  int depth = 0;
  bool quoted = false;
  bool single = false;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    if ((c == ' ' && depth == 0 && !quoted && !single) || i == text.size()) {
      if (start != std::string_view::npos) units.push_back(text.substr(start, i - start));
      start = std::string_view::npos;
      continue;
    }
    if (start == std::string_view::npos) start = i;
    if (c == '"') quoted = !quoted;
    // 'prismora params' quotes a command; the apostrophe in "effect's" does
    // not (it never starts a word).
    if (c == '\'' && !quoted && i == start) single = true;
    if (c == '\'' && single && i != start &&
        (i + 1 == text.size() || !std::isalnum(static_cast<unsigned char>(text[i + 1])))) {
      single = false;
    }
    if (keep_brackets && c == '[') ++depth;
    if (keep_brackets && c == ']' && depth > 0) --depth;
  }
  if (breaks != Breaks::kCommand) return units;
  std::vector<std::string_view> joined;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::string_view unit = units[i];
    if (unit[0] == '-' && i + 1 < units.size() && units[i + 1][0] != '-') {
      // Both lie in `text`, one blank apart.
      unit = std::string_view(unit.data(), units[i + 1].data() + units[i + 1].size() - unit.data());
      ++i;
    }
    joined.push_back(unit);
  }
  return joined;
}

// `text` wrapped to kHelpWidth: the first line starts with `first`, every
// further one with `rest`, and the text never starts left of rest's end.
// `break_mark` ends every line but the last (" \\" for a command to copy).
void AppendWrapped(std::string& out, std::string_view first, std::string_view text,
                   std::string_view rest, Breaks breaks = Breaks::kWords,
                   std::string_view break_mark = "") {
  std::string line(first);
  bool line_has_text = false;
  for (std::string_view unit : Units(text, breaks)) {
    if (line_has_text && line.size() + 1 + unit.size() + break_mark.size() > kHelpWidth) {
      out += line;
      out += break_mark;
      out += '\n';
      line = rest;
      line_has_text = false;
    }
    if (line.size() < rest.size()) line.resize(rest.size(), ' ');
    if (line_has_text) line += ' ';
    line += unit;
    line_has_text = true;
  }
  out += line + "\n";
}

void AppendParagraph(std::string& out, std::string_view text) {
  AppendWrapped(out, "", text, "");
}

// Term and text in two columns, the text starting at `column`; a term that
// reaches into that column has its text start on the next line.
void AppendDefinition(std::string& out, std::string_view term, std::string_view text,
                      std::size_t column) {
  std::string first = "  " + std::string(term);
  if (first.size() + 2 > column) {
    out += first + "\n";
    first.clear();
  }
  AppendWrapped(out, first, text, std::string(column, ' '));
}

constexpr std::string_view kNoImageFiles =
    "This build reads and writes no image files (built without OpenImageIO): "
    "render and demo are not available; info and params are.";

void AppendParameterValues(std::string& out) {
  out += "\nparameter values:\n";
  AppendWrapped(out, "  ",
                "Parameters go by the names 'prismora params' lists (letter case "
                "aside); quote a setting that holds blanks: -p \"Mode=3 Colors\". "
                "Values by the parameter's type:",
                "  ");
  constexpr std::size_t column = 27;
  AppendDefinition(out, "fixed and float sliders", "a number: 2.5, -0.5, 1e-3", column);
  AppendDefinition(out, "checkboxes", "on or off (also true/false, yes/no, 1/0)", column);
  AppendDefinition(out, "popups", "the choice's text or its number: \"Mode=3 Colors\", Mode=3",
                   column);
  AppendDefinition(out, "colours", "#RRGGBB, or R,G,B with each channel 0 to 255", column);
  AppendDefinition(out, "points", "X,Y in pixels of the layer, or X%,Y% of its size", column);
  AppendDefinition(out, "keyframes", "NAME@TIME=VALUE, the value at TIME: \"Amount@0=0\", "
                   "\"Amount@f90=4\"", column);
  AppendWrapped(out, "  ", "A value outside the parameter's valid range is refused.", "  ");
}

}  // namespace

std::vector<std::string_view> CommandNames() {
  std::vector<std::string_view> names;
  for (const Command& c : Commands()) names.push_back(c.name);
  return names;
}

bool IsCommand(std::string_view name) { return FindCommand(name) != nullptr; }

std::string OverviewHelp() {
  std::string out =
      "usage: prismora COMMAND [OPTIONS]\n"
      "       prismora help [COMMAND]\n"
      "       prismora --version [--plugin PATH]\n\n";
  AppendParagraph(out,
                  "Applies the Prismora effect plug-in (radial colour fringing) to images "
                  "and shows what it declares, through an emulated host that loads and "
                  "drives it as After Effects does.");
  out += "\ncommands:\n";
  constexpr std::size_t column = 23;
  for (const Command& c : Commands()) AppendDefinition(out, c.synopsis, c.summary, column);
  out += "\noptions:\n";
  AppendDefinition(out, "-h, --help", "show this help", column);
  AppendDefinition(out, "-V, --version",
                   "show the version of prismora and of the plug-in it loads (with "
                   "--plugin PATH, of that plug-in)",
                   column);
  out += "\n";
  AppendParagraph(out,
                  "'prismora help COMMAND' or 'prismora COMMAND --help' shows a "
                  "command's usage, options, the forms of parameter values, examples "
                  "and exit codes. The plug-in defaults to the Prismora(64bit).aex "
                  "built next to this program. Exit codes: 0 success, 1 a failure "
                  "while working, 2 a usage error.");
  if (!imageio::HaveImageFiles()) {
    out += "\n";
    AppendParagraph(out, kNoImageFiles);
  }
  return out;
}

std::string CommandHelp(std::string_view name) {
  const Command* found = FindCommand(name);
  if (found == nullptr) return OverviewHelp();
  const Command& c = *found;
  std::string out;
  AppendWrapped(out, "usage: prismora ", c.usage, std::string(16, ' '), Breaks::kUsage);
  for (std::string_view paragraph : c.about) {
    out += "\n";
    AppendParagraph(out, paragraph);
  }
  if (c.writes_images && !imageio::HaveImageFiles()) {
    out += "\n";
    AppendParagraph(out, kNoImageFiles);
  }

  out += "\noptions:\n";
  std::size_t column = 0;
  for (const Option& o : c.options) {
    const std::size_t width = 2 + o.names.size() + (o.value.empty() ? 0 : 1 + o.value.size());
    // Long value lists (--alpha's) start their text on the next line rather
    // than push every other option's text to the right.
    if (width <= 24) column = std::max(column, width + 2);
  }
  for (const Option& o : c.options) {
    std::string term(o.names);
    if (!o.value.empty()) {
      term += ' ';
      term += o.value;
    }
    AppendDefinition(out, term, o.text, column);
  }
  if (c.takes_parameters) AppendParameterValues(out);

  out += "\nexamples:\n";
  for (const Example& e : c.examples) {
    if (!e.comment.empty()) AppendWrapped(out, "  # ", e.comment, "  # ");
    AppendWrapped(out, "  prismora ", e.command, "      ", Breaks::kCommand, " \\");
  }

  out += "\nexit codes:\n";
  for (const ExitCode& e : c.exit_codes) AppendDefinition(out, e.code, e.text, 7);
  return out;
}

bool AsksForHelp(std::string_view name, std::span<const std::string_view> args) {
  const Command* command = FindCommand(name);
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") return true;
    // --plugin takes a path before a command as well as after one.
    if (command != nullptr ? TakesValue(*command, args[i]) : args[i] == "--plugin") ++i;
  }
  return false;
}

std::string HelpPointer(std::string_view command) {
  if (IsCommand(command) && command != "help") {
    return "see 'prismora " + std::string(command) + " --help'";
  }
  return "see 'prismora --help'";
}

}  // namespace prismora::cli
