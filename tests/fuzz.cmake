# A bounded fuzz run as part of ctest. fuzz/run builds the libFuzzer targets with clang in a build
# folder of their own below this one, then runs each for a fixed number of inputs from a fixed
# seed, starting from the generated seeds and the shared corpus (the xacro fuzzers: the shared
# xacro files and the expressions in them). The tests report "skipped" where
# clang or its libFuzzer runtime is missing. A finding fails the test; the input is written to
# fuzz-clang/artifacts/.
set(fuzz_build_dir ${CMAKE_BINARY_DIR}/fuzz-clang)
set(fuzz_run ${PROJECT_SOURCE_DIR}/fuzz/run --build-dir ${fuzz_build_dir})

add_test(NAME fuzz_build COMMAND ${fuzz_run} --build-only)
add_test(NAME fuzz_urdf_bounded
  COMMAND ${fuzz_run} --target urdf_fuzzer --runs 12000 --fresh
          --corpus ${fuzz_build_dir}/ctest-corpus/urdf_fuzzer)
add_test(NAME fuzz_nesting_bounded
  COMMAND ${fuzz_run} --target nesting_fuzzer --runs 150000 --fresh
          --corpus ${fuzz_build_dir}/ctest-corpus/nesting_fuzzer)
add_test(NAME fuzz_xacro_expression_bounded
  COMMAND ${fuzz_run} --target xacro_expression_fuzzer --runs 500000 --fresh
          --corpus ${fuzz_build_dir}/ctest-corpus/xacro_expression_fuzzer)
add_test(NAME fuzz_xacro_expander_bounded
  COMMAND ${fuzz_run} --target xacro_expander_fuzzer --runs 40000 --fresh
          --corpus ${fuzz_build_dir}/ctest-corpus/xacro_expander_fuzzer)

set_tests_properties(fuzz_build PROPERTIES
  FIXTURES_SETUP fuzz_targets TIMEOUT 900 SKIP_RETURN_CODE 77 LABELS fuzz
  ENVIRONMENT "CMAKE=${CMAKE_COMMAND}")
set_tests_properties(fuzz_urdf_bounded fuzz_nesting_bounded fuzz_xacro_expression_bounded
  fuzz_xacro_expander_bounded PROPERTIES
  FIXTURES_REQUIRED fuzz_targets TIMEOUT 600 SKIP_RETURN_CODE 77 LABELS fuzz RUN_SERIAL TRUE
  ENVIRONMENT "CMAKE=${CMAKE_COMMAND}")
