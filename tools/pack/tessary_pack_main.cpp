// tessary-pack PICTURE_FOLDER [--banner BANNER.jpg] [--name "Album name"]
//              [--program PATH]... [--soundfont FILE.sf2]
//
// Makes a disc folder of a folder of pictures: copies the viewer program into
// it (the tessary beside this tool unless --program names another; given
// twice, the Linux and the Windows program both go on the disc), with
// --banner appends the banner trailer to each copy (replacing a trailer the
// program already carries), and with --name sets the root album's name in
// the folder's album.txt. Beside a Linux program it writes autorun.sh, beside
// a Windows program autorun.inf; --soundfont puts a General MIDI sound font
// on the disc for desktops that have none. The pictures are never touched.
// Everything is checked before anything is written. Exit status: 0 on
// success, 1 with one line on stderr when something cannot be done, 2 for a
// usage error.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "tools/pack/album_name.h"
#include "tools/pack/autorun.h"
#include "tools/pack/banner_trailer.h"

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: tessary-pack PICTURE_FOLDER [--banner BANNER.jpg] [--name \"Album name\"] "
    "[--program PATH]... [--soundfont FILE.sf2]\n";
const char kAlbumFileName[] = "album.txt";
// The window shows the banner at (15, 525) in its 800 x 600 client area.
constexpr uint32_t kBannerRoomWidth = 800 - 15;
constexpr uint32_t kBannerRoomHeight = 600 - 525;

struct Options {
  std::string folder;
  std::optional<std::string> bannerPath;
  std::optional<std::string> albumName;
  std::vector<std::string> programPaths;
  std::optional<std::string> soundFontPath;
};

// A failure reported as one line: "tessary-pack: SUBJECT: PROBLEM".
struct Failure {
  std::string subject;
  std::string problem;
};

int Fail(const Failure& failure) {
  std::fprintf(stderr, "tessary-pack: %s: %s\n", failure.subject.c_str(), failure.problem.c_str());
  return 1;
}

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "tessary-pack: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

// Empty on success; otherwise the usage error.
std::string ParseArguments(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--banner" || argument == "--name" || argument == "--program" ||
        argument == "--soundfont") {
      if (i + 1 >= argc) return argument + " needs a value";
      const std::string value = argv[++i];
      if (argument == "--banner") options->bannerPath = value;
      if (argument == "--name") options->albumName = value;
      if (argument == "--program") options->programPaths.push_back(value);
      if (argument == "--soundfont") options->soundFontPath = value;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return "unknown option " + argument;
    } else if (options->folder.empty()) {
      options->folder = argument;
    } else {
      return "one picture folder only (" + argument + " is a second)";
    }
  }
  if (options->folder.empty()) return "no picture folder given";
  if (options->programPaths.size() > 2) return "--program at most twice (a Linux and a Windows program)";
  if (options->albumName) {
    if (options->albumName->empty()) return "--name needs a non-empty name";
    if (options->albumName->find_first_of("\r\n") != std::string::npos) {
      return "--name must be one line";
    }
  }
  return "";
}

std::optional<std::vector<uint8_t>> ReadBytes(const std::string& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return std::nullopt;
  const uintmax_t size = fs::file_size(path, error);
  if (error) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  // One read of the whole program, not a byte at a time.
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (file.bad()) return std::nullopt;
  bytes.resize(static_cast<size_t>(file.gcount()));
  return bytes;
}

// Writes through a temporary file beside the target, renamed over it at the
// end, so a failed write leaves the earlier file as it was.
std::optional<Failure> WriteBytes(const std::string& path, const void* bytes, size_t count,
                                  bool executable) {
  const std::string temporary = path + ".tessary-pack";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    file.close();
    if (!file) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return Failure{path, "cannot write the file"};
    }
  }
  std::error_code error;
  if (executable) {
    fs::permissions(temporary,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::replace, error);
  }
  if (!error) fs::rename(temporary, path, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return Failure{path, "cannot write the file (" + error.message() + ")"};
  }
  return std::nullopt;
}

// The viewer built beside this tool.
std::string DefaultProgramPath(const char* argv0) {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) self = fs::absolute(argv0, error);
  return (self.parent_path() / "tessary").string();
}

// album.txt in the folder, whatever the letter case of an existing one (the
// viewer finds ALBUM.TXT too); album.txt when there is none.
std::string AlbumFilePath(const std::string& folder) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == kAlbumFileName && entry.is_regular_file(error)) return entry.path().string();
  }
  return (fs::path(folder) / kAlbumFileName).string();
}

// A SoundFont 2 file is a RIFF form of type "sfbk".
bool IsSoundFont(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
         std::memcmp(bytes.data() + 8, "sfbk", 4) == 0;
}

// A file the plan writes into the disc folder.
struct Output {
  std::string target;
  std::vector<uint8_t> bytes;
  bool executable = false;
};

struct Plan {
  std::vector<Output> programs;  // the copies to write, trailers included
  std::vector<Output> startFiles;  // autorun.sh, autorun.inf, the sound font
  std::optional<std::string> albumText;
  std::string albumTarget;
  std::string bannerSize;
};

std::vector<uint8_t> BytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The program's copy, and the start file its system reads beside it.
std::optional<Failure> PlanProgram(const Options& options, const std::string& programPath,
                                   const std::vector<uint8_t>* banner, Plan* plan) {
  std::error_code error;
  std::optional<std::vector<uint8_t>> program = ReadBytes(programPath);
  if (!program) return Failure{programPath, "cannot read the program file"};
  if (program->empty()) return Failure{programPath, "the program file is empty"};
  Output copy;
  copy.bytes = pack::WithoutTrailer(*program);
  if (banner != nullptr) pack::AppendTrailer(&copy.bytes, *banner);
  const std::string name = fs::path(programPath).filename().string();
  copy.target = (fs::path(options.folder) / name).string();
  copy.executable = true;
  if (fs::is_directory(copy.target, error)) {
    return Failure{copy.target, "a folder stands where the program goes"};
  }
  for (const Output& other : plan->programs) {
    if (other.target == copy.target) return Failure{programPath, "two programs of one name"};
  }

  Output start;
  switch (pack::KindOfProgram(*program)) {
    case pack::ProgramKind::kLinux:
      start.target = (fs::path(options.folder) / pack::kAutorunScriptName).string();
      start.bytes = BytesOf(pack::AutorunScript(name, pack::ProgramInterpreter(*program)));
      start.executable = true;
      break;
    case pack::ProgramKind::kWindows: {
      // The album's name, else the folder's.
      fs::path folder = fs::absolute(options.folder, error).lexically_normal();
      if (folder.filename().empty()) folder = folder.parent_path();
      const std::string label = options.albumName.value_or(folder.filename().string());
      start.target = (fs::path(options.folder) / pack::kAutorunInfName).string();
      start.bytes = BytesOf(pack::AutorunInf(name, label));
      break;
    }
    case pack::ProgramKind::kUnknown:
      return Failure{programPath, "not a Linux (ELF) or Windows (MZ) program"};
  }
  for (const Output& other : plan->startFiles) {
    if (other.target == start.target) return Failure{programPath, "a second program for the same system"};
  }
  plan->programs.push_back(std::move(copy));
  plan->startFiles.push_back(std::move(start));
  return std::nullopt;
}

// Reads and checks every input; nothing is written yet.
std::optional<Failure> MakePlan(const Options& options, const std::vector<std::string>& programPaths,
                               Plan* plan) {
  std::error_code error;
  if (!fs::is_directory(options.folder, error)) return Failure{options.folder, "not a folder"};

  std::optional<std::vector<uint8_t>> banner;
  if (options.bannerPath) {
    banner = ReadBytes(*options.bannerPath);
    if (!banner) return Failure{*options.bannerPath, "cannot read the banner"};
    uint32_t width = 0;
    uint32_t height = 0;
    const std::string problem = pack::CheckBanner(*banner, &width, &height);
    if (!problem.empty()) return Failure{*options.bannerPath, problem};
    plan->bannerSize = std::to_string(width) + "x" + std::to_string(height);
    if (width > kBannerRoomWidth || height > kBannerRoomHeight) {
      std::fprintf(stderr, "tessary-pack: %s: warning: a %s banner is cut off at the window's edge "
                           "(room for %ux%u at (15, 525))\n",
                   options.bannerPath->c_str(), plan->bannerSize.c_str(), kBannerRoomWidth,
                   kBannerRoomHeight);
    }
  }

  for (const std::string& programPath : programPaths) {
    if (auto failure = PlanProgram(options, programPath, banner ? &*banner : nullptr, plan)) return failure;
  }

  if (options.soundFontPath) {
    std::optional<std::vector<uint8_t>> font = ReadBytes(*options.soundFontPath);
    if (!font) return Failure{*options.soundFontPath, "cannot read the sound font"};
    if (!IsSoundFont(*font)) return Failure{*options.soundFontPath, "not a SoundFont 2 file (RIFF sfbk)"};
    const std::string target = (fs::path(options.folder) / platform::kCarriedSoundFontName).string();
    plan->startFiles.push_back(Output{target, std::move(*font), false});
  }

  if (options.albumName) {
    plan->albumTarget = AlbumFilePath(options.folder);
    std::string existing;
    if (fs::exists(plan->albumTarget, error)) {
      std::optional<std::vector<uint8_t>> bytes = ReadBytes(plan->albumTarget);
      if (!bytes) return Failure{plan->albumTarget, "cannot read the file"};
      existing.assign(bytes->begin(), bytes->end());
    }
    plan->albumText = pack::WithAlbumName(existing, *options.albumName);
  }
  return std::nullopt;
}

std::optional<Failure> Carry(const Plan& plan) {
  for (const std::vector<Output>* outputs : {&plan.programs, &plan.startFiles}) {
    for (const Output& output : *outputs) {
      if (auto failure = WriteBytes(output.target, output.bytes.data(), output.bytes.size(), output.executable)) {
        return failure;
      }
    }
  }
  if (plan.albumText) {
    if (auto failure = WriteBytes(plan.albumTarget, plan.albumText->data(), plan.albumText->size(), false)) {
      return failure;
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const std::string usageProblem = ParseArguments(argc, argv, &options);
  if (!usageProblem.empty()) return UsageError(usageProblem);

  std::vector<std::string> programPaths = options.programPaths;
  if (programPaths.empty()) programPaths.push_back(DefaultProgramPath(argv[0]));
  Plan plan;
  if (auto failure = MakePlan(options, programPaths, &plan)) return Fail(*failure);
  if (auto failure = Carry(plan)) return Fail(*failure);

  std::string summary;
  for (const Output& program : plan.programs) {
    if (!summary.empty()) summary += ", ";
    summary += program.target + " (" + std::to_string(program.bytes.size()) + " bytes";
    if (!plan.bannerSize.empty()) summary += ", banner " + plan.bannerSize;
    summary += ")";
  }
  if (plan.albumText) summary += ", album name in " + plan.albumTarget;
  for (const Output& start : plan.startFiles) summary += ", " + fs::path(start.target).filename().string();
  std::printf("tessary-pack: %s\n", summary.c_str());
  return 0;
}
