#include <cstring>

#include "fixture.h"
#include "platform/clipboard.h"

namespace {

class ClipboardTest : public StandinTest {
protected:
    // Something another program placed before.
    void PutPrevious() {
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
        std::memcpy(GlobalLock(block), "old", 4);
        GlobalUnlock(block);
        SetClipboardData(CF_TEXT, block);
        CloseClipboard();
        state().clipboardOpens = 0;
    }
    static std::string ClipText() {
        std::string text;
        EXPECT_TRUE(standin::ClipboardText(text));
        return text;
    }
    static bool HasText() {
        std::string text;
        return standin::ClipboardText(text);
    }
};

TEST_F(ClipboardTest, PlacesTheTextByteForByte) {
    PutPrevious();
    const char* path = "D:\\\xce\xc4\xb5\xb5 2\\\"a\"\tb.txt";
    EXPECT_TRUE(SetClipboardText(path));
    EXPECT_EQ(ClipText(), path);
    standin::GlobalBlock block;
    ASSERT_TRUE(standin::ClipboardBlock(CF_TEXT, block));
    EXPECT_EQ(block.flags, UINT(GMEM_MOVEABLE | GMEM_ZEROINIT));
    EXPECT_EQ(block.bytes, std::string(path) + '\0');  // the text and one zero, nothing more
    EXPECT_EQ(state().clipboard.size(), 1u);  // CF_TEXT alone
    EXPECT_EQ(state().clipboardOpens, 1);
    EXPECT_EQ(state().liveGlobals, 1);  // the old block went with EmptyClipboard
}

TEST_F(ClipboardTest, EmptyAndLongTexts) {
    EXPECT_TRUE(SetClipboardText(""));
    EXPECT_EQ(ClipText(), "");
    EXPECT_EQ(standin::ClipboardBlockSize(CF_TEXT), 1u);

    std::string longText(70000, 'x');
    EXPECT_TRUE(SetClipboardText(longText.c_str()));
    EXPECT_EQ(ClipText(), longText);
    EXPECT_EQ(standin::ClipboardBlockSize(CF_TEXT), 70001u);
}

TEST_F(ClipboardTest, HeldByAnotherProgramKeepsThePreviousContent) {
    PutPrevious();
    state().clipboardHeldByOther = true;
    EXPECT_FALSE(SetClipboardText("new"));
    EXPECT_EQ(ClipText(), "old");
    EXPECT_EQ(state().liveGlobals, 1);
}

// The failures after the clipboard was opened: each leaves it closed and
// empty, frees the block that was not handed over and reports false.
TEST_F(ClipboardTest, FailuresAfterOpeningLeaveItEmpty) {
    bool standin::State::*failures[] = {&standin::State::failGlobalAlloc, &standin::State::failGlobalLock,
                                        &standin::State::failSetClipboardData};
    for (bool standin::State::*failure : failures) {
        standin::Reset();
        PutPrevious();
        state().*failure = true;
        EXPECT_FALSE(SetClipboardText("new"));
        EXPECT_FALSE(HasText());
        EXPECT_FALSE(state().clipboardOpen);
        EXPECT_EQ(state().liveGlobals, 0);
    }
}

TEST_F(ClipboardTest, ShowMessageAddsTaskModalUnlessSystemModal) {
    struct Case {
        int32_t flags;
        UINT style;
    } cases[] = {{0, 0x2000}, {0x1000, 0x1000}, {0x10, 0x2010}, {0x1031, 0x1031}};
    for (const Case& c : cases) {
        ShowMessage("m", c.flags, "t");
        ASSERT_FALSE(state().messageBoxes.empty());
        EXPECT_EQ(state().messageBoxes.back().style, c.style) << c.flags;
    }
    const standin::MessageBoxCall& box = state().messageBoxes.back();
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, "m");
    EXPECT_EQ(box.caption, "t");
}

TEST_F(ClipboardTest, ShowMessageDefaultCaptionAndEmptyContent) {
    ShowMessage("", 0, nullptr);
    ShowMessage(nullptr, 0, "t");
    ASSERT_EQ(state().messageBoxes.size(), 2u);
    EXPECT_EQ(state().messageBoxes[0].caption, "\xd0\xc5\xcf\xa2\xa3\xba");  // 信息：
    EXPECT_EQ(state().messageBoxes[0].text, "");
    EXPECT_EQ(state().messageBoxes[1].text, "");
}

TEST_F(ClipboardTest, ShowMessageMapsTheButton) {
    const int expected[] = {0, 0, 1, 2, 3, 4, 5, 6, 0, 0};  // MessageBoxA results 0 to 9
    for (int result = 0; result <= 9; ++result) {
        state().messageBoxResult = result;
        EXPECT_EQ(ShowMessage("m", 0, "t"), expected[result]) << result;
    }
    state().messageBoxResult = -1;
    EXPECT_EQ(ShowMessage("m", 0, "t"), 0);
}

}  // namespace
