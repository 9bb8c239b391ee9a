#pragma once

namespace pierline {

// Whether this process's standard input is a terminal (a person may answer a question there).
bool standardInputIsTerminal();

} // namespace pierline
