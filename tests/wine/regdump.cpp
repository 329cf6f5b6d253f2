// regdump [-w] <key under HKEY_CLASSES_ROOT>
// Prints the key and everything below it, one line per key and per value:
//   <path>
//   <path> : <value name> = type <n> hex <data bytes>
// Names are listed in byte order. -w reads the data through the wide API
// (so string data appears as UTF-16LE). Exit 1 when the key is missing.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool gWide = false;

std::string Hex(const BYTE* data, DWORD size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (DWORD i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool ReadValue(HKEY key, const std::string& name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    if (!gWide) {
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
        data.resize(size + 1);
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return false;
    } else {
        wchar_t wideName[16384];
        int n = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wideName, 16384);
        if (n == 0) return false;
        if (RegQueryValueExW(key, wideName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
        data.resize(size + 1);
        if (RegQueryValueExW(key, wideName, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return false;
    }
    data.resize(size);
    return true;
}

void Dump(HKEY key, const std::string& path) {
    printf("%s\n", path.c_str());
    for (const std::string& name : ValueNames(key)) {
        DWORD type = 0;
        std::vector<BYTE> data;
        if (ReadValue(key, name, type, data))
            printf("%s : %s = type %lu hex %s\n", path.c_str(), name.c_str(), type,
                   Hex(data.data(), DWORD(data.size())).c_str());
        else
            printf("%s : %s = unreadable\n", path.c_str(), name.c_str());
    }
    for (const std::string& name : SubkeyNames(key)) {
        HKEY child = nullptr;
        if (RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) {
            printf("%s\\%s unreadable\n", path.c_str(), name.c_str());
            continue;
        }
        Dump(child, path + "\\" + name);
        RegCloseKey(child);
    }
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    int first = 1;
    if (argc > 1 && std::string(argv[1]) == "-w") {
        gWide = true;
        first = 2;
    }
    if (argc != first + 1) {
        fprintf(stderr, "usage: regdump [-w] <key under HKEY_CLASSES_ROOT>\n");
        return 2;
    }
    std::string path = argv[first];
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        fprintf(stderr, "regdump: HKEY_CLASSES_ROOT\\%s: not found (error %ld)\n", path.c_str(), status);
        return 1;
    }
    Dump(key, path);
    RegCloseKey(key);
    return 0;
}
