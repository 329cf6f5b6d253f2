// The tests' handle on the in-memory Windows stand-in.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin {

// Thrown by ExitProcess: the run ends here with this code.
struct ProcessExit {
    UINT code;
};

// Runs body until it ends the process; returns the exit code. Fails the
// test if body returns instead.
UINT RunToExit(const std::function<void()>& body);

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};

struct RegistryValue {
    DWORD type;
    std::string data;
};

// One registry call, as the program made it. Calls on a handle name the
// root and key path the handle was opened with.
struct RegistryCall {
    std::string function;   // "RegOpenKeyExA", ...
    HKEY root;
    std::string keyPath;
    std::string valueName;  // RegSetValueExA and RegDeleteValueA
    REGSAM access;          // RegOpenKeyExA
    LSTATUS result;
};

// A registry key. Names compare without regard to ASCII case, as on Windows.
struct Key {
    std::map<std::string, std::unique_ptr<Key>> subkeys;  // by folded name
    std::map<std::string, std::string> subkeyNames;       // folded -> as created
    std::map<std::string, RegistryValue> values;          // by folded name
    std::map<std::string, std::string> valueNames;
};

struct State {
    // process
    std::string commandLine;
    std::string modulePath;
    UINT codePage = 936;
    std::vector<std::string> currentDirectories;  // every SetCurrentDirectoryA

    // heap: allocation number n (from 0) fails when it is in failAllocations
    std::vector<size_t> allocationSizes;  // every HeapAlloc request, in order
    std::vector<size_t> failAllocations;
    std::map<void*, size_t> liveBlocks;

    // global memory and clipboard
    bool failGlobalAlloc = false;
    bool failGlobalLock = false;
    bool failSetClipboardData = false;
    bool clipboardHeldByOther = false;
    bool clipboardOpen = false;
    int clipboardOpens = 0;
    std::map<UINT, HGLOBAL> clipboard;  // format -> block
    int liveGlobals = 0;

    // message boxes
    std::vector<MessageBoxCall> messageBoxes;
    int messageBoxResult = IDOK;

    // registry
    std::map<HKEY, Key> roots;
    int openKeys = 0;
    std::vector<RegistryCall> registryCalls;  // every call, in order
};

State& Get();
void Reset();

// CF_TEXT bytes before the first zero, or nothing when there is none.
bool ClipboardText(std::string& text);
size_t ClipboardBlockSize(UINT format);

// A global block as GlobalAlloc made it: its flags and all its bytes.
struct GlobalBlock {
    UINT flags = 0;
    std::string bytes;
};
// The block held in format; false when there is none.
bool ClipboardBlock(UINT format, GlobalBlock& block);

// Registry helpers for fixtures: path components separated by backslashes.
void PutValue(HKEY root, const std::string& keyPath, const std::string& name, DWORD type,
              const std::string& data);
void PutKey(HKEY root, const std::string& keyPath);

// Every key and value below root, one line each, sorted:
//   key path
//   key path : value name = REG_SZ "text"   (data before its zero; GBK as \xNN)
// A value whose data does not end in exactly one zero shows its bytes in hex.
std::string Dump(HKEY root);

// The registry calls, one line each:
//   RegOpenKeyExA HKCR\key\path 0x20006 = 2
//   RegCreateKeyA HKCR\key\path = 0
//   RegSetValueExA HKCR\key\path [value name] = 0
//   RegDeleteValueA HKCR\key\path [value name] = 2
//   RegDeleteKeyA HKCR\key\path = 0
//   RegCloseKey HKCR\key\path = 0
// Changes alone leave out the opens and closes.
std::string RegistryLog(bool changesOnly = false);

}  // namespace standin
