// FindLastByte and SplitRegistryPath: the split falls at the last backslash
// that is not the second byte of a pair, and key path and value name give
// the path back.
#include <string>

#include "harness.h"
#include "platform/registry.h"

namespace {

// Index of the last byte that is not a pair's second byte; -1 when none.
int32_t ReferenceLast(const std::string& text, unsigned char byte) {
    int32_t last = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char b = text[i];
        if (b & 0x80) ++i;
        else if (b == byte) last = int32_t(i);
    }
    return last;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz::LineOf(data, size);
    int32_t last = ReferenceLast(path, '\\');

    fuzz::StandinRun run;
    fuzz::ExactText given(path);
    REQUIRE(FindLastByte(given.get(), '\\') == last);
    if (size > 0) REQUIRE(FindLastByte(given.get(), data[0]) == ReferenceLast(path, data[0]));

    RegistryEntryPath entry = SplitRegistryPath(1, given.get());
    REQUIRE(entry.wholePath == given.get());
    if (last < 0) {
        REQUIRE(entry.keyPath == nullptr);
        REQUIRE(entry.valueName == given.get());
    } else {
        REQUIRE(entry.valueName == given.get() + last + 1);
        if (last == 0) {
            REQUIRE(entry.keyPath == nullptr);
        } else {
            REQUIRE(entry.keyPath != nullptr);
            REQUIRE(std::string(entry.keyPath) + "\\" + entry.valueName == path);
        }
    }
    FreeMemory(entry.keyPath);
    return 0;
}
