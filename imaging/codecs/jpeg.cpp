// JPEG codec over libjpeg: ReadJpegFile, ReadJpegMemory and WriteJpegFile.
//
// libjpeg does all the coding; this file sets its objects up, carries pixels
// in and out one row at a time, and turns libjpeg's fatal errors into code 9
// through a setjmp point. Each setjmp lives in a function whose own locals are
// trivially destructible; the libjpeg structs sit in a job record in the
// caller's frame (so their contents are well defined after the jump) and
// everything with a destructor (the open file, the pixel block, the grey
// buffer) belongs to the caller, so the jump skips no destructor and every way
// out releases each resource exactly once.
//
// Reading: header, comments and density into the thread's record, libjpeg's
// default decompression parameters, one full-size zero-initialised block.
// Three-component rows decode straight into their place; grey rows widen to
// (g, g, g); CMYK and YCCK files (libjpeg delivers both as CMYK) become RGB.
// Writing: quality scaling with baseline tables, RGB or one-component grey
// made with the double-precision grey formula, optional progressive scans,
// the thread's density, DCT method and comments. Progress is reported before
// every row. Cost: libjpeg's, plus one pass per row for grey and CMYK input
// and, for greyscale writing, one width x height byte copy.
#include "imaging/codecs/jpeg.h"

#include <jerror.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/reader_prelude.h"
#include "imaging/core/thread_state.h"
#include "platform/win32.h"

namespace {

// The process-wide message flag. Every read and write copies the calling
// thread's show flag into it when it starts, so the last operation to start
// decides whether warnings are shown in a box. Atomic only so that threads
// racing on it stay well defined; no ordering is implied.
std::atomic<bool> jpegMessageBoxes{false};

// Whole comments: a COM segment holds at most 65,533 bytes.
constexpr unsigned int kCommentLengthLimit = 0xFFFF;

// --- Memory source -----------------------------------------------------------

// libjpeg's source manager followed by the EOI marker handed out when the
// caller's bytes run out.
struct MemorySource {
  struct jpeg_source_mgr pub;
  JOCTET endOfImage[2];
};

void InitMemorySource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// Only reached when the stream has run out: warn, then feed an end marker so
// decoding finishes as if the stream were complete.
boolean FillMemoryInput(j_decompress_ptr info) {
  auto* source = reinterpret_cast<MemorySource*>(info->src);
  WARNMS(info, JWRN_JPEG_EOF);
  source->endOfImage[0] = 0xFF;
  source->endOfImage[1] = JPEG_EOI;
  source->pub.next_input_byte = source->endOfImage;
  source->pub.bytes_in_buffer = 2;
  return TRUE;
}

void SkipInput(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  struct jpeg_source_mgr* source = info->src;
  while (count > static_cast<long>(source->bytes_in_buffer)) {
    count -= static_cast<long>(source->bytes_in_buffer);
    (*source->fill_input_buffer)(info);
  }
  source->next_input_byte += count;
  source->bytes_in_buffer -= static_cast<size_t>(count);
}

// --- File source ---------------------------------------------------------------

// libjpeg's stdio source refills 4 KB at a time, and its Huffman decoder
// takes its fast path only while a whole MCU's worst case (512 bytes a
// block, 3 KB for 4:2:0) is buffered: three refills in four would run the
// slow path. This source reads 64 KB at a time; the end of the file is
// handled as the stdio source does it (an empty file is an error, a file cut
// short a warning and an end marker).
constexpr size_t kFileSourceBytes = size_t{64} << 10;

struct FileSource {
  struct jpeg_source_mgr pub;
  std::FILE* file;
  JOCTET* buffer;
  bool startOfFile;
};

void InitFileSource(j_decompress_ptr info) {
  reinterpret_cast<FileSource*>(info->src)->startOfFile = true;
}

boolean FillFileInput(j_decompress_ptr info) {
  auto* source = reinterpret_cast<FileSource*>(info->src);
  size_t count = std::fread(source->buffer, 1, kFileSourceBytes, source->file);
  if (count == 0) {
    if (source->startOfFile) ERREXIT(info, JERR_INPUT_EMPTY);
    WARNMS(info, JWRN_JPEG_EOF);
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    count = 2;
  }
  source->pub.next_input_byte = source->buffer;
  source->pub.bytes_in_buffer = count;
  source->startOfFile = false;
  return TRUE;
}

void JpegFileSource(j_decompress_ptr info, std::FILE* file) {
  auto* source = static_cast<FileSource*>((*info->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(FileSource)));
  source->buffer = static_cast<JOCTET*>((*info->mem->alloc_large)(
      reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, kFileSourceBytes));
  source->file = file;
  source->startOfFile = true;
  source->pub.init_source = InitFileSource;
  source->pub.fill_input_buffer = FillFileInput;
  source->pub.skip_input_data = SkipInput;
  source->pub.resync_to_restart = jpeg_resync_to_restart;
  source->pub.term_source = TermSource;
  source->pub.next_input_byte = nullptr;
  source->pub.bytes_in_buffer = 0;
  info->src = &source->pub;
}

// --- Pixel rows ----------------------------------------------------------------

void GreyRowToRgb(const JSAMPLE* grey, uint8_t* rgb, JDIMENSION width) {
  for (JDIMENSION x = 0; x < width; ++x) {
    rgb[0] = rgb[1] = rgb[2] = grey[x];
    rgb += 3;
  }
}

// a * b / 255 rounded to nearest; exact for two bytes.
inline uint8_t MultiplyDivide255(unsigned a, unsigned b) {
  const unsigned product = a * b + 128;
  return static_cast<uint8_t>(((product >> 8) + product) >> 8);
}

// CMYK to RGB. Adobe files (APP14 marker present) store inverted samples, so
// there R = C * K / 255; plain CMYK has R = (255 - C)(255 - K) / 255.
void CmykRowToRgb(const JSAMPLE* cmyk, uint8_t* rgb, JDIMENSION width, bool inverted) {
  const unsigned flip = inverted ? 0 : 255;
  for (JDIMENSION x = 0; x < width; ++x) {
    const unsigned k = flip ^ cmyk[3];
    rgb[0] = MultiplyDivide255(flip ^ cmyk[0], k);
    rgb[1] = MultiplyDivide255(flip ^ cmyk[1], k);
    rgb[2] = MultiplyDivide255(flip ^ cmyk[2], k);
    cmyk += 4;
    rgb += 3;
  }
}

// --- Reading -------------------------------------------------------------------

uint64_t RoundUp(uint64_t value, uint64_t multiple) {
  return multiple == 0 ? value : (value + multiple - 1) / multiple * multiple;
}

// Everything one read hands to, and gets back from, the libjpeg side.
struct DecodeJob {
  std::FILE* file = nullptr;    // the file source, or
  const void* data = nullptr;   // the memory source
  int32_t length = 0;
  pelorn::GlobalBlockOwner* picture = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  // A box to fit: decode at the smallest DCT scale that still covers the
  // picture fitted into it (0 x 0: full size). The file's own size comes back.
  uint32_t boxWidth = 0;
  uint32_t boxHeight = 0;
  uint32_t fullWidth = 0;
  uint32_t fullHeight = 0;
  struct jpeg_decompress_struct info;
  JpegErrorManager errors;
};

// The largest of libjpeg's scale denominators 8, 4, 2 whose picture is still
// at least as large as the picture fitted into the box, or 1. Fitting a w x h
// picture into the box divides it by s = max(w / boxWidth, h / boxHeight);
// decoding at 1/k with k <= s gives ceil(w / k) >= w / s and ceil(h / k) >=
// h / s on both sides, and k <= s holds exactly when k * boxWidth <= w or
// k * boxHeight <= h.
unsigned int ScaleDenominatorFor(uint64_t width, uint64_t height, uint64_t boxWidth,
                                 uint64_t boxHeight) {
  for (unsigned int k : {8u, 4u, 2u}) {
    if (k * boxWidth <= width || k * boxHeight <= height) return k;
  }
  return 1;
}

// Copies each comment marker's text, cut at its first NUL, in file order.
void CollectComments(j_decompress_ptr info) {
  std::vector<std::string>& comments = GetThreadState().readComments;
  for (jpeg_saved_marker_ptr marker = info->marker_list; marker != nullptr;
       marker = marker->next) {
    if (marker->marker != JPEG_COM || marker->data == nullptr || marker->data_length == 0) {
      continue;
    }
    const char* text = reinterpret_cast<const char*>(marker->data);
    const void* nul = std::memchr(text, 0, marker->data_length);
    const size_t length =
        nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - text)
                       : marker->data_length;
    comments.emplace_back(text, length);
  }
}

// libjpeg's refusals for want of memory: the memory manager's own, and the
// request for a backing store (no temporary files are used), which is what
// a limit on its memory leads to.
bool IsOutOfMemory(int messageCode) {
  return messageCode == JERR_OUT_OF_MEMORY || messageCode == JERR_NO_BACKING_STORE;
}

// libjpeg keeps a few MCU rows of samples of every component (decoding,
// context, upsampling, colour conversion): counted as this many MCU rows on
// top of the coefficient arrays.
constexpr uint64_t kLibjpegWorkingRows = 4;

// Whether the picture block and libjpeg's buffers for it stay within the
// memory bound; *pictureBytes is the block's size. A file that needs more
// than one scan (progressive, or components in separate scans) holds the
// coefficients of the whole image: 64 coefficients of 2 bytes per 8 x 8
// block, for every block of every component, rounded up to whole MCUs.
bool FitsMemoryBound(j_decompress_ptr info, size_t* pictureBytes) {
  jpeg_calc_output_dimensions(info);
  uint64_t working = 0;
  uint64_t rowSamples = 0;
  for (int c = 0; c < info->num_components; ++c) {
    const jpeg_component_info& component = info->comp_info[c];
    const uint64_t blocksWide = RoundUp(component.width_in_blocks, component.h_samp_factor);
    const uint64_t blocksHigh = RoundUp(component.height_in_blocks, component.v_samp_factor);
    if (jpeg_has_multiple_scans(info)) working += blocksWide * blocksHigh * sizeof(JBLOCK);
    rowSamples += blocksWide * DCTSIZE * component.v_samp_factor * DCTSIZE;
  }
  working += rowSamples * kLibjpegWorkingRows;
  return pelorn::PictureFitsBound(info->output_width, info->output_height, 3, working,
                                  pictureBytes);
}

// The libjpeg side of a read; returns the codec error code. Its locals are
// plain values and references only (see the file comment).
PelornError DecodeJpeg(DecodeJob* job) {
  struct jpeg_decompress_struct& info = job->info;
  info.err = JpegStandardErrors(&job->errors);
  if (setjmp(job->errors.jumpPoint) != 0) {
    const int message = job->errors.pub.msg_code;
    jpeg_destroy_decompress(&info);
    return IsOutOfMemory(message) ? kPelornOutOfMemory : kPelornBadJpeg;
  }
  jpeg_create_decompress(&info);
  if (job->file != nullptr) {
    JpegFileSource(&info, job->file);
  } else {
    JpegMemorySource(&info, job->data, job->length);
  }
  jpeg_save_markers(&info, JPEG_COM, kCommentLengthLimit);
  jpeg_read_header(&info, TRUE);

  try {
    CollectComments(&info);
  } catch (...) {  // out of memory: release libjpeg before passing it on
    jpeg_destroy_decompress(&info);
    throw;
  }
  PelornResolution& density = GetThreadState().readDensity;
  density.x = info.X_density;
  density.y = info.Y_density;
  density.unit = info.density_unit;

  job->fullWidth = info.image_width;
  job->fullHeight = info.image_height;
  if (job->boxWidth != 0 && job->boxHeight != 0) {
    info.scale_num = 1;
    info.scale_denom =
        ScaleDenominatorFor(info.image_width, info.image_height, job->boxWidth, job->boxHeight);
  }

  // The memory bound is checked before jpeg_start_decompress: for a
  // progressive or multi-scan file that call allocates whole-image
  // coefficient arrays and decodes every scan into them.
  size_t pictureBytes = 0;
  if (!FitsMemoryBound(&info, &pictureBytes)) {
    jpeg_destroy_decompress(&info);
    return kPelornOutOfMemory;
  }
  // What is left of the bound is libjpeg's; its memory manager fails (code 1
  // through the jump point) rather than take more.
  info.mem->max_memory_to_use = static_cast<long>(pelorn::kMaxPictureMemory - pictureBytes);
  jpeg_start_decompress(&info);

  const JDIMENSION width = info.output_width;
  if (!job->picture->AllocateAndLock(pictureBytes)) {
    jpeg_destroy_decompress(&info);
    return kPelornOutOfMemory;
  }
  uint8_t* const pixels = job->picture->bytes();
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const int components = info.output_components;
  const bool invertedCmyk = info.saw_Adobe_marker != FALSE;

  // Three-component rows need no conversion and decode straight into place;
  // the others go through libjpeg's one-row sample array.
  JSAMPARRAY sampleRow = nullptr;
  if (components != 3) {
    sampleRow = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                          width * static_cast<JDIMENSION>(components), 1);
  }

  while (info.output_scanline < info.output_height) {
    if (!ReportProgress(static_cast<int32_t>(info.output_scanline),
                        static_cast<int32_t>(info.output_height))) {
      jpeg_destroy_decompress(&info);
      return kPelornCancelled;
    }
    uint8_t* const target = pixels + static_cast<size_t>(info.output_scanline) * rowBytes;
    JSAMPROW directRow[1] = {target};
    if (jpeg_read_scanlines(&info, components == 3 ? directRow : sampleRow, 1) != 1) {
      jpeg_destroy_decompress(&info);  // a non-suspending source always gives a row
      return kPelornBadJpeg;
    }
    if (components == 1) {
      GreyRowToRgb(sampleRow[0], target, width);
    } else if (components == 4 && info.out_color_space == JCS_CMYK) {
      CmykRowToRgb(sampleRow[0], target, width, invertedCmyk);
    }
    // Any other component count leaves the row as it is (zero).
  }

  jpeg_finish_decompress(&info);
  job->width = info.output_width;
  job->height = info.output_height;
  jpeg_destroy_decompress(&info);
  return kPelornOk;
}

// Step common to every reader: a fresh comment list and the message flag.
void BeginRead() {
  PelornThreadState& state = GetThreadState();
  state.readComments.clear();
  jpegMessageBoxes.store(state.showJpegMessages, std::memory_order_relaxed);
}

// Opens the file after the shared argument check (the outputs zeroed first).
PelornError OpenJpegFile(const char* path, uint32_t* width, uint32_t* height, pelorn::FileOwner* file) {
  const PelornError checked = pelorn::CheckReaderArguments(path, width, height);
  if (checked != kPelornOk) return checked;
  BeginRead();
  return file->Open(path, "rb") ? kPelornOk : kPelornFileOpen;
}

// Runs the read and hands over the block; the owners release everything on
// any other way out.
HGLOBAL FinishRead(DecodeJob* job, pelorn::GlobalBlockOwner* picture, PelornError* errorCode,
                   uint32_t* width, uint32_t* height) {
  *errorCode = DecodeJpeg(job);
  if (*errorCode != kPelornOk) return nullptr;
  *width = job->width;
  *height = job->height;
  return picture->Release();
}

// --- Writing -------------------------------------------------------------------

struct EncodeJob {
  const char* path = nullptr;
  pelorn::FileOwner* file = nullptr;
  const uint8_t* rgb = nullptr;   // colour rows, or
  const uint8_t* grey = nullptr;  // grey rows
  uint32_t width = 0;
  uint32_t height = 0;
  size_t rowBytes = 0;
  int32_t quality = 0;
  bool progressive = false;
  struct jpeg_compress_struct info;
  JpegErrorManager errors;
};

// The libjpeg side of a write; returns the codec error code.
PelornError EncodeJpeg(EncodeJob* job) {
  struct jpeg_compress_struct& info = job->info;
  info.err = JpegStandardErrors(&job->errors);
  if (setjmp(job->errors.jumpPoint) != 0) {
    jpeg_destroy_compress(&info);
    return kPelornBadJpeg;
  }
  jpeg_create_compress(&info);
  if (!job->file->Open(job->path, "wb")) {
    jpeg_destroy_compress(&info);
    return kPelornFileOpen;
  }
  jpeg_stdio_dest(&info, job->file->get());

  info.image_width = job->width;
  info.image_height = job->height;
  const bool color = job->grey == nullptr;
  info.input_components = color ? 3 : 1;
  info.in_color_space = color ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, job->quality, TRUE);
  if (job->progressive) jpeg_simple_progression(&info);

  const PelornThreadState& state = GetThreadState();
  info.density_unit = static_cast<UINT8>(state.writeDensity.unit);
  info.X_density = static_cast<UINT16>(state.writeDensity.x);
  info.Y_density = static_cast<UINT16>(state.writeDensity.y);
  switch (state.dctMethod) {
    case 1: info.dct_method = JDCT_ISLOW; break;
    case 2: info.dct_method = JDCT_IFAST; break;
    case 3: info.dct_method = JDCT_FLOAT; break;
    default: break;  // what jpeg_set_defaults chose
  }

  jpeg_start_compress(&info, TRUE);
  for (const std::string& comment : state.writeComments) {
    if (comment.empty()) continue;
    jpeg_write_marker(&info, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.c_str()),
                      static_cast<unsigned int>(std::strlen(comment.c_str())));
  }

  while (info.next_scanline < info.image_height) {
    if (!ReportProgress(static_cast<int32_t>(info.next_scanline),
                        static_cast<int32_t>(info.image_height))) {
      jpeg_destroy_compress(&info);  // unfinished: libjpeg's pending output is dropped
      return kPelornCancelled;
    }
    const uint8_t* row = color ? job->rgb + static_cast<size_t>(info.next_scanline) * job->rowBytes
                               : job->grey + static_cast<size_t>(info.next_scanline) * job->width;
    JSAMPROW rows[1] = {const_cast<JSAMPLE*>(row)};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return kPelornOk;
}

// The grey value of each pixel: (0.587 G + 0.299 R) + 0.114 B in double
// precision, in exactly that order, truncated. Quirk: truncation makes 65 of
// the 256 neutral greys one level darker, e.g. (1, 1, 1) -> 0; kept because
// files written so far depend on it.
void RgbToGrey(const uint8_t* rgb, uint8_t* grey, size_t pixelCount) {
  for (size_t i = 0; i < pixelCount; ++i) {
    const double value = (0.587 * rgb[1] + 0.299 * rgb[0]) + 0.114 * rgb[2];
    grey[i] = static_cast<uint8_t>(value);
    rgb += 3;
  }
}

}  // namespace

// --- libjpeg hooks ----------------------------------------------------------------

struct jpeg_error_mgr* JpegStandardErrors(JpegErrorManager* manager) {
  jpeg_std_error(&manager->pub);
  manager->pub.error_exit = JpegErrorExit;
  manager->pub.output_message = JpegOutputMessage;
  return &manager->pub;
}

void JpegErrorExit(j_common_ptr info) {
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  if (GetThreadState().showJpegMessages) {
    MessageBoxA(nullptr, text, "JPEG Fatal Error", MB_OK | MB_ICONERROR);
  }
  OutputDebugStringA(text);
  std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jumpPoint, 1);
}

void JpegOutputMessage(j_common_ptr info) {
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  OutputDebugStringA(text);
  OutputDebugStringA("\n");
  if (jpegMessageBoxes.load(std::memory_order_relaxed)) {
    MessageBoxA(GetActiveWindow(), text, "JPEG Error", MB_OK);
  }
}

void JpegMemorySource(j_decompress_ptr info, const void* data, int32_t length) {
  if (info->src == nullptr) {
    info->src = static_cast<struct jpeg_source_mgr*>((*info->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(MemorySource)));
  }
  struct jpeg_source_mgr* source = info->src;
  source->init_source = InitMemorySource;
  source->fill_input_buffer = FillMemoryInput;
  source->skip_input_data = SkipInput;
  source->resync_to_restart = jpeg_resync_to_restart;
  source->term_source = TermSource;
  source->next_input_byte = static_cast<const JOCTET*>(data);
  // A negative count would read far past the caller's bytes: treat it as none.
  source->bytes_in_buffer = length > 0 ? static_cast<size_t>(length) : 0;
}

void SetJpegMessageBoxes(bool show) {
  jpegMessageBoxes.store(show, std::memory_order_relaxed);
}

// --- Codec methods -----------------------------------------------------------------

HGLOBAL PelornCodec::ReadJpegFile(const char* path, uint32_t* width, uint32_t* height) {
  pelorn::FileOwner file;
  errorCode = OpenJpegFile(path, width, height, &file);
  if (errorCode != kPelornOk) return nullptr;
  pelorn::GlobalBlockOwner picture;
  DecodeJob job{};
  job.file = file.get();
  job.picture = &picture;
  return FinishRead(&job, &picture, &errorCode, width, height);
}

HGLOBAL PelornCodec::ReadJpegMemory(const void* data, int32_t length, uint32_t* width,
                                    uint32_t* height) {
  errorCode = kPelornOk;
  if (width != nullptr) *width = 0;
  if (height != nullptr) *height = 0;
  if (data == nullptr || width == nullptr || height == nullptr) {
    errorCode = kPelornBadParam;
    return nullptr;
  }
  BeginRead();
  pelorn::GlobalBlockOwner picture;
  DecodeJob job{};
  job.data = data;
  job.length = length;
  job.picture = &picture;
  return FinishRead(&job, &picture, &errorCode, width, height);
}

HGLOBAL PelornCodec::ReadJpegFileScaled(const char* path, uint32_t boxWidth, uint32_t boxHeight,
                                        uint32_t* width, uint32_t* height, uint32_t* fullWidth,
                                        uint32_t* fullHeight) {
  if (fullWidth != nullptr) *fullWidth = 0;
  if (fullHeight != nullptr) *fullHeight = 0;
  pelorn::FileOwner file;
  errorCode = pelorn::CheckReaderArguments(path, width, height);
  if (errorCode == kPelornOk && (fullWidth == nullptr || fullHeight == nullptr || boxWidth == 0 ||
                                 boxHeight == 0)) {
    errorCode = kPelornBadParam;
  }
  if (errorCode == kPelornOk) errorCode = OpenJpegFile(path, width, height, &file);
  if (errorCode != kPelornOk) return nullptr;
  pelorn::GlobalBlockOwner picture;
  DecodeJob job{};
  job.file = file.get();
  job.picture = &picture;
  job.boxWidth = boxWidth;
  job.boxHeight = boxHeight;
  HGLOBAL block = FinishRead(&job, &picture, &errorCode, width, height);
  if (block != nullptr) {
    *fullWidth = job.fullWidth;
    *fullHeight = job.fullHeight;
  }
  return block;
}

int32_t PelornCodec::WriteJpegFile(const char* path, const uint8_t* rgb, uint32_t width,
                                   uint32_t height, int32_t quality, int32_t color,
                                   int32_t progressive) {
  errorCode = kPelornOk;
  jpegMessageBoxes.store(GetThreadState().showJpegMessages, std::memory_order_relaxed);
  if (path == nullptr || rgb == nullptr || width == 0 || height == 0) {
    errorCode = kPelornBadParam;
    return 0;
  }
  // The caller's buffer is width x height x 3 bytes; a size that cannot
  // exist is refused before any row address is formed.
  size_t pictureBytes = 0;
  size_t pixelCount = 0;
  if (!pelorn::CheckedProduct(width, height, 3, &pictureBytes) ||
      !pelorn::CheckedProduct(width, height, &pixelCount)) {
    errorCode = kPelornOutOfMemory;
    return 0;
  }
  pelorn::PlainBlock grey;
  if (color == 0) {
    if (!grey.Allocate(pixelCount)) {
      errorCode = kPelornOutOfMemory;
      return 0;
    }
    RgbToGrey(rgb, grey.bytes(), pixelCount);
  }

  pelorn::FileOwner file;
  EncodeJob job{};
  job.path = path;
  job.file = &file;
  job.rgb = rgb;
  job.grey = color == 0 ? grey.bytes() : nullptr;
  job.width = width;
  job.height = height;
  job.rowBytes = static_cast<size_t>(width) * 3;
  job.quality = quality;
  job.progressive = progressive != 0;
  errorCode = EncodeJpeg(&job);
  // What was written stays on disk whatever happened. A close that fails
  // has lost data, so the write is not reported as a success.
  const bool closed = file.Close();
  if (errorCode == kPelornOk && !closed) errorCode = kPelornFileWrite;
  return errorCode == kPelornOk ? 1 : 0;
}
