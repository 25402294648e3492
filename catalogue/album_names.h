// album.txt: an optional text file beside the program that names the root
// album ("name = ...") and chooses which albums appear, in which order
// ("Dir1 = Beach", "Dir2 = Mountains" ...). Also the whole-file text reader
// that title.txt shares.
#pragma once

#include <cstdio>

#include "platform/framework/afx_string.h"

enum class TextFileRead {
  kRead,      // the text was read
  kTooLarge,  // longer than 1,048,575 bytes: refused with a message box
  kFailed,    // the file could not be read to its end
};

// Reads a whole open text file into `text`, passing over a byte-order mark
// and reading UTF-16 as UTF-16 (catalogue/text_encoding.h). A zero character
// inside the file ends the text early. A file longer than 0xFFFFF bytes is refused with the message
// box "The file is too large to open.".
TextFileRead ReadWholeTextFile(std::FILE* file, CString* text);

// The path of a companion file in a folder, found whatever its letter case
// (a disc authored on Windows may hold ALBUM.TXT); the plain joined path when
// no file of that name exists.
CString FindCompanionFile(const CString& folder, const CString& name);

// The root album's folder: the one set by SetRootFolder (the program's
// argument), else the program's folder, the module file's path before its
// last separator.
CString ProgramFolder();
void SetRootFolder(const CString& folder);

// Splits album.txt's text into trimmed lines, empty lines included. Lines end
// in LF or CR LF; only a carriage return before the line feed is dropped.
void SplitAlbumLines(const CString& text, CStringArray& lines);

// Reads album.txt beside the program into the line list (left empty when
// there is no such file). kTooLarge means the caller abandons its set-up.
TextFileRead ReadAlbumTxt(CStringArray& lines);

// The value of the first "key = value" line whose key equals `key` ignoring
// case; empty when there is none.
CString LookUpAlbumKey(const CStringArray& lines, const CString& key);

// Applies the Dir1, Dir2 ... keys to the album list made by the folder scan:
// the named albums (first- or second-level), in key order, each first-level
// one followed by its subfolders. Unchanged when no Dir value matches.
void ReorderAlbums(const CStringArray& lines, CStringArray& albumList);
