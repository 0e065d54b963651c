# Completes command lines with the installed bash completion, with bash-completion's helpers
# loaded (when the package is there) and without them, and checks the words offered against what
# the program's --help lists: formats after -f/--format, options after '-', files otherwise.
# Arguments: -DBASH= -DHELPER= (complete.bash) -DCOMPLETION= -DPROGRAM= -DWORK=
cmake_minimum_required(VERSION 3.25)
foreach(argument IN ITEMS BASH HELPER COMPLETION PROGRAM WORK)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "missing -D${argument}=...")
  endif()
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/HelpOptions.cmake)

if(NOT EXISTS "${COMPLETION}")
  message(FATAL_ERROR "not installed: ${COMPLETION}")
endif()

# A folder to complete file names in.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/meshes")
file(TOUCH "${WORK}/robot.urdf" "${WORK}/robot_arm.urdf" "${WORK}/notes.txt")

set(COMPLETION_FILE "${COMPLETION}")
set(COMPLETION_FOLDER "${WORK}")
include(${CMAKE_CURRENT_LIST_DIR}/ExpectCompletion.cmake)

read_help("${PROGRAM}" help)
help_options("${help}" options)
help_formats("${help}" formats)

set(modes --plain)
if(EXISTS /usr/share/bash-completion/bash_completion)
  list(PREPEND modes with-bash-completion)
else()
  message(STATUS "no /usr/share/bash-completion/bash_completion: completing without its helpers only")
endif()
foreach(mode IN LISTS modes)
  set(flag "")
  if(mode STREQUAL "--plain")
    set(flag --plain)
  endif()
  expect_completion("${flag}" "corvane-urdf -f " ${formats})
  expect_completion("${flag}" "corvane-urdf -q --format " ${formats})
  expect_completion("${flag}" "corvane-urdf --format=" ${formats})
  expect_completion("${flag}" "corvane-urdf -f js" json)
  expect_completion("${flag}" "corvane-urdf --he" --help)
  expect_completion("${flag}" "corvane-urdf -" ${options})
  expect_completion("${flag}" "corvane-urdf -q rob" robot.urdf robot_arm.urdf)
  expect_completion("${flag}" "corvane-urdf -o me" meshes)
  expect_completion("${flag}" "corvane-urdf -p ")
  expect_completion("${flag}" "corvane-urdf --check --check-format " text json sarif)
  message(STATUS "${mode}: -f completes to ${formats}; '-' to ${options}")
endforeach()
