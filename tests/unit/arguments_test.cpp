#include <algorithm>
#include <vector>

#include "fixture.h"
#include "platform/arguments.h"

namespace {

class ArgumentsTest : public StandinTest {
protected:
    // The split of line; null stands for an empty argument.
    std::vector<std::string> Split(const std::string& line) {
        state().commandLine = line;
        ArgumentList* list = NewArgumentList();
        GetArguments(list);
        std::vector<std::string> found;
        EXPECT_EQ(list->dimensionCount, 1);
        for (int32_t i = 1; i <= ArgumentCount(list); ++i) {
            const char* argument = ArgumentAt(list, i);
            if (argument) {
                EXPECT_NE(argument[0], 0) << "an empty argument must be held as no text";
            }
            found.push_back(argument ? argument : "<none>");
        }
        FreeArgumentList(list);
        EXPECT_EQ(liveBlocks(), 0u);
        return found;
    }
};

struct SplitCase {
    const char* line;
    std::vector<std::string> arguments;  // "<none>": an empty argument
};

const char* const kNone = "<none>";

TEST_F(ArgumentsTest, SplitsTheCommandLine) {
    const SplitCase cases[] = {
        {"\"C:\\Tools\\Vorquin.exe\"", {}},
        {"C:\\Tools\\Vorquin.exe", {}},
        {"\"C:\\Tools\\Vorquin.exe\"  \t \t", {}},
        {"", {}},
        {"\"C:\\Tools\\Vorquin.exe\" \"D:\\My Files\\a.txt\"", {"D:\\My Files\\a.txt"}},
        {"\"C:\\Tools\\Vorquin.exe\" /u", {"/u"}},
        {"\"C:\\Tools\\Vorquin.exe\"x y", {"x", "y"}},
        {"\"C:\\Tools\\Vorquin.exe a", {}},
        {"C:\\Program Files\\Vorquin.exe", {"Files\\Vorquin.exe"}},
        {"Vorquin.exe\ta b", {"b"}},
        {"Vorquin.exe\"a b\"", {"b", kNone}},
        {" a b", {"a", "b"}},
        {"Vorquin.exe a  b", {"a", "b"}},
        {"Vorquin.exe a\tb", {"a", "b"}},
        {"Vorquin.exe a\x01" "b\x1f" "c", {"a", "b", "c"}},
        {"Vorquin.exe a\x7f" "b", {"a\x7f" "b"}},
        {"Vorquin.exe \"a\"b", {"a", "b"}},
        {"Vorquin.exe a\"b c\"d", {"a", "b c", "d"}},
        {"Vorquin.exe \"\"", {kNone}},
        {"Vorquin.exe \"\" x", {kNone, "x"}},
        {"Vorquin.exe \"a\"\"b\"", {"a", "b"}},
        {"Vorquin.exe \"a b", {"a b"}},
        {"Vorquin.exe \" \"", {" "}},
        {"Vorquin.exe \" a\t\"", {" a\t"}},
        {"Vorquin.exe a\"", {"a", kNone}},
        {"Vorquin.exe \"", {kNone}},
        {"Vorquin.exe a\\\"b", {"a\\", "b"}},
        {"Vorquin.exe \"D:\\\"", {"D:\\"}},
        // 工具, 文档 and 新建 in code page 936
        {"\"C:\\\xb9\xa4\xbe\xdf\\Vorquin.exe\" D:\\\xce\xc4\xb5\xb5\\\xd0\xc2\xbd\xa8.txt",
         {"D:\\\xce\xc4\xb5\xb5\\\xd0\xc2\xbd\xa8.txt"}},
        {"Vorquin.exe \"D:\\\xce\xc4\xb5\xb5 2\\a.txt\"", {"D:\\\xce\xc4\xb5\xb5 2\\a.txt"}},
        {"Vorquin.exe \"a\x80\" b", {"a\x80\" b"}},
        {"Vorquin.exe a\x81\"b c", {"a\x81\"b", "c"}},
        {"Vorquin.exe a\x81 b", {"a\x81 b"}},
        {"Vorquin.exe a\xff\xff" "b", {"a\xff\xff" "b"}},
        {"Vorquin.exe a b\xb0", {"a", "b"}},
        {"Vorquin.exe \xb0", {kNone}},
        {"Vorquin.exe \"ab\xb0", {"ab"}},
        {"Vorquin.exe \"\xb0", {kNone}},
        {"Vorquin.exe /U x", {"/U", "x"}},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(Split(c.line), c.arguments) << "line: " << c.line;
    }
}

TEST_F(ArgumentsTest, TakesOneBlockPerTextAndOneForTheList) {
    state().commandLine = "Vorquin.exe abc \"\" de";
    ArgumentList* list = NewArgumentList();
    size_t before = state().allocationSizes.size();
    GetArguments(list);
    std::vector<size_t> sizes(state().allocationSizes.begin() + long(before), state().allocationSizes.end());
    size_t listSize = 8 + 3 * sizeof(char*);
    // the working list's block is the only other one
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 4u), 1);  // "abc"
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 3u), 1);  // "de"
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), listSize), 1);
    EXPECT_EQ(ArgumentCount(list), 3);
    EXPECT_EQ(ArgumentAt(list, 0), nullptr);
    EXPECT_EQ(ArgumentAt(list, 4), nullptr);
    FreeArgumentList(list);
    EXPECT_EQ(liveBlocks(), 0u);
}

TEST_F(ArgumentsTest, SplittingAgainReleasesTheFirstList) {
    state().commandLine = "Vorquin.exe one two";
    ArgumentList* list = NewArgumentList();
    GetArguments(list);
    size_t afterFirst = liveBlocks();
    GetArguments(list);
    EXPECT_EQ(liveBlocks(), afterFirst);
    EXPECT_STREQ(ArgumentAt(list, 2), "two");
    FreeArgumentList(list);

    ArgumentList* none = nullptr;  // a variable that holds no list
    GetArguments(none);
    EXPECT_EQ(ArgumentCount(none), 2);
    FreeArgumentList(none);
    EXPECT_EQ(liveBlocks(), 0u);
}

TEST_F(ArgumentsTest, ManyArgumentsKeepTheirOrder) {
    std::string line = "Vorquin.exe";
    for (int i = 0; i < 1000; ++i) line += " a" + std::to_string(i);
    state().commandLine = line;
    ArgumentList* list = NewArgumentList();
    GetArguments(list);
    ASSERT_EQ(ArgumentCount(list), 1000);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(std::string(ArgumentAt(list, i + 1)), "a" + std::to_string(i));
    FreeArgumentList(list);
    EXPECT_EQ(liveBlocks(), 0u);
}

// Every allocation of a split can fail; each failure must end the run with
// the fatal box naming the bytes asked for, never a shortened list.
TEST_F(ArgumentsTest, EveryFailedAllocationIsFatal) {
    std::string line = "Vorquin.exe";
    for (int i = 0; i < 20; ++i) line += " arg" + std::to_string(i);
    state().commandLine = line;
    ArgumentList* list = NewArgumentList();
    GetArguments(list);
    FreeArgumentList(list);
    size_t allocations = state().allocationSizes.size();
    ASSERT_GT(allocations, 22u);  // the list, the working list's growth, 20 texts

    for (size_t failing = 1; failing < allocations; ++failing) {
        standin::Reset();
        state().commandLine = line;
        state().failAllocations = {failing};
        UINT code = standin::RunToExit([] {
            ArgumentList* list = NewArgumentList();
            GetArguments(list);
        });
        EXPECT_EQ(code, 0xFFFFFFFFu) << "allocation " << failing;
        ASSERT_EQ(state().messageBoxes.size(), 1u) << "allocation " << failing;
        std::string count = " " + std::to_string(state().allocationSizes[failing]) + " ";
        EXPECT_NE(state().messageBoxes[0].text.find(count), std::string::npos) << "allocation " << failing;
    }
    standin::Reset();
}

}  // namespace
