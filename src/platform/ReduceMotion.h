#pragma once

#include <functional>

namespace pierline {

// Whether the desktop asks for animations to be left out.
using ReduceMotion = std::function<bool()>;

// The desktop's own setting; when it cannot be read, animations stay on.
ReduceMotion systemReduceMotion();

} // namespace pierline
