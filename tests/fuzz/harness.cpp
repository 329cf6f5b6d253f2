#include "harness.h"

#include <gtest/gtest.h>
#include <sanitizer/asan_interface.h>

#include <cstdio>
#include <cstring>

#include "standin.h"

// The stand-in reports misuse through gtest assertions, though no test runs
// here: the first failure, already printed by gtest, crashes the input.
namespace {

class TrapOnFailure : public ::testing::EmptyTestEventListener {
    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (result.failed()) __builtin_trap();
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::testing::UnitTest::GetInstance()->listeners().Append(new TrapOnFailure);
    return 0;
}

namespace fuzz {

void Violated(const char* condition, int line, const char* file) {
    std::fprintf(stderr, "%s:%d: violated: %s\n", file, line, condition);
    __builtin_trap();
}

std::string LineOf(const uint8_t* data, size_t size) {
    const void* zero = std::memchr(data, 0, size);
    size_t length = zero ? size_t(static_cast<const uint8_t*>(zero) - data) : size;
    return std::string(reinterpret_cast<const char*>(data), length);
}

ExactText::ExactText(const std::string& text) : bytes_(new char[text.size() + 1]) {
    std::memcpy(bytes_.get(), text.c_str(), text.size() + 1);
}

StandinRun::StandinRun() { standin::Reset(); }

StandinRun::~StandinRun() {
    REQUIRE(standin::Get().liveBlocks.empty());
}

ServedCommandLine::ServedCommandLine(const std::string& line) {
    std::string& held = standin::Get().commandLine;
    held = line;
    slack_ = held.data() + held.size() + 1;
    slackSize_ = held.capacity() - held.size();
    ASAN_POISON_MEMORY_REGION(slack_, slackSize_);
}

ServedCommandLine::~ServedCommandLine() { ASAN_UNPOISON_MEMORY_REGION(slack_, slackSize_); }

}  // namespace fuzz
