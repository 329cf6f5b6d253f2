#include "platform/arguments.h"

#include <windows.h>

static Text* Elements(const ArgumentList* list) {
    return reinterpret_cast<Text*>(const_cast<ArgumentList*>(list) + 1);
}

static ArgumentList* AllocateList(int32_t count) {
    int32_t size = int32_t(sizeof(ArgumentList) + sizeof(Text) * uint32_t(count));
    ArgumentList* list = static_cast<ArgumentList*>(AllocateMemory(size));
    list->dimensionCount = 1;
    list->elementCount = count;
    return list;
}

ArgumentList* NewArgumentList() { return AllocateList(0); }

int32_t ArgumentCount(const ArgumentList* list) {
    return list ? list->elementCount : 0;
}

const char* ArgumentAt(const ArgumentList* list, int32_t index) {
    if (index < 1 || index > ArgumentCount(list)) return nullptr;
    return Elements(list)[index - 1];
}

void FreeArgumentList(ArgumentList* list) {
    if (!list) return;
    int32_t count = ArgumentCount(list);
    for (int32_t i = 0; i < count; ++i) FreeMemory(Elements(list)[i]);
    FreeMemory(list);
}

namespace {

// The references found so far, in order; owns none of the texts.
struct WorkingList {
    Text* items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    void Append(Text text) {
        if (count == capacity) Grow();
        items[count++] = text;
    }

    // A failure to grow ends the process like any failed allocation, so no
    // argument is ever silently left out.
    void Grow() {
        int32_t larger = capacity ? capacity * 2 : 8;
        Text* grown = static_cast<Text*>(AllocateMemory(int32_t(sizeof(Text) * uint32_t(larger))));
        for (int32_t i = 0; i < count; ++i) grown[i] = items[i];
        FreeMemory(items);
        items = grown;
        capacity = larger;
    }
};

typedef const unsigned char* Cursor;

inline bool IsSeparator(unsigned char byte) { return byte >= 0x01 && byte <= 0x20; }
inline bool IsPairLead(unsigned char byte) { return (byte & 0x80) != 0; }

// Skips the program's own name: a quoted one up to its closing quote (and
// one space after it), an unquoted one up to the first space.
Cursor SkipProgramName(Cursor p) {
    unsigned char end = ' ';
    if (*p == '"') {
        end = '"';
        ++p;
    }
    while (*p && *p != end) ++p;
    if (*p == end) {
        ++p;
        if (end == '"' && *p == ' ') ++p;
    }
    return p;
}

}  // namespace

void GetArguments(ArgumentList*& list) {
    WorkingList found;
    Cursor p = reinterpret_cast<Cursor>(GetCommandLineA());
    if (p) p = SkipProgramName(p);
    bool lineEnded = !p;
    while (!lineEnded && *p) {
        if (IsSeparator(*p)) {
            ++p;
            continue;
        }
        bool quoted = *p == '"';
        if (quoted) ++p;
        Cursor start = p;
        for (;;) {
            unsigned char byte = *p;
            if (byte == 0) break;
            if (quoted ? byte == '"' : byte == '"' || IsSeparator(byte)) break;
            if (IsPairLead(byte)) {
                if (p[1] == 0) {
                    lineEnded = true;
                    break;
                }
                p += 2;
            } else {
                ++p;
            }
        }
        found.Append(TextFromBytes(reinterpret_cast<const char*>(start), int32_t(p - start)));
        if (quoted && *p == '"') ++p;
    }

    FreeArgumentList(list);
    list = AllocateList(found.count);
    for (int32_t i = 0; i < found.count; ++i) Elements(list)[i] = found.items[i];
    FreeMemory(found.items);
}
