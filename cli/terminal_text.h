#pragma once
// File names as the command line shows them. A name may hold any byte but '/' and NUL: control
// characters (ESC, a newline) printed raw would move the cursor, recolour or rewrite what a terminal
// shows, and bytes that are not UTF-8 cannot be told apart once a reader has replaced them.

#include <string>
#include <string_view>

namespace pagewash {

// `text` with every control character (C0, DEL, and C1 written in UTF-8) and every byte that is not
// part of a valid UTF-8 sequence written as "\xHH"; everything else as it is.
std::string terminalText(std::string_view text);

// True when `text` is valid UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isUtf8(std::string_view text);

// "626f6f6bff2e706466": each byte as two lowercase hexadecimal digits.
std::string hexBytes(std::string_view text);

}  // namespace pagewash
