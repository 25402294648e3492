// The disc's start files. See autorun.h.
#include "tools/pack/autorun.h"

#include <cstring>

#include "platform/paths.h"

namespace pack {
namespace {

// Little-endian unsigned number of `size` bytes at `offset`; false when the
// bytes are not all there.
bool ReadNumber(const std::vector<uint8_t>& bytes, uint64_t offset, unsigned size, uint64_t* value) {
  if (offset > bytes.size() || bytes.size() - offset < size) return false;
  *value = 0;
  for (unsigned i = 0; i < size; ++i) *value |= static_cast<uint64_t>(bytes[offset + i]) << (8 * i);
  return true;
}

// `text` as one word of POSIX shell: in single quotes, each quote inside
// written as '\''.
std::string ShellWord(const std::string& text) {
  std::string word = "'";
  for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

// The script's body after its two settings (program_name, loader). Every
// path is quoted: discs are mounted under their labels, spaces and all.
const char kScriptBody[] = R"SH(
fail() {
  printf 'autorun.sh: %s\n' "$1" >&2
  exit 1
}

disc=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd -P) ||
  fail "cannot find the folder that holds $0"
program=$disc/$program_name
[ -f "$program" ] || fail "the program $program is missing"
[ -r "$program" ] || fail "cannot read the program $program"

# Runs the program file $1 with the disc as its root album: directly when
# the file may be run, else through the dynamic loader when the medium lets
# the loader map it. Returns only when neither can start it.
run() {
  if [ -x "$1" ]; then
    exec "$1" "$disc"
  fi
  if [ -n "$loader" ] && [ -x "$loader" ] && "$loader" --verify "$1" >/dev/null 2>&1; then
    exec "$loader" "$1" "$disc"
  fi
}

run "$program"

# The medium forbids running programs (mounted noexec): run a copy.
if [ -n "${XDG_CACHE_HOME:-}" ]; then
  cache=$XDG_CACHE_HOME/tessary
elif [ -n "${HOME:-}" ]; then
  cache=$HOME/.cache/tessary
else
  fail "cannot start $program: the disc forbids running programs, and with neither XDG_CACHE_HOME nor HOME set there is no folder for a copy"
fi
mkdir -p -- "$cache" 2>/dev/null ||
  fail "cannot start $program: the disc forbids running programs, and the folder $cache for a copy cannot be made"
copy=$cache/$program_name
partial=$copy.partial.$$
if ! { cp -- "$program" "$partial" && chmod 755 -- "$partial" && mv -f -- "$partial" "$copy"; } 2>/dev/null; then
  rm -f -- "$partial"
  fail "cannot start $program: the disc forbids running programs, and it cannot be copied into $cache (full or not writable)"
fi
# The program looks for the disc's sound font beside itself.
if [ -f "$disc/$sound_font" ]; then
  cp -- "$disc/$sound_font" "$cache/$sound_font" 2>/dev/null || rm -f -- "$cache/$sound_font"
fi
run "$copy"
fail "cannot start $program: the disc forbids running programs, and so does $cache"
)SH";

}  // namespace

ProgramKind KindOfProgram(const std::vector<uint8_t>& program) {
  if (program.size() >= 4 && std::memcmp(program.data(), "\x7F" "ELF", 4) == 0) return ProgramKind::kLinux;
  if (program.size() >= 2 && program[0] == 'M' && program[1] == 'Z') return ProgramKind::kWindows;
  return ProgramKind::kUnknown;
}

std::string ProgramInterpreter(const std::vector<uint8_t>& program) {
  constexpr uint8_t kClass32 = 1;
  constexpr uint8_t kClass64 = 2;
  constexpr uint8_t kLittleEndian = 1;
  constexpr uint64_t kInterpreterSegment = 3;  // PT_INTERP
  if (KindOfProgram(program) != ProgramKind::kLinux || program.size() < 6) return "";
  const uint8_t elfClass = program[4];
  if ((elfClass != kClass32 && elfClass != kClass64) || program[5] != kLittleEndian) return "";
  const bool wide = elfClass == kClass64;
  // Offsets in the ELF header and in a program header, by class.
  const unsigned addressSize = wide ? 8 : 4;
  uint64_t tableOffset = 0, entrySize = 0, entryCount = 0;
  if (!ReadNumber(program, wide ? 32 : 28, addressSize, &tableOffset) ||
      !ReadNumber(program, wide ? 54 : 42, 2, &entrySize) ||
      !ReadNumber(program, wide ? 56 : 44, 2, &entryCount)) {
    return "";
  }
  for (uint64_t entry = 0; entry < entryCount; ++entry) {
    if (tableOffset > program.size()) return "";
    const uint64_t at = tableOffset + entry * entrySize;
    uint64_t type = 0, offset = 0, size = 0;
    if (!ReadNumber(program, at, 4, &type)) return "";
    if (type != kInterpreterSegment) continue;
    if (!ReadNumber(program, at + (wide ? 8 : 4), addressSize, &offset) ||
        !ReadNumber(program, at + (wide ? 32 : 16), addressSize, &size) || offset > program.size() ||
        program.size() - offset < size) {
      return "";
    }
    // The path with its terminating zero byte.
    const char* path = reinterpret_cast<const char*>(program.data() + offset);
    return std::string(path, strnlen(path, static_cast<size_t>(size)));
  }
  return "";
}

std::string AutorunScript(const std::string& programName, const std::string& loader) {
  return "#!/bin/sh\n"
         "# Opens this disc's photo album in the Tessary viewer. Desktops offer to\n"
         "# run this script when the disc is mounted; \"sh autorun.sh\" runs it too.\n"
         "# It writes nothing to the disc.\n"
         "program_name=" + ShellWord(programName) + "\n"
         "loader=" + ShellWord(loader) + "\n"
         "sound_font=" + ShellWord(platform::kCarriedSoundFontName) + "\n" +
         kScriptBody;
}

std::string AutorunInf(const std::string& programName, const std::string& label) {
  return "[autorun]\r\n"
         "open=" + programName + "\r\n"
         "icon=" + programName + ",0\r\n"
         "label=" + label + "\r\n"
         "action=Open the photo album\r\n";
}

}  // namespace pack
