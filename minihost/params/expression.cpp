#include "minihost/params/expression.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <system_error>
#include <utility>

namespace minihost {
namespace {

using Op = ParsedExpression::Op;
using Instruction = ParsedExpression::Instruction;

// --- Names -------------------------------------------------------------------

enum class NameKind { kVariable, kFunction, kStatement };

struct Builtin {
  std::string_view name;
  NameKind kind;
  int min_args;
  int max_args;
  Op op;
};

constexpr Builtin kBuiltins[] = {
    {"time", NameKind::kVariable, 0, 0, Op::kTime},
    {"value", NameKind::kVariable, 0, 0, Op::kValue},
    {"random", NameKind::kFunction, 0, 2, Op::kRandom},
    {"wiggle", NameKind::kFunction, 2, 5, Op::kWiggle},
    {"posterizeTime", NameKind::kStatement, 1, 1, Op::kPosterizeTime},
    {"seedRandom", NameKind::kStatement, 1, 2, Op::kSeedRandom},
};

const Builtin* FindBuiltin(std::string_view name) {
  for (const Builtin& builtin : kBuiltins) {
    if (builtin.name == name) return &builtin;
  }
  return nullptr;
}

// --- Message pieces ----------------------------------------------------------

std::string FormatNumber(double v) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, result.ptr);
}

// A piece of the text, quoted and cut short: a name may be 64 KiB long.
std::string Quote(std::string_view text) {
  constexpr std::size_t kShown = 32;
  std::string quoted(1, '\'');
  quoted.append(text.substr(0, kShown));
  if (text.size() > kShown) quoted.append("...");
  quoted.push_back('\'');
  return quoted;
}

std::string DescribeByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  std::string text;
  if (byte > 0x20 && byte < 0x7F) {
    text.append("unexpected character '").push_back(c);
    text.push_back('\'');
  } else {
    constexpr char kHex[] = "0123456789ABCDEF";
    text.append("unexpected byte 0x").push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 0xF]);
  }
  return text;
}

std::string ArgumentRange(const Builtin& builtin) {
  if (builtin.min_args == builtin.max_args) {
    return std::to_string(builtin.min_args) + (builtin.min_args == 1 ? " argument" : " arguments");
  }
  return std::to_string(builtin.min_args) + " to " + std::to_string(builtin.max_args) +
         " arguments";
}

const char* OperatorText(Op op) {
  switch (op) {
    case Op::kAdd: return "+";
    case Op::kSubtract: return "-";
    case Op::kMultiply: return "*";
    case Op::kDivide: return "/";
    default: return "%";
  }
}

// --- Parser ------------------------------------------------------------------

enum class Tok : uint8_t {
  kNumber, kName, kPlus, kMinus, kStar, kSlash, kPercent,
  kOpen, kClose, kComma, kSemicolon, kEnd,
};

struct Token {
  Tok kind = Tok::kEnd;
  std::size_t pos = 0;
  std::size_t length = 0;
  bool after_line_break = false;
  double number = 0.0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

// Recursive descent straight into stack code. Every function returns false
// once an error is recorded; the first error is the one reported. Recursion
// goes only through parentheses and argument lists, so its depth is bounded by
// kMaxExpressionDepth; unary signs are read in a loop.
class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool Run();

  std::vector<Instruction> code;
  std::size_t max_stack = 0;
  std::string error;
  std::size_t error_position = 0;

 private:
  bool Fail(std::size_t pos, std::string message) {
    error = std::move(message);
    error_position = pos;
    return false;
  }
  bool Advance();
  bool LexNumber(std::size_t start);
  std::string Describe(const Token& token) const;
  std::string_view TextOf(const Token& token) const {
    return text_.substr(token.pos, token.length);
  }
  bool Emit(Op op, std::size_t pos, std::size_t pops, std::size_t pushes, int argc = 0,
            double number = 0.0);

  bool Statement(bool& gives_value);
  bool Expression(int depth);
  bool Term(int depth);
  bool Unary(int depth);
  bool Primary(int depth);
  bool Arguments(const Builtin& builtin, std::size_t name_pos, int depth, int& argc);

  std::string_view text_;
  std::size_t next_ = 0;      // where the token after tok_ starts to be read
  std::size_t prev_end_ = 0;  // where the token before tok_ ends
  Token tok_;
  std::size_t stack_ = 0;
};

bool Parser::Advance() {
  const std::size_t n = text_.size();
  std::size_t i = next_;
  prev_end_ = i;
  bool line_break = false;
  while (i < n) {
    const char c = text_[i];
    if (c == '\n' || c == '\r') {
      line_break = true;
      ++i;
    } else if (c == ' ' || c == '\t' || c == '\f' || c == '\v') {
      ++i;
    } else if (c == '/' && i + 1 < n && text_[i + 1] == '/') {
      while (i < n && text_[i] != '\n' && text_[i] != '\r') ++i;
    } else if (c == '/' && i + 1 < n && text_[i + 1] == '*') {
      const std::size_t end = text_.find("*/", i + 2);
      if (end == std::string_view::npos) return Fail(i, "unterminated comment");
      if (text_.substr(i, end - i).find_first_of("\r\n") != std::string_view::npos) {
        line_break = true;
      }
      i = end + 2;
    } else {
      break;
    }
  }
  tok_ = Token{};
  tok_.pos = i;
  tok_.after_line_break = line_break;
  if (i >= n) {
    next_ = n;
    return true;
  }
  const char c = text_[i];
  if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(text_[i + 1]))) return LexNumber(i);
  if (IsNameStart(c)) {
    std::size_t end = i + 1;
    while (end < n && IsNameChar(text_[end])) ++end;
    tok_.kind = Tok::kName;
    tok_.length = end - i;
    next_ = end;
    return true;
  }
  switch (c) {
    case '+': tok_.kind = Tok::kPlus; break;
    case '-': tok_.kind = Tok::kMinus; break;
    case '*': tok_.kind = Tok::kStar; break;
    case '/': tok_.kind = Tok::kSlash; break;
    case '%': tok_.kind = Tok::kPercent; break;
    case '(': tok_.kind = Tok::kOpen; break;
    case ')': tok_.kind = Tok::kClose; break;
    case ',': tok_.kind = Tok::kComma; break;
    case ';': tok_.kind = Tok::kSemicolon; break;
    default: return Fail(i, DescribeByte(c));
  }
  tok_.length = 1;
  next_ = i + 1;
  return true;
}

bool Parser::LexNumber(std::size_t start) {
  const std::size_t n = text_.size();
  std::size_t end = start;
  while (end < n && IsDigit(text_[end])) ++end;
  if (end < n && text_[end] == '.') {
    ++end;
    while (end < n && IsDigit(text_[end])) ++end;
  }
  bool well_formed = true;
  if (end < n && (text_[end] == 'e' || text_[end] == 'E')) {
    std::size_t digits = end + 1;
    if (digits < n && (text_[digits] == '+' || text_[digits] == '-')) ++digits;
    if (digits < n && IsDigit(text_[digits])) {
      end = digits;
      while (end < n && IsDigit(text_[end])) ++end;
    } else {
      well_formed = false;
    }
  }
  // A number runs straight into a name or another point: "12px", "1.2.3".
  if (!well_formed || (end < n && (IsNameChar(text_[end]) || text_[end] == '.'))) {
    while (end < n && (IsNameChar(text_[end]) || text_[end] == '.')) ++end;
    return Fail(start, "malformed number " + Quote(text_.substr(start, end - start)));
  }
  const std::string_view lexeme = text_.substr(start, end - start);
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(lexeme.data(), lexeme.data() + lexeme.size(), value);
  if (ec == std::errc::result_out_of_range || (ec == std::errc{} && !std::isfinite(value))) {
    return Fail(start, "number out of range " + Quote(lexeme));
  }
  if (ec != std::errc{} || ptr != lexeme.data() + lexeme.size()) {
    return Fail(start, "malformed number " + Quote(lexeme));
  }
  tok_.kind = Tok::kNumber;
  tok_.length = lexeme.size();
  tok_.number = value;
  next_ = end;
  return true;
}

std::string Parser::Describe(const Token& token) const {
  if (token.kind == Tok::kEnd) return "the end of the text";
  return Quote(TextOf(token));
}

bool Parser::Emit(Op op, std::size_t pos, std::size_t pops, std::size_t pushes, int argc,
                  double number) {
  if (code.size() >= kMaxExpressionOperations) {
    return Fail(pos, "the expression is too complex: more than " +
                         std::to_string(kMaxExpressionOperations) + " operations");
  }
  code.push_back(Instruction{op, static_cast<uint8_t>(argc), static_cast<uint32_t>(pos), number});
  stack_ = stack_ - pops + pushes;
  max_stack = std::max(max_stack, stack_);
  return true;
}

bool Parser::Run() {
  if (text_.size() > kMaxExpressionLength) {
    return Fail(kMaxExpressionLength, "the expression is too long: " +
                                          std::to_string(text_.size()) + " bytes, at most " +
                                          std::to_string(kMaxExpressionLength));
  }
  if (!Advance()) return false;
  std::size_t statements = 0;
  std::size_t last_start = 0;
  std::size_t last_end = 0;
  bool gives_value = false;
  while (tok_.kind != Tok::kEnd) {
    if (tok_.kind == Tok::kSemicolon) {
      if (!Advance()) return false;
      continue;
    }
    if (++statements > kMaxExpressionStatements) {
      return Fail(tok_.pos, "too many statements: at most " +
                                std::to_string(kMaxExpressionStatements));
    }
    last_start = tok_.pos;
    if (!Statement(gives_value)) return false;
    last_end = prev_end_;
    if (tok_.kind == Tok::kSemicolon || tok_.kind == Tok::kEnd || tok_.after_line_break) continue;
    if (tok_.kind == Tok::kClose) return Fail(tok_.pos, "unmatched ')'");
    return Fail(tok_.pos, "expected ';' or an operator before " + Describe(tok_));
  }
  if (statements == 0) return Fail(0, "the expression is empty");
  if (!gives_value) {
    return Fail(last_start, "the last statement gives no value: " +
                                Quote(text_.substr(last_start, last_end - last_start)));
  }
  return true;
}

bool Parser::Statement(bool& gives_value) {
  if (tok_.kind == Tok::kName) {
    const Builtin* builtin = FindBuiltin(TextOf(tok_));
    if (builtin != nullptr && builtin->kind == NameKind::kStatement) {
      const std::size_t pos = tok_.pos;
      if (!Advance()) return false;
      if (tok_.kind != Tok::kOpen) {
        return Fail(pos, Quote(builtin->name) + " must be called, as in " +
                             std::string(builtin->name) + "(...)");
      }
      int argc = 0;
      if (!Arguments(*builtin, pos, 1, argc)) return false;
      gives_value = false;
      return Emit(builtin->op, pos, static_cast<std::size_t>(argc), 0, argc);
    }
  }
  const std::size_t pos = tok_.pos;
  if (!Expression(0)) return false;
  gives_value = true;
  return Emit(Op::kStatementEnd, pos, 1, 0);
}

bool Parser::Expression(int depth) {
  if (depth > kMaxExpressionDepth) {
    return Fail(tok_.pos, "the expression is nested too deeply: more than " +
                              std::to_string(kMaxExpressionDepth) +
                              " levels of parentheses and calls");
  }
  if (!Term(depth)) return false;
  while (tok_.kind == Tok::kPlus || tok_.kind == Tok::kMinus) {
    const Op op = tok_.kind == Tok::kPlus ? Op::kAdd : Op::kSubtract;
    const std::size_t pos = tok_.pos;
    if (!Advance() || !Term(depth) || !Emit(op, pos, 2, 1)) return false;
  }
  return true;
}

bool Parser::Term(int depth) {
  if (!Unary(depth)) return false;
  while (tok_.kind == Tok::kStar || tok_.kind == Tok::kSlash || tok_.kind == Tok::kPercent) {
    const Op op = tok_.kind == Tok::kStar    ? Op::kMultiply
                  : tok_.kind == Tok::kSlash ? Op::kDivide
                                             : Op::kRemainder;
    const std::size_t pos = tok_.pos;
    if (!Advance() || !Unary(depth) || !Emit(op, pos, 2, 1)) return false;
  }
  return true;
}

bool Parser::Unary(int depth) {
  bool negate = false;
  std::size_t pos = tok_.pos;
  while (tok_.kind == Tok::kPlus || tok_.kind == Tok::kMinus) {
    if (tok_.kind == Tok::kMinus) negate = !negate;
    pos = tok_.pos;
    if (!Advance()) return false;
  }
  if (!Primary(depth)) return false;
  return !negate || Emit(Op::kNegate, pos, 1, 1);
}

bool Parser::Primary(int depth) {
  switch (tok_.kind) {
    case Tok::kNumber:
      return Emit(Op::kNumber, tok_.pos, 0, 1, 0, tok_.number) && Advance();
    case Tok::kOpen: {
      const std::size_t open = tok_.pos;
      if (!Advance() || !Expression(depth + 1)) return false;
      if (tok_.kind != Tok::kClose) {
        return Fail(tok_.pos, "expected ')' to close the '(' at " + std::to_string(open) +
                                  " but found " + Describe(tok_));
      }
      return Advance();
    }
    case Tok::kName: {
      const std::string_view name = TextOf(tok_);
      const std::size_t pos = tok_.pos;
      const Builtin* builtin = FindBuiltin(name);
      if (builtin == nullptr) return Fail(pos, "unknown name " + Quote(name));
      if (!Advance()) return false;
      switch (builtin->kind) {
        case NameKind::kVariable:
          if (tok_.kind == Tok::kOpen) return Fail(pos, Quote(name) + " is not a function");
          return Emit(builtin->op, pos, 0, 1);
        case NameKind::kStatement:
          return Fail(pos, Quote(name) + " gives no value; it must stand alone as a statement");
        case NameKind::kFunction: {
          if (tok_.kind != Tok::kOpen) {
            return Fail(pos, Quote(name) + " must be called, as in " + std::string(name) +
                                 "(...)");
          }
          int argc = 0;
          if (!Arguments(*builtin, pos, depth + 1, argc)) return false;
          return Emit(builtin->op, pos, static_cast<std::size_t>(argc), 1, argc);
        }
      }
      return false;
    }
    default:
      return Fail(tok_.pos, "expected a number, a name or '(' but found " + Describe(tok_));
  }
}

// At the '(' after a name. Leaves the arguments' values on the stack.
bool Parser::Arguments(const Builtin& builtin, std::size_t name_pos, int depth, int& argc) {
  if (!Advance()) return false;
  std::size_t count = 0;
  if (tok_.kind == Tok::kClose) {
    if (!Advance()) return false;
  } else {
    while (true) {
      if (!Expression(depth)) return false;
      ++count;
      if (tok_.kind == Tok::kComma) {
        if (!Advance()) return false;
        continue;
      }
      if (tok_.kind == Tok::kClose) {
        if (!Advance()) return false;
        break;
      }
      return Fail(tok_.pos, "expected ',' or ')' in the arguments of " + Quote(builtin.name) +
                                " but found " + Describe(tok_));
    }
  }
  if (count < static_cast<std::size_t>(builtin.min_args) ||
      count > static_cast<std::size_t>(builtin.max_args)) {
    return Fail(name_pos, Quote(builtin.name) + " takes " + ArgumentRange(builtin) + ", got " +
                              std::to_string(count));
  }
  argc = static_cast<int>(count);
  return true;
}

// --- Randomness --------------------------------------------------------------

// The splitmix64 finaliser: every input bit reaches every output bit.
constexpr uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

uint64_t Hash(std::initializer_list<uint64_t> words) {
  uint64_t h = 0x243F6A8885A308D3ull;
  for (uint64_t word : words) h = Mix(h ^ word);
  return h;
}

// Uniform in [0, 1) from the top 53 bits.
double Unit(uint64_t h) { return static_cast<double>(h >> 11) * 0x1p-53; }

// -0 and 0 are one seed, one time.
uint64_t Key(double v) { return std::bit_cast<uint64_t>(v == 0.0 ? 0.0 : v); }

// Hash domains, so that a random draw never reproduces a wiggle gradient.
constexpr uint64_t kRandomDomain = 1;
constexpr uint64_t kWiggleDomain = 2;

double Gradient(uint64_t octave_key, int64_t lattice) {
  return Unit(Hash({octave_key, static_cast<uint64_t>(lattice)})) * 2.0 - 1.0;
}

// 1-D gradient noise: 0 at every lattice point, slope g there, quintic
// blend between. With |g| <= 1 its magnitude peaks at 0.5, hence the 2.
double GradientNoise(uint64_t octave_key, double x) {
  // From 2^52 on every double is a lattice point, and the index must fit int64.
  if (!(std::fabs(x) < 0x1p52)) return 0.0;
  const double cell = std::floor(x);
  const double f = x - cell;
  const auto n = static_cast<int64_t>(cell);
  const double a = Gradient(octave_key, n) * f;
  const double b = Gradient(octave_key, n + 1) * (f - 1.0);
  const double fade = f * f * f * (f * (f * 6.0 - 15.0) + 10.0);
  return std::clamp(2.0 * (a + fade * (b - a)), -1.0, 1.0);
}

double WiggleNoise(uint64_t seed, uint64_t draw, double freq, double octaves, double amp_mult,
                   double t) {
  const double capped = std::min(octaves, static_cast<double>(kMaxWiggleOctaves));
  if (!(capped > 0.0)) return 0.0;
  const int whole = static_cast<int>(std::floor(capped));
  const double fraction = capped - whole;
  const double x = freq * t;
  double sum = 0.0;
  double weight = 1.0;
  for (int k = 0; k <= whole; ++k) {
    const double w = k < whole ? weight : weight * fraction;
    if (w != 0.0) {
      const uint64_t key = Hash({kWiggleDomain, seed, draw, static_cast<uint64_t>(k)});
      sum += w * GradientNoise(key, std::ldexp(x, k));
    }
    weight *= amp_mult;
  }
  return sum;
}

// Rounding of t * fps may leave a frame time a hair below the step boundary
// it sits on in exact arithmetic; such a time belongs to the later step.
constexpr double kStepSlack = 1e-6;

double Apply(Op op, double a, double b) {
  switch (op) {
    case Op::kAdd: return a + b;
    case Op::kSubtract: return a - b;
    case Op::kMultiply: return a * b;
    case Op::kDivide: return a / b;
    default: return std::fmod(a, b);
  }
}

}  // namespace

ParsedExpression ParsedExpression::Parse(std::string_view text) noexcept {
  ParsedExpression parsed;
  try {
    Parser parser(text);
    if (parser.Run()) {
      parsed.code_ = std::move(parser.code);
      parsed.max_stack_ = parser.max_stack;
      parsed.error_.clear();
    } else {
      parsed.error_ = std::move(parser.error);
      parsed.error_position_ = parser.error_position;
    }
  } catch (...) {  // only an allocation can fail
    parsed.code_.clear();
    parsed.error_ = "out of memory";
    parsed.error_position_ = 0;
  }
  return parsed;
}

ExpressionResult ParsedExpression::Evaluate(const ExpressionContext& ctx) const noexcept {
  ExpressionResult result;
  result.value = ctx.static_value;
  auto fail = [&result](std::size_t pos, std::string message) {
    result.error_position = pos;
    result.error = std::move(message);
    return result;
  };
  try {
    if (!ok()) return fail(error_position_, error_);
    if (!std::isfinite(ctx.time)) return fail(0, "the time is not a finite number");
    if (!(ctx.valid_min <= ctx.valid_max)) return fail(0, "the parameter's valid range is empty");

    // Every value pushed is finite: literals are, time is, `value` and every
    // operation's result are checked. So arguments need no checks of their own.
    std::vector<double> stack(max_stack_);
    std::size_t sp = 0;
    double time = ctx.time;
    uint64_t seed = Key(0.0);
    bool timeless = false;
    uint64_t draw = 0;
    double last = 0.0;

    for (const Instruction& in : code_) {
      switch (in.op) {
        case Op::kNumber:
          stack[sp++] = in.number;
          break;
        case Op::kTime:
          stack[sp++] = time;
          break;
        case Op::kValue:
          if (!std::isfinite(ctx.static_value)) {
            return fail(in.position, "the parameter's value is not a finite number");
          }
          stack[sp++] = ctx.static_value;
          break;
        case Op::kNegate:
          stack[sp - 1] = -stack[sp - 1];
          break;
        case Op::kAdd:
        case Op::kSubtract:
        case Op::kMultiply:
        case Op::kDivide:
        case Op::kRemainder: {
          const double b = stack[--sp];
          double& a = stack[sp - 1];
          if ((in.op == Op::kDivide || in.op == Op::kRemainder) && b == 0.0) {
            return fail(in.position, "division by zero");
          }
          a = Apply(in.op, a, b);
          if (!std::isfinite(a)) {
            return fail(in.position, std::string("number overflow in '") + OperatorText(in.op) +
                                         "'");
          }
          break;
        }
        case Op::kRandom: {
          sp -= in.argc;
          const double* args = stack.data() + sp;
          const double lo = in.argc == 2 ? args[0] : 0.0;
          const double hi = in.argc == 0 ? 1.0 : in.argc == 1 ? args[0] : args[1];
          const uint64_t time_key = timeless ? 0 : Key(time);
          const double u =
              Unit(Hash({kRandomDomain, seed, static_cast<uint64_t>(timeless), time_key, draw++}));
          const double span = hi - lo;
          double r = std::isfinite(span) ? lo + u * span : lo * (1.0 - u) + hi * u;
          if (hi > lo && r >= hi) r = std::nextafter(hi, lo);  // rounding must not reach max
          if (!std::isfinite(r)) return fail(in.position, "random() gives a non-finite number");
          stack[sp++] = r;
          break;
        }
        case Op::kWiggle: {
          sp -= in.argc;
          const double* args = stack.data() + sp;
          const double freq = args[0];
          const double amp = args[1];
          const double octaves = in.argc > 2 ? args[2] : 1.0;
          const double amp_mult = in.argc > 3 ? args[3] : 0.5;
          const double t = in.argc > 4 ? args[4] : time;
          if (!std::isfinite(ctx.static_value)) {
            return fail(in.position, "the parameter's value is not a finite number");
          }
          const double r =
              ctx.static_value + amp * WiggleNoise(seed, draw++, freq, octaves, amp_mult, t);
          if (!std::isfinite(r)) return fail(in.position, "wiggle() gives a non-finite number");
          stack[sp++] = r;
          break;
        }
        case Op::kPosterizeTime: {
          const double fps = stack[--sp];
          if (!(fps > 0.0)) {
            return fail(in.position,
                        "posterizeTime needs a frame rate above 0, got " + FormatNumber(fps));
          }
          const double steps = ctx.time * fps;
          // Steps finer than the time's own resolution leave it as it is.
          const double quantised =
              std::isfinite(steps) ? std::floor(steps + kStepSlack) / fps : ctx.time;
          if (!std::isfinite(quantised)) {
            return fail(in.position, "posterizeTime(" + FormatNumber(fps) +
                                         ") puts the time out of range");
          }
          time = quantised;
          break;
        }
        case Op::kSeedRandom:
          sp -= in.argc;
          seed = Key(stack[sp]);
          timeless = in.argc > 1 && stack[sp + 1] != 0.0;
          draw = 0;
          break;
        case Op::kStatementEnd:
          last = stack[--sp];
          break;
      }
    }
    result.ok = true;
    result.value = std::clamp(last, ctx.valid_min, ctx.valid_max);
    return result;
  } catch (...) {  // only an allocation can fail; a short text needs none
    result.ok = false;
    result.value = ctx.static_value;
    result.error_position = 0;
    result.error = "out of memory";
    return result;
  }
}

ExpressionResult EvaluateExpression(std::string_view text, const ExpressionContext& ctx) noexcept {
  return ParsedExpression::Parse(text).Evaluate(ctx);
}

}  // namespace minihost
