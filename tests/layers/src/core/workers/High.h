#pragma once

#include "core/shared/Low.h"
