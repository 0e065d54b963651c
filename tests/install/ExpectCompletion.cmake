# expect_completion(<mode> <line> <word>...): completing the end of <line> with the completion
# file COMPLETION_FILE, in the folder COMPLETION_FOLDER, offers exactly the words given (in any
# order). <mode> is --plain for bash without bash-completion's helpers, empty with them. The
# including script sets BASH (the shell), HELPER (complete.bash) and the two variables.
function(expect_completion mode line)
  set(expected "${ARGN}")
  list(SORT expected)
  set(how "with bash-completion's helpers")
  if(mode STREQUAL "--plain")
    set(how "without bash-completion's helpers")
  endif()
  execute_process(
    COMMAND "${BASH}" --norc --noprofile "${HELPER}" ${mode} "${COMPLETION_FILE}" "${line}"
    WORKING_DIRECTORY "${COMPLETION_FOLDER}"
    OUTPUT_VARIABLE offered ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "completing '${line}' ${how} failed (${result}):\n${offered}${errors}")
  endif()
  string(STRIP "${offered}" offered)
  string(REPLACE "\n" ";" offered "${offered}")
  list(SORT offered)
  if(NOT offered STREQUAL expected)
    message(FATAL_ERROR "completing '${line}' ${how}: offered '${offered}', expected '${expected}'")
  endif()
endfunction()
