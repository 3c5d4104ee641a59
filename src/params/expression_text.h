// The texts of the random and wiggle expressions that the effect writes onto
// its hidden "random" parameter. Hosts store them in projects, so their form
// is fixed to the character.
#pragma once

#include <cstddef>

#include "host/ae_effect.h"

namespace prismora {

// The whole buffer the texts are built in, terminator included.
inline constexpr std::size_t kExpressionCapacity = 255;
using ExpressionBuffer = A_char[kExpressionCapacity];

// Appends `text` to the zero-terminated text in `buffer`, cutting it short
// rather than writing past the buffer's end.
void AppendBounded(ExpressionBuffer& buffer, const A_char* text);

// Build the texts from the values in `params`, with the host's sprintf; the
// buffer must hold a zero-terminated text (normally empty) on entry.
// Random: "posterizeTime(<fps>);seedRandom(<seed>);random(-1,1) * <amplitude>".
void BuildRandomExpression(const PF_ANSICallbacksBlock& ansi, PF_ParamDef* const params[],
                           ExpressionBuffer& buffer);
// Wiggle: "seedRandom(<seed>);wiggle(<freq>,<amp>,<octaves>,<amp mult>,time)".
void BuildWiggleExpression(const PF_ANSICallbacksBlock& ansi, PF_ParamDef* const params[],
                           ExpressionBuffer& buffer);

}  // namespace prismora
