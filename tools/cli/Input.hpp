// Reading the robot description the tool is given.
#pragma once

#include <string>

namespace corvane::tools {

// How messages name the input: the path as given, or "<stdin>" for "-".
std::string inputDisplayName(const std::string& input);

// The whole content of the file, or of standard input for "-". Throws ToolError (usage or I/O)
// naming the file and the cause when it cannot be read.
std::string readInput(const std::string& input);

}  // namespace corvane::tools
