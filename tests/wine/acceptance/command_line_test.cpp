// The command line as the process receives it from CreateProcess: which
// action each line chooses, and the exact bytes a copy places.
#include <string>

#include "harness.h"

namespace acceptance {

namespace {

enum class Action { Register, Remove, Copy };

struct Line {
    const char* name;
    std::string commandLine;
    Action action;
    std::string copied;  // for Copy
};

void CheckLine(const Line& line) {
    Case c(line.name);
    ResetVerbs();
    const std::string marked = MarkVerbs();
    PutClipboard(kSentinel);

    ExpectQuietSuccess(Run(kProgram, line.commandLine));

    const std::string after = DumpVerbs();
    ClipboardContent clipboard = ReadClipboard();
    std::string expectedRegistry = marked;
    std::string expectedText = kSentinel;
    switch (line.action) {
        case Action::Register:
            expectedRegistry = AllRegistered(kProgram);
            break;
        case Action::Remove:
            expectedRegistry.clear();
            break;
        case Action::Copy:
            expectedText = line.copied;
            break;
    }
    ExpectEqual("the commands", after, expectedRegistry);
    Expect(clipboard.hasText, "no CF_TEXT: " + clipboard.Describe());
    ExpectEqual("CF_TEXT (hex)", Hex(clipboard.text), Hex(expectedText));
}

}  // namespace

void CommandLineGroup() {
    const std::string p = Quoted(kProgram);
    const std::string longArgument = std::string(10000, 'a') + Gbk("路径") + std::string(20000, 'z');
    const std::string printable =
        "!#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
    const Line lines[] = {
        {"no argument registers", p, Action::Register, ""},
        {"only separators after the name register", p + " \t\x01\x1f ", Action::Register, ""},
        {"an unquoted name without arguments registers", kProgram, Action::Register, ""},
        {"a tab does not end an unquoted name", std::string(kProgram) + "\t/U", Action::Register, ""},
        {"a control byte does not end an unquoted name", "Vorquin.exe\x01/U", Action::Register, ""},

        {"/U removes", p + " /U", Action::Remove, ""},
        {"/u removes", p + " /u", Action::Remove, ""},
        {"a quoted /U removes", p + " \"/U\"", Action::Remove, ""},
        {"/U right after the closing quote removes", p + "\"/U\"", Action::Remove, ""},
        {"arguments after /u are ignored", p + " /u C:\\a.txt", Action::Remove, ""},
        {"bytes 01 to 20 separate", p + "\t\x01\x1f /U", Action::Remove, ""},
        {"an unquoted name ends at its first space", std::string(kProgram) + "\tx /u", Action::Remove, ""},
        {"a lone bit-7 byte after the switch is dropped", p + " /U\x80", Action::Remove, ""},

        {"a path is copied", p + " C:\\a.txt", Action::Copy, "C:\\a.txt"},
        {"a quoted GBK path with spaces is copied whole", p + " " + Quoted(Gbk("C:\\文档 2\\a b.txt")),
         Action::Copy, Gbk("C:\\文档 2\\a b.txt")},
        {"only the first argument is copied", p + " C:\\a b", Action::Copy, "C:\\a"},
        {"the first argument even when /U follows", p + " x /U", Action::Copy, "x"},
        {"an empty argument copies empty text", p + " \"\"", Action::Copy, ""},
        {"an empty first argument before /U", p + " \"\" /U", Action::Copy, ""},
        {"an unclosed quote runs to the end", p + " \"unclosed quote", Action::Copy, "unclosed quote"},
        {"a quote ends an unquoted argument", p + " a\"b c\"d", Action::Copy, "a"},
        {"a closing quote ends the argument", p + " \"a\"b", Action::Copy, "a"},
        {"separators inside quotes are kept", p + " \"\x01\t x\"", Action::Copy, "\x01\t x"},
        {"a backslash does not escape a quote", p + " C:\\dir\\\"x y\"", Action::Copy, "C:\\dir\\"},
        {"a quoted drive root keeps its backslash", p + " \"C:\\\"", Action::Copy, "C:\\"},
        {"printable ASCII is copied unchanged", p + " " + printable, Action::Copy, printable},
        {"a GBK trail byte 5C is no separator", p + " " + Gbk("C:\\誠\\表.txt"), Action::Copy,
         Gbk("C:\\誠\\表.txt")},
        {"/U2 is copied", p + " /U2", Action::Copy, "/U2"},
        {"/ux is copied as it is", p + " /ux", Action::Copy, "/ux"},
        {"/U with a space inside quotes is copied", p + " \"/U \"", Action::Copy, "/U "},
        {"-U is copied", p + " -U", Action::Copy, "-U"},
        {"a full-width U is not the switch", p + " " + Gbk("/Ｕ"), Action::Copy, Gbk("/Ｕ")},
        {"a bit-7 byte takes a space with it", p + " \x80 y", Action::Copy, "\x80 y"},
        {"a bit-7 byte takes a quote with it", p + " \x80\"a b\"", Action::Copy, "\x80\"a"},
        {"a lone bit-7 byte at the end is dropped", p + " a\x80", Action::Copy, "a"},
        {"a lone bit-7 byte alone leaves an empty argument", p + " \x80", Action::Copy, ""},
        {"a 30000-byte argument is copied whole", p + " " + longArgument, Action::Copy, longArgument},
    };
    for (const Line& line : lines) CheckLine(line);
}

}  // namespace acceptance
