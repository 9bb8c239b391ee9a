#include "platform/Terminal.h"

#include <unistd.h>

namespace pierline {

bool standardInputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

} // namespace pierline
