#pragma once

// The compose windows may use the send-log windows; with sendlog/Log.h this closes a cycle.
#include "gui/sendlog/Log.h"
