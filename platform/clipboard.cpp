#include "platform/clipboard.h"

#include <windows.h>

#include "platform/constants.h"
#include "platform/texts.h"

bool SetClipboardText(const char* text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    SIZE_T size = SIZE_T(TextLength(text)) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    bool placed = false;
    if (block) {
        char* target = static_cast<char*>(GlobalLock(block));
        if (target) {
            for (SIZE_T i = 0; i + 1 < size; ++i) target[i] = text[i];
            target[size - 1] = 0;
            GlobalUnlock(block);
            placed = SetClipboardData(CF_TEXT, block) != nullptr;
        }
        // Until the clipboard takes it, the block is ours to free.
        if (!placed) GlobalFree(block);
    }
    CloseClipboard();
    return placed;
}

int32_t ShowMessage(const char* content, int32_t flags, const char* title) {
    UINT style = UINT(flags);
    if (!(style & MB_SYSTEMMODAL)) style |= MB_TASKMODAL;
    int button = MessageBoxA(nullptr, content ? content : kTexts.empty,
                             title ? title : kTexts.defaultCaption, style);
    return button >= IDOK && button <= IDNO ? button - 1 : 0;
}
