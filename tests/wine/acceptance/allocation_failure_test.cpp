// A failed heap allocation: the 错误 box and exit code -1, with nothing
// else done. The failure is injected into the real process's HeapAlloc.
#include <string>

#include "harness.h"

namespace acceptance {

namespace {

// The box text for a failed request of size bytes; "" matches any size.
bool IsFatalText(const std::string& text, const std::string& size) {
    const std::string head = Gbk("运行时出错!\r\n\r\n错误信息：分配 ");
    const std::string tail = Gbk(" 字节内存失败!\r\n");
    if (text.size() <= head.size() + tail.size() || text.compare(0, head.size(), head) != 0 ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    std::string number = text.substr(head.size(), text.size() - head.size() - tail.size());
    if (!size.empty()) return number == size;
    return number.find_first_not_of("0123456789") == std::string::npos;
}

struct Failure {
    const char* name;
    std::string arguments;
    SIZE_T above;        // requests of more bytes fail
    bool fatal;          // the 错误 box and exit code -1; otherwise the run goes as usual
    std::string size;    // the size the box names; "" any
    std::string copied;  // what the usual run copies
};

void CheckFailure(const Failure& failure) {
    Case c(failure.name);
    ResetVerbs();
    const std::string marked = MarkVerbs();
    PutClipboard(kSentinel);
    AllocationFailure injected;
    injected.enabled = true;
    injected.above = failure.above;

    Outcome outcome = Run(kProgram, Quoted(kProgram) + failure.arguments, injected);

    ClipboardContent clipboard = ReadClipboard();
    if (!failure.fatal) {
        ExpectQuietSuccess(outcome);
        ExpectEqual("CF_TEXT", clipboard.text, failure.copied);
        return;
    }
    Expect(outcome.ended && outcome.exitCode == 0xFFFFFFFF && outcome.boxes.size() == 1,
           "expected one box, then exit code -1; " + outcome.Describe());
    if (!outcome.boxes.empty()) {
        const MessageBoxSeen& box = outcome.boxes[0];
        ExpectEqual("caption (hex)", Hex(box.caption), Hex(Gbk("错误")));
        Expect(IsFatalText(box.text, failure.size), "text (hex) " + Hex(box.text));
        Expect(box.icon && box.buttons == std::vector<int>{IDOK},
               "expected an icon and only OK; " + outcome.Describe());
    }
    ExpectEqual("the commands", DumpVerbs(), marked);
    ExpectEqual("CF_TEXT", clipboard.text, kSentinel);
}

}  // namespace

void AllocationFailureGroup() {
    const std::string longPath = "C:\\" + std::string(4997, 'p');
    const Failure failures[] = {
        {"the first allocation failing stops registration before it writes", "", 0, true, "", ""},
        {"a copy whose text cannot be allocated names its size", " " + longPath, 4096, true, "5001", ""},
        {"requests under the limit still succeed", " C:\\a.txt", 4096, false, "", "C:\\a.txt"},
    };
    for (const Failure& failure : failures) CheckFailure(failure);
}

}  // namespace acceptance
