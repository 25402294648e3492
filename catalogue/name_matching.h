// Folder names as album.txt names them. The same name reaches the program in
// more than one spelling: macOS writes names decomposed ("e" + U+0301 where
// Windows and Linux editors write "é"), and an album.txt saved in an older
// code page holds Windows-1252 bytes where the folder's name is UTF-8.
#pragma once

#include <string>

// `name` as a key that two spellings of one name share: its characters
// (UTF-8, or Windows-1252 when it is not valid UTF-8), canonically composed
// (letters with their marks, Hangul jamo into syllables; marks are taken in
// the order written), with Latin capitals A-Z and U+00C0-U+00DE lowered.
std::u32string ComparableName(const std::string& name);
