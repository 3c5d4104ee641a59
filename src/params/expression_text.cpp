#include "params/expression_text.h"

#include <span>

#include "params/param_table.h"

namespace prismora {
namespace {

// How a piece of the text comes about: a literal, a fixed slider printed
// with five decimals, or the integer part of one (the seed).
enum class PieceKind { kText, kFixed, kInteger };

struct Piece {
  PieceKind kind;
  const char* text;  // kText
  ParamIndex param;  // kFixed, kInteger
};

constexpr Piece Text(const char* text) { return {PieceKind::kText, text, PARAM_INPUT}; }
constexpr Piece Fixed(ParamIndex param) { return {PieceKind::kFixed, nullptr, param}; }
constexpr Piece Integer(ParamIndex param) { return {PieceKind::kInteger, nullptr, param}; }

constexpr Piece kRandomPieces[] = {
    Text("posterizeTime("),    Fixed(PARAM_RANDOM_FPS),       Text(");seedRandom("),
    Integer(PARAM_RANDOM_SEED), Text(");random(-1,1) * "),    Fixed(PARAM_RANDOM_AMPLITUDE),
};

constexpr Piece kWigglePieces[] = {
    Text("seedRandom("),        Integer(PARAM_RANDOM_SEED),   Text(");wiggle("),
    Fixed(PARAM_WIGGLE_FREQ),   Text(","),                    Fixed(PARAM_WIGGLE_AMP),
    Text(","),                  Fixed(PARAM_WIGGLE_OCTAVES),  Text(","),
    Fixed(PARAM_WIGGLE_AMPMULT), Text(",time)"),
};

// Any 16.16 value prints in at most 12 characters with "%.5f" and its
// integer part in at most 6 with "%d", so the scratch always suffices.
constexpr std::size_t kNumberScratch = 16;

void Build(const PF_ANSICallbacksBlock& ansi, PF_ParamDef* const params[],
           std::span<const Piece> pieces, ExpressionBuffer& buffer) {
  for (const Piece& piece : pieces) {
    if (piece.kind == PieceKind::kText) {
      AppendBounded(buffer, piece.text);
      continue;
    }
    const PF_Fixed value = params[piece.param]->u.fd.value;
    A_char number[kNumberScratch] = {};
    if (piece.kind == PieceKind::kFixed) {
      ansi.sprintf(number, "%.5f", static_cast<double>(value) / 65536.0);
    } else {
      // The integer part, rounded toward minus infinity.
      ansi.sprintf(number, "%d", static_cast<int>(value >> 16));
    }
    AppendBounded(buffer, number);
  }
}

}  // namespace

void AppendBounded(ExpressionBuffer& buffer, const A_char* text) {
  std::size_t end = 0;
  while (end < kExpressionCapacity && buffer[end] != '\0') ++end;
  if (end == kExpressionCapacity) {  // not terminated: make it so, dropping the last byte
    buffer[kExpressionCapacity - 1] = '\0';
    return;
  }
  for (; *text != '\0' && end + 1 < kExpressionCapacity; ++text, ++end) buffer[end] = *text;
  buffer[end] = '\0';
}

void BuildRandomExpression(const PF_ANSICallbacksBlock& ansi, PF_ParamDef* const params[],
                           ExpressionBuffer& buffer) {
  Build(ansi, params, kRandomPieces, buffer);
}

void BuildWiggleExpression(const PF_ANSICallbacksBlock& ansi, PF_ParamDef* const params[],
                           ExpressionBuffer& buffer) {
  Build(ansi, params, kWigglePieces, buffer);
}

}  // namespace prismora
