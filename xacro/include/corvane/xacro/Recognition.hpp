// Telling a xacro file by its content, for files whose name does not say (turtlebot3's *.urdf
// files are written in xacro).
#pragma once

#include <string_view>

namespace corvane::xacro {

// Whether URI names the xacro namespace, in one of the forms files write:
// http://www.ros.org/wiki/xacro, http://ros.org/wiki/xacro, http://wiki.ros.org/xacro.
bool isXacroNamespace(std::string_view uri);

// Whether TEXT is written in xacro: its root element declares the xacro namespace and an element
// of that namespace stands in it. A URDF made by xacro often keeps the declaration alone; text
// that is not XML is not xacro either (reading it as URDF reports the fault).
bool isXacroDocument(std::string_view text);

}  // namespace corvane::xacro
