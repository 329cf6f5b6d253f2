// In-memory stand-in for the Windows operations the program calls.
#include "standin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>

struct StandinKey {
    standin::Key* node;
    HKEY root;            // for the log: where the handle was opened
    std::string keyPath;
    REGSAM access;        // what the handle may do
};

struct StandinGlobal {
    UINT flags;
    std::vector<char> bytes;
    int locks = 0;
};

namespace standin {
namespace {

State gState;
std::set<StandinKey*> gHandles;
char gHeap;  // the address stands for the process heap

// Blocks still live at a reset stay valid until the test program ends: the
// program may hold on to them in its own state (its recorded location).
// At the end everything still held is released, so leak checkers see only
// the program's own leaks.
struct Retired {
    std::vector<void*> blocks;
    ~Retired();
} gRetired;

std::string Fold(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') c = char(c - 0x20);
    }
    return folded;
}

// Path components. As in Wine, doubled and trailing backslashes are
// skipped; a leading one makes the path bad (see BadPath).
std::vector<std::string> Components(const char* path) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = path ? path : ""; *p; ++p) {
        if (*p == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += *p;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

const LSTATUS kBadPathname = 161;

bool BadPath(const char* path) { return path && path[0] == '\\'; }

bool IsRoot(HKEY key) {
    uintptr_t value = reinterpret_cast<uintptr_t>(key);
    return value >= 0x80000000u && value <= 0x80000006u;
}

Key* Resolve(HKEY key) {
    if (IsRoot(key)) return &gState.roots[key];
    if (gHandles.count(key)) return key->node;
    return nullptr;
}

Key* Walk(Key* from, const char* path, bool create) {
    Key* key = from;
    for (const std::string& part : Components(path)) {
        std::string folded = Fold(part);
        auto found = key->subkeys.find(folded);
        if (found == key->subkeys.end()) {
            if (!create) return nullptr;
            found = key->subkeys.emplace(folded, std::make_unique<Key>()).first;
            key->subkeyNames[folded] = part;
        }
        key = found->second.get();
    }
    return key;
}

// The rights a handle gets for the access asked for; generic rights map
// to the key rights as Windows maps them.
REGSAM Granted(REGSAM access) {
    if (access & (MAXIMUM_ALLOWED | GENERIC_ALL)) return KEY_ALL_ACCESS;
    if (access & GENERIC_READ) access |= KEY_READ;
    if (access & GENERIC_WRITE) access |= KEY_WRITE;
    return access & KEY_ALL_ACCESS;
}

// A predefined root key is open with every right.
REGSAM Rights(HKEY key) { return IsRoot(key) ? KEY_ALL_ACCESS : key->access; }

// Where a key opened at key plus subKey lies: its root and its path there.
HKEY RootOf(HKEY key) { return IsRoot(key) ? key : key->root; }

std::string PathBelow(HKEY key, const char* subKey) {
    std::string sub = subKey ? subKey : "";
    if (IsRoot(key)) return sub;
    if (sub.empty()) return key->keyPath;
    return key->keyPath.empty() ? sub : key->keyPath + "\\" + sub;
}

HKEY NewHandle(Key* node, HKEY from, const char* subKey, REGSAM access) {
    HKEY handle = new StandinKey{node, RootOf(from), PathBelow(from, subKey), access};
    gHandles.insert(handle);
    ++gState.openKeys;
    return handle;
}

LSTATUS Log(const char* function, HKEY key, const char* subKey, const char* valueName, REGSAM access,
            LSTATUS result) {
    bool known = IsRoot(key) || gHandles.count(key);
    gState.registryCalls.push_back({function, known ? RootOf(key) : key, known ? PathBelow(key, subKey) : "?",
                                    valueName ? valueName : "", access, result});
    return result;
}

void FreeGlobal(HGLOBAL block) {
    delete block;
    --gState.liveGlobals;
}

// Shows bytes that would not print as \xNN; in quoted data the backslash
// and the quote too.
std::string Escaped(const std::string& bytes, bool quoted = true) {
    std::string out;
    char buffer[8];
    for (unsigned char c : bytes) {
        if (c < 0x20 || c >= 0x7f || (quoted && (c == '\\' || c == '"'))) {
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        } else {
            out += char(c);
        }
    }
    return out;
}

void DumpKey(const Key& key, const std::string& path, std::vector<std::string>& lines) {
    if (!path.empty()) lines.push_back(path);
    for (const auto& [folded, value] : key.values) {
        std::string line = path + " : " + key.valueNames.at(folded) + " = ";
        const std::string& data = value.data;
        if (value.type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1) {
            line += "REG_SZ \"" + Escaped(data.substr(0, data.size() - 1)) + "\"";
        } else {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "type %u hex", unsigned(value.type));
            line += buffer;
            for (unsigned char c : data) {
                std::snprintf(buffer, sizeof buffer, " %02X", c);
                line += buffer;
            }
        }
        lines.push_back(line);
    }
    for (const auto& [folded, child] : key.subkeys) {
        std::string name = key.subkeyNames.at(folded);
        DumpKey(*child, path.empty() ? name : path + "\\" + name, lines);
    }
}

const char* RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_USERS) return "HKU";
    if (root == HKEY_CURRENT_CONFIG) return "HKCC";
    return "(handle)";
}

Retired::~Retired() {
    Reset();
    for (void* block : blocks) std::free(block);
}

}  // namespace

State& Get() { return gState; }

void Reset() {
    for (auto& [block, size] : gState.liveBlocks) gRetired.blocks.push_back(block);
    for (auto& [format, block] : gState.clipboard) delete block;
    for (StandinKey* handle : gHandles) delete handle;
    gHandles.clear();
    gState = State();
}

UINT RunToExit(const std::function<void()>& body) {
    try {
        body();
    } catch (const ProcessExit& exit) {
        return exit.code;
    }
    ADD_FAILURE() << "the run returned instead of ending the process";
    return 0xDEADBEEF;
}

bool ClipboardText(std::string& text) {
    auto found = gState.clipboard.find(CF_TEXT);
    if (found == gState.clipboard.end()) return false;
    const std::vector<char>& bytes = found->second->bytes;
    text.assign(bytes.data(), strnlen(bytes.data(), bytes.size()));
    return true;
}

size_t ClipboardBlockSize(UINT format) {
    auto found = gState.clipboard.find(format);
    return found == gState.clipboard.end() ? 0 : found->second->bytes.size();
}

bool ClipboardBlock(UINT format, GlobalBlock& block) {
    auto found = gState.clipboard.find(format);
    if (found == gState.clipboard.end()) return false;
    block.flags = found->second->flags;
    block.bytes.assign(found->second->bytes.begin(), found->second->bytes.end());
    return true;
}

void PutKey(HKEY root, const std::string& keyPath) { Walk(&gState.roots[root], keyPath.c_str(), true); }

void PutValue(HKEY root, const std::string& keyPath, const std::string& name, DWORD type,
              const std::string& data) {
    Key* key = Walk(&gState.roots[root], keyPath.c_str(), true);
    key->values[Fold(name)] = RegistryValue{type, data};
    key->valueNames[Fold(name)] = name;
}

std::string RegistryLog(bool changesOnly) {
    std::string out;
    char buffer[32];
    for (const RegistryCall& call : gState.registryCalls) {
        bool opening = call.function == "RegOpenKeyExA";
        if (changesOnly && (opening || call.function == "RegCloseKey")) continue;
        out += call.function + " " + RootName(call.root);
        if (!call.keyPath.empty()) out += "\\" + Escaped(call.keyPath, false);
        if (call.function == "RegSetValueExA" || call.function == "RegDeleteValueA") {
            out += " [" + Escaped(call.valueName, false) + "]";
        }
        if (opening) {
            std::snprintf(buffer, sizeof buffer, " 0x%X", unsigned(call.access));
            out += buffer;
        }
        out += " = " + std::to_string(call.result) + "\n";
    }
    return out;
}

std::string Dump(HKEY root) {
    std::vector<std::string> lines;
    DumpKey(gState.roots[root], "", lines);
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

}  // namespace standin

using standin::gHandles;
using standin::gState;

// kernel32: process

LPSTR WINAPI GetCommandLineA() { return gState.commandLine.data(); }

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    EXPECT_EQ(module, nullptr);
    if (size == 0) return 0;
    size_t length = std::min<size_t>(gState.modulePath.size(), size - 1);
    std::memcpy(buffer, gState.modulePath.data(), length);
    buffer[length] = 0;
    return gState.modulePath.size() >= size ? size : DWORD(length);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
    gState.currentDirectories.push_back(path ? path : "(null)");
    return path && *path;
}

UINT WINAPI GetACP() { return gState.codePage; }

BOOL WINAPI GetCPInfo(UINT codePage, LPCPINFO info) {
    if (codePage == 0) return FALSE;
    std::memset(info, 0, sizeof *info);
    info->DefaultChar[0] = '?';
    info->MaxCharSize = 1;
    if (codePage == 936) {  // GBK: one range
        info->MaxCharSize = 2;
        info->LeadByte[0] = 0x81;
        info->LeadByte[1] = 0xFE;
    } else if (codePage == 932) {  // Shift JIS: two ranges, 0xA1 to 0xDF single
        info->MaxCharSize = 2;
        info->LeadByte[0] = 0x81;
        info->LeadByte[1] = 0x9F;
        info->LeadByte[2] = 0xE0;
        info->LeadByte[3] = 0xFC;
    }
    return TRUE;
}

void WINAPI ExitProcess(UINT exitCode) { throw standin::ProcessExit{exitCode}; }

// kernel32: memory

HANDLE WINAPI GetProcessHeap() { return &standin::gHeap; }

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    EXPECT_EQ(heap, &standin::gHeap);
    EXPECT_EQ(flags, 0u);
    size_t index = gState.allocationSizes.size();
    gState.allocationSizes.push_back(bytes);
    const auto& fail = gState.failAllocations;
    if (std::find(fail.begin(), fail.end(), index) != fail.end()) return nullptr;
    void* block = std::malloc(bytes ? bytes : 1);
    std::memset(block, 0xCD, bytes);  // not cleared, as on the real heap
    gState.liveBlocks[block] = bytes;
    return block;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    EXPECT_EQ(heap, &standin::gHeap);
    EXPECT_EQ(flags, 0u);
    auto found = gState.liveBlocks.find(block);
    if (found == gState.liveBlocks.end()) {
        ADD_FAILURE() << "HeapFree of a block that is not live";
        return FALSE;
    }
    std::free(block);
    gState.liveBlocks.erase(found);
    return TRUE;
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (gState.failGlobalAlloc) return nullptr;
    HGLOBAL block = new StandinGlobal{flags, {}};
    block->bytes.assign(bytes, (flags & GMEM_ZEROINIT) ? 0 : char(0xCD));
    ++gState.liveGlobals;
    return block;
}

LPVOID WINAPI GlobalLock(HGLOBAL block) {
    if (gState.failGlobalLock || !block) return nullptr;
    ++block->locks;
    return block->bytes.data();
}

BOOL WINAPI GlobalUnlock(HGLOBAL block) {
    EXPECT_GT(block->locks, 0);
    --block->locks;
    return block->locks > 0;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL block) {
    if (block) standin::FreeGlobal(block);
    return nullptr;
}

// user32

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    gState.messageBoxes.push_back({owner, text ? text : "(null)", caption ? caption : "(null)", style});
    return gState.messageBoxResult;
}

int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int written = std::vsnprintf(buffer, 1025, format, arguments);
    va_end(arguments);
    return written;
}

BOOL WINAPI OpenClipboard(HWND) {
    if (gState.clipboardHeldByOther || gState.clipboardOpen) return FALSE;
    gState.clipboardOpen = true;
    ++gState.clipboardOpens;
    return TRUE;
}

BOOL WINAPI EmptyClipboard() {
    if (!gState.clipboardOpen) return FALSE;
    for (auto& [format, block] : gState.clipboard) standin::FreeGlobal(block);
    gState.clipboard.clear();
    return TRUE;
}

HANDLE WINAPI SetClipboardData(UINT format, HANDLE data) {
    if (!gState.clipboardOpen || gState.failSetClipboardData) return nullptr;
    HGLOBAL block = static_cast<HGLOBAL>(data);
    EXPECT_EQ(block->locks, 0) << "the block is handed over while still locked";
    auto found = gState.clipboard.find(format);
    if (found != gState.clipboard.end()) standin::FreeGlobal(found->second);
    gState.clipboard[format] = block;
    return data;
}

BOOL WINAPI CloseClipboard() {
    if (!gState.clipboardOpen) return FALSE;
    gState.clipboardOpen = false;
    return TRUE;
}

// advapi32: every call goes to the log with its result.

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    EXPECT_EQ(options, 0u);
    auto log = [&](LSTATUS status) { return standin::Log("RegOpenKeyExA", key, subKey, nullptr, access, status); };
    standin::Key* from = standin::Resolve(key);
    if (!from) return log(ERROR_INVALID_HANDLE);
    if (standin::BadPath(subKey)) return log(standin::kBadPathname);
    standin::Key* found = standin::Walk(from, subKey, false);
    if (!found) return log(ERROR_FILE_NOT_FOUND);
    *result = standin::NewHandle(found, key, subKey, standin::Granted(access));
    return log(ERROR_SUCCESS);
}

// Opens or creates with every right, as RegCreateKeyA asks for MAXIMUM_ALLOWED.
LSTATUS WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    auto log = [&](LSTATUS status) { return standin::Log("RegCreateKeyA", key, subKey, nullptr, 0, status); };
    standin::Key* from = standin::Resolve(key);
    if (!from) return log(ERROR_INVALID_HANDLE);
    if (standin::BadPath(subKey)) return log(standin::kBadPathname);
    *result = standin::NewHandle(standin::Walk(from, subKey, true), key, subKey, KEY_ALL_ACCESS);
    return log(ERROR_SUCCESS);
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD size) {
    EXPECT_EQ(reserved, 0u);
    auto log = [&](LSTATUS status) { return standin::Log("RegSetValueExA", key, nullptr, valueName, 0, status); };
    standin::Key* node = standin::Resolve(key);
    if (!node) return log(ERROR_INVALID_HANDLE);
    if (!(standin::Rights(key) & KEY_SET_VALUE)) return log(ERROR_ACCESS_DENIED);
    std::string name = valueName ? valueName : "";
    node->values[standin::Fold(name)] = {type, std::string(reinterpret_cast<const char*>(data), size)};
    node->valueNames[standin::Fold(name)] = name;
    return log(ERROR_SUCCESS);
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    auto log = [&](LSTATUS status) { return standin::Log("RegDeleteValueA", key, nullptr, valueName, 0, status); };
    standin::Key* node = standin::Resolve(key);
    if (!node) return log(ERROR_INVALID_HANDLE);
    if (!(standin::Rights(key) & KEY_SET_VALUE)) return log(ERROR_ACCESS_DENIED);
    std::string folded = standin::Fold(valueName ? valueName : "");
    if (!node->values.erase(folded)) return log(ERROR_FILE_NOT_FOUND);
    node->valueNames.erase(folded);
    return log(ERROR_SUCCESS);
}

LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    auto log = [&](LSTATUS status) { return standin::Log("RegDeleteKeyA", key, subKey, nullptr, 0, status); };
    standin::Key* from = standin::Resolve(key);
    if (!from) return log(ERROR_INVALID_HANDLE);
    if (standin::BadPath(subKey)) return log(standin::kBadPathname);
    std::vector<std::string> parts = standin::Components(subKey);
    if (parts.empty()) return log(ERROR_ACCESS_DENIED);  // the key itself cannot go
    std::string last = standin::Fold(parts.back());
    parts.pop_back();
    standin::Key* parent = from;
    for (const std::string& part : parts) {
        auto found = parent->subkeys.find(standin::Fold(part));
        if (found == parent->subkeys.end()) return log(ERROR_FILE_NOT_FOUND);
        parent = found->second.get();
    }
    auto found = parent->subkeys.find(last);
    if (found == parent->subkeys.end()) return log(ERROR_FILE_NOT_FOUND);
    if (!found->second->subkeys.empty()) return log(ERROR_ACCESS_DENIED);
    for (StandinKey* handle : gHandles) {
        if (handle->node == found->second.get()) handle->node = nullptr;
    }
    parent->subkeys.erase(found);
    parent->subkeyNames.erase(last);
    return log(ERROR_SUCCESS);
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    auto log = [&](LSTATUS status) { return standin::Log("RegCloseKey", key, nullptr, nullptr, 0, status); };
    if (standin::IsRoot(key)) return log(ERROR_SUCCESS);
    auto found = gHandles.find(key);
    if (found == gHandles.end()) return log(ERROR_INVALID_HANDLE);
    log(ERROR_SUCCESS);  // while the handle still names its key
    gHandles.erase(found);
    delete key;
    --gState.openKeys;
    return ERROR_SUCCESS;
}
