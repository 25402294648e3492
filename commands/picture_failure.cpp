#include "commands/picture_failure.h"

PictureFailure PictureFailureFor(PelornError code) {
  switch (code) {
    case kPelornOutOfMemory:
      return PictureFailure::kTooLarge;
    case kPelornFileOpen:
    case kPelornBadParam:
      return PictureFailure::kNotAPicture;
    // Every reader's refusal (its bad-file code, libpng's and libjpeg's
    // fatal errors, an early end) and any code not known here.
    default:
      return PictureFailure::kDamagedFile;
  }
}

const char* PictureFailureLine(PictureFailure failure) {
  switch (failure) {
    case PictureFailure::kTooLarge:
      return "This picture cannot be shown: too large";
    case PictureFailure::kNotAPicture:
      return "This picture cannot be shown: not a picture";
    case PictureFailure::kDamagedFile:
      break;
  }
  return "This picture cannot be shown: damaged file";
}
