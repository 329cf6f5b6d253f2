#include "fixture.h"
#include "platform/constants.h"
#include "platform/texts.h"

namespace {

class TextsTest : public StandinTest {};

TEST_F(TextsTest, LengthCountsBytes) {
    EXPECT_EQ(TextLength(nullptr), 0);
    EXPECT_EQ(TextLength(""), 0);
    EXPECT_EQ(TextLength("/U"), 2);
    EXPECT_EQ(TextLength("\xb5\xb5"), 2);  // one GBK character
}

struct CompareCase {
    const char* first;
    const char* second;
    int expected;
};

TEST_F(TextsTest, CompareIsBytewiseAndUnsigned) {
    const CompareCase cases[] = {
        {nullptr, "", 0},   {"", nullptr, 0},   {nullptr, nullptr, 0}, {nullptr, "a", -1},
        {"a", nullptr, 1},  {"/U", "/U", 0},    {"/u", "/U", 1},       {"ab", "abc", -1},
        {"abc", "ab", 1},   {"\xb0", "z", 1},   {"z", "\xb0", -1},     {"", "", 0},
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(CompareTexts(c.first, c.second), c.expected)
            << Bytes(c.first) << " against " << Bytes(c.second);
    }
}

TEST_F(TextsTest, JoinSkipsMissingPiecesAndTakesOneBlock) {
    size_t before = state().allocationSizes.size();
    Text joined = JoinTexts("\"", static_cast<const char*>(nullptr), "\\", "", "x.exe");
    EXPECT_STREQ(joined, "\"\\x.exe");
    ASSERT_EQ(state().allocationSizes.size(), before + 1);
    EXPECT_EQ(state().allocationSizes.back(), 8u);  // seven bytes and the zero
    FreeMemory(joined);

    Text empty = JoinTexts(static_cast<const char*>(nullptr), "");
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    FreeMemory(empty);
    EXPECT_EQ(liveBlocks(), 0u);
}

struct UpperCase {
    const char* given;
    const char* expected;  // null: no string
};

TEST_F(TextsTest, ToUpperRaisesOnlySingleByteLetters) {
    const UpperCase cases[] = {
        {"/u", "/U"},
        {"c:\\docs\\a.txt", "C:\\DOCS\\A.TXT"},
        {"", nullptr},
        {nullptr, nullptr},
        {"\x81" "a" "b", "\x81" "a" "B"},      // the pair stays, b after it rises
        {"ab\xb0", "AB\xb0"},                  // lone last lead byte unchanged
        {"\xe9" "a", "\xe9" "a"},              // single-byte code page: still a pair
        {"AZaz09{}`~", "AZAZ09{}`~"},
        {"\xff" "z" "z", "\xff" "z" "Z"},
    };
    for (const UpperCase& c : cases) {
        Text upper = ToUpper(c.given);
        if (!c.expected) {
            EXPECT_EQ(upper, nullptr) << Bytes(c.given);
        } else {
            EXPECT_STREQ(upper, c.expected) << Bytes(c.given);
            EXPECT_EQ(TextLength(upper), TextLength(c.given));
        }
        FreeMemory(upper);
    }
    EXPECT_EQ(liveBlocks(), 0u);
}

TEST_F(TextsTest, ToUpperLeavesItsArgumentAlone) {
    char given[] = "/u";
    Text upper = ToUpper(given);
    EXPECT_STREQ(given, "/u");
    EXPECT_NE(upper, given);
    FreeMemory(upper);
}

TEST_F(TextsTest, FreeMemoryIgnoresNullAndConstants) {
    FreeMemory(nullptr);
    FreeMemory(kTexts.empty);
    FreeMemory(kTexts.copyFailed);
    FreeMemory(kTexts.allocationFailed + 3);
    EXPECT_EQ(liveBlocks(), 0u);  // the stand-in fails the test on a stray HeapFree
}

TEST_F(TextsTest, FailedAllocationShowsTheFatalBoxAndEndsWithMinusOne) {
    state().failAllocations = {0};
    UINT code = standin::RunToExit([] { AllocateMemory(24); });
    EXPECT_EQ(code, 0xFFFFFFFFu);
    ASSERT_EQ(state().messageBoxes.size(), 1u);
    const standin::MessageBoxCall& box = state().messageBoxes[0];
    EXPECT_EQ(box.owner, nullptr);
    // 运行时出错!, an empty line, then 错误信息：分配 24 字节内存失败!
    EXPECT_EQ(box.text,
              "\xd4\xcb\xd0\xd0\xca\xb1\xb3\xf6\xb4\xed!\r\n\r\n"
              "\xb4\xed\xce\xf3\xd0\xc5\xcf\xa2\xa3\xba"
              "\xb7\xd6\xc5\xe4 24 \xd7\xd6\xbd\xda\xc4\xda\xb4\xe6\xca\xa7\xb0\xdc!\r\n");
    EXPECT_EQ(box.caption, "\xb4\xed\xce\xf3");  // 错误
    EXPECT_EQ(box.style, 0x10u);                 // error icon, OK, not task-modal
}

TEST_F(TextsTest, FatalBoxWithoutMessageHasOnlyTheHeading) {
    UINT code = standin::RunToExit([] { ReportFatalError(""); });
    EXPECT_EQ(code, 0xFFFFFFFFu);
    ASSERT_EQ(state().messageBoxes.size(), 1u);
    EXPECT_EQ(state().messageBoxes[0].text, "\xd4\xcb\xd0\xd0\xca\xb1\xb3\xf6\xb4\xed!\r\n\r\n");
}

TEST_F(TextsTest, FatalBoxStaysInItsBufferForALongMessage) {
    std::string message(1000, 'm');
    standin::RunToExit([&] { ReportFatalError(message.c_str()); });
    ASSERT_EQ(state().messageBoxes.size(), 1u);
    const std::string& text = state().messageBoxes[0].text;
    EXPECT_LT(text.size(), 256u);
    EXPECT_EQ(text.find("m"), 15u + 10u);  // heading, then the lead-in, then the message
}

TEST_F(TextsTest, FailedBoxStillEndsWithMinusOne) {
    state().failAllocations = {0};
    state().messageBoxResult = 0;  // the box could not be shown
    EXPECT_EQ(standin::RunToExit([] { AllocateMemory(5); }), 0xFFFFFFFFu);
}

TEST_F(TextsTest, EndProgramPassesItsCode) {
    EXPECT_EQ(standin::RunToExit([] { EndProgram(0); }), 0u);
    EXPECT_EQ(standin::RunToExit([] { EndProgram(-1); }), 0xFFFFFFFFu);
    EXPECT_TRUE(state().messageBoxes.empty());
}

}  // namespace
