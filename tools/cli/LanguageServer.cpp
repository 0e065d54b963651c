#include "cli/LanguageServer.hpp"

#include <unistd.h>

#include <cstdio>
#include <ext/stdio_filebuf.h>
#include <iostream>

#include "cli/CommandLine.hpp"
#include "lsp/Server.hpp"

namespace corvane::tools {

int runLanguageServerOnStandardStreams() {
    std::ios::sync_with_stdio(false);
    std::fflush(stdout);
    // The protocol keeps its own copy of standard output; the descriptor 1 itself then points
    // at standard error, so that a stray print cannot break a message.
    const int protocol = ::dup(STDOUT_FILENO);
    if (protocol < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::perror("corvane-urdf lsp: standard output");
        return 2;
    }
    __gnu_cxx::stdio_filebuf<char> buffer(protocol, std::ios::out | std::ios::binary);
    std::ostream out(&buffer);
    return lsp::runLanguageServer(std::cin, out, std::cerr, toolVersion());
}

}  // namespace corvane::tools
