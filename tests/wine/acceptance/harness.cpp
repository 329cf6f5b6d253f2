#include "harness.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace acceptance {

namespace {

// Longest wait for one run of the program.
const DWORD kRunDeadlineMs = 15000;

std::string gCaseName;
std::vector<std::string> gCaseFailures;
int gPassed = 0;
int gFailed = 0;

std::string gSourceProgram;

// The driver's own window, to open the clipboard with: in Wine, openers
// without a window do not exclude each other.
HWND DriverWindow() {
    static HWND window = CreateWindowExA(0, "STATIC", "Vorquin acceptance", 0, 0, 0, 0, 0, nullptr,
                                         nullptr, GetModuleHandleA(nullptr), nullptr);
    return window;
}

// Windows of other processes as they are created or take the focus; a
// message box is among them.
std::vector<HWND> gNewWindows;

// The thread of every window created, also of one already gone again.
std::vector<DWORD> gCreatingThreads;

void CALLBACK OnWindowEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD thread, DWORD) {
    if (window) gNewWindows.push_back(window);
    if (event == EVENT_OBJECT_CREATE && object == OBJID_WINDOW) gCreatingThreads.push_back(thread);
}

void WatchWindows() {
    static HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_FOCUS, nullptr, OnWindowEvent, 0,
                                                0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    if (!hook) Expect(false, "SetWinEventHook failed, error " + std::to_string(GetLastError()));
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

std::string WindowText(HWND window) {
    char text[1024] = {0};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window) {
    char name[256] = {0};
    GetClassNameA(window, name, sizeof name);
    return name;
}

DWORD ProcessOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

BOOL CALLBACK AddChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

MessageBoxSeen DescribeBox(HWND box) {
    MessageBoxSeen seen;
    seen.caption = WindowText(box);
    char text[1024] = {0};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the text control of a message box
    seen.text = text;
    std::vector<HWND> children;
    EnumChildWindows(box, AddChild, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if (!(style & WS_VISIBLE)) continue;
        std::string name = ClassName(child);
        if (lstrcmpiA(name.c_str(), "Button") == 0) seen.buttons.push_back(GetDlgCtrlID(child));
        if (lstrcmpiA(name.c_str(), "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
            SendMessageA(child, STM_GETICON, 0, 0) != 0)
            seen.icon = true;
    }
    std::sort(seen.buttons.begin(), seen.buttons.end());
    seen.topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    seen.owned = GetWindow(box, GW_OWNER) != nullptr;
    return seen;
}

struct WindowSearch {
    DWORD process;
    std::vector<HWND> found;
};

BOOL CALLBACK AddTopWindow(HWND window, LPARAM search) {
    WindowSearch* s = reinterpret_cast<WindowSearch*>(search);
    if (ProcessOf(window) == s->process) s->found.push_back(window);
    return TRUE;
}

// Describes each new message box of process and answers it with OK. The
// box's thread answers a sent message once it takes messages again, in the
// box's own loop at the latest; its texts are set before that.
void AnswerBoxes(DWORD process, std::vector<HWND> candidates, std::vector<HWND>& answered, Outcome& outcome) {
    for (HWND window : candidates) {
        HWND root = IsWindow(window) ? GetAncestor(window, GA_ROOT) : nullptr;
        if (!root || ProcessOf(root) != process || ClassName(root) != "#32770") continue;
        if (std::find(answered.begin(), answered.end(), root) != answered.end()) continue;
        DWORD_PTR reply = 0;
        if (!SendMessageTimeoutA(root, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &reply)) continue;
        answered.push_back(root);
        outcome.boxes.push_back(DescribeBox(root));
        PostMessageA(root, WM_COMMAND, IDOK, 0);
    }
}

template <typename T>
bool ReadRemote(HANDLE process, ULONG_PTR address, T& value) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, reinterpret_cast<void*>(address), &value, sizeof value, &read) &&
           read == sizeof value;
}

std::string ReadRemoteName(HANDLE process, ULONG_PTR address) {
    char name[128] = {0};
    SIZE_T read = 0;
    ReadProcessMemory(process, reinterpret_cast<void*>(address), name, sizeof name - 1, &read);
    return name;
}

bool WriteRemote(HANDLE process, ULONG_PTR address, const void* bytes, SIZE_T size) {
    void* target = reinterpret_cast<void*>(address);
    DWORD old = 0;
    bool unprotected = VirtualProtectEx(process, target, size, PAGE_EXECUTE_READWRITE, &old) != FALSE;
    SIZE_T written = 0;
    bool ok = WriteProcessMemory(process, target, bytes, size, &written) && written == size;
    if (unprotected) VirtualProtectEx(process, target, size, old, &old);
    FlushInstructionCache(process, target, size);
    return ok;
}

// Address of the import slot of dll!function in the image at base; 0 when
// there is none.
ULONG_PTR ImportSlot(HANDLE process, ULONG_PTR base, const char* dll, const char* function) {
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS headers;
    if (!ReadRemote(process, base, dos) || !ReadRemote(process, base + dos.e_lfanew, headers)) return 0;
    const IMAGE_DATA_DIRECTORY& imports = headers.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (ULONG_PTR at = base + imports.VirtualAddress;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        if (!ReadRemote(process, at, descriptor) || !descriptor.Name) return 0;
        if (lstrcmpiA(ReadRemoteName(process, base + descriptor.Name).c_str(), dll) != 0) continue;
        for (DWORD i = 0;; ++i) {
            IMAGE_THUNK_DATA name;
            if (!ReadRemote(process, base + descriptor.OriginalFirstThunk + i * sizeof name, name) ||
                !name.u1.AddressOfData)
                return 0;
            if (IMAGE_SNAP_BY_ORDINAL(name.u1.Ordinal)) continue;
            if (ReadRemoteName(process, base + name.u1.AddressOfData + 2) == function)
                return base + descriptor.FirstThunk + i * sizeof name;
        }
    }
}

// Machine code standing in for HeapAlloc: a request above the limit gets
// null, any other goes on to the real function.
std::string AllocationStub(SIZE_T above, ULONG_PTR real, ULONG_PTR stubAddress) {
    DWORD limit = DWORD(above);
#ifdef _WIN64
    (void)stubAddress;
    std::string code("\x49\x81\xf8....", 7);    // cmp r8, limit (the byte count)
    code += std::string("\x77\x06", 2);         // ja fail
    code += std::string("\xff\x25\x03\0\0\0", 6);  // jmp [rip+3]: the real function
    code += std::string("\x31\xc0\xc3", 3);     // fail: xor eax, eax; ret
    memcpy(&code[3], &limit, 4);
    code.append(reinterpret_cast<const char*>(&real), sizeof real);
#else
    std::string code("\x81\x7c\x24\x0c....", 8);  // cmp dword [esp+12], limit
    code += std::string("\x77\x06", 2);           // ja fail
    code += std::string("\xff\x25....", 6);       // jmp [data]: the real function
    code += std::string("\x31\xc0\xc2\x0c\x00", 5);  // fail: xor eax, eax; ret 12
    memcpy(&code[4], &limit, 4);
    ULONG_PTR data = stubAddress + code.size();
    memcpy(&code[12], &data, 4);
    code.append(reinterpret_cast<const char*>(&real), sizeof real);
#endif
    return code;
}

// Sends the program's HeapAlloc import to the stub once the loader has
// filled it in (at the entry point), then lets the program run on its own.
std::string InjectAllocationFailure(const PROCESS_INFORMATION& started, SIZE_T above) {
    ULONG_PTR base = 0, entry = 0;
    BYTE entryByte = 0;
    DEBUG_EVENT event;
    while (WaitForDebugEvent(&event, 10000)) {
        DWORD status = DBG_CONTINUE;
        if (event.dwProcessId != started.dwProcessId) {
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
            continue;
        }
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT: {
                if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
                base = reinterpret_cast<ULONG_PTR>(event.u.CreateProcessInfo.lpBaseOfImage);
                IMAGE_DOS_HEADER dos;
                IMAGE_NT_HEADERS headers;
                if (!ReadRemote(started.hProcess, base, dos) ||
                    !ReadRemote(started.hProcess, base + dos.e_lfanew, headers))
                    return "cannot read the image headers";
                entry = base + headers.OptionalHeader.AddressOfEntryPoint;
                const BYTE breakpoint = 0xCC;
                if (!ReadRemote(started.hProcess, entry, entryByte) ||
                    !WriteRemote(started.hProcess, entry, &breakpoint, 1))
                    return "cannot set a breakpoint at the entry point";
                break;
            }
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                return "the program ended before its entry point";
            case EXCEPTION_DEBUG_EVENT: {
                const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
                if (record.ExceptionCode != EXCEPTION_BREAKPOINT) {
                    status = DBG_EXCEPTION_NOT_HANDLED;
                    break;
                }
                if (reinterpret_cast<ULONG_PTR>(record.ExceptionAddress) != entry) break;  // the loader's
                HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, event.dwThreadId);
                CONTEXT context;
                context.ContextFlags = CONTEXT_CONTROL;
                bool resumed = thread && GetThreadContext(thread, &context);
#ifdef _WIN64
                context.Rip = entry;
#else
                context.Eip = entry;
#endif
                resumed = resumed && SetThreadContext(thread, &context);
                if (thread) CloseHandle(thread);
                if (!resumed || !WriteRemote(started.hProcess, entry, &entryByte, 1))
                    return "cannot resume at the entry point";

                ULONG_PTR slot = ImportSlot(started.hProcess, base, "kernel32.dll", "HeapAlloc");
                ULONG_PTR real = 0;
                if (!slot || !ReadRemote(started.hProcess, slot, real)) return "no HeapAlloc import";
                void* memory = VirtualAllocEx(started.hProcess, nullptr, 64, MEM_COMMIT | MEM_RESERVE,
                                              PAGE_EXECUTE_READWRITE);
                if (!memory) return "cannot place the stub";
                ULONG_PTR stub = reinterpret_cast<ULONG_PTR>(memory);
                std::string code = AllocationStub(above, real, stub);
                if (!WriteRemote(started.hProcess, stub, code.data(), code.size()) ||
                    !WriteRemote(started.hProcess, slot, &stub, sizeof stub))
                    return "cannot redirect HeapAlloc";
                ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
                if (!DebugActiveProcessStop(started.dwProcessId)) return "cannot detach";
                return "";
            }
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    return "no debug event within 10 s";
}

std::string Narrow(const std::wstring& text, UINT codePage) {
    if (text.empty()) return "";
    int size = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text, UINT codePage) {
    if (text.empty()) return L"";
    int size = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &out[0], size);
    return out;
}

void DumpInto(HKEY key, const std::string& path, std::string& out) {
    out += KeyLine(path);
    std::vector<std::pair<std::string, std::string>> values;  // name, line
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::string data(size, '\0');
        nameLength = 16384;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) !=
            ERROR_SUCCESS)
            data = "(unreadable)";
        data.resize(size);
        std::string valueName = Narrow(std::wstring(name, nameLength), 936);
        values.emplace_back(valueName, ValueLine(path, valueName, type, data));
    }
    std::sort(values.begin(), values.end());
    for (const auto& value : values) out += value.second;

    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(Narrow(std::wstring(name, length), 936));
    }
    std::sort(subkeys.begin(), subkeys.end());
    for (const std::string& name : subkeys) {
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, Widen(name, 936).c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) {
            out += path + "\\" + name + " (unreadable)\n";
            continue;
        }
        DumpInto(child, path + "\\" + name, out);
        RegCloseKey(child);
    }
}

}  // namespace

// ---- cases and checks

Case::Case(const std::string& name) {
    gCaseName = name;
    gCaseFailures.clear();
}

Case::~Case() {
    if (gCaseFailures.empty()) {
        ++gPassed;
        printf("ok   %s\n", gCaseName.c_str());
    } else {
        ++gFailed;
        printf("FAIL %s\n", gCaseName.c_str());
        for (const std::string& failure : gCaseFailures) printf("     %s\n", failure.c_str());
    }
    fflush(stdout);
    gCaseName.clear();
}

void Expect(bool condition, const std::string& message) {
    if (condition) return;
    if (gCaseName.empty()) {
        ++gFailed;
        printf("FAIL (outside a case) %s\n", message.c_str());
        return;
    }
    gCaseFailures.push_back(message);
}

void ExpectEqual(const std::string& what, const std::string& actual, const std::string& expected) {
    if (actual == expected) return;
    Expect(false, what + "\n       expected:\n" + expected + "\n       actual:\n" + actual);
}

int Summary(const std::string& group) {
    printf("%s: %d passed, %d failed\n", group.c_str(), gPassed, gFailed);
    fflush(stdout);
    return gFailed || !gPassed ? 1 : 0;
}

// ---- text

std::string Gbk(const std::string& utf8) { return Narrow(Widen(utf8, CP_UTF8), 936); }

std::wstring Utf16(const std::string& utf8) { return Widen(utf8, CP_UTF8); }

std::wstring FromGbk(const std::string& gbk) { return Widen(gbk, 936); }

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char byte : bytes) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
    }
    return out;
}

std::string Hex(const std::wstring& text) {
    return Hex(std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// ---- the program under test

void SetSourceProgram(const std::string& path) { gSourceProgram = path; }

bool Install(const std::string& program) {
    std::wstring target = Widen(program, 936);
    for (size_t slash = target.find(L'\\', 3); slash != std::wstring::npos; slash = target.find(L'\\', slash + 1))
        CreateDirectoryW(target.substr(0, slash).c_str(), nullptr);
    if (CopyFileW(Widen(gSourceProgram, CP_ACP).c_str(), target.c_str(), FALSE)) return true;
    Expect(false, "cannot install " + Hex(program) + ", error " + std::to_string(GetLastError()));
    return false;
}

std::string Outcome::Describe() const {
    if (!problem.empty()) return "not run: " + problem;
    char code[32];
    snprintf(code, sizeof code, "0x%lx", static_cast<unsigned long>(exitCode));
    std::string out = ended ? std::string("exit code ") + code : std::string("still running at the deadline");
    for (const MessageBoxSeen& box : boxes) {
        out += "; box caption " + Hex(box.caption) + " text " + Hex(box.text) + " buttons";
        for (int id : box.buttons) out += " " + std::to_string(id);
        out += box.icon ? " icon" : " no-icon";
        if (box.topmost) out += " topmost";
        if (box.owned) out += " owned";
    }
    if (windowsCreated > 0) out += "; " + std::to_string(windowsCreated) + " windows created";
    return out;
}

Outcome Watch(HANDLE process, DWORD mainThread) {
    WatchWindows();
    gCreatingThreads.clear();
    Outcome outcome;
    DWORD id = GetProcessId(process);
    std::vector<HWND> answered;
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> candidates;
        candidates.swap(gNewWindows);
        AnswerBoxes(id, candidates, answered, outcome);
        DWORD elapsed = GetTickCount() - start;
        DWORD result = elapsed >= kRunDeadlineMs
                           ? WAIT_TIMEOUT
                           : MsgWaitForMultipleObjects(1, &process, FALSE, kRunDeadlineMs - elapsed, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) {
            outcome.ended = true;
            GetExitCodeProcess(process, &outcome.exitCode);
            PumpMessages();  // the events the program raised before it ended
            if (mainThread)
                outcome.windowsCreated =
                    int(std::count(gCreatingThreads.begin(), gCreatingThreads.end(), mainThread));
            return outcome;
        }
        if (result == WAIT_OBJECT_0 + 1) {
            PumpMessages();
            continue;
        }
        // Deadline (or a failed wait): note any box the events missed, then end it.
        WindowSearch search = {id, {}};
        EnumWindows(AddTopWindow, reinterpret_cast<LPARAM>(&search));
        AnswerBoxes(id, search.found, answered, outcome);
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, 5000);
        outcome.ended = false;
        return outcome;
    }
}

Outcome Run(const std::string& program, const std::string& commandLine, AllocationFailure failure) {
    WatchWindows();
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    DWORD flags = failure.enabled ? DEBUG_ONLY_THIS_PROCESS : 0;
    Outcome outcome;
    // A loaded Wine now and then fails a start (error 1359) before the
    // program runs at all; such a start is tried again.
    bool created = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        created = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                                 &startup, &started) != FALSE;
        if (created || GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    if (!created) {
        outcome.problem = "CreateProcess failed, error " + std::to_string(GetLastError());
        return outcome;
    }
    std::string injection = failure.enabled ? InjectAllocationFailure(started, failure.above) : "";
    if (injection.empty()) {
        outcome = Watch(started.hProcess, started.dwThreadId);
    } else {
        outcome.problem = injection;
        TerminateProcess(started.hProcess, 0xDEAD);
        DebugActiveProcessStop(started.dwProcessId);
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return outcome;
}

void ExpectQuietSuccess(const Outcome& outcome) {
    Expect(outcome.ended && outcome.exitCode == 0 && outcome.boxes.empty() && outcome.windowsCreated <= 0,
           "expected exit code 0, no box and no window; " + outcome.Describe());
}

// ---- registry

std::string KeyLine(const std::string& key) { return key + "\n"; }

std::string ValueLine(const std::string& key, const std::string& name, DWORD type, const std::string& data) {
    return key + " : \"" + name + "\" = type " + std::to_string(type) + " hex " + Hex(data) + "\n";
}

std::string Sz(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

std::string Dump(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, Widen(key, 936).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return "";
    std::string out;
    DumpInto(handle, key, out);
    RegCloseKey(handle);
    return out;
}

bool KeyExists(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

void CreateKey(const std::string& key) {
    HKEY handle = nullptr;
    LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                                  nullptr);
    Expect(status == ERROR_SUCCESS, "cannot create " + key + ", error " + std::to_string(status));
    if (status == ERROR_SUCCESS) RegCloseKey(handle);
}

void SetValue(const std::string& key, const std::string& name, DWORD type, const std::string& data) {
    HKEY handle = nullptr;
    LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                                  nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                DWORD(data.size()));
        RegCloseKey(handle);
    }
    Expect(status == ERROR_SUCCESS, "cannot set " + key + " : " + name + ", error " + std::to_string(status));
}

void SetText(const std::string& key, const std::string& name, const std::string& text) {
    SetValue(key, name, REG_SZ, text + std::string(1, '\0'));
}

void DeleteTree(const std::string& key) {
    LONG status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    if (status == ERROR_SUCCESS) status = RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
    Expect(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND,
           "cannot delete " + key + ", error " + std::to_string(status));
}

const Verb kVerbs[3] = {
    {"*\\shell\\QZV", "Vorquin(&B)", "%1"},
    {"lnkfile\\shell\\QZV_lnk", "复制快捷方式路径(&E)", "%1"},
    {"Directory\\shell\\QZV", "复制文件夹路径(&B)", "%L"},
};

std::string RegisteredDump(const Verb& verb, const std::string& program) {
    const std::string key = verb.key, command = key + "\\command";
    return KeyLine(key) + ValueLine(key, "", REG_SZ, Sz(Utf16(verb.label))) + KeyLine(command) +
           ValueLine(command, "", REG_SZ, Sz(FromGbk(Quoted(program) + " " + Quoted(verb.placeholder))));
}

void ResetVerbs() {
    for (const char* shell : {"*\\shell", "lnkfile\\shell", "Directory\\shell"}) DeleteTree(shell);
}

std::string DumpVerbs() {
    std::string dump;
    for (const Verb& verb : kVerbs) dump += Dump(verb.key);
    return dump;
}

std::string MarkVerbs() {
    for (const Verb& verb : kVerbs) {
        SetText(verb.key, "", "marker");
        SetText(std::string(verb.key) + "\\command", "", "marker");
    }
    return DumpVerbs();
}

std::string AllRegistered(const std::string& program) {
    std::string dump;
    for (const Verb& verb : kVerbs) dump += RegisteredDump(verb, program);
    return dump;
}

// ---- clipboard

std::string ClipboardContent::Describe() const {
    if (!opened) return "(clipboard could not be opened)";
    std::string out = "formats";
    for (UINT format : formats) out += " " + std::to_string(format);
    out += hasText ? "; text " + Hex(text) : "; no CF_TEXT";
    return out;
}

namespace {

// Another program may have it open for a moment; there is nothing to wait on.
bool OpenClipboardPatiently() {
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (OpenClipboard(DriverWindow())) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        PumpMessages();
    }
    return false;
}

HGLOBAL BlockOf(const std::string& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (block) {
        memcpy(GlobalLock(block), bytes.data(), bytes.size());
        GlobalUnlock(block);
    }
    return block;
}

void PlaceText(const std::string& text) {
    Expect(SetClipboardData(CF_TEXT, BlockOf(text + std::string(1, '\0'))) != nullptr,
           "cannot place the driver's CF_TEXT");
}

}  // namespace

ClipboardContent ReadClipboard() {
    ClipboardContent content;
    if (!OpenClipboardPatiently()) return content;
    content.opened = true;
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format))
        content.formats.push_back(format);
    if (HANDLE block = GetClipboardData(CF_TEXT)) {
        const char* bytes = static_cast<const char*>(GlobalLock(block));
        SIZE_T size = GlobalSize(block);
        SIZE_T length = 0;
        while (bytes && length < size && bytes[length]) ++length;
        content.hasText = bytes && length < size;  // terminated inside the block
        if (bytes) content.text.assign(bytes, length);
        GlobalUnlock(block);
    }
    if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
        const wchar_t* text = static_cast<const wchar_t*>(GlobalLock(block));
        if (text) content.unicode = text;
        GlobalUnlock(block);
    }
    CloseClipboard();
    return content;
}

void PutClipboard(const std::string& text, const std::vector<std::pair<UINT, std::string>>& extra) {
    if (!OpenClipboardPatiently()) {
        Expect(false, "the driver cannot open the clipboard");
        return;
    }
    EmptyClipboard();
    PlaceText(text);
    for (const auto& format : extra)
        Expect(SetClipboardData(format.first, BlockOf(format.second)) != nullptr,
               "cannot place clipboard format " + std::to_string(format.first));
    CloseClipboard();
}

ClipboardHold::ClipboardHold() : held_(OpenClipboardPatiently()) {
    Expect(held_, "the driver cannot open the clipboard");
    if (!held_) return;
    EmptyClipboard();
    PlaceText(Text());
}

ClipboardHold::~ClipboardHold() {
    if (held_) CloseClipboard();
}

}  // namespace acceptance
