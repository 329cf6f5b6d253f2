#include "platform/location.h"

#include <windows.h>

#include "platform/constants.h"

static ModulePathParts gLocation = {nullptr, nullptr};

ModulePathParts SplitModulePath(const char* modulePath, const bool leadBytes[256]) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(modulePath ? modulePath : kTexts.empty);
    int32_t last = -1;
    int32_t i = 0;
    while (bytes[i]) {
        if (leadBytes[bytes[i]]) {
            if (bytes[i + 1] == 0) break;
            i += 2;
        } else {
            if (bytes[i] == '\\') last = i;
            ++i;
        }
    }
    const char* text = reinterpret_cast<const char*>(bytes);
    int32_t length = TextLength(text);
    ModulePathParts parts;
    parts.runDirectory = TextFromBytes(text, last);
    parts.executableName = TextFromBytes(text + last + 1, length - last - 1);
    return parts;
}

static void ReadLeadBytes(bool leadBytes[256]) {
    for (int b = 0; b < 256; ++b) leadBytes[b] = false;
    CPINFO info;
    if (!GetCPInfo(GetACP(), &info)) return;
    for (int r = 0; r + 1 < MAX_LEADBYTES && (info.LeadByte[r] || info.LeadByte[r + 1]); r += 2) {
        for (int b = info.LeadByte[r]; b <= info.LeadByte[r + 1]; ++b) leadBytes[b] = true;
    }
}

void RecordProgramLocation() {
    bool leadBytes[256];
    ReadLeadBytes(leadBytes);
    char modulePath[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
    modulePath[MAX_PATH - 1] = 0;
    gLocation = SplitModulePath(modulePath, leadBytes);
    SetCurrentDirectoryA(gLocation.runDirectory ? gLocation.runDirectory : kTexts.empty);
}

Text GetRunDirectory() {
    return TextFromBytes(gLocation.runDirectory, TextLength(gLocation.runDirectory));
}

Text GetExecutableName() {
    return TextFromBytes(gLocation.executableName, TextLength(gLocation.executableName));
}
