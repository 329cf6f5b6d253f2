#include <set>
#include <sstream>

#include "app/verbs.h"
#include "fixture.h"
#include "platform/location.h"

namespace {

const char* const kShortcutsLabel =
    "\\xB8\\xB4\\xD6\\xC6\\xBF\\xEC\\xBD\\xDD\\xB7\\xBD\\xCA\\xBD\\xC2\\xB7\\xBE\\xB6(&E)";
const char* const kFoldersLabel = "\\xB8\\xB4\\xD6\\xC6\\xCE\\xC4\\xBC\\xFE\\xBC\\xD0\\xC2\\xB7\\xBE\\xB6(&B)";

class VerbsTest : public StandinTest {
protected:
    void Record(const std::string& modulePath) {
        state().modulePath = modulePath;
        RecordProgramLocation();
    }
    static std::string Classes() { return standin::Dump(HKEY_CLASSES_ROOT); }

    // The registered tree, command lines as the dump escapes them.
    static std::string Registered(const std::string& quotedPath) {
        std::string file = "REG_SZ \"\\x22" + quotedPath + "\\x22 \\x22%1\\x22\"";
        std::string folder = "REG_SZ \"\\x22" + quotedPath + "\\x22 \\x22%L\\x22\"";
        return "*\n*\\shell\n*\\shell\\QZV\n*\\shell\\QZV :  = REG_SZ \"Vorquin(&B)\"\n"
               "*\\shell\\QZV\\command\n*\\shell\\QZV\\command :  = " + file + "\n"
               "Directory\nDirectory\\shell\nDirectory\\shell\\QZV\n"
               "Directory\\shell\\QZV :  = REG_SZ \"" + kFoldersLabel + "\"\n"
               "Directory\\shell\\QZV\\command\nDirectory\\shell\\QZV\\command :  = " + folder + "\n"
               "lnkfile\nlnkfile\\shell\nlnkfile\\shell\\QZV_lnk\n"
               "lnkfile\\shell\\QZV_lnk :  = REG_SZ \"" + kShortcutsLabel + "\"\n"
               "lnkfile\\shell\\QZV_lnk\\command\nlnkfile\\shell\\QZV_lnk\\command :  = " + file + "\n";
    }

    // The dump's lines that do not begin with prefix.
    static std::string Without(const std::string& tree, const std::string& prefix) {
        std::istringstream lines(tree);
        std::string line, rest;
        while (std::getline(lines, line)) {
            if (line.compare(0, prefix.size(), prefix) != 0) rest += line + "\n";
        }
        return rest;
    }

    // What registration changes for one command on a fresh tree: the command
    // line's write creates the keys, the label follows.
    static std::string Writes(const std::string& verbKey) {
        return "RegCreateKeyA HKCR\\" + verbKey + "\\command = 0\n"
               "RegSetValueExA HKCR\\" + verbKey + "\\command [] = 0\n"
               "RegSetValueExA HKCR\\" + verbKey + " [] = 0\n";
    }

    // What removal changes for one registered command: the command line, the
    // command key, the label, the verb key; each key after the value of its
    // name in the key above was tried.
    static std::string Deletions(const std::string& shellKey, const std::string& verb) {
        std::string verbKey = shellKey + "\\" + verb;
        return "RegDeleteValueA HKCR\\" + verbKey + "\\command [] = 0\n"
               "RegDeleteValueA HKCR\\" + verbKey + " [command] = 2\n"
               "RegDeleteKeyA HKCR\\" + verbKey + "\\command = 0\n"
               "RegDeleteValueA HKCR\\" + verbKey + " [] = 0\n"
               "RegDeleteValueA HKCR\\" + shellKey + " [" + verb + "] = 2\n"
               "RegDeleteKeyA HKCR\\" + verbKey + " = 0\n";
    }

    static const std::string kShells;
    static const std::set<std::string> kShellLines;
};

const std::string VerbsTest::kShells = "*\n*\\shell\nDirectory\nDirectory\\shell\nlnkfile\nlnkfile\\shell\n";
const std::set<std::string> VerbsTest::kShellLines = {"*", "*\\shell", "Directory", "Directory\\shell", "lnkfile",
                                                      "lnkfile\\shell"};

TEST_F(VerbsTest, CommandLineQuotesThePathAndTheTail) {
    struct Case {
        const char* modulePath;
        const char* expected;
    } cases[] = {
        {"D:\\Apps\\Vorquin.exe", "\"D:\\Apps\\Vorquin.exe\" \"%1\""},
        {"E:\\Vorquin.exe", "\"E:\\Vorquin.exe\" \"%1\""},
        {"C:\\Program Files\\V q\\Vorquin.exe", "\"C:\\Program Files\\V q\\Vorquin.exe\" \"%1\""},
        {"C:\\\x9c\x5c\\Vorquin.exe", "\"C:\\\x9c\x5c\\Vorquin.exe\" \"%1\""},
        {"Vorquin.exe", "\"\\Vorquin.exe\" \"%1\""},
    };
    for (const Case& c : cases) {
        Record(c.modulePath);
        Text line = BuildCommandLine("\" \"%1\"");
        EXPECT_STREQ(line, c.expected);
        FreeMemory(line);
    }
}

TEST_F(VerbsTest, RegisterWritesTheThreeCommandsInOrder) {
    Record("C:\\Tools\\Vorquin.exe");
    size_t before = liveBlocks();
    RegisterVerbs();
    EXPECT_EQ(Classes(), Registered("C:\\x5CTools\\x5CVorquin.exe"));
    EXPECT_EQ(standin::RegistryLog(true),
              Writes("*\\shell\\QZV") + Writes("lnkfile\\shell\\QZV_lnk") + Writes("Directory\\shell\\QZV"));
    EXPECT_EQ(liveBlocks(), before);  // every command line and key path released
}

// A failed allocation for the folders' command line ends the run there: the
// writes before it stay, the ones after it are not made.
TEST_F(VerbsTest, FailedAllocationKeepsTheEarlierWrites) {
    const std::string path = "C:\\Program Files\\Vorquin\\Vorquin.exe";
    Record(path);
    size_t first = state().allocationSizes.size();
    RegisterVerbs();
    std::vector<size_t> commandLines;  // blocks of a command line's size: quotes, space, tail, zero
    for (size_t i = first; i < state().allocationSizes.size(); ++i) {
        if (state().allocationSizes[i] == path.size() + 8) commandLines.push_back(i);
    }
    ASSERT_EQ(commandLines.size(), 3u);

    standin::Reset();
    Record(path);
    state().failAllocations = {commandLines[2]};
    EXPECT_EQ(standin::RunToExit(RegisterVerbs), 0xFFFFFFFFu);
    EXPECT_EQ(standin::RegistryLog(true), Writes("*\\shell\\QZV") + Writes("lnkfile\\shell\\QZV_lnk"));
    EXPECT_EQ(Classes(), Without(Registered("C:\\x5CProgram Files\\x5CVorquin\\x5CVorquin.exe"), "Directory"));
}

TEST_F(VerbsTest, RegisterAgainAndFromAnotherFolder) {
    Record("C:\\Tools\\Vorquin.exe");
    RegisterVerbs();
    RegisterVerbs();
    EXPECT_EQ(Classes(), Registered("C:\\x5CTools\\x5CVorquin.exe"));
    Record("D:\\\x9c\x5c\\Vorquin.exe");
    RegisterVerbs();
    EXPECT_EQ(Classes(), Registered("D:\\x5C\\x9C\\x5C\\x5CVorquin.exe"));
}

TEST_F(VerbsTest, RegisterKeepsWhatWasThere) {
    standin::PutValue(HKEY_CLASSES_ROOT, "*\\shell\\open", "", REG_SZ, std::string("o\0", 2));
    Record("C:\\Tools\\Vorquin.exe");
    RegisterVerbs();
    std::string tree = Classes();
    EXPECT_NE(tree.find("*\\shell\\open :  = REG_SZ \"o\"\n"), std::string::npos);
    RemoveVerbs();
    EXPECT_EQ(Classes(), "*\n*\\shell\n*\\shell\\open\n*\\shell\\open :  = REG_SZ \"o\"\n"
                         "Directory\nDirectory\\shell\nlnkfile\nlnkfile\\shell\n");
}

TEST_F(VerbsTest, RemoveDeletesInnermostFirstAndLeavesTheShellAndClassKeys) {
    Record("C:\\Tools\\Vorquin.exe");
    RegisterVerbs();
    state().registryCalls.clear();
    size_t before = liveBlocks();
    RemoveVerbs();
    EXPECT_EQ(Classes(), kShells);
    EXPECT_EQ(standin::RegistryLog(true), Deletions("*\\shell", "QZV") + Deletions("lnkfile\\shell", "QZV_lnk") +
                                              Deletions("Directory\\shell", "QZV"));
    EXPECT_EQ(liveBlocks(), before);
    RemoveVerbs();  // nothing left to remove: no change
    EXPECT_EQ(Classes(), kShells);
}

TEST_F(VerbsTest, RemoveOnAnEmptyRegistryChangesNothing) {
    RemoveVerbs();
    EXPECT_EQ(Classes(), "");
}

TEST_F(VerbsTest, RemoveWithForeignContent) {
    struct Case {
        const char* what;
        void (*add)();
        const char* expected;  // below the registered tree's shell keys
    } cases[] = {
        {"a foreign subkey under a verb key",
         [] { standin::PutKey(HKEY_CLASSES_ROOT, "*\\shell\\QZV\\extra"); },
         "*\\shell\\QZV\n*\\shell\\QZV\\extra\n"},
        {"a foreign named value in a verb key",
         [] { standin::PutValue(HKEY_CLASSES_ROOT, "*\\shell\\QZV", "Icon", REG_SZ, std::string("i\0", 2)); },
         ""},
        {"a value named QZV in the shell key",
         [] { standin::PutValue(HKEY_CLASSES_ROOT, "*\\shell", "QZV", REG_SZ, std::string("q\0", 2)); },
         "*\\shell\\QZV\n"},
        {"a value named QZV_lnk in the shortcuts' shell key",
         [] { standin::PutValue(HKEY_CLASSES_ROOT, "lnkfile\\shell", "QZV_lnk", REG_SZ, std::string("q\0", 2)); },
         "lnkfile\\shell\\QZV_lnk\n"},
        {"a value named command in a verb key",
         [] { standin::PutValue(HKEY_CLASSES_ROOT, "Directory\\shell\\QZV", "command", REG_SZ, std::string("c\0", 2)); },
         "Directory\\shell\\QZV\nDirectory\\shell\\QZV\\command\n"},
    };
    for (const auto& c : cases) {
        standin::Reset();
        Record("C:\\Tools\\Vorquin.exe");
        RegisterVerbs();
        c.add();
        RemoveVerbs();
        // What stays besides the class and shell keys, in the dump's order.
        std::istringstream tree(Classes());
        std::string line, rest;
        while (std::getline(tree, line)) {
            if (!kShellLines.count(line)) rest += line + "\n";
        }
        EXPECT_EQ(rest, c.expected) << c.what;
    }
}

}  // namespace
