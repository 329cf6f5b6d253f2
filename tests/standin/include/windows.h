// The native build's stand-in for the Windows API: the few types, constants
// and functions that the program calls, declared so that the platform
// sources compile unchanged on the host. standin.cpp implements them in
// memory; standin.h is the tests' handle on that state.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define WINAPIV

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef LONG LSTATUS;
typedef size_t SIZE_T;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef void* HANDLE;
typedef DWORD REGSAM;

typedef struct StandinWindow* HWND;
typedef struct StandinModule* HMODULE;
typedef struct StandinKey* HKEY;
typedef struct StandinGlobal* HGLOBAL;
typedef HKEY* PHKEY;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_INVALID_PARAMETER 87L

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)
#define HKEY_CURRENT_CONFIG ((HKEY)(uintptr_t)0x80000005u)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define MAXIMUM_ALLOWED 0x02000000
#define GENERIC_ALL 0x10000000
#define GENERIC_WRITE 0x40000000
#define GENERIC_READ 0x80000000
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4

#define CF_TEXT 1
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040

#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u
#define MB_SYSTEMMODAL 0x00001000u
#define MB_TASKMODAL 0x00002000u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

#define MAX_LEADBYTES 12
#define MAX_DEFAULTCHAR 2

typedef struct _cpinfo {
    UINT MaxCharSize;
    BYTE DefaultChar[MAX_DEFAULTCHAR];
    BYTE LeadByte[MAX_LEADBYTES];
} CPINFO, *LPCPINFO;

// kernel32
LPSTR WINAPI GetCommandLineA();
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
BOOL WINAPI SetCurrentDirectoryA(LPCSTR path);
UINT WINAPI GetACP();
BOOL WINAPI GetCPInfo(UINT codePage, LPCPINFO info);
[[noreturn]] void WINAPI ExitProcess(UINT exitCode);
HANDLE WINAPI GetProcessHeap();
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID WINAPI GlobalLock(HGLOBAL block);
BOOL WINAPI GlobalUnlock(HGLOBAL block);
HGLOBAL WINAPI GlobalFree(HGLOBAL block);

// user32
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...);
BOOL WINAPI OpenClipboard(HWND owner);
BOOL WINAPI EmptyClipboard();
HANDLE WINAPI SetClipboardData(UINT format, HANDLE data);
BOOL WINAPI CloseClipboard();

// advapi32
LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName);
LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey);
LSTATUS WINAPI RegCloseKey(HKEY key);
