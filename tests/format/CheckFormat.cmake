# Runs clang-format --dry-run -Werror over the project's C++ sources (below ROOT) with the
# project's .clang-format: a file that clang-format would change fails the test, with its
# findings. Without clang-format the test says so and is reported as skipped.
find_program(CLANG_FORMAT NAMES clang-format clang-format-14)
if(NOT CLANG_FORMAT)
  message("-- skipped: clang-format not found (scripts/install-deps installs it); the format of "
          "the sources is not checked")
  return()
endif()
set(folders include src host tools xacro tests bench fuzz examples)
set(sources)
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE found ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.hpp ${ROOT}/${folder}/*.h)
  list(APPEND sources ${found})
endforeach()
list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "no C++ sources found below ${ROOT}")
endif()
execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${sources}
                WORKING_DIRECTORY ${ROOT} RESULT_VARIABLE status ERROR_VARIABLE findings)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${findings}\nthese sources are not formatted as .clang-format says: "
                      "run clang-format -i on them")
endif()
message("-- ${count} sources formatted as .clang-format says")
