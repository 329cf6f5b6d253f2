#include "app/verbs.h"

#include "platform/constants.h"
#include "platform/location.h"
#include "platform/registry.h"

static const int32_t kClassesRoot = 1;

Text BuildCommandLine(const char* tail) {
    Text directory = GetRunDirectory();
    Text name = GetExecutableName();
    Text commandLine = JoinTexts(kTexts.quote, directory, kTexts.backslash, name, tail);
    FreeMemory(directory);
    FreeMemory(name);
    return commandLine;
}

namespace {

struct Verb {
    const char* commandValue;  // default value of the command key
    const char* commandKey;
    const char* labelValue;    // default value of the verb key
    const char* verbKey;
    const char* label;
    const char* tail;
};

const Verb kVerbs[] = {
    {kTexts.filesCommand, kTexts.filesCommandKey, kTexts.filesVerb, kTexts.filesVerbKey,
     kTexts.filesLabel, kTexts.fileTail},
    {kTexts.shortcutsCommand, kTexts.shortcutsCommandKey, kTexts.shortcutsVerb,
     kTexts.shortcutsVerbKey, kTexts.shortcutsLabel, kTexts.fileTail},
    {kTexts.foldersCommand, kTexts.foldersCommandKey, kTexts.foldersVerb, kTexts.foldersVerbKey,
     kTexts.foldersLabel, kTexts.folderTail},
};

}  // namespace

// Results are not looked at: registration reports nothing.
void RegisterVerbs() {
    for (const Verb& verb : kVerbs) {
        // The command line goes first, so its write creates the missing keys.
        Text commandLine = BuildCommandLine(verb.tail);
        WriteRegistryEntry(kClassesRoot, verb.commandValue, commandLine);
        FreeMemory(commandLine);
        WriteRegistryEntry(kClassesRoot, verb.labelValue, verb.label);
    }
}

void RemoveVerbs() {
    for (const Verb& verb : kVerbs) {
        DeleteRegistryEntry(kClassesRoot, verb.commandValue);
        DeleteRegistryEntry(kClassesRoot, verb.commandKey);
        DeleteRegistryEntry(kClassesRoot, verb.labelValue);
        DeleteRegistryEntry(kClassesRoot, verb.verbKey);
    }
}
