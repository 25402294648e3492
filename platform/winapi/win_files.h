// File-system services: folder enumeration and attribute (existence) tests.
// As on Windows, FindFirstFileA takes a pattern ("folder\*.*", here with the
// layer's separator) and each entry gives the bare name and its attributes;
// callers build full paths themselves (the framework's CFileFind does).
#pragma once

#include "platform/winapi/win_types.h"

#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_DEVICE 0x00000040
#define FILE_ATTRIBUTE_NORMAL 0x00000080

#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_NO_MORE_FILES 18L

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

// The pattern's last part may hold * and ? wildcards (matched without regard
// to letter case, as on Windows); "*.*" matches every name, "." and ".."
// included. INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND when nothing matches.
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data);
BOOL FindClose(HANDLE search);

// INVALID_FILE_ATTRIBUTES when the path does not exist.
DWORD GetFileAttributesA(LPCSTR path);

// --- Volumes ---------------------------------------------------------------------
// What the volume holding a folder can take: the free space and whether it is
// read-only.
typedef uint64_t ULONGLONG;
typedef DWORD* LPDWORD;
typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

#define FILE_READ_ONLY_VOLUME 0x00080000
#define ERROR_DIR_NOT_ROOT 144L

// The root of the volume (here: the mount point) that holds `path`, with a
// trailing separator. FALSE with ERROR_FILE_NOT_FOUND when no part of the path
// exists, or ERROR_INSUFFICIENT_BUFFER.
BOOL GetVolumePathNameA(LPCSTR path, LPSTR volumePath, DWORD volumePathLength);
// Facts about the volume whose root is `rootPath` (as GetVolumePathNameA gives
// it; FALSE with ERROR_DIR_NOT_ROOT for another folder). Any out-parameter may
// be null. The flags hold FILE_READ_ONLY_VOLUME for a volume mounted read-only;
// the volume has no name here, and the file system's name is its kernel type
// name where known.
BOOL GetVolumeInformationA(LPCSTR rootPath, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maximumComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize);
// The bytes free to the calling user, in all, and free in all on the volume
// holding the folder `path`; any out-parameter may be null.
BOOL GetDiskFreeSpaceExA(LPCSTR path, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes);
