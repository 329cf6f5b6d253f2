// Where the program's own file lies, recorded once at start.
#pragma once

#include "platform/texts.h"

struct ModulePathParts {
    Text runDirectory;    // before the last backslash; null when none
    Text executableName;  // after it; the whole path when there is none
};

// leadBytes[b] is true when b begins a two-byte character. The second byte
// of a pair never separates.
ModulePathParts SplitModulePath(const char* modulePath, const bool leadBytes[256]);

// Reads the module path, records its two parts and makes the run directory
// the current directory.
void RecordProgramLocation();

// Fresh copies of the recorded parts; null when empty.
Text GetRunDirectory();
Text GetExecutableName();
