// The files at a disc's root that start the viewer when the disc is opened:
// autorun.sh for Linux desktops (freedesktop "Autostart Of Applications
// After Mount") and autorun.inf for Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pack {

constexpr char kAutorunScriptName[] = "autorun.sh";
constexpr char kAutorunInfName[] = "autorun.inf";

enum class ProgramKind { kUnknown, kLinux, kWindows };

// What a program file is, by its first bytes: an ELF image ("\x7F" "ELF")
// or a Windows image ("MZ").
ProgramKind KindOfProgram(const std::vector<uint8_t>& program);

// The dynamic loader a 32- or 64-bit little-endian ELF program names
// (its PT_INTERP segment); empty when it names none or the file is damaged.
std::string ProgramInterpreter(const std::vector<uint8_t>& program);

// The POSIX shell script that starts `programName`, a program file beside
// it, from whatever medium holds them: directly when the file may be run
// there, through `loader` when the file has no exec bit, and as a copy in
// $XDG_CACHE_HOME/tessary/ (with the disc's folder as its root album) when
// the medium forbids running programs. It writes nothing to the disc and
// ends with a one-line message when nothing works.
std::string AutorunScript(const std::string& programName, const std::string& loader);

// Windows' autorun.inf: the program to open, its icon (the program's own,
// icon 0) and the label the disc shows, in CR LF lines.
std::string AutorunInf(const std::string& programName, const std::string& label);

}  // namespace pack
