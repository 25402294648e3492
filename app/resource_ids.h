// The viewer's resource and control identifiers live with the resources.
#pragma once

#include "resources/resource_ids.h"
