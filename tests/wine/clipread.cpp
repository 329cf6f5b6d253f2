// clipread: prints the clipboard's formats and its CF_TEXT bytes:
//   formats <n> <n> ...
//   text <hex of the bytes before the terminating zero>
// Exit 1 when the clipboard cannot be opened or holds no terminated CF_TEXT.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

int main() {
    _setmode(_fileno(stdout), _O_BINARY);
    // The clipboard is opened by a window of our own: openers without one
    // do not exclude each other.
    HWND window = CreateWindowExA(0, "STATIC", "clipread", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!window) {
        fprintf(stderr, "clipread: no window (error %lu)\n", GetLastError());
        return 1;
    }
    bool opened = false;
    for (int attempt = 0; attempt < 50 && !opened; ++attempt) {
        opened = OpenClipboard(window) != FALSE;
        if (!opened) Sleep(100);
    }
    if (!opened) {
        fprintf(stderr, "clipread: cannot open the clipboard (error %lu)\n", GetLastError());
        return 1;
    }

    printf("formats");
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format))
        printf(" %u", format);
    printf("\n");

    int result = 1;
    HANDLE block = GetClipboardData(CF_TEXT);
    const unsigned char* bytes = block ? static_cast<const unsigned char*>(GlobalLock(block)) : nullptr;
    if (!bytes) {
        fprintf(stderr, "clipread: no CF_TEXT\n");
    } else {
        SIZE_T size = GlobalSize(block);
        SIZE_T length = 0;
        while (length < size && bytes[length]) ++length;
        if (length == size) {
            fprintf(stderr, "clipread: CF_TEXT has no terminating zero\n");
        } else {
            printf("text ");
            for (SIZE_T i = 0; i < length; ++i) printf("%02x", bytes[i]);
            printf("\n");
            result = 0;
        }
        GlobalUnlock(block);
    }
    CloseClipboard();
    DestroyWindow(window);
    return result;
}
