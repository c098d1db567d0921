#pragma once
// The two colour-space rewrites behind makeDictionaryGray. Batch thread only; allocate nothing.

#include "engine/images/dictionary_tokens.h"

namespace pagewash {

// Token `index` (a name beginning "/Devi") becomes "/DeviceGray". Blanks and line ends after the old
// name go with it; other bytes after it ("]", ">>") stay. Left alone when that would not fit the slot.
void replaceDeviceColorSpaceName(DictionaryTokens& tokens, int index);

// The value of the first /ColorSpace entry (a name, an array of names and references, or "n g R")
// becomes "/DeviceGray" as a token of its own, with nothing after it up to the next name. Left alone
// when there is no such entry, the value cannot be delimited, or the result would not fit the slots.
void replaceColorSpaceValue(DictionaryTokens& tokens);

}  // namespace pagewash
