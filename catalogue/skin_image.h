// Skin images: JPEGs in the program's "BIN" resources, decoded into bitmaps.
#pragma once

#include "imaging/core/bitmaps.h"

// Decodes the "BIN" resource `resourceId` into `image` (a CWinBmp or a
// CDIBSection). A missing resource leaves the image as it was and returns
// FALSE silently; a resource that does not decode shows the imaging
// library's error text in a message box when `reportFailure` is set and
// leaves the image as it was.
BOOL LoadSkinImage(CWinBmp& image, int resourceId, BOOL reportFailure = TRUE);
