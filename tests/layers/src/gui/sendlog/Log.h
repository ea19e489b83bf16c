#pragma once

// A send-log window header that reaches up into the compose windows: the check must name this line.
#include "gui/compose/Compose.h"
