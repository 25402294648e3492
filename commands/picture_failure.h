// Why a picture of the list cannot be shown, in the words the picture area
// shows in its place (no message box: paging goes on undisturbed).
#pragma once

#include "imaging/core/pelorn.h"

enum class PictureFailure {
  kDamagedFile,   // the reader refused the file's contents, or it ends early
  kNotAPicture,   // nothing a reader may open: a pipe, a device, a file that will not open
  kTooLarge,      // the picture needs more memory than one picture may take
};

// The reason for one of the library's error codes.
PictureFailure PictureFailureFor(PelornError code);

// The one line drawn in the picture area, "This picture cannot be shown: ..."
const char* PictureFailureLine(PictureFailure failure);
