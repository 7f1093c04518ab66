#pragma once

// The failure type lives with every code in common/; hosts that include it from here keep
// building.
#include "common/failure.h"
