// Registry entries named by a root code and one path below it.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "platform/texts.h"

// A path split at its last backslash.
struct RegistryEntryPath {
    HKEY root;
    Text keyPath;           // fresh text; "" (as null) when there is no backslash
    const char* valueName;  // tail of wholePath; "" names the default value
    const char* wholePath;
};

// Root codes: 1 classes root, 2 current config, 4 local machine, 5 users;
// any other code the current user.
HKEY RootKeyFor(int32_t rootCode);

// Index of the last byte equal to byte that is not the second of a pair
// (a byte with bit 7 set leads a pair); -1 when there is none.
int32_t FindLastByte(const char* text, unsigned char byte);

RegistryEntryPath SplitRegistryPath(int32_t rootCode, const char* path);

// Stores text as a string value with its terminating zero, creating the key
// and every missing key above it. True when the value was stored.
bool WriteRegistryEntry(int32_t rootCode, const char* path, const char* text);

// Numbers are stored as a 32-bit REG_DWORD: bytes widen without sign,
// 16-bit integers with sign, 64-bit integers keep their low 32 bits, and
// floating-point numbers are truncated toward zero to 64 bits first.
bool WriteRegistryEntry(int32_t rootCode, const char* path, int32_t number);
bool WriteRegistryEntry(int32_t rootCode, const char* path, uint8_t number);
bool WriteRegistryEntry(int32_t rootCode, const char* path, int16_t number);
bool WriteRegistryEntry(int32_t rootCode, const char* path, int64_t number);
bool WriteRegistryEntry(int32_t rootCode, const char* path, double number);
inline bool WriteRegistryEntry(int32_t rootCode, const char* path, float number) {
    return WriteRegistryEntry(rootCode, path, double(number));
}

// A byte block, stored as REG_BINARY.
bool WriteRegistryEntry(int32_t rootCode, const char* path, const void* bytes, uint32_t count);

// Deletes the value the path names or, failing that, the key the whole path
// names. True when something was deleted.
bool DeleteRegistryEntry(int32_t rootCode, const char* path);
