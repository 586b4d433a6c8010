#pragma once
// Whether two paths name the same file. Splitting paths and letter case live in the
// support library (support/support.h), which every layer uses.

#include <string>

#include "support/support.h"

namespace zelk {

// True when a and b name the same file: the same file on disk when both exist (this
// catches ./x, symlinks and hard links), otherwise the same bytes.
bool SameFilePath(const std::string& a, const std::string& b);

}  // namespace zelk
