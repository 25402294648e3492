// Path conventions shared by the viewer and its tools.
#pragma once

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace platform

namespace platform {

// The General MIDI sound font a disc may carry beside the program, used
// where the system has none.
inline constexpr char kCarriedSoundFontName[] = "tessary.sf2";

}  // namespace platform
