// Per-thread state of the imaging library and its process-wide registry.
//
// Each thread that calls the library gets one PelornThreadState, created on
// its first call and kept until the process ends (even after the thread has
// ended); the exit routine frees every record. Records are reached through one
// thread-local storage slot of the operating system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/pelorn.h"

struct PngTextEntry {
  std::string text;
  std::string keyword;
  int32_t compressed = 0;  // non-zero for zTXt, zero for tEXt
};

// PNG 16-bit colour record: palette index, then red, green, blue and grey.
struct PngBackgroundColor {
  uint8_t index = 0;
  uint16_t red = 0;
  uint16_t green = 0;
  uint16_t blue = 0;
  uint16_t gray = 0;
};

struct PelornResolution {
  int32_t x = 1;
  int32_t y = 1;
  int32_t unit = 0;
};

struct PelornThreadState {
  PelornProgressCallback progressCallback = nullptr;
  int32_t operationDepth = 0;
  PelornResolution pngReadResolution;   // X, Y, unit: 1, 1, 0
  PelornResolution pngWriteResolution;  // 1, 1, 0
  double displayGamma = 2.9;            // deliberately not 2.2
  PngBackgroundColor backgroundColor;
  std::vector<PngTextEntry> pngReadTexts;
  std::vector<PngTextEntry> pngWriteTexts;
  // TIFF keeps its fields in unit, X, Y order; all three start at 1.
  int32_t tiffResolutionUnit = 1;
  int32_t tiffResolutionX = 1;
  int32_t tiffResolutionY = 1;
  int32_t dctMethod = 0;  // 1 islow, 2 ifast, 3 float, other: libjpeg's default
  PelornResolution readDensity;
  PelornResolution writeDensity;
  std::vector<std::string> readComments;
  std::vector<std::string> writeComments;
  bool showJpegMessages = false;
  PelornError lastError = 0;
};

// Thrown when the thread-local slot cannot be allocated or a record cannot be
// stored in it. Carries the operating system's error code. Nothing catches it.
class TlsException {
 public:
  explicit TlsException(uint32_t systemError) : systemError_(systemError) {}
  uint32_t SystemError() const { return systemError_; }

 private:
  uint32_t systemError_;
};

// The calling thread's record, created on first use. Never cache it across calls.
PelornThreadState& GetThreadState();

// The one progress and cancellation path of every codec: "go on" (true)
// unless the operation depth is exactly 1, a callback is set, and it returns 0.
bool ReportProgress(int32_t done, int32_t total);

// Raises the calling thread's operation depth for its lifetime. Buffer
// operations that build no codec object hold one.
class OperationDepthGuard {
 public:
  OperationDepthGuard() { ++GetThreadState().operationDepth; }
  ~OperationDepthGuard() { --GetThreadState().operationDepth; }
  OperationDepthGuard(const OperationDepthGuard&) = delete;
  OperationDepthGuard& operator=(const OperationDepthGuard&) = delete;
};

// For tests: how many records the registry holds.
size_t ThreadStateRecordCount();
