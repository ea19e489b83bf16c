#pragma once

// A lower folder reaching up: the include check must name this line.
#include "core/workers/High.h"
