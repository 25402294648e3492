// The interface a back end implements and the calls it makes into the layer.
#pragma once
#include "platform/user_internal.h"
