// The registered commands run the way Explorer runs them: ShellExecuteEx
// with the verb fills the placeholder and starts the command line.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "harness.h"

namespace acceptance {

namespace {

const char* const kShellProgram = "C:\\Program Files\\Vorquin Test\\Vorquin.exe";

enum class Item { File, Folder, Shortcut };

// Creates the folders above path.
void MakeFolders(const std::wstring& path) {
    for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1))
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
}

bool MakeShortcut(const std::wstring& path, const std::wstring& target) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    IPersistFile* file = nullptr;
    bool saved = SUCCEEDED(link->SetPath(target.c_str())) &&
                 SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                 SUCCEEDED(file->Save(path.c_str(), TRUE));
    if (file) file->Release();
    link->Release();
    return saved;
}

void MakeItem(const std::string& path, Item item) {
    std::wstring wide = Utf16(path);
    MakeFolders(wide);
    bool made = true;
    if (item == Item::Folder) {
        CreateDirectoryW(wide.c_str(), nullptr);  // a drive root exists already
        DWORD attributes = GetFileAttributesW(wide.c_str());
        made = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    } else if (item == Item::File) {
        HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        made = file != INVALID_HANDLE_VALUE;
        if (made) CloseHandle(file);
    } else if (item == Item::Shortcut) {
        made = MakeShortcut(wide, Utf16("C:\\windows\\win.ini"));
    }
    Expect(made, "cannot make " + Hex(Gbk(path)));
}

// Starts verb on path as Explorer would; class as given, or the one the
// file's extension names. Null when the shell starts nothing.
HANDLE InvokeVerb(const char* verb, const std::string& path, const char* type) {
    std::wstring wideVerb = Utf16(verb), widePath = Utf16(path), wideClass = type ? Utf16(type) : L"";
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | (type ? SEE_MASK_CLASSNAME : 0);
    info.lpVerb = wideVerb.c_str();
    info.lpFile = widePath.c_str();
    info.lpClass = type ? wideClass.c_str() : nullptr;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) return nullptr;
    return info.hProcess;
}

struct Invocation {
    const char* name;
    const char* type;  // class the shell uses; null: from the extension
    const char* verb;
    std::string path;  // UTF-8
    Item item;
};

void CheckInvocation(const Invocation& invocation) {
    Case c(invocation.name);
    MakeItem(invocation.path, invocation.item);
    PutClipboard(kSentinel);
    HANDLE process = InvokeVerb(invocation.verb, invocation.path, invocation.type);
    Expect(process != nullptr, "the shell started nothing, error " + std::to_string(GetLastError()));
    if (!process) return;
    ExpectQuietSuccess(Watch(process));
    CloseHandle(process);
    ClipboardContent clipboard = ReadClipboard();
    ExpectEqual("CF_TEXT (hex)", Hex(clipboard.text), Hex(Gbk(invocation.path)));
}

}  // namespace

void ShellGroup() {
    CoInitialize(nullptr);
    ResetVerbs();
    if (!Install(kShellProgram)) return;
    ExpectQuietSuccess(Run(kShellProgram, Quoted(kShellProgram)));

    const Invocation invocations[] = {
        {"a file with spaces and Chinese in its path", "*", "QZV", "C:\\文档 2\\a b.txt", Item::File},
        {"a file whose name holds a GBK trail byte 5C", "*", "QZV", "C:\\誠\\誠.txt", Item::File},
        {"a file in a folder named with % and &", "*", "QZV", "C:\\100% & co\\x^y.txt", Item::File},
        {"a shortcut: its own path, not its target's", nullptr, "QZV_lnk", "C:\\链接\\报告.lnk", Item::Shortcut},
        {"a folder", "Directory", "QZV", "C:\\文档 2", Item::Folder},
        {"a drive root keeps its backslash", "Directory", "QZV", "C:\\", Item::Folder},
    };
    for (const Invocation& invocation : invocations) CheckInvocation(invocation);

    Case c("after removal the shell has no such command");
    ExpectQuietSuccess(Run(kShellProgram, Quoted(kShellProgram) + " /U"));
    PutClipboard(kSentinel);
    for (const Invocation& invocation : invocations) {
        HANDLE process = InvokeVerb(invocation.verb, invocation.path, invocation.type);
        Expect(process == nullptr, std::string("still started for ") + invocation.name);
        if (process) {
            Watch(process);
            CloseHandle(process);
        }
    }
    ExpectEqual("CF_TEXT", ReadClipboard().text, kSentinel);
}

}  // namespace acceptance
