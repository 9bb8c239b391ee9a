#pragma once

#include <functional>

namespace pierline {

// Whether the desktop asks applications for dark colours.
using PrefersDarkColors = std::function<bool()>;

// The desktop's own colour-scheme setting; when it cannot be read, the answer is light (logged).
PrefersDarkColors systemPrefersDarkColors();

} // namespace pierline
