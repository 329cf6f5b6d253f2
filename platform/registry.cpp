#include "platform/registry.h"

#include "platform/constants.h"

HKEY RootKeyFor(int32_t rootCode) {
    switch (rootCode) {
        case 1: return HKEY_CLASSES_ROOT;
        case 2: return HKEY_CURRENT_CONFIG;
        case 4: return HKEY_LOCAL_MACHINE;
        case 5: return HKEY_USERS;
        default: return HKEY_CURRENT_USER;
    }
}

int32_t FindLastByte(const char* text, unsigned char byte) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    int32_t length = TextLength(text);
    int32_t found = -1;
    for (int32_t i = 0; i < length; ++i) {
        if (bytes[i] & 0x80) {
            if (bytes[i + 1] == 0) break;
            ++i;
        } else if (bytes[i] == byte) {
            found = i;
        }
    }
    return found;
}

RegistryEntryPath SplitRegistryPath(int32_t rootCode, const char* path) {
    RegistryEntryPath entry;
    entry.root = RootKeyFor(rootCode);
    entry.wholePath = path ? path : kTexts.empty;
    int32_t last = FindLastByte(entry.wholePath, '\\');
    if (last < 0) {
        entry.keyPath = nullptr;
        entry.valueName = entry.wholePath;
    } else {
        entry.keyPath = TextFromBytes(entry.wholePath, last);
        entry.valueName = entry.wholePath + last + 1;
    }
    return entry;
}

// Opens or creates the entry's key, sets the value and closes the key again.
static bool WriteValue(int32_t rootCode, const char* path, DWORD type, const void* data, DWORD size) {
    RegistryEntryPath entry = SplitRegistryPath(rootCode, path);
    bool stored = false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(entry.root, OrEmpty(entry.keyPath), 0, KEY_WRITE, &key) == ERROR_SUCCESS ||
        RegCreateKeyA(entry.root, OrEmpty(entry.keyPath), &key) == ERROR_SUCCESS) {
        stored = RegSetValueExA(key, entry.valueName, 0, type, static_cast<const BYTE*>(data), size) ==
                 ERROR_SUCCESS;
        RegCloseKey(key);
    }
    FreeMemory(entry.keyPath);
    return stored;
}

bool WriteRegistryEntry(int32_t rootCode, const char* path, const char* text) {
    const char* data = OrEmpty(text);
    return WriteValue(rootCode, path, REG_SZ, data, DWORD(TextLength(data) + 1));
}

bool WriteRegistryEntry(int32_t rootCode, const char* path, int32_t number) {
    return WriteValue(rootCode, path, REG_DWORD, &number, sizeof number);
}

bool WriteRegistryEntry(int32_t rootCode, const char* path, uint8_t number) {
    return WriteRegistryEntry(rootCode, path, int32_t(number));
}

bool WriteRegistryEntry(int32_t rootCode, const char* path, int16_t number) {
    return WriteRegistryEntry(rootCode, path, int32_t(number));
}

bool WriteRegistryEntry(int32_t rootCode, const char* path, int64_t number) {
    return WriteRegistryEntry(rootCode, path, int32_t(uint32_t(uint64_t(number))));
}

bool WriteRegistryEntry(int32_t rootCode, const char* path, double number) {
    // Truncated toward zero; values beyond the 64-bit range saturate, NaN is 0.
    int64_t whole = 0;
    if (number >= 9223372036854775807.0) whole = INT64_MAX;
    else if (number <= -9223372036854775808.0) whole = INT64_MIN;
    else if (number == number) whole = int64_t(number);
    return WriteRegistryEntry(rootCode, path, whole);
}

bool WriteRegistryEntry(int32_t rootCode, const char* path, const void* bytes, uint32_t count) {
    return WriteValue(rootCode, path, REG_BINARY, bytes, count);
}

bool DeleteRegistryEntry(int32_t rootCode, const char* path) {
    RegistryEntryPath entry = SplitRegistryPath(rootCode, path);
    bool deleted = false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(entry.root, OrEmpty(entry.keyPath), 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        deleted = RegDeleteValueA(key, entry.valueName) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    if (!deleted) deleted = RegDeleteKeyA(entry.root, entry.wholePath) == ERROR_SUCCESS;
    FreeMemory(entry.keyPath);
    return deleted;
}
