#include "fixture.h"
#include "platform/location.h"

namespace {

struct LeadBytes {
    bool table[256] = {};
    explicit LeadBytes(bool gbk) {
        if (gbk)
            for (int b = 0x81; b <= 0xFE; ++b) table[b] = true;
    }
};

struct SplitCase {
    bool gbk;
    const char* path;
    const char* directory;  // null: empty
    const char* name;
};

class LocationTest : public StandinTest {};

TEST_F(LocationTest, SplitsAtTheLastRealBackslash) {
    const SplitCase cases[] = {
        {true, "C:\\Tools\\Vorquin.exe", "C:\\Tools", "Vorquin.exe"},
        {true, "C:\\Vorquin.exe", "C:", "Vorquin.exe"},
        {true, "\\\\server\\share\\dir\\Vorquin.exe", "\\\\server\\share\\dir", "Vorquin.exe"},
        {true, "Vorquin.exe", nullptr, "Vorquin.exe"},
        {true, "C:/Tools/Vorquin.exe", nullptr, "C:/Tools/Vorquin.exe"},
        {true, "C:\\Tools\\", "C:\\Tools", nullptr},
        {true, "", nullptr, nullptr},
        // 淺 is 9C 5C: its second byte is no separator
        {true, "C:\\\x9c\x5c\\Vorquin.exe", "C:\\\x9c\x5c", "Vorquin.exe"},
        {true, "C:\\Tools\\a\x9c\x5c", "C:\\Tools", "a\x9c\x5c"},
        // 0x80 and 0xFF are no lead bytes in code page 936
        {true, "C:\\a\x80\\b.exe", "C:\\a\x80", "b.exe"},
        {true, "C:\\a\xff\\b.exe", "C:\\a\xff", "b.exe"},
        // a lone lead byte at the end stays in the name
        {true, "C:\\Tools\\ab\x9c", "C:\\Tools", "ab\x9c"},
        {true, "C:\\Tools\\\x9c", "C:\\Tools", "\x9c"},
        // a single-byte code page: every 0x5C separates
        {false, "C:\\\x9c\x5c\\Vorquin.exe", "C:\\\x9c\x5c", "Vorquin.exe"},
        {false, "C:\\Tools\\a\x9c\x5c" "b", "C:\\Tools\\a\x9c", "b"},
        {false, "C:\\Tools\\ab\x9c", "C:\\Tools", "ab\x9c"},
    };
    for (const SplitCase& c : cases) {
        LeadBytes lead(c.gbk);
        ModulePathParts parts = SplitModulePath(c.path, lead.table);
        EXPECT_STREQ(parts.runDirectory, c.directory) << c.path;
        EXPECT_STREQ(parts.executableName, c.name) << c.path;
        FreeMemory(parts.runDirectory);
        FreeMemory(parts.executableName);
    }
    EXPECT_EQ(liveBlocks(), 0u);
}

// The record: what start-up reads and what it hands out.
class RecordTest : public StandinTest {
protected:
    void Record(const std::string& modulePath, UINT codePage = 936) {
        state().modulePath = modulePath;
        state().codePage = codePage;
        RecordProgramLocation();
    }
    static std::string Take(Text text) {
        std::string copy = text ? text : "";
        FreeMemory(text);
        return copy;
    }
};

TEST_F(RecordTest, RecordsBothPartsAndEntersTheDirectory) {
    Record("C:\\Tools\\Vorquin.exe");
    EXPECT_EQ(Take(GetRunDirectory()), "C:\\Tools");
    EXPECT_EQ(Take(GetExecutableName()), "Vorquin.exe");
    EXPECT_EQ(state().currentDirectories, std::vector<std::string>{"C:\\Tools"});
}

TEST_F(RecordTest, DriveRootGivesTheDriveAndColon) {
    Record("E:\\Vorquin.exe");
    EXPECT_EQ(Take(GetRunDirectory()), "E:");
    EXPECT_EQ(state().currentDirectories, std::vector<std::string>{"E:"});
}

TEST_F(RecordTest, NoBackslashStillSetsTheEmptyDirectory) {
    Record("Vorquin.exe");
    size_t before = state().allocationSizes.size();
    EXPECT_EQ(GetRunDirectory(), nullptr);
    EXPECT_EQ(state().allocationSizes.size(), before);  // nothing allocated for it
    EXPECT_EQ(Take(GetExecutableName()), "Vorquin.exe");
    EXPECT_EQ(state().currentDirectories, std::vector<std::string>{""});
}

// The lead bytes are the ANSI code page's, from every range it names.
TEST_F(RecordTest, UsesTheCodePagesLeadBytes) {
    struct Case {
        UINT codePage;
        const char* path;
        const char* directory;
        const char* name;
    } cases[] = {
        {936, "C:\\\x9c\x5c\\Vorquin.exe", "C:\\\x9c\x5c", "Vorquin.exe"},
        {936, "C:\\Tools\\\x9c\x5cVorquin.exe", "C:\\Tools", "\x9c\x5cVorquin.exe"},
        {1252, "C:\\\x9c\x5c\\Vorquin.exe", "C:\\\x9c\x5c", "Vorquin.exe"},
        {1252, "C:\\\x9c\x5cVorquin.exe", "C:\\\x9c", "Vorquin.exe"},
        // 932: lead bytes 0x81 to 0x9F and 0xE0 to 0xFC
        {932, "C:\\Tools\\\x9f\x5cVorquin.exe", "C:\\Tools", "\x9f\x5cVorquin.exe"},
        {932, "C:\\Tools\\\xe0\x5cVorquin.exe", "C:\\Tools", "\xe0\x5cVorquin.exe"},
        {932, "C:\\Tools\\\xfc\x5cVorquin.exe", "C:\\Tools", "\xfc\x5cVorquin.exe"},
        // and single bytes between the ranges and after them
        {932, "C:\\Tools\\\xa1\x5cVorquin.exe", "C:\\Tools\\\xa1", "Vorquin.exe"},
        {932, "C:\\Tools\\\xdf\x5cVorquin.exe", "C:\\Tools\\\xdf", "Vorquin.exe"},
        {932, "C:\\Tools\\\xfd\x5cVorquin.exe", "C:\\Tools\\\xfd", "Vorquin.exe"},
    };
    for (const Case& c : cases) {
        Record(c.path, c.codePage);
        EXPECT_EQ(Take(GetRunDirectory()), c.directory) << c.codePage << " " << c.path;
        EXPECT_EQ(Take(GetExecutableName()), c.name) << c.codePage << " " << c.path;
    }
}

TEST_F(RecordTest, LongPathsAreCutTo259Bytes) {
    std::string directory = "C:\\" + std::string(240, 'd');
    std::string exact = directory + "\\" + std::string(259 - directory.size() - 1, 'n');
    ASSERT_EQ(exact.size(), 259u);
    Record(exact);
    EXPECT_EQ(Take(GetRunDirectory()) + "\\" + Take(GetExecutableName()), exact);

    Record(exact + "more.exe");
    EXPECT_EQ(Take(GetRunDirectory()) + "\\" + Take(GetExecutableName()), exact);
}

TEST_F(RecordTest, CopiesAreFreshAndEqual) {
    Record("C:\\Tools\\Vorquin.exe");
    Text first = GetRunDirectory();
    Text second = GetRunDirectory();
    Text third = GetRunDirectory();
    EXPECT_NE(first, second);
    EXPECT_NE(second, third);
    first[0] = 'X';
    FreeMemory(first);
    EXPECT_STREQ(second, "C:\\Tools");
    EXPECT_EQ(Take(GetRunDirectory()), "C:\\Tools");
    FreeMemory(second);
    FreeMemory(third);
}

}  // namespace
