// The root folder argument. See root_argument.h.
#include "app/root_argument.h"

#include <filesystem>
#include <string>
#include <system_error>

CString RootFolderArgument(int argc, const char* const* argv) {
  for (int index = 1; index < argc; ++index) {
    if (argv[index] == nullptr || argv[index][0] == '\0' || argv[index][0] == '-') continue;
    std::error_code error;
    std::filesystem::path folder = std::filesystem::absolute(argv[index], error);
    if (error) folder = argv[index];
    std::string text = folder.lexically_normal().string();
    // "/disc/" and "/disc" name one folder; "/" and "C:\\" keep theirs.
    while (text.size() > 1 && (text.back() == '/' || text.back() == '\\') &&
           text[text.size() - 2] != ':') {
      text.pop_back();
    }
    return CString(text.c_str());
  }
  return CString();
}
