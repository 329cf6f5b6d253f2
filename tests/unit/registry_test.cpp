#include "fixture.h"
#include "platform/registry.h"

namespace {

class RegistryTest : public StandinTest {
protected:
    static std::string Classes() { return standin::Dump(HKEY_CLASSES_ROOT); }
};

TEST_F(RegistryTest, FindLastByteSkipsSecondBytesOfPairs) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"", -1},
        {nullptr, -1},
        {"abc", -1},
        {"a\\b\\c", 3},
        {"\\", 0},
        {"a\\\\", 2},
        {"\x9c\x5c", -1},           // the only 0x5C is a second byte
        {"a\\\x9c\x5c" "b", 1},
        {"\x80\x5c\\", 2},          // bit 7 alone decides, 0x80 included
        {"a\\b\xb0", 1},            // a lone last lead byte ends the scan
        {"\xb0", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(FindLastByte(c.text, '\\'), c.expected) << Bytes(c.text);
    EXPECT_EQ(FindLastByte("a.b.c", '.'), 3);
}

TEST_F(RegistryTest, SplitsPathsAtTheLastBackslash) {
    struct Case {
        const char* path;
        const char* keyPath;  // null: ""
        const char* valueName;
    } cases[] = {
        {"*\\shell\\QZV\\command\\", "*\\shell\\QZV\\command", ""},
        {"*\\shell\\QZV", "*\\shell", "QZV"},
        {"QZV", nullptr, "QZV"},
        {"", nullptr, ""},
        {"\\", nullptr, ""},
        {"a\\\\b", "a\\", "b"},
        {"a\\\x9c\x5c", "a", "\x9c\x5c"},
        {"\x9c\x5c", nullptr, "\x9c\x5c"},  // its only 0x5C is a second byte
    };
    for (const Case& c : cases) {
        RegistryEntryPath entry = SplitRegistryPath(1, c.path);
        EXPECT_EQ(entry.root, HKEY_CLASSES_ROOT);
        EXPECT_STREQ(OrEmpty(entry.keyPath), c.keyPath ? c.keyPath : "") << c.path;
        EXPECT_STREQ(entry.valueName, c.valueName) << c.path;
        EXPECT_EQ(entry.wholePath, c.path);
        FreeMemory(entry.keyPath);
    }
    EXPECT_EQ(liveBlocks(), 0u);
}

TEST_F(RegistryTest, RootCodesSelectTheRootKeys) {
    EXPECT_EQ(RootKeyFor(1), HKEY_CLASSES_ROOT);
    EXPECT_EQ(RootKeyFor(2), HKEY_CURRENT_CONFIG);
    EXPECT_EQ(RootKeyFor(4), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RootKeyFor(5), HKEY_USERS);
    for (int code : {0, 3, 6, -1}) EXPECT_EQ(RootKeyFor(code), HKEY_CURRENT_USER) << code;
}

TEST_F(RegistryTest, WriteCreatesMissingKeysAndStoresTheZero) {
    EXPECT_TRUE(WriteRegistryEntry(1, "a\\b\\c\\", "text"));
    EXPECT_TRUE(WriteRegistryEntry(1, "a\\b\\name", ""));
    EXPECT_TRUE(WriteRegistryEntry(1, "top", "t"));
    EXPECT_EQ(Classes(),
              " : top = REG_SZ \"t\"\n"
              "a\n"
              "a\\b\n"
              "a\\b : name = REG_SZ \"\"\n"
              "a\\b\\c\n"
              "a\\b\\c :  = REG_SZ \"text\"\n");
    EXPECT_EQ(state().roots[HKEY_CLASSES_ROOT].subkeys.at("A")->subkeys.at("B")->values.at("NAME").data,
              std::string(1, '\0'));
    EXPECT_TRUE(WriteRegistryEntry(1, "A\\B\\C\\", "again"));  // names ignore case
    EXPECT_NE(Classes().find("a\\b\\c :  = REG_SZ \"again\"\n"), std::string::npos);
    EXPECT_EQ(liveBlocks(), 0u);
}

TEST_F(RegistryTest, WriteStoresNumbersAndBytes) {
    const std::string dword = "type 4 hex ";
    EXPECT_TRUE(WriteRegistryEntry(3, "k\\i", int32_t(-2)));
    EXPECT_TRUE(WriteRegistryEntry(3, "k\\b", uint8_t(0xF0)));
    EXPECT_TRUE(WriteRegistryEntry(3, "k\\s", int16_t(-1)));
    EXPECT_TRUE(WriteRegistryEntry(3, "k\\l", int64_t(0x123456789)));
    EXPECT_TRUE(WriteRegistryEntry(3, "k\\d", -2.9));
    EXPECT_TRUE(WriteRegistryEntry(3, "k\\x", "\x01\x00\x02", 3u));
    EXPECT_EQ(standin::Dump(HKEY_CURRENT_USER),
              "k\n"
              "k : b = " + dword + "F0 00 00 00\n"
              "k : d = " + dword + "FE FF FF FF\n"
              "k : i = " + dword + "FE FF FF FF\n"
              "k : l = " + dword + "89 67 45 23\n"
              "k : s = " + dword + "FF FF FF FF\n"
              "k : x = type 3 hex 01 00 02\n");
}

TEST_F(RegistryTest, DeleteTakesTheValueFirstThenTheKey) {
    standin::PutValue(HKEY_CLASSES_ROOT, "s\\QZV", "", REG_SZ, std::string("label\0", 6));
    standin::PutValue(HKEY_CLASSES_ROOT, "s", "QZV", REG_SZ, std::string("x\0", 2));

    EXPECT_TRUE(DeleteRegistryEntry(1, "s\\QZV"));  // the value named QZV goes, the key stays
    EXPECT_EQ(Classes(), "s\ns\\QZV\ns\\QZV :  = REG_SZ \"label\"\n");
    EXPECT_TRUE(DeleteRegistryEntry(1, "s\\QZV\\"));  // its default value
    EXPECT_TRUE(DeleteRegistryEntry(1, "s\\QZV\\"));  // no value left: the key itself
    EXPECT_EQ(Classes(), "s\n");
    EXPECT_FALSE(DeleteRegistryEntry(1, "s\\QZV"));
    EXPECT_FALSE(DeleteRegistryEntry(1, "missing\\key\\"));
    EXPECT_EQ(Classes(), "s\n");
    EXPECT_EQ(liveBlocks(), 0u);
}

// Writes open the key for writing and create it only when that fails; a
// delete closes its handle before it falls back on the key deletion.
TEST_F(RegistryTest, CallsTheRegistryInOrder) {
    EXPECT_TRUE(WriteRegistryEntry(1, "a\\b\\", "new key"));
    EXPECT_TRUE(WriteRegistryEntry(1, "a\\b\\v", "key in place"));
    EXPECT_TRUE(DeleteRegistryEntry(1, "a\\b\\v"));
    EXPECT_TRUE(DeleteRegistryEntry(1, "a\\b"));     // no value b in a: the key goes
    EXPECT_FALSE(DeleteRegistryEntry(1, "a\\b\\"));  // no key to open or delete
    EXPECT_EQ(standin::RegistryLog(),
              "RegOpenKeyExA HKCR\\a\\b 0x20006 = 2\n"
              "RegCreateKeyA HKCR\\a\\b = 0\n"
              "RegSetValueExA HKCR\\a\\b [] = 0\n"
              "RegCloseKey HKCR\\a\\b = 0\n"
              "RegOpenKeyExA HKCR\\a\\b 0x20006 = 0\n"
              "RegSetValueExA HKCR\\a\\b [v] = 0\n"
              "RegCloseKey HKCR\\a\\b = 0\n"
              "RegOpenKeyExA HKCR\\a\\b 0x20006 = 0\n"
              "RegDeleteValueA HKCR\\a\\b [v] = 0\n"
              "RegCloseKey HKCR\\a\\b = 0\n"
              "RegOpenKeyExA HKCR\\a 0x20006 = 0\n"
              "RegDeleteValueA HKCR\\a [b] = 2\n"
              "RegCloseKey HKCR\\a = 0\n"
              "RegDeleteKeyA HKCR\\a\\b = 0\n"
              "RegOpenKeyExA HKCR\\a\\b 0x20006 = 2\n"
              "RegDeleteKeyA HKCR\\a\\b\\ = 2\n");
}

TEST_F(RegistryTest, DeleteLeavesAKeyWithSubkeys) {
    standin::PutKey(HKEY_CLASSES_ROOT, "v\\command");
    EXPECT_FALSE(DeleteRegistryEntry(1, "v"));
    EXPECT_EQ(Classes(), "v\nv\\command\n");
}

TEST_F(RegistryTest, EmptyAndBackslashPathsNameTheRootsDefaultValue) {
    EXPECT_TRUE(WriteRegistryEntry(3, "", "root"));
    EXPECT_EQ(standin::Dump(HKEY_CURRENT_USER), " :  = REG_SZ \"root\"\n");
    EXPECT_TRUE(DeleteRegistryEntry(3, "\\"));
    EXPECT_FALSE(DeleteRegistryEntry(3, "\\"));  // the key deletion refuses "\"
    EXPECT_FALSE(DeleteRegistryEntry(3, ""));    // and the root itself
    EXPECT_EQ(standin::Dump(HKEY_CURRENT_USER), "");
}

}  // namespace
