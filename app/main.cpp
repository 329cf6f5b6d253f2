#include <windows.h>

#include "app/startup.h"
#include "platform/location.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RecordProgramLocation();
    RunStartup();
}
