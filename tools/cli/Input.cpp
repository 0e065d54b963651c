#include "cli/Input.hpp"

#include <unistd.h>

#include "cli/Options.hpp"
#include "support/Files.hpp"

namespace corvane::tools {

std::string inputDisplayName(const std::string& input) {
    return input == standardStream ? "<stdin>" : input;
}

std::string readInput(const std::string& input) {
    const std::string name = inputDisplayName(input);
    if (input == standardStream) return readAll(STDIN_FILENO, name);
    return readWholeFile(input, name);
}

}  // namespace corvane::tools
