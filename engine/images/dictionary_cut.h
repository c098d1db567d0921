#pragma once
// The cut of a dictionary's inner bytes into tokens, shared by the parse and the colour-space rewrite.

#include <cstdint>
#include <span>

#include "engine/images/dictionary_tokens.h"

namespace pagewash {

// REQUIRES: `tokens` cleared. Slot 0 takes the bytes before the first "/", each later slot one
// "/"-led piece. Stops with TooManyNames at a 32nd "/" (count stays 31) and with TokenTooLong before
// a 65th byte would enter a slot; never writes past a slot.
DictionaryError cutDictionaryTokens(std::span<const std::uint8_t> inner, DictionaryTokens& tokens);

}  // namespace pagewash
