// Finding albums and pictures on disk.
//
// The folder that holds the program is the root album; each subfolder is an
// album and each subfolder of a subfolder a further album, listed with one
// leading blank (the list box indents it). Deeper folders are never visited.
//
// Besides the folders the design skips, a scan passes over what is not the
// author's (IsSystemEntryName), anything that is neither a regular file nor
// a folder (pipes, sockets, devices), and a folder that leads back to one of
// its own ancestors (a link loop).
//
// Album list: entry 0 is the root path with a trailing separator; first-level
// entries are full paths without one; second-level entries are a blank and
// the full path. Picture list: full paths of one folder's pictures, sorted
// byte-wise as unsigned characters, case-sensitively (B.jpg before a.jpg).
#pragma once

#include "platform/framework/afx_string.h"

// A file is a picture when a reader of the extension table
// (imaging/core/reader_table.h) takes it: the last four characters of its path,
// ignoring case, are .jpg .png .bmp .pcx .tif .tga or .gif.
bool IsPictureFileName(const CString& path);

// A folder is skipped when its name is "bin", "setup" or "install" (any case)
// or when the part of its path below the root contains "_sys" (any case).
bool IsSkippedFolder(const CString& rootFolder, const CString& fullPath, const CString& name);

// Entries that are not the disc author's and are passed over by every scan,
// files and folders alike: names starting with "." (hidden on Unix and
// macOS, among them AppleDouble "._" side files, .Trashes, .fseventsd and
// .Spotlight-V100) and the system folders of Windows and Linux media
// ($RECYCLE.BIN, RECYCLER, System Volume Information, lost+found), any case.
bool IsSystemEntryName(const CString& name);

// True when `path` names a regular file the viewer may open to read: it
// exists and is neither a folder nor a pipe, socket or device, whose reading
// may never end.
bool IsRegularFile(const CString& path);

// The path with the separator appended when it does not end in one.
CString WithTrailingSeparator(const CString& path);

// Sorts the entries from `first` on, byte-wise as unsigned characters.
void SortPathList(CStringArray& list, INT_PTR first = 0);

// Fills the album list and the root's picture list; the current index is the
// caller's to reset. Shows the wait cursor while it runs.
void ScanRootFolder(const CString& rootFolder, CStringArray& albumList, CStringArray& pictureList);

// Refills the picture list with the pictures directly in one album folder, sorted.
void ScanAlbumFolder(const CString& albumFolder, CStringArray& pictureList);

// Appends a blank-prefixed entry for each qualifying subfolder of a
// first-level album, sorted as the first level is. True when it appended any.
bool AddSecondLevelAlbums(const CString& rootFolder, const CString& firstLevelAlbum,
                          CStringArray& albumList);
