# Writes the files INPUTS, one after the other and in their order, into OUTPUT: the parts of one
# text kept in several source files. A file that does not end with a line break gets one, so
# that no part runs into the next. OUTPUT is replaced only when its content changes.
# Run as a script: cmake -DOUTPUT=joined -DINPUTS="a;b;c" -P JoinFiles.cmake
set(joined "")
foreach(input IN LISTS INPUTS)
  file(READ "${input}" part)
  string(APPEND joined "${part}")
  if(NOT joined MATCHES "\n$")
    string(APPEND joined "\n")
  endif()
endforeach()
file(WRITE "${OUTPUT}.new" "${joined}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
