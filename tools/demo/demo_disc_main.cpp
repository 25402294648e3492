// tessary-demo-disc OUT_FOLDER --convert CONVERT_PROGRAM --banner BANNER_JPEG
//
// Makes the demo disc's folder tree in OUT_FOLDER (made when missing; files
// of an earlier run are written over): pictures of drawn scenes in all seven picture forms and in sizes
// from 320x240 to 3264x2448, a root album and three albums (one with an album
// below it), title pages, title music and sound, a picture with its own music
// and one with its own sound, and album.txt ordering the albums. The pictures
// the imaging library writes (JPEG, PNG, BMP, GIF) are written by it; TGA,
// TIFF and PCX, which it only reads, by ImageMagick's convert from a PPM.
// The banner JPEG (135x63) is written to BANNER_JPEG, outside the disc; the
// viewer itself is copied in by tessary-pack. Exit status: 0 when the whole
// disc is written, 1 otherwise (one line on stderr), 2 for a usage error.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "imaging/core/error_text.h"
#include "imaging/core/pelorn.h"
#include "tools/demo/canvas.h"
#include "tools/demo/scenes.h"
#include "tools/demo/sounds.h"

namespace {

namespace fs = std::filesystem;
using demo::Canvas;
using demo::Scene;

const char kUsage[] = "usage: tessary-demo-disc OUT_FOLDER --convert CONVERT_PROGRAM --banner BANNER_JPEG\n";

enum class Form { kJpeg, kBmp24, kBmp8, kPng24, kPng8, kGif, kTgaRle, kTga, kTiffLzw, kTiff, kPcx };

struct PictureSpec {
  const char* path;  // relative to the disc's top folder
  Scene scene;
  uint32_t seed;
  int width;
  int height;
  Form form;
};

// The disc's pictures. panorama.jpg is the one larger than 3000 x 2000.
const PictureSpec kPictures[] = {
    // Capital W: names sort byte by byte, capitals first, so it opens the root.
    {"Welcome.jpg", Scene::kSunset, 1, 1024, 768, Form::kJpeg},
    {"panorama.jpg", Scene::kMountains, 2, 3264, 2448, Form::kJpeg},
    {"Seaside/beach.jpg", Scene::kSeaside, 3, 1600, 1200, Form::kJpeg},
    {"Seaside/gulls.bmp", Scene::kSeaside, 4, 800, 600, Form::kBmp24},
    {"Seaside/sailing.gif", Scene::kRegatta, 5, 640, 480, Form::kGif},
    {"Seaside/sunset.png", Scene::kSunset, 6, 1280, 720, Form::kPng24},
    {"Seaside/Boats/regatta.tga", Scene::kRegatta, 7, 1280, 960, Form::kTgaRle},
    {"Seaside/Boats/lighthouse.pcx", Scene::kLighthouse, 8, 480, 640, Form::kPcx},
    {"Seaside/Boats/harbour.bmp", Scene::kRegatta, 9, 400, 300, Form::kBmp8},
    {"Mountains/lake.png", Scene::kMountains, 10, 1200, 900, Form::kPng24},
    {"Mountains/peak.tif", Scene::kMountains, 11, 2048, 1536, Form::kTiffLzw},
    {"Mountains/meadow.png", Scene::kMeadow, 12, 320, 240, Form::kPng8},
    {"Mountains/forest.bmp", Scene::kMeadow, 13, 1024, 768, Form::kBmp24},
    {"City/night.pcx", Scene::kCity, 14, 1024, 683, Form::kPcx},
    {"City/skyline.tga", Scene::kCity, 15, 900, 600, Form::kTga},
    {"City/evening.gif", Scene::kCity, 16, 500, 375, Form::kGif},
    {"City/street.tif", Scene::kCity, 17, 768, 1024, Form::kTiff},
    {"City/downtown.jpg", Scene::kCity, 18, 1920, 1080, Form::kJpeg},
};

struct TextSpec {
  const char* path;
  const char* text;  // lines joined by "\n", written with CR LF line ends
};

// album.txt orders the albums (Seaside before Mountains before City, not the
// scan's alphabetical order); tessary-pack --name adds the root's name.
const TextSpec kTexts[] = {
    {"album.txt", "Dir1 = Seaside\nDir2 = Mountains\nDir3 = City\n"},
    {"title.txt",
     "Welcome to the Tessary demo disc.\n\nEvery picture on this disc was drawn by a small program "
     "when the disc was built, in all seven picture forms the viewer reads: JPEG, BMP, PNG, GIF, "
     "TGA, TIFF and PCX.\n\nPress Next to page through the pictures, or pick an album from the "
     "list."},
    {"Seaside/title.txt",
     "Seaside\n\nBeaches, sails and a lighthouse. The gulls picture has its own sound; the Boats "
     "album below this one holds TGA, PCX and 8-bit BMP pictures."},
    {"Mountains/title.txt",
     "Mountains\n\nLakes, peaks and meadows. The lake picture has its own music; the peak is a "
     "TIFF picture and the meadow an 8-bit PNG."},
};

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return static_cast<bool>(file);
}

// Runs a program with its arguments (no shell); true when it exits with 0.
bool Run(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A binary PPM (P6): the header, then the RGB rows from the top down.
bool WritePpm(const fs::path& path, const Canvas& canvas) {
  const std::string header =
      "P6\n" + std::to_string(canvas.Width()) + " " + std::to_string(canvas.Height()) + "\n255\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  bytes.insert(bytes.end(), canvas.Rgb().begin(), canvas.Rgb().end());
  return WriteFile(path, bytes);
}

std::optional<std::string> WithConvert(const std::string& convert, const Canvas& canvas, Form form,
                                       const fs::path& target) {
  const fs::path source = target.string() + ".ppm";
  if (!WritePpm(source, canvas)) return "cannot write " + source.string();
  std::vector<std::string> arguments = {convert, source.string(), "-type", "TrueColor", "-depth", "8"};
  std::string prefix;
  switch (form) {
    // convert writes a TGA's rows in the order it holds them and only marks
    // the file with the orientation it is told: top-down rows need "TopLeft";
    // a bottom-up file needs the rows flipped first.
    case Form::kTgaRle:
      arguments.insert(arguments.end(), {"-orient", "TopLeft", "-compress", "RLE"});
      prefix = "TGA:";
      break;
    case Form::kTga:
      arguments.insert(arguments.end(), {"-flip", "-orient", "BottomLeft", "-compress", "None"});
      prefix = "TGA:";
      break;
    case Form::kTiffLzw: arguments.insert(arguments.end(), {"-compress", "LZW"}); prefix = "TIFF:"; break;
    case Form::kTiff: arguments.insert(arguments.end(), {"-compress", "None"}); prefix = "TIFF:"; break;
    default: prefix = "PCX:"; break;
  }
  arguments.push_back(prefix + target.string());
  const bool converted = Run(arguments);
  std::error_code ignored;
  fs::remove(source, ignored);
  if (!converted) return convert + " could not write " + target.string();
  return std::nullopt;
}

// Writes a paletted form through the imaging library's colour reduction.
bool WriteIndexed(const Canvas& canvas, Form form, const std::string& path) {
  const int width = canvas.Width();
  const int height = canvas.Height();
  std::vector<uint8_t> indices(static_cast<size_t>(width) * height);
  RGBQUAD palette[256] = {};
  if (!QuantizeRgb(canvas.Rgb().data(), indices.data(), width, height, 256, palette)) return false;
  switch (form) {
    case Form::kBmp8: return WriteBmpIndexedFile(path.c_str(), indices.data(), width, height, 8, 256, palette) != 0;
    case Form::kPng8: return WritePng8File(path.c_str(), indices.data(), width, height, 256, palette, 0.0) != 0;
    default: return WriteGifFile(path.c_str(), indices.data(), width, height, 0, -1, palette) != 0;
  }
}

std::optional<std::string> WritePicture(const Canvas& canvas, Form form, const fs::path& target,
                                        const std::string& convert) {
  const std::string path = target.string();
  const uint8_t* rgb = canvas.Rgb().data();
  bool written = false;
  switch (form) {
    case Form::kJpeg:
      written = WriteJpegFile(path.c_str(), rgb, static_cast<uint32_t>(canvas.Width()),
                              static_cast<uint32_t>(canvas.Height()), 90, 1, 0) != 0;
      break;
    case Form::kBmp24: written = WriteBmp24File(path.c_str(), rgb, canvas.Width(), canvas.Height()) != 0; break;
    case Form::kPng24:
      written = WritePng24File(path.c_str(), rgb, canvas.Width(), canvas.Height(), 0.0) != 0;
      break;
    case Form::kBmp8:
    case Form::kPng8:
    case Form::kGif: written = WriteIndexed(canvas, form, path); break;
    default: return WithConvert(convert, canvas, form, target);
  }
  if (!written) return path + ": " + ErrorText(GetLastImageError());
  return std::nullopt;
}

// The picture's name and size in its bottom-left corner, large enough to read
// once the viewer has scaled the picture down to its 549 x 470 area.
void Label(Canvas& canvas, const PictureSpec& spec) {
  const std::string text = fs::path(spec.path).filename().string() + "  " + std::to_string(spec.width) +
                           "x" + std::to_string(spec.height);
  const int scale = std::max(2, std::min(spec.width, spec.height) / 200);
  canvas.Caption(scale * 4, spec.height - scale * 11, scale, text, {255, 255, 255});
}

std::optional<std::string> MakeBanner(const fs::path& path) {
  Canvas banner(135, 63);
  for (int y = 0; y < banner.Height(); ++y)
    for (int x = 0; x < banner.Width(); ++x)
      banner.Set(x, y, demo::Mix({20, 40, 90}, {30, 140, 150}, (x + y * 0.5) / 165.0));
  banner.Caption(8, 12, 3, "TESSARY", {255, 236, 170});
  banner.Caption(40, 42, 1, "DEMO DISC", {230, 240, 255});
  if (!WriteJpegFile(path.string().c_str(), banner.Rgb().data(), 135, 63, 90, 1, 0)) {
    return path.string() + ": " + ErrorText(GetLastImageError());
  }
  return std::nullopt;
}

std::optional<std::string> MakeSounds(const fs::path& disc) {
  using demo::Note;
  // A rising arpeggio and a short answer on the piano.
  const std::vector<Note> titleMelody = {{60, 1}, {64, 1}, {67, 1}, {72, 2}, {71, 1}, {67, 1},
                                         {69, 2}, {65, 1}, {67, 1}, {64, 2}, {60, 4}};
  // A slow phrase on the flute (General MIDI program 73, counted from 0).
  const std::vector<Note> lakeMelody = {{69, 2}, {72, 2}, {76, 3}, {74, 1}, {72, 2}, {69, 4}};
  const struct {
    const char* path;
    std::vector<uint8_t> bytes;
  } sounds[] = {
      {"title.mid", demo::MelodyMidi(0, 500000, titleMelody)},
      {"title.wav", demo::ChimeWave()},
      {"Mountains/lake.mid", demo::MelodyMidi(73, 700000, lakeMelody)},
      {"Seaside/gulls.wav", demo::SurfWave()},
  };
  for (const auto& sound : sounds) {
    if (!WriteFile(disc / sound.path, sound.bytes)) return (disc / sound.path).string() + ": cannot write";
  }
  return std::nullopt;
}

std::optional<std::string> MakeDisc(const fs::path& disc, const std::string& convert) {
  for (const PictureSpec& spec : kPictures) {
    const fs::path target = disc / spec.path;
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (error) return target.parent_path().string() + ": cannot make the folder";
    Canvas canvas(spec.width, spec.height);
    demo::DrawScene(spec.scene, spec.seed, canvas);
    Label(canvas, spec);
    if (auto failure = WritePicture(canvas, spec.form, target, convert)) return failure;
  }
  for (const TextSpec& text : kTexts) {
    const std::string crlf = WithCrLf(text.text);
    if (!WriteFile(disc / text.path, std::vector<uint8_t>(crlf.begin(), crlf.end()))) {
      return (disc / text.path).string() + ": cannot write";
    }
  }
  return MakeSounds(disc);
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  std::string convert;
  std::string bannerPath;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if ((argument == "--convert" || argument == "--banner") && i + 1 < argc) {
      (argument == "--convert" ? convert : bannerPath) = argv[++i];
    } else if (out.empty() && argument[0] != '-') {
      out = argument;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (out.empty() || convert.empty() || bannerPath.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::error_code error;
  fs::create_directories(out, error);
  if (error || !fs::is_directory(out)) {
    std::fprintf(stderr, "tessary-demo-disc: %s: cannot make the folder\n", out.c_str());
    return 1;
  }
  std::optional<std::string> failure = MakeDisc(out, convert);
  if (!failure) failure = MakeBanner(bannerPath);
  if (failure) {
    std::fprintf(stderr, "tessary-demo-disc: %s\n", failure->c_str());
    return 1;
  }
  return 0;
}
