// The three context-menu commands under HKEY_CLASSES_ROOT.
#pragma once

#include "platform/texts.h"

// The program's own path in quotes, then tail (a space and the quoted
// placeholder). A fresh text.
Text BuildCommandLine(const char* tail);

// Writes the command lines and labels of the three commands.
void RegisterVerbs();

// Deletes the three commands, innermost first.
void RemoveVerbs();
