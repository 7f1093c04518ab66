#pragma once

// The interface lives with the server client, the one part that waits; the window and hosts
// reach it through the catalog.
#include "xmla/waitindicator.h"
