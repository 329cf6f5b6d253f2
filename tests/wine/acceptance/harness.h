// The acceptance driver's tools. It runs inside Wine beside Vorquin.exe:
// starts the program with exact command lines, watches its message boxes
// and exit code, and reads the real registry and clipboard.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace acceptance {

// ---- cases and checks

// Checks made while a case is open are reported under its name; the case
// passes when all of them hold.
class Case {
public:
    explicit Case(const std::string& name);
    ~Case();
    Case(const Case&) = delete;
    Case& operator=(const Case&) = delete;
};

void Expect(bool condition, const std::string& message);
void ExpectEqual(const std::string& what, const std::string& actual, const std::string& expected);

// Prints "<group>: N passed, N failed" and returns the exit code.
int Summary(const std::string& group);

// ---- text

std::string Gbk(const std::string& utf8);       // code page 936
std::wstring Utf16(const std::string& utf8);
std::wstring FromGbk(const std::string& gbk);
std::string Hex(const std::string& bytes);
std::string Hex(const std::wstring& text);       // UTF-16LE bytes
std::string Quoted(const std::string& text);     // in double quotes

// ---- the program under test

// Where the driver installs the program before a group runs.
inline const char* const kProgram = "C:\\Tools\\Vorquin.exe";

// Clipboard text put there before a run, to show whether the run changed it.
inline const char* const kSentinel = "clipboard before the run";

// Copies Vorquin.exe (the path the driver was given) to program, creating
// its folders. program is in code page 936. False when that fails.
bool Install(const std::string& program);
void SetSourceProgram(const std::string& path);

struct MessageBoxSeen {
    std::string caption;
    std::string text;
    std::vector<int> buttons;  // ids of the visible buttons
    bool icon = false;         // an icon is shown
    bool topmost = false;
    bool owned = false;
};

struct Outcome {
    bool ended = false;  // false: still running at the deadline, then ended by force
    DWORD exitCode = 0;
    std::vector<MessageBoxSeen> boxes;  // each answered with OK as it appeared
    int windowsCreated = -1;            // by the program's main thread; -1 when not known
    std::string problem;                // why the run could not be made
    std::string Describe() const;
};

// Fails every HeapAlloc the program makes through its import of more than
// the given number of bytes.
struct AllocationFailure {
    bool enabled = false;
    SIZE_T above = 0;
};

// Starts program (application name) with commandLine, exactly as given,
// and waits for it to end; message boxes are answered as they come.
Outcome Run(const std::string& program, const std::string& commandLine,
            AllocationFailure failure = AllocationFailure());

// Waits for a process started by someone else (the shell).
Outcome Watch(HANDLE process, DWORD mainThread = 0);

// The run ended by itself with exit code 0 and showed nothing.
void ExpectQuietSuccess(const Outcome& outcome);

// ---- registry, under HKEY_CLASSES_ROOT

// The key and everything below it, one line per key and per value:
//   <path>
//   <path> : "<value name>" = type <n> hex <data as stored>
// names in byte order; "" when the key is absent. Read through the wide
// API, so string data shows as stored: UTF-16LE, with or without its zero.
std::string Dump(const std::string& key);
// String data as stored: UTF-16LE and a terminating zero.
std::string Sz(const std::wstring& text);
std::string KeyLine(const std::string& key);
std::string ValueLine(const std::string& key, const std::string& name, DWORD type, const std::string& data);
bool KeyExists(const std::string& key);
void SetValue(const std::string& key, const std::string& name, DWORD type, const std::string& data);
void SetText(const std::string& key, const std::string& name, const std::string& text);  // REG_SZ with its zero
void CreateKey(const std::string& key);
void DeleteTree(const std::string& key);

struct Verb {
    const char* key;
    const char* label;        // UTF-8
    const char* placeholder;  // %1 or %L
};
extern const Verb kVerbs[3];

// What Dump(verb.key) gives after registration from program (code page 936).
std::string RegisteredDump(const Verb& verb, const std::string& program);

// Removes the three shell keys the commands live under, as in a fresh prefix.
void ResetVerbs();

// Gives every command a marker the program never writes, so each action
// shows: registration replaces the markers, removal deletes them, a copy
// leaves them. Returns Dump of the three verb keys.
std::string MarkVerbs();
std::string DumpVerbs();
std::string AllRegistered(const std::string& program);

// ---- clipboard

struct ClipboardContent {
    bool opened = false;
    std::vector<UINT> formats;
    bool hasText = false;
    std::string text;  // CF_TEXT before its terminating zero
    std::wstring unicode;
    std::string Describe() const;
};

ClipboardContent ReadClipboard();

// Empties the clipboard and places text as CF_TEXT, owned by the driver's
// window, with extra formats given as (format, bytes).
void PutClipboard(const std::string& text, const std::vector<std::pair<UINT, std::string>>& extra = {});

// Keeps the clipboard open in the driver's window while it lives.
class ClipboardHold {
public:
    ClipboardHold();
    ~ClipboardHold();
    bool held() const { return held_; }
    // The CF_TEXT the holder placed.
    static const char* Text() { return "held by the driver"; }

private:
    bool held_;
};

// ---- groups

using Group = std::function<void()>;
void RegistryGroup();
void CommandLineGroup();
void ShellGroup();
void ClipboardGroup();
void AllocationFailureGroup();

}  // namespace acceptance
