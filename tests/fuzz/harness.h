// What the fuzz targets share: checks that trap, inputs as texts, and a run
// against a fresh stand-in that must end with no heap block live.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Traps (libFuzzer keeps the input) when condition is false.
#define REQUIRE(condition)                                                \
    do {                                                                  \
        if (!(condition)) fuzz::Violated(#condition, __LINE__, __FILE__); \
    } while (0)

namespace fuzz {

[[noreturn]] void Violated(const char* condition, int line, const char* file);

// The input up to its first zero byte.
std::string LineOf(const uint8_t* data, size_t size);

// A zero-terminated copy in a block of exactly its size, so that ASan
// reports any read past the zero.
class ExactText {
public:
    explicit ExactText(const std::string& text);
    const char* get() const { return bytes_.get(); }

private:
    std::unique_ptr<char[]> bytes_;
};

// One input's work: resets the stand-in first and requires, at the end,
// that every heap block the program took has been released. A reset with
// blocks live would only retire them, out of LeakSanitizer's sight.
class StandinRun {
public:
    StandinRun();
    ~StandinRun();
    StandinRun(const StandinRun&) = delete;
    StandinRun& operator=(const StandinRun&) = delete;
};

// Serves line through GetCommandLineA for its lifetime. The bytes after the
// zero, up to the end of the string's buffer (its inline buffer for short
// lines), are poisoned so that ASan reports reading past the zero there too.
class ServedCommandLine {
public:
    explicit ServedCommandLine(const std::string& line);
    ~ServedCommandLine();
    ServedCommandLine(const ServedCommandLine&) = delete;
    ServedCommandLine& operator=(const ServedCommandLine&) = delete;

private:
    char* slack_;
    size_t slackSize_;
};

}  // namespace fuzz
