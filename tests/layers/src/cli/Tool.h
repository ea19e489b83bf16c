#pragma once

// The command-line program links the core only; a window header here must be named.
#include "gui/sendlog/Log.h"
