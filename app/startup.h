// The program's own logic: one action chosen by the first argument.
#pragma once

// Registers the commands (no argument), removes them ("/U" in either case)
// or copies the first argument to the clipboard; then ends the process.
[[noreturn]] void RunStartup();

// Places path on the clipboard; shows 失败 when that fails.
void CopyPath(const char* path);
