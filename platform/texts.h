// Texts, memory and the end of the process.
//
// A text is a zero-terminated 8-bit string in the ANSI code page. An empty
// text may be held as a null pointer; every operation here treats null and
// "" alike. Operations that return a text return a fresh block that the
// caller releases with FreeMemory, or null for an empty result.
#pragma once

#include <stdint.h>

typedef char* Text;

int32_t TextLength(const char* text);

// -1, 0 or 1; bytes compare unsigned, no case folding.
int32_t CompareTexts(const char* first, const char* second);

// Joins count parts (null counts as empty) into one fresh, never-null text.
// lengths is scratch space of count entries owned by the caller.
Text JoinTextArray(int32_t count, const char* const parts[], int32_t lengths[]);

template <typename... Parts>
Text JoinTexts(Parts... parts) {
    static_assert(sizeof...(Parts) >= 1, "JoinTexts needs at least one part");
    const char* const list[] = {parts...};
    int32_t lengths[sizeof...(Parts)];
    return JoinTextArray(int32_t(sizeof...(Parts)), list, lengths);
}

// text itself, or "" for null.
const char* OrEmpty(const char* text);

// A fresh text of count bytes from start; null for a count below 1.
Text TextFromBytes(const char* start, int32_t count);

// Copy with a-z raised; a byte with bit 7 set and the byte after it are left
// alone. Null for an empty result.
Text ToUpper(const char* text);

// A block from the process heap; on failure shows the fatal-error box and
// ends the process with exit code -1.
void* AllocateMemory(int32_t count);

// Releases a block from AllocateMemory; ignores null and the constant texts.
void FreeMemory(const void* block);

[[noreturn]] void ReportFatalError(const char* message);
[[noreturn]] void EndProgram(int32_t exitCode);
