// The host's expression evaluator on arbitrary text (up to 4 KiB): it never
// crashes, and every evaluation gives either a finite value within the
// parameter's valid range or an error naming a position inside the text.
// Parsing once and evaluating many times agrees with the one-call form, and
// an evaluation repeated gives the same answer. Time and memory are bounded
// by libFuzzer's -timeout and -rss_limit_mb.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "minihost/params/expression.h"

namespace {

constexpr std::size_t kMaxText = 4096;

[[noreturn]] void Violation(const char* what, std::string_view text,
                            const minihost::ExpressionResult& r) {
  std::fprintf(stderr, "fuzz_expression: %s\n  value %.17g, ok %d, error '%s' at %zu\n", what,
               r.value, r.ok ? 1 : 0, r.error.c_str(), r.error_position);
  std::fprintf(stderr, "  text (%zu bytes): %.*s\n", text.size(), static_cast<int>(text.size()),
               text.data());
  std::abort();
}

bool Same(const minihost::ExpressionResult& a, const minihost::ExpressionResult& b) {
  // Bitwise, so that -0 and 0 differ and a NaN would be caught by CheckResult.
  return a.ok == b.ok && std::memcmp(&a.value, &b.value, sizeof a.value) == 0 &&
         a.error == b.error && a.error_position == b.error_position;
}

void CheckResult(std::string_view text, const minihost::ExpressionContext& ctx,
                 const minihost::ExpressionResult& r) {
  if (r.ok) {
    if (!r.error.empty()) Violation("a value together with an error", text, r);
    if (!std::isfinite(r.value)) Violation("a value that is not finite", text, r);
    if (r.value < ctx.valid_min || r.value > ctx.valid_max) {
      Violation("a value outside the valid range", text, r);
    }
  } else {
    if (r.error.empty()) Violation("an error without a message", text, r);
    if (r.error_position > text.size()) Violation("an error positioned past the text", text, r);
    if (std::memcmp(&r.value, &ctx.static_value, sizeof r.value) != 0) {
      Violation("an error whose value is not the static value", text, r);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size > kMaxText) return -1;  // not worth keeping
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const minihost::ParsedExpression parsed = minihost::ParsedExpression::Parse(text);
  if (parsed.ok() != parsed.error().empty()) {
    std::fprintf(stderr, "fuzz_expression: parse state and error disagree\n");
    std::abort();
  }
  if (parsed.code().size() > minihost::kMaxExpressionOperations) {
    std::fprintf(stderr, "fuzz_expression: %zu operations compiled\n", parsed.code().size());
    std::abort();
  }

  // Frame times as a host asks for them, a slider's range, and contexts a
  // host should never hand over but the evaluator must still survive.
  const minihost::ExpressionContext contexts[] = {
      {0.0, 0.0, -10.0, 10.0},
      {1.0 / 30.0, 2.5, 0.0, 10.0},
      {12345.678, -1.0, -1e300, 1e300},
      {-3.25, 1e300, -1e300, 1e300},
      {1e300, -7.0, -5.0, 5.0},
      {0.5, NAN, -1.0, 1.0},
      {0.5, 0.0, 5.0, 5.0},
  };
  for (const minihost::ExpressionContext& ctx : contexts) {
    const minihost::ExpressionResult r = parsed.Evaluate(ctx);
    CheckResult(text, ctx, r);
    if (!Same(r, parsed.Evaluate(ctx))) Violation("a second evaluation differs", text, r);
    if (!Same(r, minihost::EvaluateExpression(text, ctx))) {
      Violation("the one-call form differs", text, r);
    }
  }
  return 0;
}
