// ToUpper: the same length, and only a-z outside the second byte of a pair
// raised.
#include <cstring>
#include <string>

#include "harness.h"
#include "platform/texts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = fuzz::LineOf(data, size);
    std::string expected = text;
    for (size_t i = 0; i < expected.size(); ++i) {
        unsigned char byte = expected[i];
        if (byte & 0x80) ++i;  // the pair's second byte stays as it is
        else if (byte >= 'a' && byte <= 'z') expected[i] = char(byte - 0x20);
    }

    fuzz::StandinRun run;
    fuzz::ExactText given(text);
    Text upper = ToUpper(given.get());
    REQUIRE(std::strcmp(given.get(), text.c_str()) == 0);
    if (text.empty()) {
        REQUIRE(upper == nullptr);
    } else {
        REQUIRE(upper != nullptr);
        REQUIRE(std::strlen(upper) == expected.size());
        REQUIRE(std::memcmp(upper, expected.data(), expected.size()) == 0);
    }
    FreeMemory(upper);
    return 0;
}
