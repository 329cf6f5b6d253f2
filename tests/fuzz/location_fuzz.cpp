// SplitModulePath under code page 936 and under a single-byte code page:
// directory and name, joined by the backslash they were split at, give the
// path back.
#include <string>

#include "harness.h"
#include "platform/location.h"

namespace {

struct LeadBytes {
    bool table[256] = {};
    LeadBytes(int first, int last) {
        for (int b = first; b <= last; ++b) table[b] = true;
    }
};

const LeadBytes kGbk(0x81, 0xFE);
const LeadBytes kSingleByte(1, 0);  // none

// Index of the last backslash that is not a pair's second byte; -1 when none.
int32_t ReferenceLast(const std::string& path, const bool leadBytes[256]) {
    int32_t last = -1;
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char b = path[i];
        if (leadBytes[b]) ++i;
        else if (b == '\\') last = int32_t(i);
    }
    return last;
}

std::string OrEmptyString(const char* text) { return text ? text : ""; }

void Check(const std::string& path, const bool leadBytes[256]) {
    int32_t last = ReferenceLast(path, leadBytes);
    fuzz::ExactText given(path);
    ModulePathParts split = SplitModulePath(given.get(), leadBytes);
    REQUIRE(split.runDirectory == nullptr || split.runDirectory[0] != 0);
    REQUIRE(split.executableName == nullptr || split.executableName[0] != 0);
    std::string directory = OrEmptyString(split.runDirectory);
    std::string name = OrEmptyString(split.executableName);
    if (last < 0) {
        REQUIRE(split.runDirectory == nullptr);
        REQUIRE(name == path);
    } else {
        REQUIRE(directory.size() == size_t(last));
        REQUIRE(directory + "\\" + name == path);
    }
    FreeMemory(split.runDirectory);
    FreeMemory(split.executableName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz::LineOf(data, size);
    fuzz::StandinRun run;
    Check(path, kGbk.table);
    Check(path, kSingleByte.table);
    return 0;
}
