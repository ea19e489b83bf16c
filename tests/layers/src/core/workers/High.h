#pragma once

#include "shared/Low.h"
