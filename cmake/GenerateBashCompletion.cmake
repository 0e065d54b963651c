# Writes a program's bash completion from the options its --help lists (CLI11's layout: one line
# per option, "  -s,--long VALUE   description", the description on the next line when the
# names are long). What follows an option is read from its VALUE:
#   lower-case alternatives ("a|b|c", "{a,b,c}", "TEXT:{a,b,c}")   complete to those words;
#   a placeholder naming a file or output ("FILE", "OUT|DIR")       complete to files;
#   a placeholder naming a folder only ("DIR", "NAME=DIR")          complete to folders;
#   any other placeholder                                           completes to nothing;
#   no VALUE: a flag, after which options and files follow.
# The template receives @OPTIONS@ (every option name) and @VALUE_CASES@ (the arms of a `case` on
# the previous word). Arguments: -DPROGRAM= -DTEMPLATE= -DOUTPUT=
cmake_minimum_required(VERSION 3.25)
foreach(argument IN ITEMS PROGRAM TEMPLATE OUTPUT)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "missing -D${argument}=...")
  endif()
endforeach()

# The words an option's VALUE offers as choices, or nothing when it is a placeholder.
function(read_choices value out)
  set(${out} "" PARENT_SCOPE)
  string(REGEX REPLACE "^[A-Z]+:" "" value "${value}")
  if(value MATCHES "^{([^}]*)}$")
    string(REPLACE "," ";" alternatives "${CMAKE_MATCH_1}")
  else()
    string(REPLACE "|" ";" alternatives "${value}")
  endif()
  list(LENGTH alternatives count)
  if(count LESS 2)
    return()
  endif()
  foreach(word IN LISTS alternatives)
    if(NOT word MATCHES "^[a-z0-9][a-z0-9_.-]*$")
      return()
    endif()
  endforeach()
  set(${out} "${alternatives}" PARENT_SCOPE)
endfunction()

# The bash code that completes the value of an option whose VALUE reads <value>.
function(value_completion value out)
  read_choices("${value}" choices)
  if(choices)
    list(JOIN choices " " words)
    set(${out} "COMPREPLY=($(compgen -W '${words}' -- \"$cur\"))" PARENT_SCOPE)
  elseif(value MATCHES "FILE|OUT")
    set(${out} "_corvane_urdf_complete_files" PARENT_SCOPE)
  elseif(value MATCHES "DIR")
    set(${out} "_corvane_urdf_complete_directories" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

execute_process(COMMAND "${PROGRAM}" --help
  OUTPUT_VARIABLE help ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${result}): ${errors}")
endif()
string(REPLACE ";" "," help "${help}")
string(REGEX MATCHALL "\n  -[^\n]*" option_lines "\n${help}")
if(NOT option_lines)
  message(FATAL_ERROR "${PROGRAM} --help lists no options:\n${help}")
endif()

# Descriptions start in one column (CLI11's default is 30), seen where a description is continued
# or put on its own line. Names and value that fill the column up to its last character are
# followed by a single blank only.
set(column 30)
if(help MATCHES "\n(   +)[^ \n]")
  string(LENGTH "${CMAKE_MATCH_1}" column)
endif()

# The names and value of an option line, without its description.
function(option_part line out)
  string(SUBSTRING "${line}" 2 -1 rest)
  string(FIND "${rest}" "  " gap)
  string(LENGTH "${line}" length)
  if(NOT gap EQUAL -1)
    math(EXPR end "${gap} + 2")
    string(SUBSTRING "${line}" 0 ${end} line)
  elseif(length GREATER column)
    math(EXPR last "${column} - 1")
    string(SUBSTRING "${line}" ${last} 1 character)
    if(character STREQUAL " ")
      string(SUBSTRING "${line}" 0 ${column} line)
    endif()
  endif()
  string(STRIP "${line}" line)
  set(${out} "${line}" PARENT_SCOPE)
endfunction()

set(all_names "")
set(value_cases "")
foreach(line IN LISTS option_lines)
  string(SUBSTRING "${line}" 1 -1 line)
  option_part("${line}" part)
  # The value may hold single blanks ("INT in [0 - 100]").
  if(NOT part MATCHES "^(-[^ ]+)(( [^ ]+)*)$")
    message(FATAL_ERROR "cannot read the option line '${line}'")
  endif()
  string(REPLACE "," ";" names "${CMAKE_MATCH_1}")
  string(STRIP "${CMAKE_MATCH_2}" value)
  foreach(name IN LISTS names)
    if(NOT name MATCHES "^--?[A-Za-z0-9][A-Za-z0-9_-]*$")
      message(FATAL_ERROR "unexpected option name '${name}' in '${line}'")
    endif()
  endforeach()
  list(APPEND all_names ${names})
  if(NOT value STREQUAL "")
    value_completion("${value}" code)
    list(JOIN names "|" pattern)
    string(APPEND value_cases "        ${pattern})\n")
    if(code)
      string(APPEND value_cases "            ${code}\n")
    endif()
    string(APPEND value_cases "            return\n            ;;\n")
  endif()
endforeach()

list(JOIN all_names " " OPTIONS)
string(STRIP "${value_cases}" VALUE_CASES)
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
