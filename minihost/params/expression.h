// The host's expression language, as far as the emulated host evaluates it:
// the texts the plug-in writes onto its hidden "random" parameter and what a
// user types there.
//
// Language
//   Statements are separated by ';', or by a line break where the statement
//   before it is complete and the next token cannot continue it. Empty
//   statements are skipped. Comments: // to the end of the line, /* ... */.
//   Expressions: number literals (12, 0.5, 1e3, .5, 1.), unary + and -,
//   binary * / % over + -, left to right, parentheses. % is the C fmod (the
//   sign of the dividend). Names:
//     time                the time in seconds, posterized if asked (below)
//     value               the parameter's static value
//     random()            uniform in [0, 1)
//     random(max)         uniform in [0, max)
//     random(min, max)    uniform in [min, max)
//     wiggle(freq, amp, octaves = 1, amp_mult = 0.5, t = time)
//                         value + amp * noise(t), below
//   and two that give no value and stand alone as statements:
//     posterizeTime(fps)  from here on, time is floor(t * fps) / fps of the
//                         real time t; fps must be finite and above 0. A time
//                         within 1e-6 of a step below a step boundary counts as
//                         on it, so frame times that rounding left a hair short
//                         of a boundary do not fall into the step before.
//     seedRandom(seed, timeless = 0)
//                         reseeds what follows; a non-zero `timeless` makes
//                         random() ignore time.
//   The value of the last statement, clamped to the parameter's valid range,
//   is the parameter's value. Before any seedRandom the seed is 0.
//
// Randomness
//   Every random() and wiggle() call takes the next draw number n (0 after
//   each seedRandom). random() is a 64-bit mix (splitmix64 finaliser, chained)
//   of (seed, time, n), time left out when timeless: the same seed and
//   (posterized) time give the same numbers in every evaluation, the numbers
//   change from one step to the next, and successive calls differ.
//   wiggle(): octave k = 0, 1, ... is 1-D gradient noise over a lattice of
//   spacing 1 / (freq * 2^k) seconds with weight amp_mult^k; a fractional last
//   octave is weighted by its fraction, octaves <= 0 gives no noise and more
//   than kMaxWiggleOctaves count as that many. Each octave's gradients are
//   hashed from (seed, n, k, lattice index), its fade is quintic, and it is
//   scaled to [-1, 1], so the result is C2 in t and
//   |wiggle - value| <= |amp| * sum of |octave weights|. Lattice positions
//   of 2^52 or more (where every double is a lattice point) give 0.
//
// Errors
//   A text that cannot be parsed or evaluated (unknown name, wrong number of
//   arguments, division by zero, a number that overflows, fps <= 0, ...) gives
//   ok == false, a message naming the problem and the 0-based byte position of
//   the construct at fault; the caller then uses the static value. Any bytes
//   are accepted as input. Limits keep every input cheap in time and memory
//   and the parser's recursion shallow: kMaxExpressionLength bytes, nesting
//   kMaxExpressionDepth, kMaxExpressionOperations compiled operations,
//   kMaxExpressionStatements statements. Evaluation does not recurse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace minihost {

inline constexpr std::size_t kMaxExpressionLength = 64 * 1024;
inline constexpr int kMaxExpressionDepth = 200;
inline constexpr std::size_t kMaxExpressionOperations = 16384;
inline constexpr std::size_t kMaxExpressionStatements = 4096;
// The plug-in's own "Wiggle Octaves" slider reaches 100.
inline constexpr int kMaxWiggleOctaves = 100;

struct ExpressionContext {
  double time = 0.0;          // seconds
  double static_value = 0.0;  // the parameter's own (un-expressioned) value
  double valid_min = -1e300, valid_max = 1e300;  // the parameter's valid range
};

struct ExpressionResult {
  bool ok = false;
  double value = 0.0;  // the clamped value when ok; the static value otherwise
  std::size_t error_position = 0;
  std::string error;  // empty when ok
};

// An expression compiled once, to be evaluated at many times (as a host does
// at every frame).
class ParsedExpression {
 public:
  // A failed parse is kept: ok() is false and every Evaluate() reports it.
  static ParsedExpression Parse(std::string_view text) noexcept;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  std::size_t error_position() const { return error_position_; }

  ExpressionResult Evaluate(const ExpressionContext& ctx) const noexcept;

  // The compiled form: operations on a value stack, in order.
  enum class Op : uint8_t {
    kNumber,         // pushes `number`
    kTime,           // pushes the (posterized) time
    kValue,          // pushes the static value
    kNegate,
    kAdd,
    kSubtract,
    kMultiply,
    kDivide,
    kRemainder,
    kRandom,         // pops `argc` (0..2), pushes one
    kWiggle,         // pops `argc` (2..5), pushes one
    kPosterizeTime,  // pops one
    kSeedRandom,     // pops `argc` (1..2)
    kStatementEnd,   // pops the statement's value
  };
  struct Instruction {
    Op op;
    uint8_t argc;
    uint32_t position;  // in the text, for errors
    double number;
  };
  const std::vector<Instruction>& code() const { return code_; }

 private:
  std::vector<Instruction> code_;
  std::size_t max_stack_ = 0;
  std::string error_ = "not parsed";
  std::size_t error_position_ = 0;
};

// Parses and evaluates `text` at ctx.time. Never throws.
ExpressionResult EvaluateExpression(std::string_view text, const ExpressionContext& ctx) noexcept;

}  // namespace minihost
