// What a copy leaves on the real clipboard, and the 失败 box when another
// program holds the clipboard open.
#include <algorithm>
#include <string>

#include "harness.h"

namespace acceptance {

namespace {

// CF_OEMTEXT, CF_UNICODETEXT and CF_LOCALE, which Windows derives from CF_TEXT.
bool Derived(UINT format) { return format == 7 || format == 13 || format == 16; }

void CopyReplacesEverything() {
    Case c("a copy replaces every format and reads the same as Unicode");
    const std::string path = "C:\\文档\\报告 1.txt";
    const UINT privateFormat = RegisterClipboardFormatA("Vorquin acceptance");
    PutClipboard("old text", {{CF_UNICODETEXT, std::string("o\0l\0d\0\0\0", 8)}, {privateFormat, "private"}});

    ExpectQuietSuccess(Run(kProgram, Quoted(kProgram) + " " + Quoted(Gbk(path))));

    ClipboardContent clipboard = ReadClipboard();
    const std::vector<UINT>& formats = clipboard.formats;
    Expect(std::find(formats.begin(), formats.end(), UINT(CF_TEXT)) != formats.end() &&
               std::all_of(formats.begin(), formats.end(), [](UINT f) { return f == CF_TEXT || Derived(f); }),
           "expected CF_TEXT and what derives from it: " + clipboard.Describe());
    Expect(clipboard.hasText, "no terminated CF_TEXT");
    ExpectEqual("CF_TEXT (hex)", Hex(clipboard.text), Hex(Gbk(path)));
    ExpectEqual("CF_UNICODETEXT (hex)", Hex(clipboard.unicode), Hex(Utf16(path)));
}

enum class Effect { FailureBox, Removal, Registration };

struct HeldRun {
    const char* name;
    std::string arguments;
    Effect effect;
};

void CheckHeldRun(const HeldRun& run) {
    Case c(run.name);
    ResetVerbs();
    const std::string marked = MarkVerbs();
    Outcome outcome;
    {
        ClipboardHold hold;
        if (!hold.held()) return;
        outcome = Run(kProgram, Quoted(kProgram) + run.arguments);
    }
    switch (run.effect) {
        case Effect::FailureBox:
            Expect(outcome.ended && outcome.exitCode == 0 && outcome.boxes.size() == 1,
                   "expected one box, then exit code 0; " + outcome.Describe());
            // The box's windows are seen: so a run without box that shows none made none.
            Expect(outcome.windowsCreated > 0, "the box's windows went unseen; " + outcome.Describe());
            if (!outcome.boxes.empty()) {
                const MessageBoxSeen& box = outcome.boxes[0];
                ExpectEqual("caption (hex)", Hex(box.caption), Hex(std::string("Vorquin")));
                ExpectEqual("text (hex)", Hex(box.text), Hex(Gbk("失败")));
                Expect(box.buttons == std::vector<int>{IDOK}, "expected only an OK button; " + outcome.Describe());
                Expect(!box.icon && !box.topmost && !box.owned,
                       "expected no icon, not topmost, no owner; " + outcome.Describe());
            }
            ExpectEqual("the commands", DumpVerbs(), marked);
            break;
        case Effect::Removal:
            ExpectQuietSuccess(outcome);
            ExpectEqual("the commands", DumpVerbs(), "");
            break;
        case Effect::Registration:
            ExpectQuietSuccess(outcome);
            ExpectEqual("the commands", DumpVerbs(), AllRegistered(kProgram));
            break;
    }
    ExpectEqual("CF_TEXT after the holder let go", ReadClipboard().text, ClipboardHold::Text());
}

}  // namespace

void ClipboardGroup() {
    CopyReplacesEverything();
    const HeldRun runs[] = {
        {"a copy while another program holds the clipboard shows 失败, then exit code 0", " C:\\a.txt",
         Effect::FailureBox},
        {"removal needs no clipboard", " /U", Effect::Removal},
        {"registration needs no clipboard", "", Effect::Registration},
    };
    for (const HeldRun& run : runs) CheckHeldRun(run);
}

}  // namespace acceptance
