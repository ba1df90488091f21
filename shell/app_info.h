// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Moved to core/ (nothing below the widgets includes shell/); this name is
// kept for code written against it.

#include "core/app_info.h"
