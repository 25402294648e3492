// The stand-alone banner: a JPEG appended to the program file
// (app/banner_trailer.h), shown in the window's bottom-left corner.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/banner.h"
#include "app/banner_trailer.h"
#include "app/viewer_dlg.h"
#include "imaging/core/error_text.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "platform/framework/afx_app.h"
#include "platform/win32.h"

#ifdef _WIN32
#include <share.h>
#endif

namespace {

constexpr long kTrailerBytes = static_cast<long>(banner_trailer::kTrailerBytes);
// The program file's path is taken with at most this many characters.
constexpr DWORD kModulePathCapacity = 256;
// The framework's own report of memory that cannot be had.
const char kFrameworkOutOfMemory[] = "Out of memory.";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// The program file opened for reading while others may not write to it.
FileHandle OpenProgramFile(const char* path) {
#ifdef _WIN32
  return FileHandle(_fsopen(path, "rb", _SH_DENYWR));
#else
  return FileHandle(std::fopen(path, "rb"));
#endif
}

// The file's length, or -1 when it cannot be found by seeking.
long FileLength(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  return std::ftell(file);
}

}  // namespace

bool ReadTrailer(std::FILE* file, uint32_t* bannerBytes) {
  const long length = FileLength(file);
  if (length < kTrailerBytes || std::fseek(file, length - kTrailerBytes, SEEK_SET) != 0) return false;
  uint8_t trailer[kTrailerBytes];
  if (std::fread(trailer, 1, sizeof trailer, file) != sizeof trailer) return false;
  return banner_trailer::Parse(trailer, static_cast<uint64_t>(length - kTrailerBytes), bannerBytes);
}

void CViewerDlg::ReadBanner() {
  m_bannerShown = 0;

  char programPath[kModulePathCapacity];
  const DWORD pathLength = GetModuleFileNameA(nullptr, programPath, kModulePathCapacity);
  // A cut-off path would name some other file.
  if (pathLength == 0 || pathLength >= kModulePathCapacity) return;
  FileHandle file = OpenProgramFile(programPath);
  if (!file) return;

  uint32_t bannerBytes = 0;
  if (!ReadTrailer(file.get(), &bannerBytes)) return;
  // The decoder takes a signed 32-bit length.
  if (bannerBytes > 0x7FFFFFFFu) return;

  pelorn::PlainBlock banner;
  if (!banner.Allocate(bannerBytes)) {
    AfxMessageBox(kFrameworkOutOfMemory, MB_ICONEXCLAMATION | MB_OK);
    return;
  }
  const long bannerOffset = -static_cast<long>(bannerBytes) - kTrailerBytes;
  if (std::fseek(file.get(), bannerOffset, SEEK_END) != 0 ||
      std::fread(banner.bytes(), 1, bannerBytes, file.get()) != bannerBytes) {
    return;
  }

  uint32_t width = 0;
  uint32_t height = 0;
  HGLOBAL block = ReadJpegMemory(banner.bytes(), static_cast<int32_t>(bannerBytes), &width, &height);
  if (block == nullptr) {
    AfxMessageBox(ErrorText(GetLastImageError()).c_str());
    return;
  }
  const auto* rgb = static_cast<const uint8_t*>(GlobalLock(block));
  if (rgb != nullptr) {
    try {
      m_banner.CreateFromRgb(rgb, static_cast<int32_t>(width), static_cast<int32_t>(height));
      m_bannerShown = 1;
    } catch (CMemoryException* exception) {
      exception->Delete();
      AfxMessageBox(kFrameworkOutOfMemory, MB_ICONEXCLAMATION | MB_OK);
    }
    GlobalUnlock(block);
  }
  GlobalFree(block);
}
