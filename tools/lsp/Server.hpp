// corvane-urdf lsp: the language server of URDF and xacro on standard input and output.
#pragma once

#include <istream>
#include <ostream>
#include <string>

namespace corvane::tools::lsp {

// Serves the client on `in` and `out` until it says exit or goes away; what the client cannot
// be told goes to `log`. Returns the exit status: 0 after shutdown, 1 otherwise.
int runLanguageServer(std::istream& in, std::ostream& out, std::ostream& log,
                      const std::string& version);

}  // namespace corvane::tools::lsp
