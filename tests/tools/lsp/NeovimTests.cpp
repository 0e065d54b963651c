// Neovim's own client (nvim --headless, 0.7 as Debian packages it) against the built server:
// a xacro file with a fault planted in a macro, and the diagnostics Neovim shows for it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "TestSupport.hpp"
#include "support/ChildProcess.hpp"

namespace {

namespace fs = std::filesystem;

// clang-format off
const char* const plantedRobot = R"(<?xml version="1.0"?>
<robot name="planted" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <xacro:macro name="wheel" params="side">
    <link name="${side}_wheel">
      <inertial>
        <mass value="-1"/>
        <inertia ixx="0.1" ixy="0" ixz="0" iyy="0.1" iyz="0" izz="0.1"/>
      </inertial>
    </link>
  </xacro:macro>
  <link name="base"/>
  <xacro:wheel side="left"/>
  <joint name="left_joint" type="fixed"><parent link="base"/><child link="left_wheel"/></joint>
</robot>
)";
// clang-format on

TEST(Neovim, ShowsThePlantedFaultAtItsXacroLine) {
    if (std::system("command -v nvim >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no nvim on PATH (Debian: apt-get install neovim)";
    }
    const fs::path folder =
        fs::temp_directory_path() / ("corvane-lsp-neovim-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path robot = folder / "planted.urdf.xacro";
    const fs::path out = folder / "diagnostics.txt";
    std::ofstream(robot) << plantedRobot;
    const std::string script =
        std::string(CORVANE_SOURCE_DIR) + "/tests/tools/lsp/neovim-diagnostics.lua";
    const auto run = corvane::tools::runProgram(
        {"env", "CORVANE_URDF_TOOL=" CORVANE_URDF_TOOL, "CORVANE_LSP_FILE=" + robot.string(),
         "CORVANE_LSP_OUT=" + out.string(), "HOME=" + folder.string(),
         "XDG_STATE_HOME=" + folder.string(), "XDG_DATA_HOME=" + folder.string(), "nvim",
         "--headless", "--clean", "-n", "-u", script},
        "", std::chrono::seconds(60));
    std::ifstream stream(out);
    std::ostringstream shown;
    shown << stream.rdbuf();
    fs::remove_all(folder);
    ASSERT_FALSE(run.timedOut);
    // The <inertial> element of the macro, line 5, where the person edits.
    EXPECT_EQ(shown.str(), "5 mass-negative ERROR\n") << run.errors;
}

}  // namespace
