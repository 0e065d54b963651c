# Writes the completion from a --help text in CLI11's other layouts (choices in braces, a
# type before them, a value with blanks, folder and NAME=DIR values, long flag names, names and
# value that fill the name column so that a single blank precedes the description) and
# checks what it completes, so that options and formats added to the tool later are completed
# without anyone touching the completion.
# Arguments: -DBASH= -DHELPER= (complete.bash) -DGENERATOR= -DTEMPLATE= -DWORK=
cmake_minimum_required(VERSION 3.25)
foreach(argument IN ITEMS BASH HELPER GENERATOR TEMPLATE WORK)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "missing -D${argument}=...")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/files/packages" "${WORK}/files/pictures")
file(TOUCH "${WORK}/files/pack.urdf")

# A program whose --help is the layout to read.
set(help [=[Usage: corvane-urdf [OPTIONS] FILE...

Positionals:
  FILE TEXT ... REQUIRED      URDF files

Options:
  -h,--help                   Print this help message and exit
  --version                   Display program version information and exit
  -f,--format {text,json,dot,svg,png,html,snapshot}
                              Output format
  --level TEXT:{low,high}     A type before the choices
  -p,--precision INT in [0 - 100]
                              A value with blanks
  -j,--jobs INT in [1 - 8]    The same with the description on its line
  -o,--output OUT|DIR         Output file or folder
  --package-path DIR|NAME=DIR Folders holding the packages the FILEs name
  --report-every-finding-once Names that fill the column up to a single blank, FILE
  --check                     A flag
  --check-warnings-as-errors  A long flag
  -v,--verbose                A flag with a short name

Exit status: 0 on success; -x is no option of this list.
]=])
file(WRITE "${WORK}/help.txt" "${help}")
file(WRITE "${WORK}/program" "#!/bin/sh\ncat '${WORK}/help.txt'\n")
file(CHMOD "${WORK}/program" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

execute_process(COMMAND "${CMAKE_COMMAND}" -DPROGRAM=${WORK}/program -DTEMPLATE=${TEMPLATE}
                        -DOUTPUT=${WORK}/completion.bash -P "${GENERATOR}"
  OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "writing the completion failed (${result}):\n${output}")
endif()

set(COMPLETION_FILE "${WORK}/completion.bash")
set(COMPLETION_FOLDER "${WORK}/files")
include(${CMAKE_CURRENT_LIST_DIR}/ExpectCompletion.cmake)

set(modes --plain)
if(EXISTS /usr/share/bash-completion/bash_completion)
  list(APPEND modes "")
endif()
foreach(mode IN LISTS modes)
  expect_completion("${mode}" "corvane-urdf -f " text json dot svg png html snapshot)
  expect_completion("${mode}" "corvane-urdf --format=sn" snapshot)
  expect_completion("${mode}" "corvane-urdf --level " low high)
  expect_completion("${mode}" "corvane-urdf -" -h --help --version -f --format --level -p
                    --precision -j --jobs -o --output --package-path --check
                    --check-warnings-as-errors -v --verbose --report-every-finding-once)
  expect_completion("${mode}" "corvane-urdf --check-" --check-warnings-as-errors)
  expect_completion("${mode}" "corvane-urdf -p ")
  expect_completion("${mode}" "corvane-urdf -j ")
  expect_completion("${mode}" "corvane-urdf -o pa" packages pack.urdf)
  expect_completion("${mode}" "corvane-urdf --package-path pa" packages)
  expect_completion("${mode}" "corvane-urdf --package-path robot=pi" pictures)
  expect_completion("${mode}" "corvane-urdf --check pa" packages pack.urdf)
  expect_completion("${mode}" "corvane-urdf --report-every-finding-once --he" --help)
endforeach()
