// Helpers shared by the tests: corpus paths, temporary folders, whole-file
// reads, decoded pictures and reference decodes by an independent decoder.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "imaging/core/pelorn.h"

namespace testing_support {

// tests/corpus/<format>/<name>
std::string CorpusPath(const std::string& format, const std::string& name);
// Every file of tests/corpus/<format>/ (not ref/), sorted by name.
std::vector<std::string> CorpusFiles(const std::string& format);

// A fresh empty folder under the system's temporary folder, removed at exit.
std::string TempDir();

std::vector<uint8_t> ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3, top row first
};

// Copies the picture out of a reader's block and frees the block. Asserts
// (gtest) that the block holds at least width * height * 3 bytes.
Picture TakePicture(HGLOBAL block, uint32_t width, uint32_t height);

// Decodes a file with Pillow (python3-pil), as RGB. Empty when Pillow
// cannot decode it or is not installed.
std::optional<Picture> ReferenceDecode(const std::string& path);

// The same decode as RGBA: the picture's rgb member then holds 4 bytes a pixel
// (grey+alpha pictures give their grey level in red, green and blue).
std::optional<Picture> ReferenceDecodeRgba(const std::string& path);

// Pillow's decodes of many files made in one run (tests/tools/pillow_batch.py):
// starting Python once per file costs more than most decodes. Decode
// answers as ReferenceDecode would (as ReferenceDecodeRgba with `rgba`),
// for the paths given (their file names must differ).
class ReferenceBatch {
 public:
  explicit ReferenceBatch(const std::vector<std::string>& paths, bool rgba = false);
  std::optional<Picture> Decode(const std::string& path) const;

 private:
  std::string folder_;
  size_t bytesPerPixel_;
};

// ImageMagick's decode of the first image as 8-bit RGB, expected to be
// width x height; empty when ImageMagick cannot read it or gives another size.
std::optional<Picture> MagickDecode(const std::string& path, uint32_t width, uint32_t height);

// A binary PBM, PGM or PPM (P4, P5, P6) as 8-bit RGB, samples of more than
// 8 bits scaled (rounded); empty when the bytes are not one or end early.
std::optional<Picture> ParsePnm(const std::vector<uint8_t>& bytes);
std::optional<Picture> ReadPnm(const std::string& path);

// The picture a netpbm converter writes for a file, e.g. "giftopnm --image=1"
// or "tifftopnm"; empty when it writes no whole picture or, unless told
// otherwise, when it fails after writing one (pngtopam on a cut end chunk;
// giftopnm on a later picture without a colour table).
std::optional<Picture> NetpbmDecode(const std::string& converter, const std::string& path,
                                    bool failureAfterThePictureCounts = true);

// The Python interpreter that has Pillow: Debian's /usr/bin/python3 when present.
const char* PythonWithPillow();

// The largest absolute difference of any byte, and the count of bytes that differ.
struct PictureDifference {
  int maxDelta = 0;
  size_t differingBytes = 0;
};
PictureDifference Compare(const Picture& a, const Picture& b);

// FNV-1a 64 of a byte buffer, as 16 hex digits (for golden lists).
std::string Checksum(const uint8_t* bytes, size_t count);

// One line of a corpus golden list: name, width, height, error code and the
// checksum of the decoded buffer ("-" when there is none).
std::string GoldenLine(const std::string& name, uint32_t width, uint32_t height, PelornError code,
                       const std::vector<uint8_t>* pixels);

// Checks the lines against tests/golden/<suite>.txt, naming the first line
// that differs. With TESSARY_WRITE_GOLDEN=1 in the environment the list is
// rewritten from them instead (tests/tools/make_golden.sh). The list's lines
// for the files named in leftOut are not compared (the lines given hold none
// for them); a list is never rewritten with files left out. The list may
// open with comment lines ("#"): the reason each file that no peer, model or
// rule checks is pinned by its line alone. They are kept on rewriting.
void ExpectGoldenList(const std::string& suite, const std::string& lines,
                      const std::set<std::string>& leftOut = {});

// Whether TESSARY_WRITE_GOLDEN is exactly "1": the golden tests then rewrite
// their lists (and skip) instead of checking them. Any other value checks.
bool GoldenRewriteRequested();

// Runs a shell command and returns its exit status; output goes to outputPath
// when given.
int RunCommand(const std::string& command, std::string* output = nullptr);
// `text` in single quotes, one word for the shell (the tests' paths hold no
// single quote).
inline std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Writes a smooth width x height test picture with Pillow in `format` (a
// Pillow format name: JPEG, PNG, BMP, GIF, TIFF, TGA, PCX); false when Pillow
// could not (tests/tools/make_picture.py).
bool MakePictureWithPillow(uint32_t width, uint32_t height, const std::string& format,
                           const std::string& path);

}  // namespace testing_support
