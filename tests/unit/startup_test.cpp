#include "app/startup.h"
#include "fixture.h"
#include "platform/location.h"

namespace {

const char* const kFailed = "\xca\xa7\xb0\xdc";  // 失败

class StartupTest : public StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        state().modulePath = "C:\\Tools\\Vorquin.exe";
        RecordProgramLocation();
    }
    UINT Run(const std::string& commandLine) {
        state().commandLine = commandLine;
        return standin::RunToExit([] { RunStartup(); });
    }
    static std::string Classes() { return standin::Dump(HKEY_CLASSES_ROOT); }
    static bool Registered() { return Classes().find("QZV") != std::string::npos; }
    static std::string Clip() {
        std::string text;
        return standin::ClipboardText(text) ? text : "<nothing>";
    }
};

TEST_F(StartupTest, NoArgumentRegisters) {
    for (const char* line : {"\"C:\\Tools\\Vorquin.exe\"", "\"C:\\Tools\\Vorquin.exe\" \t ", "Vorquin.exe"}) {
        standin::Reset();
        SetUp();
        EXPECT_EQ(Run(line), 0u) << line;
        EXPECT_TRUE(Registered()) << line;
        EXPECT_EQ(Clip(), "<nothing>");
        EXPECT_TRUE(state().messageBoxes.empty());
    }
}

TEST_F(StartupTest, TheSwitchRemovesInEitherCaseAndInQuotes) {
    for (const char* line : {"Vorquin.exe /U", "Vorquin.exe /u", "Vorquin.exe \"/U\"", "Vorquin.exe /u C:\\a.txt",
                             "\"Vorquin.exe\"\t/u"}) {
        Run("Vorquin.exe");
        ASSERT_TRUE(Registered());
        EXPECT_EQ(Run(line), 0u) << line;
        EXPECT_FALSE(Registered()) << line;
        EXPECT_EQ(Clip(), "<nothing>") << line;
    }
    EXPECT_EQ(Run("Vorquin.exe /U"), 0u);  // nothing registered: still fine
    EXPECT_TRUE(state().messageBoxes.empty());
}

TEST_F(StartupTest, AnythingElseIsCopiedUnchanged) {
    struct Case {
        const char* line;
        const char* copied;
    } cases[] = {
        {"Vorquin.exe -U", "-U"},
        {"Vorquin.exe \"/U \"", "/U "},
        {"Vorquin.exe \" /U\"", " /U"},
        {"Vorquin.exe /Ux", "/Ux"},
        {"Vorquin.exe //U", "//U"},
        {"Vorquin.exe c:\\docs\\a.txt", "c:\\docs\\a.txt"},
        {"\"C:\\Tools\\Vorquin.exe\" \"D:\\My Files\\a.txt\"", "D:\\My Files\\a.txt"},
        {"Vorquin.exe D:\\My Files\\a.txt", "D:\\My"},
        {"Vorquin.exe first /U", "first"},
        {"Vorquin.exe \"\"", ""},
        {"Vorquin.exe \"\" /U", ""},
        {"Vorquin.exe D:\\\xce\xc4\xb5\xb5\\abc", "D:\\\xce\xc4\xb5\xb5\\abc"},
        {"Vorquin.exe /\xb5u", "/\xb5u"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.line), 0u) << c.line;
        EXPECT_EQ(Clip(), c.copied) << c.line;
        EXPECT_FALSE(Registered()) << c.line;
    }
    EXPECT_TRUE(state().messageBoxes.empty());
}

TEST_F(StartupTest, CopyReleasesTheUpperCaseCopy) {
    size_t before = liveBlocks();
    Run("Vorquin.exe abc");
    EXPECT_EQ(liveBlocks(), before + 2);  // the list and its one text
}

TEST_F(StartupTest, ClipboardFailureShowsTheBoxAndStillEndsWithZero) {
    state().clipboardHeldByOther = true;
    EXPECT_EQ(Run("Vorquin.exe C:\\a.txt"), 0u);
    ASSERT_EQ(state().messageBoxes.size(), 1u);
    const standin::MessageBoxCall& box = state().messageBoxes[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, kFailed);
    EXPECT_EQ(box.caption, "Vorquin");
    EXPECT_EQ(box.style, 0x2000u);  // OK, no icon, task-modal

    standin::Reset();
    SetUp();
    state().failSetClipboardData = true;
    state().messageBoxResult = IDCANCEL;
    EXPECT_EQ(Run("Vorquin.exe C:\\a.txt"), 0u);
    ASSERT_EQ(state().messageBoxes.size(), 1u);
    EXPECT_EQ(state().messageBoxes[0].text, kFailed);
}

// Whatever allocation fails, on any road, the run ends through the fatal box
// with -1 and the byte count asked for.
TEST_F(StartupTest, EveryFailedAllocationEndsWithTheFatalBox) {
    for (const char* line : {"Vorquin.exe", "Vorquin.exe /u", "Vorquin.exe a b c d e f g h i j"}) {
        standin::Reset();
        SetUp();
        size_t first = state().allocationSizes.size();
        Run(line);
        size_t last = state().allocationSizes.size();
        ASSERT_GT(last, first);
        for (size_t failing = first; failing < last; ++failing) {
            standin::Reset();
            SetUp();
            ASSERT_EQ(state().allocationSizes.size(), first);
            state().failAllocations = {failing};
            EXPECT_EQ(Run(line), 0xFFFFFFFFu) << line << ", allocation " << failing;
            ASSERT_EQ(state().messageBoxes.size(), 1u) << line << ", allocation " << failing;
            EXPECT_EQ(state().messageBoxes[0].style, 0x10u);
            std::string count = " " + std::to_string(state().allocationSizes[failing]) + " ";
            EXPECT_NE(state().messageBoxes[0].text.find(count), std::string::npos);
        }
    }
}

}  // namespace
