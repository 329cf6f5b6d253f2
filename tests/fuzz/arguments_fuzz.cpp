// GetArguments against a reference split of the same line.
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "platform/arguments.h"

namespace {

bool IsSeparator(unsigned char byte) { return byte >= 0x01 && byte <= 0x20; }

// The split as the rules put it; line holds no zero byte.
std::vector<std::string> ReferenceSplit(const std::string& line) {
    size_t n = line.size();
    size_t i;
    if (n > 0 && line[0] == '"') {
        size_t close = line.find('"', 1);
        i = close == std::string::npos ? n : close + 1;
        if (i < n && line[i] == ' ') ++i;
    } else {
        size_t space = line.find(' ');
        i = space == std::string::npos ? n : space + 1;
    }

    std::vector<std::string> arguments;
    while (i < n) {
        if (IsSeparator(line[i])) {
            ++i;
            continue;
        }
        bool quoted = line[i] == '"';
        if (quoted) ++i;
        std::string argument;
        bool lineEnded = false;
        while (i < n) {
            unsigned char byte = line[i];
            if (byte == '"' || (!quoted && IsSeparator(byte))) break;
            if (byte & 0x80) {
                if (i + 1 == n) {
                    lineEnded = true;
                    break;
                }
                argument += line.substr(i, 2);
                i += 2;
            } else {
                argument += char(byte);
                ++i;
            }
        }
        arguments.push_back(argument);
        if (lineEnded) break;
        if (quoted && i < n) ++i;  // the closing quote
    }
    return arguments;
}

void RequireSplit(const ArgumentList* list, const std::vector<std::string>& expected) {
    REQUIRE(list != nullptr);
    REQUIRE(list->dimensionCount == 1);
    REQUIRE(ArgumentCount(list) == int32_t(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const char* argument = ArgumentAt(list, int32_t(i + 1));
        if (expected[i].empty()) {
            REQUIRE(argument == nullptr);
        } else {
            REQUIRE(argument != nullptr);
            REQUIRE(std::strlen(argument) == expected[i].size());
            REQUIRE(std::memcmp(argument, expected[i].data(), expected[i].size()) == 0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line = fuzz::LineOf(data, size);
    std::vector<std::string> expected = ReferenceSplit(line);

    fuzz::StandinRun run;
    fuzz::ServedCommandLine served(line);
    ArgumentList* list = nullptr;
    GetArguments(list);
    RequireSplit(list, expected);
    GetArguments(list);  // replaces the list it holds, releasing it
    RequireSplit(list, expected);
    FreeArgumentList(list);
    return 0;
}
