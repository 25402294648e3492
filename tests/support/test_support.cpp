#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include "tests/win32/unix_peer.h"
#else
#include <sys/wait.h>
#endif

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace testing_support {

std::string CorpusPath(const std::string& format, const std::string& name) {
  return std::string(TESSARY_CORPUS_DIR) + "/" + format + "/" + name;
}

std::vector<std::string> CorpusFiles(const std::string& format) {
  std::vector<std::string> names;
  const fs::path folder = fs::path(TESSARY_CORPUS_DIR) / format;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

namespace {
struct TempRoot {
  std::string path;
  ~TempRoot() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(path, ignored);
  }
};
TempRoot tempRoot;
int tempCounter = 0;
}  // namespace

std::string TempDir() {
  if (tempRoot.path.empty()) {
#ifdef _WIN32
    tempRoot.path = win32::MakeTempRoot();
    if (tempRoot.path.empty()) return "";
#else
    std::string pattern = (fs::temp_directory_path() / "tessary-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) return "";
    tempRoot.path = buffer.data();
#endif
  }
  std::string folder = tempRoot.path + "/t" + std::to_string(++tempCounter);
  fs::create_directories(folder);
  return folder;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  // One read of the file's size: byte-wise reading of the whole programs
  // the pack tests compare takes seconds in the sanitizer build.
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::filesystem::file_size(path, error)));
  if (error) return {};
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

Picture TakePicture(HGLOBAL block, uint32_t width, uint32_t height) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  if (block == nullptr) return picture;
  const size_t bytes = static_cast<size_t>(width) * height * 3;
  EXPECT_GE(GlobalSize(block), bytes);
  const auto* pixels = static_cast<const uint8_t*>(GlobalLock(block));
  if (pixels != nullptr && GlobalSize(block) >= bytes) picture.rgb.assign(pixels, pixels + bytes);
  if (pixels != nullptr) GlobalUnlock(block);
  GlobalFree(block);
  return picture;
}

#ifndef _WIN32  // tests/win32/unix_peer.cpp runs them through Wine
int RunCommand(const std::string& command, std::string* output) {
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string collected;
  std::array<char, 65536> chunk;
  size_t got;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) collected.append(chunk.data(), got);
  const int status = pclose(pipe);
  if (output != nullptr) *output = std::move(collected);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

bool MakePictureWithPillow(uint32_t width, uint32_t height, const std::string& format,
                           const std::string& path) {
  const std::string command = std::string(PythonWithPillow()) + " '" + TESSARY_SOURCE_DIR +
                              "/tests/tools/make_picture.py' " + std::to_string(width) + " " +
                              std::to_string(height) + " " + format + " '" + path + "' 2>/dev/null";
  return RunCommand(command) == 0;
}

const char* PythonWithPillow() {
  // Debian's own interpreter carries python3-pil; a python3 earlier on PATH
  // (pyenv, a virtualenv) may not.
  struct stat info;
  return stat("/usr/bin/python3", &info) == 0 ? "/usr/bin/python3" : "python3";
}

namespace {

// "W H\n" and then W x H pixels of bytesPerPixel bytes, from a decoding script.
std::optional<Picture> RunDecodeScript(const std::string& command, size_t bytesPerPixel) {
  std::string output;
  if (RunCommand(command, &output) != 0) return std::nullopt;
  const size_t newline = output.find('\n');
  if (newline == std::string::npos) return std::nullopt;
  Picture picture;
  if (std::sscanf(output.c_str(), "%u %u", &picture.width, &picture.height) != 2) return std::nullopt;
  const size_t bytes = static_cast<size_t>(picture.width) * picture.height * bytesPerPixel;
  if (output.size() - newline - 1 != bytes) return std::nullopt;
  picture.rgb.assign(output.begin() + static_cast<long>(newline) + 1, output.end());
  return picture;
}

}  // namespace

std::optional<Picture> ReferenceDecode(const std::string& path) {
  return RunDecodeScript(std::string(PythonWithPillow()) + " '" + std::string(TESSARY_SOURCE_DIR) +
                             "/tests/tools/refdecode.py' '" + path + "' 2>/dev/null",
                         3);
}

ReferenceBatch::ReferenceBatch(const std::vector<std::string>& paths, bool rgba)
    : folder_(TempDir()), bytesPerPixel_(rgba ? 4 : 3) {
  std::string command = std::string(PythonWithPillow()) + " '" + std::string(TESSARY_SOURCE_DIR) +
                        "/tests/tools/pillow_batch.py' " + (rgba ? "--rgba " : "") + Quoted(folder_);
  for (const std::string& path : paths) command += " " + Quoted(path);
  RunCommand(command + " 2>/dev/null");
}

std::optional<Picture> ReferenceBatch::Decode(const std::string& path) const {
  const std::string name = path.substr(path.find_last_of("/\\") + 1);
  const std::vector<uint8_t> stored = ReadWholeFile(folder_ + "/" + name + ".pil");
  const auto newline = std::find(stored.begin(), stored.end(), uint8_t{'\n'});
  if (newline == stored.end()) return std::nullopt;
  Picture picture;
  if (std::sscanf(std::string(stored.begin(), newline).c_str(), "%u %u", &picture.width,
                  &picture.height) != 2) {
    return std::nullopt;
  }
  picture.rgb.assign(newline + 1, stored.end());
  if (picture.rgb.size() != static_cast<size_t>(picture.width) * picture.height * bytesPerPixel_) {
    return std::nullopt;
  }
  return picture;
}

std::optional<Picture> ReferenceDecodeRgba(const std::string& path) {
  return RunDecodeScript(std::string(PythonWithPillow()) + " '" + std::string(TESSARY_SOURCE_DIR) +
                             "/tests/tools/rgba_decode.py' '" + path + "' 2>/dev/null",
                         4);
}

std::optional<Picture> ParsePnm(const std::vector<uint8_t>& bytes) {
  size_t at = 0;
  // The next header number, past white space and "#" comments.
  auto number = [&](uint32_t* value) {
    while (at < bytes.size() && (std::isspace(bytes[at]) || bytes[at] == '#')) {
      if (bytes[at] == '#') {
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      } else {
        ++at;
      }
    }
    if (at >= bytes.size() || !std::isdigit(bytes[at])) return false;
    uint64_t parsed = 0;
    while (at < bytes.size() && std::isdigit(bytes[at]) && parsed < 0xFFFFFFFF) {
      parsed = parsed * 10 + (bytes[at++] - '0');
    }
    *value = static_cast<uint32_t>(parsed);
    return parsed <= 0xFFFF;
  };
  if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] < '4' || bytes[1] > '6') return std::nullopt;
  const char kind = static_cast<char>(bytes[1]);
  at = 2;
  Picture picture;
  uint32_t maxValue = 1;
  if (!number(&picture.width) || !number(&picture.height)) return std::nullopt;
  if (kind != '4' && (!number(&maxValue) || maxValue == 0)) return std::nullopt;
  ++at;  // the one white-space byte before the samples
  const size_t channels = kind == '6' ? 3 : 1;
  const size_t sampleBytes = maxValue > 255 ? 2 : 1;
  const size_t rowBytes = kind == '4' ? (picture.width + 7) / 8 : picture.width * channels * sampleBytes;
  if (at > bytes.size() || bytes.size() - at < rowBytes * picture.height) return std::nullopt;
  if (kind == '6' && maxValue == 255) {
    picture.rgb.assign(bytes.begin() + static_cast<long>(at),
                       bytes.begin() + static_cast<long>(at + rowBytes * picture.height));
    return picture;
  }
  picture.rgb.reserve(static_cast<size_t>(picture.width) * picture.height * 3);
  for (uint32_t y = 0; y < picture.height; ++y) {
    const uint8_t* row = &bytes[at + y * rowBytes];
    for (uint32_t x = 0; x < picture.width; ++x) {
      if (kind == '4') {
        const bool black = row[x / 8] & (0x80 >> (x % 8));
        picture.rgb.insert(picture.rgb.end(), 3, black ? 0 : 255);
        continue;
      }
      for (size_t c = 0; c < channels; ++c) {
        const uint8_t* sample = row + (x * channels + c) * sampleBytes;
        const uint32_t value = sampleBytes == 2 ? uint32_t(sample[0]) << 8 | sample[1] : sample[0];
        const auto scaled = static_cast<uint8_t>((value * 255 + maxValue / 2) / maxValue);
        picture.rgb.insert(picture.rgb.end(), channels == 1 ? 3 : 1, scaled);
      }
    }
  }
  return picture;
}

std::optional<Picture> ReadPnm(const std::string& path) { return ParsePnm(ReadWholeFile(path)); }

std::optional<Picture> NetpbmDecode(const std::string& converter, const std::string& path,
                                    bool failureAfterThePictureCounts) {
  const std::string output = TempDir() + "/netpbm.pnm";
  std::remove(output.c_str());
  const int status = RunCommand(converter + " " + Quoted(path) + " >" + Quoted(output) + " 2>/dev/null");
  if (status != 0 && failureAfterThePictureCounts) return std::nullopt;
  return ReadPnm(output);
}

std::optional<Picture> MagickDecode(const std::string& path, uint32_t width, uint32_t height) {
  const std::string output = TempDir() + "/magick.rgb";
  std::remove(output.c_str());
  if (RunCommand("convert '" + path + "[0]' -depth 8 rgb:'" + output + "' 2>/dev/null") != 0) {
    return std::nullopt;
  }
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.rgb = ReadWholeFile(output);
  if (picture.rgb.size() != static_cast<size_t>(width) * height * 3) return std::nullopt;
  return picture;
}

PictureDifference Compare(const Picture& a, const Picture& b) {
  PictureDifference difference;
  const size_t count = std::min(a.rgb.size(), b.rgb.size());
  for (size_t i = 0; i < count; ++i) {
    const int delta = std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    if (delta != 0) ++difference.differingBytes;
    difference.maxDelta = std::max(difference.maxDelta, delta);
  }
  if (a.rgb.size() != b.rgb.size()) {
    difference.differingBytes += std::max(a.rgb.size(), b.rgb.size()) - count;
    difference.maxDelta = 255;
  }
  return difference;
}

std::string Checksum(const uint8_t* bytes, size_t count) {
  uint64_t hash = 1469598103934665603ull;
  for (size_t i = 0; i < count; ++i) {
    hash ^= bytes[i];
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string GoldenLine(const std::string& name, uint32_t width, uint32_t height, PelornError code,
                       const std::vector<uint8_t>* pixels) {
  const std::string checksum =
      pixels != nullptr ? Checksum(pixels->data(), pixels->size()) : std::string("-");
  return name + " " + std::to_string(width) + " " + std::to_string(height) + " " +
         std::to_string(code) + " " + checksum + "\n";
}

bool GoldenRewriteRequested() {
  const char* rewrite = std::getenv("TESSARY_WRITE_GOLDEN");
  return rewrite != nullptr && std::string(rewrite) == "1";
}

namespace {

// The list without the lines of the named files (a line starts with the name).
std::string WithoutLinesOf(const std::string& list, const std::set<std::string>& names) {
  if (names.empty()) return list;
  std::string kept;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\n', start);
    end = end == std::string::npos ? list.size() : end + 1;
    const std::string line = list.substr(start, end - start);
    if (names.count(line.substr(0, line.find(' '))) == 0) kept += line;
    start = end;
  }
  return kept;
}

// The list's leading comment lines ("#"): the reasons some files are pinned
// by their line alone. Kept when the list is rewritten, not compared.
size_t HeaderLength(const std::string& list) {
  size_t start = 0;
  while (start < list.size() && list[start] == '#') {
    const size_t end = list.find('\n', start);
    start = end == std::string::npos ? list.size() : end + 1;
  }
  return start;
}

}  // namespace

void ExpectGoldenList(const std::string& suite, const std::string& lines,
                      const std::set<std::string>& leftOut) {
  const std::string path = std::string(TESSARY_SOURCE_DIR) + "/tests/golden/" + suite + ".txt";
  const std::vector<uint8_t> stored = ReadWholeFile(path);
  const std::string storedList(stored.begin(), stored.end());
  const size_t headerLength = HeaderLength(storedList);
  if (GoldenRewriteRequested()) {
    ASSERT_TRUE(leftOut.empty()) << "not rewritten: this build cannot read every file";
    const std::string rewritten = storedList.substr(0, headerLength) + lines;
    ASSERT_TRUE(WriteWholeFile(path, std::vector<uint8_t>(rewritten.begin(), rewritten.end()))) << path;
    GTEST_SKIP() << "rewrote " << path;
  }
  ASSERT_FALSE(stored.empty()) << "missing " << path;
  const std::string expected = WithoutLinesOf(storedList.substr(headerLength), leftOut);
  if (expected == lines) return;
  // Name the first line that differs; a whole-file diff of hundreds of lines helps no one.
  size_t start = 0;
  const auto header = storedList.begin() + static_cast<long>(headerLength);
  int lineNumber = 1 + static_cast<int>(std::count(storedList.begin(), header, '\n'));
  while (start < expected.size() && start < lines.size()) {
    const size_t expectedEnd = expected.find('\n', start);
    const size_t actualEnd = lines.find('\n', start);
    const std::string expectedLine = expected.substr(start, expectedEnd - start);
    const std::string actualLine = lines.substr(start, actualEnd - start);
    if (expectedLine != actualLine) {
      ADD_FAILURE() << path << " line " << lineNumber << "\n  golden: " << expectedLine
                    << "\n  now:    " << actualLine;
      return;
    }
    if (expectedEnd == std::string::npos || actualEnd == std::string::npos) break;
    start = expectedEnd + 1;
    ++lineNumber;
  }
  ADD_FAILURE() << path << ": the list has " << (lines.size() < expected.size() ? "lost" : "gained")
                << " lines from line " << lineNumber;
}

}  // namespace testing_support
