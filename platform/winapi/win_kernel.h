// Kernel services: movable global memory, thread-local storage, critical
// sections, the last-error value, debugger output, the program's own file and
// resources, and the tick count.
#pragma once

#include "platform/winapi/win_types.h"

// --- Last error -------------------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD errorCode);

// --- Global memory ------------------------------------------------------------
// A movable block has an owner handle and a lock count. GlobalLock pins it and
// returns its address; a block of size 0 exists but cannot be locked (as a
// discarded block on Windows).
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_DDESHARE 0x2000
#define GMEM_SHARE 0x2000
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL block);
// Nonzero while the block is still locked; zero with GetLastError() == NO_ERROR
// once the last lock is gone.
BOOL GlobalUnlock(HGLOBAL block);
// NULL on success; the handle itself when it could not be freed.
HGLOBAL GlobalFree(HGLOBAL block);
SIZE_T GlobalSize(HGLOBAL block);

// --- Thread-local storage -------------------------------------------------------
#define TLS_OUT_OF_INDEXES ((DWORD)0xFFFFFFFF)
DWORD TlsAlloc();
LPVOID TlsGetValue(DWORD index);
BOOL TlsSetValue(DWORD index, LPVOID value);
BOOL TlsFree(DWORD index);

// --- Critical sections ----------------------------------------------------------
typedef struct _CRITICAL_SECTION {
  void* lock;  // the layer's mutex, created by InitializeCriticalSection
} CRITICAL_SECTION, *LPCRITICAL_SECTION;
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

// --- Debugger output ------------------------------------------------------------
void OutputDebugStringA(LPCSTR text);

// --- Time -----------------------------------------------------------------------
DWORD GetTickCount();

// --- The program's own file and resources ---------------------------------------
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
HMODULE GetModuleHandleA(LPCSTR moduleName);

#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_ICON MAKEINTRESOURCEA(3)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)
typedef HANDLE HRSRC_DATA;
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL resourceData);
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferSize);
