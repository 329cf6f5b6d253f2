#include "app/startup.h"

#include "app/verbs.h"
#include "platform/arguments.h"
#include "platform/clipboard.h"
#include "platform/constants.h"
#include "platform/texts.h"

void CopyPath(const char* path) {
    if (!SetClipboardText(path)) ShowMessage(kTexts.copyFailed, 0, kTexts.productName);
}

void RunStartup() {
    ArgumentList* arguments = NewArgumentList();
    GetArguments(arguments);
    if (ArgumentCount(arguments) < 1) {
        RegisterVerbs();
    } else {
        Text upper = ToUpper(OrEmpty(ArgumentAt(arguments, 1)));
        bool removal = CompareTexts(upper, kTexts.removalSwitch) == 0;
        FreeMemory(upper);
        if (removal) RemoveVerbs();
        else CopyPath(OrEmpty(ArgumentAt(arguments, 1)));
    }
    EndProgram(0);
}
