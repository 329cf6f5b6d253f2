// The clipboard text and the message box.
#pragma once

#include <stdint.h>

// Empties the clipboard and places text (never null) as CF_TEXT. False when
// the clipboard cannot be opened or the text cannot be handed over; in the
// second case the clipboard is left empty.
bool SetClipboardText(const char* text);

// Shows a box without an owner, task-modal unless flags ask for system-modal.
// A null title gives the caption 信息：. Returns the button: OK 0, Cancel 1,
// Abort 2, Retry 3, Ignore 4, Yes 5, No 6; anything else 0.
int32_t ShowMessage(const char* content, int32_t flags, const char* title);
