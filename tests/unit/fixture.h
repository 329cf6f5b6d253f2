// Every test starts from a fresh stand-in and checks that nothing leaked.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "standin.h"

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override { standin::Reset(); }

    void TearDown() override {
        EXPECT_EQ(state().openKeys, 0) << "registry keys left open";
        EXPECT_FALSE(state().clipboardOpen) << "clipboard left open";
    }

    static standin::State& state() { return standin::Get(); }

    // Live heap blocks, for checks that operations release what they take.
    static size_t liveBlocks() { return state().liveBlocks.size(); }
};

// Texts from bytes that may hold zeros or GBK.
inline std::string Bytes(const char* text) { return text ? std::string(text) : std::string("(null)"); }
