// keeper <seconds>: a GUI process that stays while a test reads the
// clipboard from a process of its own. Wine drops a clipboard soon after
// the last GUI process of the prefix has ended, and a program that copies
// and exits leaves none. Prints "ready" once its window exists; ends after
// the given seconds, or when the prefix's wineserver is killed.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    int seconds = argc == 2 ? atoi(argv[1]) : 0;
    if (seconds <= 0) {
        fprintf(stderr, "usage: keeper <seconds>\n");
        return 2;
    }
    HWND window = CreateWindowExA(0, "STATIC", "keeper", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (!window) {
        fprintf(stderr, "keeper: no window (error %lu)\n", GetLastError());
        return 1;
    }
    SetTimer(window, 1, UINT(seconds) * 1000, nullptr);
    printf("ready\n");
    fflush(stdout);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) break;
        DispatchMessageA(&message);
    }
    DestroyWindow(window);
    return 0;
}
