#include "platform/texts.h"

#include <windows.h>

#include "platform/constants.h"

int32_t TextLength(const char* text) {
    if (!text) return 0;
    int32_t length = 0;
    while (text[length]) ++length;
    return length;
}

int32_t CompareTexts(const char* first, const char* second) {
    if (!first) return TextLength(second) == 0 ? 0 : -1;
    if (!second) return first[0] == 0 ? 0 : 1;
    const unsigned char* a = reinterpret_cast<const unsigned char*>(first);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(second);
    for (;; ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
        if (*a == 0) return 0;
    }
}

const char* OrEmpty(const char* text) { return text ? text : kTexts.empty; }

static void CopyBytes(char* target, const char* source, int32_t count) {
    for (int32_t i = 0; i < count; ++i) target[i] = source[i];
}

Text JoinTextArray(int32_t count, const char* const parts[], int32_t lengths[]) {
    int32_t total = 1;
    for (int32_t i = 0; i < count; ++i) {
        lengths[i] = TextLength(parts[i]);
        total += lengths[i];
    }
    Text joined = static_cast<Text>(AllocateMemory(total));
    char* end = joined;
    for (int32_t i = 0; i < count; ++i) {
        if (lengths[i] == 0) continue;
        CopyBytes(end, parts[i], lengths[i]);
        end += lengths[i];
    }
    *end = 0;
    return joined;
}

Text TextFromBytes(const char* start, int32_t count) {
    if (count < 1) return nullptr;
    Text text = static_cast<Text>(AllocateMemory(count + 1));
    CopyBytes(text, start, count);
    text[count] = 0;
    return text;
}

Text ToUpper(const char* text) {
    int32_t length = TextLength(text);
    if (length == 0) return nullptr;
    Text upper = TextFromBytes(text, length);
    unsigned char* p = reinterpret_cast<unsigned char*>(upper);
    while (*p) {
        if (*p >= 'a' && *p <= 'z') {
            *p = static_cast<unsigned char>(*p - 0x20);
            ++p;
        } else if (*p & 0x80) {
            if (p[1] == 0) break;
            p += 2;
        } else {
            ++p;
        }
    }
    return upper;
}

void* AllocateMemory(int32_t count) {
    void* block = HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(count));
    if (block) return block;
    char message[100];
    wsprintfA(message, kTexts.allocationFailed, count);
    ReportFatalError(message);
}

void FreeMemory(const void* block) {
    if (!block || IsConstantText(block)) return;
    HeapFree(GetProcessHeap(), 0, const_cast<void*>(block));
}

// Appends text to the box text, never past its end.
static char* Append(char* end, char* limit, const char* text) {
    while (*text && end < limit) *end++ = *text++;
    return end;
}

void ReportFatalError(const char* message) {
    char boxText[256];
    char* limit = boxText + sizeof boxText - 1;
    char* end = Append(boxText, limit, kTexts.fatalHeading);
    if (TextLength(message) > 0) {
        end = Append(end, limit, kTexts.fatalLead);
        end = Append(end, limit, message);
        end = Append(end, limit, kTexts.lineEnd);
    }
    *end = 0;
    MessageBoxA(nullptr, boxText, kTexts.fatalCaption, MB_ICONERROR);
    EndProgram(-1);
}

void EndProgram(int32_t exitCode) {
    ExitProcess(static_cast<UINT>(exitCode));
}
