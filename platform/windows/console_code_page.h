#pragma once
// The console's output code page as the program found it: showUtf8OnConsole() switches to UTF-8 and gives
// it back at a normal exit; an interruption ends the process without exit handlers and gives it back here,
// so that the cmd.exe window the program ran in keeps the code page it had.
// Windows-only, included by the Windows half alone.

namespace pagewash::platform::windows {

void restoreConsoleCodePage() noexcept;

}  // namespace pagewash::platform::windows
