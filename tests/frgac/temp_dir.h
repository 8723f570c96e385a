// The frgac tests take their temporary directory (TempDir) and the one-time
// start of the I/O layer from the shared helpers.
#pragma once

#include "support/scratch.h"
