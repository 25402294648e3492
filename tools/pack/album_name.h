// The root album's name in album.txt: the first line "name = VALUE" (the key
// is found whatever its case, with white space around it and around the "="
// ignored, as the viewer reads it).
#pragma once

#include <string>

namespace pack {

// album.txt's text with its name line set to `name`: the first name line is
// replaced, keeping its line end; without one, a name line is put first,
// ending as the file's first line does (CR LF in a file without line ends).
// Every other line and line end stays as it was.
std::string WithAlbumName(const std::string& text, const std::string& name);

}  // namespace pack
