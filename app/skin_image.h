// The skin loader is shared with the album list box (catalogue/).
#pragma once

#include "catalogue/skin_image.h"
