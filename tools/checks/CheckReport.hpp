// corvane-urdf --check: the physical checks of one imported robot, printed the way compilers
// print diagnostics, one finding per line:
//   robot.urdf:42: error: body 'forearm': inertia breaks the triangle inequality (...)
//   [inertia-triangle]
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "checks/Findings.hpp"
#include "model/ImportedRobot.hpp"

namespace corvane::tools {

struct CheckTally {
    std::size_t errors = 0;
    std::size_t warnings = 0;
    std::size_t notes = 0;
};

struct CheckReport {
    // The findings shown, located, in the order of the checks; notes only when asked for.
    std::vector<Finding> findings;
    // The same findings as printed in text.
    std::vector<std::string> lines;
    CheckTally tally;  // every finding, shown or not
};

// Checks the imported document (and the URDF text itself, where the document cannot show a
// problem) and writes each finding as "FILE:LINE: SEVERITY: SUBJECT: MESSAGE [RULE]", with
// the line of the URDF element concerned ("FILE: ..." when the text has none), every byte that
// would not show as itself escaped (names keep host text's own escapes). For a xacro input the
// place is the xacro element that wrote that URDF element, followed by one "FILE:LINE: note: in
// macro 'NAME' called here" line per macro call and include that led there. Notes are counted,
// and written only with `showNotes` (--verbose).
CheckReport checkImportedRobot(const ImportedRobot& robot, bool showNotes);

// One finding as printed; `line` 0 leaves the line out.
std::string findingLine(const Finding& finding, const std::string& inputName, int line);

// After a file's findings: "FILE: checked: 2 errors, 1 warning" ("no errors or warnings" when
// there are none), with the notes counted when they are shown.
std::string tallyLine(const std::string& inputName, const CheckTally& tally, bool showNotes);

}  // namespace corvane::tools
