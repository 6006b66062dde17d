#pragma once
// A short human description of a loaded case, printed by `torvex-batch --check`.

#include <string>

#include "model/tform1.h"

namespace torvex {

// Describes components, grid, times, step control, modes, side files and the
// initial compositions at both ends of a model that loaded without error.
std::string describeCase(const TForm1& model, const std::string& path);

}  // namespace torvex
