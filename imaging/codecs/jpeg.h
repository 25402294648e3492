// JPEG glue around libjpeg (6b API): the error manager whose fatal-error exit
// jumps back into the running operation, the message output that feeds the
// debugger (and, when asked, message boxes), and a source manager that reads
// a JPEG held in memory.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

// libjpeg's standard error manager followed by the point where the running
// operation resumes after a fatal error. error_exit is JpegErrorExit and
// output_message is JpegOutputMessage; everything else is libjpeg's own.
struct JpegErrorManager {
  struct jpeg_error_mgr pub;  // first, so libjpeg's err pointer is ours too
  std::jmp_buf jumpPoint;
};

// Fills manager with jpeg_std_error and installs the two hooks below. The
// caller sets manager->jumpPoint with setjmp before any libjpeg call.
struct jpeg_error_mgr* JpegStandardErrors(JpegErrorManager* manager);

// error_exit: formats the message, shows it in a "JPEG Fatal Error" box when
// the thread asks for JPEG messages, sends it to the debugger output and
// jumps to the operation's jump point with 1. Never returns to libjpeg.
void JpegErrorExit(j_common_ptr info);

// output_message (warnings and trace lines, through libjpeg's emit_message):
// the text and a separate "\n" to the debugger output, and a "JPEG Error" box
// owned by the active window when the process-wide message flag is set.
void JpegOutputMessage(j_common_ptr info);

// Installs the memory source on a decompressor in place of jpeg_stdio_src.
// The whole block is the first and only buffer; when libjpeg asks for more it
// gets a "Premature end of JPEG file" warning and an EOI marker, so a stream
// cut short decodes as if it ended properly. A negative length counts as 0.
void JpegMemorySource(j_decompress_ptr info, const void* data, int32_t length);
