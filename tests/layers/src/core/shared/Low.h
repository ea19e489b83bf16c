#pragma once

// A lower folder reaching up: the include check must name this line.
#include "workers/High.h"
