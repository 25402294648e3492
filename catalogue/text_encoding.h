// The text of album.txt and title.txt as editors save it: UTF-8 with or
// without a byte-order mark (Notepad writes one), UTF-16 with its mark, or
// bytes of an older code page.
#pragma once

#include <string>

// The program's text for a file's bytes. A UTF-8 mark (EF BB BF) is dropped;
// a UTF-16 mark (FF FE little-endian, FE FF big-endian) makes the rest UTF-16,
// converted to UTF-8 (a lone surrogate becomes U+FFFD, an odd last byte is
// dropped). Any other bytes are kept as they are: text that is not UTF-8 is
// drawn as Windows-1252. The text ends at its first zero character.
std::string TextFromFileBytes(const std::string& bytes);
