// The least program that does a copy run's work, to time Vorquin against:
// it places the text after its own name on the command line as one CF_TEXT
// block and exits. Built with its own entry point and no C runtime
// (minimal.exe), and once more through the runtime's WinMain start-up
// (minimal_crt.exe) to show what that start-up costs.
#include <windows.h>

// Past the program's name and the space after it.
static const char* AfterProgramName(const char* p) {
    char end = ' ';
    if (*p == '"') {
        end = '"';
        ++p;
    }
    while (*p && *p != end) ++p;
    if (*p) ++p;
    if (end == '"' && *p == ' ') ++p;
    return p;
}

[[noreturn]] static void PlaceCommandLineText() {
    const char* text = AfterProgramName(GetCommandLineA());
    SIZE_T size = 1;
    while (text[size - 1]) ++size;
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
        char* target = block ? static_cast<char*>(GlobalLock(block)) : nullptr;
        if (target) {
            for (SIZE_T i = 0; i < size; ++i) target[i] = text[i];
            GlobalUnlock(block);
            SetClipboardData(CF_TEXT, block);
        }
        CloseClipboard();
    }
    ExitProcess(0);
}

#ifdef MINIMAL_WITH_CRT
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { PlaceCommandLineText(); }
#else
extern "C" void MinimalStart() { PlaceCommandLineText(); }
#endif
