// pelorn: the imaging library's command-line tool.
//
//   pelorn convert INPUT OUTPUT [--form F] [--quality Q] [--auto-orient]
//   pelorn info FILE
//   pelorn scale INPUT OUTPUT --size WxH [--filter F] [--form F] [--quality Q]
//
// The reader follows INPUT's four-character extension, as in the viewer.
// Exit status: 0 success, 1 the library failed ("pelorn: FILE: <text>" on
// stderr), 2 usage error.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imaging/core/reader_table.h"
#include "imaging/core/error_text.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/picture_forms.h"
#include "tools/pelorn/picture_block.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitLibraryFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: pelorn convert INPUT OUTPUT [--form F] [--quality Q] [--auto-orient]\n"
    "       pelorn info FILE\n"
    "       pelorn scale INPUT OUTPUT --size WxH [--filter F] [--form F] [--quality Q]\n"
    "\n"
    "Reads .jpg .png .bmp .pcx .tif .tga .gif (any letter case).\n"
    "Forms: jpg png24 png8 bmp24 bmp8 bmp4 gif ppm. Without --form the form\n"
    "follows OUTPUT's extension: .jpg or .jpeg jpg, .png png24, .bmp bmp24,\n"
    ".gif gif, .ppm ppm. Paletted forms reduce colours as the viewer's export\n"
    "does (256 colours; 16 for bmp4). JPEG quality: 1 to 100, 85 by default.\n"
    "--auto-orient turns a JPEG upright by its EXIF orientation; without it the\n"
    "pixels are written as stored. info prints WxH, the format and\n"
    "orientation=N (1-8, 1 when the file has none).\n"
    "Scale filters: bilinear (the default) or box (area-weighted: every source\n"
    "pixel contributes).\n"
    "\n"
    "Exit status: 0 success, 1 the library failed, 2 usage error.\n";

int UsageError(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "pelorn: %s\n", message);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

// The out-of-memory text, made at start-up: when memory has run out, making
// it then could fail again.
std::string outOfMemoryText;

int LibraryFailure(const char* file, PelornError code) {
  if (code == kPelornOutOfMemory && !outOfMemoryText.empty()) {
    std::fprintf(stderr, "pelorn: %s: %s\n", file, outOfMemoryText.c_str());
  } else {
    std::fprintf(stderr, "pelorn: %s: %s\n", file, ErrorText(code).c_str());
  }
  return kExitLibraryFailed;
}

int LibraryFailure(const std::string& file, PelornError code) {
  return LibraryFailure(file.c_str(), code);
}

// --- Progress bar on stderr, only when stderr is a terminal --------------------

int32_t DrawProgress(int32_t done, int32_t total) {
  if (total <= 0) return 1;
  constexpr int kBarWidth = 40;
  const int filled = static_cast<int>(static_cast<int64_t>(done) * kBarWidth / total);
  char bar[kBarWidth + 1];
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kBarWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %3d%%", bar, static_cast<int>(int64_t{100} * done / total));
  return 1;
}

class ProgressBar {
 public:
  ProgressBar() : shown_(isatty(STDERR_FILENO) != 0) {
    if (shown_) SetProgressCallback(DrawProgress);
  }
  ~ProgressBar() {
    if (!shown_) return;
    SetProgressCallback(nullptr);
    std::fputs("\r\033[K", stderr);
  }

 private:
  bool shown_;
};

// --- Pictures --------------------------------------------------------------------

// The pixels a writer takes: width x height x 3 bytes, rows from the top down.
struct PictureView {
  uint32_t width = 0;
  uint32_t height = 0;
  const uint8_t* rgb = nullptr;
};

PictureView ViewOf(const PictureBlock& picture) {
  return {picture.width(), picture.height(), picture.rgb()};
}

// Runs one step of a command. The library lets an allocation failure through
// as std::bad_alloc, and the tool's own buffers fail the same way: either ends
// as the library's out-of-memory failure of the file the step works on.
template <typename Step>
int GuardingMemory(const std::string& file, Step step) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    return LibraryFailure(file, kPelornOutOfMemory);
  }
}

// Reads INPUT with the reader its extension selects into `picture`, which
// keeps the library's block. Returns an exit status.
int ReadPicture(const std::string& path, PictureBlock* picture, const char** formatName) {
  const PictureReader* reader = FindPictureReader(path.c_str());
  if (reader == nullptr) {
    std::fprintf(stderr, "pelorn: %s: not a picture name (.jpg .png .bmp .pcx .tif .tga .gif)\n",
                 path.c_str());
    return kExitLibraryFailed;
  }
  return GuardingMemory(path, [&] {
    uint32_t width = 0, height = 0;
    HGLOBAL block;
    {
      ProgressBar progress;
      block = reader->read(path.c_str(), &width, &height);
    }
    if (block == nullptr) return LibraryFailure(path, GetLastImageError());
    if (!picture->Take(block, width, height)) return LibraryFailure(path, kPelornOutOfMemory);
    if (formatName != nullptr) *formatName = reader->formatName;
    return kExitOk;
  });
}

// A written form: one of the library's seven, or a binary PPM.
struct OutputForm {
  bool ppm = false;
  PictureForm picture = PictureForm::kJpeg;
};

bool FormByName(const std::string& name, OutputForm* form) {
  static const struct {
    const char* name;
    PictureForm form;
  } kForms[] = {{"jpg", PictureForm::kJpeg},   {"png24", PictureForm::kPng24},
                {"png8", PictureForm::kPng8},  {"bmp24", PictureForm::kBmp24},
                {"bmp8", PictureForm::kBmp8},  {"bmp4", PictureForm::kBmp4},
                {"gif", PictureForm::kGif}};
  if (name == "ppm") {
    form->ppm = true;
    return true;
  }
  for (const auto& entry : kForms) {
    if (name == entry.name) {
      form->picture = entry.form;
      return true;
    }
  }
  return false;
}

// .ppm, or the library's rule for the seven forms (a .png is 24-bit, a .bmp
// 24-bit).
bool FormByExtension(const std::string& path, OutputForm* form) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (extension == "ppm") {
    form->ppm = true;
    return true;
  }
  return FormOfFileName(path.c_str(), PictureForm::kJpeg, &form->picture);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Binary PPM (P6): the header, then the picture's rows exactly as the library
// holds them, in one write.
int WritePpm(const std::string& path, const PictureView& picture) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (file == nullptr) return LibraryFailure(path, kPelornFileOpen);
  const size_t bytes = size_t{picture.width} * picture.height * 3;
  const bool written = std::fprintf(file.get(), "P6\n%u %u\n255\n", picture.width, picture.height) > 0 &&
                       std::fwrite(picture.rgb, 1, bytes, file.get()) == bytes;
  if (std::fclose(file.release()) != 0 || !written) return LibraryFailure(path, kPelornFileWrite);
  return kExitOk;
}

// Writes the picture in the given form; paletted forms are reduced first,
// exactly as the viewer's export does.
int WritePicture(const std::string& path, const PictureView& picture, const OutputForm& form,
                 int quality) {
  return GuardingMemory(path, [&] {
    if (form.ppm) return WritePpm(path, picture);
    ProgressBar progress;
    if (!WriteFormFile(form.picture, path.c_str(), picture.rgb,
                       static_cast<int32_t>(picture.width), static_cast<int32_t>(picture.height),
                       quality))
      return LibraryFailure(path, GetLastImageError());
    return kExitOk;
  });
}

// --- Command line --------------------------------------------------------------------

struct Options {
  std::vector<std::string> positional;
  std::string form;
  int quality = 85;
  uint32_t width = 0;
  uint32_t height = 0;
  bool hasSize = false;
  bool autoOrient = false;
  std::string filter = "bilinear";
};

bool ParseNumber(const char* text, long minimum, long maximum, long* value) {
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < minimum || parsed > maximum) return false;
  *value = parsed;
  return true;
}

bool ParseSize(const char* text, uint32_t* width, uint32_t* height) {
  const char* cross = std::strchr(text, 'x');
  if (cross == nullptr) return false;
  const std::string widthText(text, cross);
  long w = 0, h = 0;
  if (!ParseNumber(widthText.c_str(), 1, 1 << 16, &w) || !ParseNumber(cross + 1, 1, 1 << 16, &h))
    return false;
  *width = static_cast<uint32_t>(w);
  *height = static_cast<uint32_t>(h);
  return true;
}

// Returns an empty string on success, else the usage error message.
std::string ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--form") {
      if (!hasValue) return "--form needs a value";
      options->form = argv[++i];
    } else if (argument == "--quality") {
      long quality = 0;
      if (!hasValue || !ParseNumber(argv[++i], 1, 100, &quality))
        return "--quality needs a number from 1 to 100";
      options->quality = static_cast<int>(quality);
    } else if (argument == "--size") {
      if (!hasValue || !ParseSize(argv[++i], &options->width, &options->height))
        return "--size needs WxH, e.g. 549x366";
      options->hasSize = true;
    } else if (argument == "--auto-orient") {
      options->autoOrient = true;
    } else if (argument == "--filter") {
      if (!hasValue) return "--filter needs a value";
      options->filter = argv[++i];
      if (options->filter != "bilinear" && options->filter != "box")
        return "unknown filter " + options->filter + " (bilinear or box)";
    } else if (argument.size() > 1 && argument[0] == '-') {
      return "unknown option " + argument;
    } else {
      options->positional.push_back(argument);
    }
  }
  return "";
}

// The form chosen by --form, else by OUTPUT's extension.
bool ChooseForm(const Options& options, const std::string& output, OutputForm* form,
                std::string* error) {
  if (options.form.empty() ? FormByExtension(output, form) : FormByName(options.form, form))
    return true;
  *error = options.form.empty() ? "cannot tell the form from " + output + "; give --form"
                                : "unknown form " + options.form;
  return false;
}

// The EXIF orientation of a JPEG file (1-8); 1 for the other forms.
int32_t OrientationOf(const std::string& path) {
  const PictureReader* reader = FindPictureReader(path.c_str());
  if (reader == nullptr || std::strcmp(reader->extension, ".JPG") != 0) return 1;
  return ReadJpegOrientation(path.c_str());
}

// The picture turned upright into `upright` (orientation 1: the picture as it is).
int TurnUpright(const std::string& path, const PictureView& picture, std::vector<uint8_t>* upright,
                PictureView* result) {
  const int32_t orientation = OrientationOf(path);
  *result = picture;
  if (orientation == 1) return kExitOk;
  return GuardingMemory(path, [&] {
    upright->resize(size_t{picture.width} * picture.height * 3);
    if (!OrientRgb(picture.rgb, static_cast<int32_t>(picture.width),
                   static_cast<int32_t>(picture.height), orientation, upright->data()))
      return LibraryFailure(path, GetLastImageError());
    if (OrientationSwapsSides(orientation)) *result = {picture.height, picture.width, upright->data()};
    else *result = {picture.width, picture.height, upright->data()};
    return kExitOk;
  });
}

int Convert(const Options& options) {
  if (options.positional.size() != 2) return UsageError("convert needs INPUT and OUTPUT");
  if (options.hasSize) return UsageError("--size belongs to scale");
  if (options.filter != "bilinear") return UsageError("--filter belongs to scale");
  const std::string& input = options.positional[0];
  const std::string& output = options.positional[1];
  OutputForm form;
  std::string error;
  if (!ChooseForm(options, output, &form, &error)) return UsageError(error.c_str());
  PictureBlock picture;
  const int status = ReadPicture(input, &picture, nullptr);
  if (status != kExitOk) return status;
  if (!options.autoOrient) return WritePicture(output, ViewOf(picture), form, options.quality);
  std::vector<uint8_t> upright;
  PictureView view;
  const int turned = TurnUpright(input, ViewOf(picture), &upright, &view);
  if (turned != kExitOk) return turned;
  return WritePicture(output, view, form, options.quality);
}

int Info(const Options& options) {
  if (options.positional.size() != 1) return UsageError("info needs one FILE");
  PictureBlock picture;
  const char* formatName = "";
  const int status = ReadPicture(options.positional[0], &picture, &formatName);
  if (status != kExitOk) return status;
  std::printf("%ux%u %s orientation=%d\n", picture.width(), picture.height(), formatName,
              static_cast<int>(OrientationOf(options.positional[0])));
  return kExitOk;
}

int Scale(const Options& options) {
  if (options.positional.size() != 2) return UsageError("scale needs INPUT and OUTPUT");
  if (!options.hasSize) return UsageError("scale needs --size WxH");
  if (options.autoOrient) return UsageError("--auto-orient belongs to convert");
  const std::string& input = options.positional[0];
  const std::string& output = options.positional[1];
  OutputForm form;
  std::string error;
  if (!ChooseForm(options, output, &form, &error)) return UsageError(error.c_str());
  PictureBlock source;
  const int status = ReadPicture(input, &source, nullptr);
  if (status != kExitOk) return status;
  std::vector<uint8_t> scaled;
  const int scaledStatus = GuardingMemory(input, [&] {
    scaled.resize(size_t{options.width} * options.height * 3);
    ProgressBar progress;
    const auto scale = options.filter == "box" ? ReduceRgb : ResampleRgb;
    if (!scale(source.rgb(), static_cast<int32_t>(source.width()),
               static_cast<int32_t>(source.height()), scaled.data(),
               static_cast<int32_t>(options.width), static_cast<int32_t>(options.height)))
      return LibraryFailure(input, GetLastImageError());
    return kExitOk;
  });
  if (scaledStatus != kExitOk) return scaledStatus;
  return WritePicture(output, {options.width, options.height, scaled.data()}, form,
                      options.quality);
}

int Run(int argc, char** argv) {
  if (argc < 2) return UsageError(nullptr);
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
  }
  Options options;
  const std::string error = ParseOptions(argc, argv, &options);
  if (!error.empty()) return UsageError(error.c_str());
  if (command == "convert") return Convert(options);
  if (command == "info") return Info(options);
  if (command == "scale") return Scale(options);
  return UsageError(("unknown command " + command).c_str());
}

}  // namespace

// Every command guards its own steps; this catches what is left (the command
// line itself), so that no allocation failure ever aborts the tool.
int main(int argc, char** argv) {
  try {
    outOfMemoryText = ErrorText(kPelornOutOfMemory);
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    return LibraryFailure(argc > 2 ? argv[2] : "pelorn", kPelornOutOfMemory);
  }
}
