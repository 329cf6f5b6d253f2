#include "platform/constants.h"

#include <cstdint>

const ConstantTexts kTexts = {
    "",
    "/U",
    "\xca\xa7\xb0\xdc",
    "Vorquin",
    "\" \"%1\"",
    "\" \"%L\"",
    "\"",
    "\\",
    "Vorquin(&B)",
    "\xb8\xb4\xd6\xc6\xbf\xec\xbd\xdd\xb7\xbd\xca\xbd\xc2\xb7\xbe\xb6(&E)",
    "\xb8\xb4\xd6\xc6\xce\xc4\xbc\xfe\xbc\xd0\xc2\xb7\xbe\xb6(&B)",
    "*\\shell\\QZV\\command\\",
    "*\\shell\\QZV\\command",
    "*\\shell\\QZV\\",
    "*\\shell\\QZV",
    "lnkfile\\shell\\QZV_lnk\\command\\",
    "lnkfile\\shell\\QZV_lnk\\command",
    "lnkfile\\shell\\QZV_lnk\\",
    "lnkfile\\shell\\QZV_lnk",
    "Directory\\shell\\QZV\\command\\",
    "Directory\\shell\\QZV\\command",
    "Directory\\shell\\QZV\\",
    "Directory\\shell\\QZV",
    "\xd0\xc5\xcf\xa2\xa3\xba",
    "\xb4\xed\xce\xf3",
    "\xd4\xcb\xd0\xd0\xca\xb1\xb3\xf6\xb4\xed!\r\n\r\n",
    "\xb4\xed\xce\xf3\xd0\xc5\xcf\xa2\xa3\xba",
    "\r\n",
    "\xb7\xd6\xc5\xe4 %d \xd7\xd6\xbd\xda\xc4\xda\xb4\xe6\xca\xa7\xb0\xdc!",
};

// Compared as integers: pointers into unrelated objects have no order.
bool IsConstantText(const void* pointer) {
    std::uintptr_t address = reinterpret_cast<std::uintptr_t>(pointer);
    std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(&kTexts);
    return address >= begin && address - begin < sizeof kTexts;
}
