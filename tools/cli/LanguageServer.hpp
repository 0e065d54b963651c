// `corvane-urdf lsp`: the language server on the program's standard streams.
#pragma once

namespace corvane::tools {

// Serves an editor on standard input and output until it says exit. Standard output carries
// the protocol alone: whatever else would print there (a library's log) goes to standard error.
// Returns the exit status: 0 after shutdown, 1 otherwise.
int runLanguageServerOnStandardStreams();

}  // namespace corvane::tools
