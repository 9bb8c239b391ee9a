#pragma once

#include <stdexcept>

namespace pierline {

// A native dock that cannot be read or written; the message is shown to the user as it is.
struct DockTargetError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace pierline
