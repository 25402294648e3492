// Not yet built: every operation fails with "Bad user param" (code 5) until
// this codec lands.
#include "imaging/codecs/lzw.h"
