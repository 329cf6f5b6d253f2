// Registration and removal against the real registry, with foreign
// content around the program's keys.
#include <functional>
#include <string>

#include "harness.h"

namespace acceptance {

namespace {

std::string Text(const std::string& text) { return Sz(Utf16(text)); }

void Register(const std::string& program) { ExpectQuietSuccess(Run(program, Quoted(program))); }

void Remove() { ExpectQuietSuccess(Run(kProgram, Quoted(kProgram) + " /U")); }

std::string Shells() { return Dump("*\\shell") + Dump("lnkfile\\shell") + Dump("Directory\\shell"); }

void RegistrationKeepsForeignContent() {
    Case c("registration replaces its two values per command and keeps the rest");
    ResetVerbs();
    const std::string verb = "*\\shell\\QZV", command = verb + "\\command", open = "*\\shell\\open\\command";
    SetValue(verb, "", REG_DWORD, std::string("\x07\0\0\0", 4));
    SetText(verb, "Icon", "old.ico");
    SetText(verb + "\\DropTarget", "Clsid", "{0}");
    SetValue(command, "", REG_EXPAND_SZ, std::string("%SystemRoot%\\old.exe \"%1\"") + '\0');
    SetText(command, "DelegateExecute", "");
    SetText(open, "", "notepad.exe \"%1\"");

    Register(kProgram);

    const std::string expected =
        KeyLine("*\\shell") + KeyLine(verb) + ValueLine(verb, "", REG_SZ, Text("Vorquin(&B)")) +
        ValueLine(verb, "Icon", REG_SZ, Text("old.ico")) + KeyLine(verb + "\\DropTarget") +
        ValueLine(verb + "\\DropTarget", "Clsid", REG_SZ, Text("{0}")) + KeyLine(command) +
        ValueLine(command, "", REG_SZ, Text("\"C:\\Tools\\Vorquin.exe\" \"%1\"")) +
        ValueLine(command, "DelegateExecute", REG_SZ, Text("")) + KeyLine("*\\shell\\open") + KeyLine(open) +
        ValueLine(open, "", REG_SZ, Text("notepad.exe \"%1\""));
    ExpectEqual("*\\shell", Dump("*\\shell"), expected);
}

void LastRegistrationWins() {
    Case c("registering from a second place rewrites the command lines");
    ResetVerbs();
    const std::string second = "C:\\Program Files\\Vorquin Test\\Vorquin.exe";
    if (!Install(second)) return;
    Register(kProgram);
    Register(second);
    ExpectEqual("the commands", DumpVerbs(), AllRegistered(second));
}

void LongestModulePath() {
    // 259 bytes and its terminating zero fill the program's buffer; Windows
    // starts nothing from a longer path.
    Case c("a module path of 259 bytes is registered whole");
    ResetVerbs();
    std::string program = "C:\\Long\\" + std::string(120, 'd') + "\\" + std::string(118, 'e') + "\\Vorquin.exe";
    Expect(program.size() == 259, "the path has " + std::to_string(program.size()) + " bytes");
    if (!Install(program)) return;
    Register(program);
    ExpectEqual("the commands", DumpVerbs(), AllRegistered(program));
}

// Where the program lies, byte for byte in the stored command lines. R: is
// mapped to a folder of the prefix by acceptance.sh.
void ProgramLocations() {
    const struct {
        const char* name;
        std::string program;  // code page 936
    } places[] = {
        {"the root of a drive", "R:\\Vorquin.exe"},
        {"a folder with spaces", "C:\\My Tools\\V q\\Vorquin.exe"},
        // 淺 is 9C 5C: its second byte is that of a backslash
        {"a folder whose name ends in a second byte 0x5C", Gbk("C:\\淺\\Vorquin.exe")},
        {"a folder with 0x5C second bytes inside its name", Gbk("C:\\a淺b淺c\\Vorquin.exe")},
    };
    for (const auto& place : places) {
        Case c(std::string("registered from ") + place.name);
        ResetVerbs();
        if (!Install(place.program)) continue;
        Register(place.program);
        ExpectEqual("the commands", DumpVerbs(), AllRegistered(place.program));
    }
}

struct Removal {
    const char* name;
    bool registered;                 // run the registration first
    std::function<void()> setup;     // foreign content, after that
    std::string afterRemoval;        // Shells() after /U
    std::string afterSecondRemoval;  // Shells() after another /U; empty: not run
};

void CheckRemoval(const Removal& removal) {
    Case c(removal.name);
    ResetVerbs();
    if (removal.registered) Register(kProgram);
    removal.setup();
    Remove();
    ExpectEqual("the shell keys after /U", Shells(), removal.afterRemoval);
    if (!removal.afterSecondRemoval.empty()) {
        Remove();
        ExpectEqual("the shell keys after a second /U", Shells(), removal.afterSecondRemoval);
    }
    for (const char* type : {"*", "lnkfile", "Directory"}) Expect(KeyExists(type), std::string(type) + " is gone");
}

}  // namespace

void RegistryGroup() {
    RegistrationKeepsForeignContent();
    LastRegistrationWins();
    LongestModulePath();
    ProgramLocations();

    const std::string emptyShells = KeyLine("*\\shell") + KeyLine("lnkfile\\shell") + KeyLine("Directory\\shell");
    const std::string files = "*\\shell\\QZV", shortcuts = "lnkfile\\shell\\QZV_lnk",
                      folders = "Directory\\shell\\QZV";
    const Removal removals[] = {
        {"removal deletes the three commands and keeps the shell keys", true, [] {}, emptyShells, ""},
        {"removal with nothing registered creates nothing", false, [] {}, "", ""},
        {"a named value of a command's key goes with the key", true,
         [&] { SetText(files, "Icon", "x.ico"); }, emptyShells, ""},
        {"a foreign subkey of the command key keeps both keys", true,
         [&] { SetText(files + "\\command\\ddeexec", "", "[open]"); },
         KeyLine("*\\shell") + KeyLine(files) + KeyLine(files + "\\command") +
             KeyLine(files + "\\command\\ddeexec") +
             ValueLine(files + "\\command\\ddeexec", "", REG_SZ, Text("[open]")) + KeyLine("lnkfile\\shell") +
             KeyLine("Directory\\shell"),
         ""},
        {"a foreign subkey of the verb key keeps the verb key", true,
         [&] { SetText(folders + "\\DropTarget", "Clsid", "{0}"); },
         KeyLine("*\\shell") + KeyLine("lnkfile\\shell") + KeyLine("Directory\\shell") + KeyLine(folders) +
             KeyLine(folders + "\\DropTarget") + ValueLine(folders + "\\DropTarget", "Clsid", REG_SZ, Text("{0}")),
         ""},
        // The last deletion names value QZV of *\shell before key QZV.
        {"a value named like the verb key is deleted in its place", true,
         [] { SetText("*\\shell", "QZV", "foreign"); },
         KeyLine("*\\shell") + KeyLine(files) + KeyLine("lnkfile\\shell") + KeyLine("Directory\\shell"),
         emptyShells},
        {"a value named command is deleted in place of the command key", true,
         [&] { SetText(shortcuts, "command", "foreign"); },
         KeyLine("*\\shell") + KeyLine("lnkfile\\shell") + KeyLine(shortcuts) + KeyLine(shortcuts + "\\command") +
             KeyLine("Directory\\shell"),
         emptyShells},
        {"keys are found whatever the case of their names", false,
         [] {
             SetText("DIRECTORY\\Shell\\qzv", "", "folders");
             SetText("DIRECTORY\\Shell\\qzv\\COMMAND", "", "x.exe \"%L\"");
         },
         KeyLine("Directory\\shell"), ""},
    };
    for (const Removal& removal : removals) CheckRemoval(removal);
}

}  // namespace acceptance
