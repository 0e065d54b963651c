# The manual page and the bash completion of a command-line program, both made at build time from
# the program's own --help (and --version) output, so that neither can fall behind the program.
include_guard(GLOBAL)
include(GNUInstallDirs)

find_program(CORVANE_HELP2MAN help2man DOC "help2man, which writes manual pages from --help output")

# corvane_add_manual_page(<target> INCLUDE <file.h2m> NAME <one-line description>
#                         COMPONENT <component>)
# Writes <target>.1 with help2man from `<target> --help` and `--version` plus the sections of
# the include file, and installs it into <mandir>/man1. Without help2man the page is left out
# with a message; the target <target>-manual-page exists when the page is made.
function(corvane_add_manual_page target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "INCLUDE;NAME;COMPONENT" "")
  if(NOT CORVANE_HELP2MAN)
    message(STATUS "help2man not found: the manual page of ${target} is not made")
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CORVANE_HELP2MAN} --no-info --section=1 --name=${arg_NAME}
            --include=${arg_INCLUDE} --output=${page} $<TARGET_FILE:${target}>
    DEPENDS ${target} ${arg_INCLUDE}
    COMMENT "Writing the manual page ${target}.1 from ${target} --help"
    VERBATIM)
  add_custom_target(${target}-manual-page ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${arg_COMPONENT})
endfunction()

# corvane_add_bash_completion(<target> TEMPLATE <file.bash.in> COMPONENT <component>)
# Fills the template with the options and formats listed by `<target> --help` (see
# GenerateBashCompletion.cmake) and installs the result as
# <datadir>/bash-completion/completions/<target>, where bash-completion loads a command's
# completion from on first use (Debian's bash-completion.pc names /usr/share/bash-completion/
# completions). The path stays relative to the prefix so that any prefix works.
function(corvane_add_bash_completion target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TEMPLATE;COMPONENT" "")
  set(completion ${CMAKE_CURRENT_BINARY_DIR}/${target}.bash)
  set(generator ${PROJECT_SOURCE_DIR}/cmake/GenerateBashCompletion.cmake)
  add_custom_command(OUTPUT ${completion}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DTEMPLATE=${arg_TEMPLATE}
            -DOUTPUT=${completion} -P ${generator}
    DEPENDS ${target} ${arg_TEMPLATE} ${generator}
    COMMENT "Writing the bash completion of ${target} from ${target} --help"
    VERBATIM)
  add_custom_target(${target}-bash-completion ALL DEPENDS ${completion})
  install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME ${target} COMPONENT ${arg_COMPONENT})
endfunction()
