# A fuzzing build (CORVANE_BUILD_FUZZ, clang only): every target of the build, the libraries the
# fuzzers link included, is compiled with libFuzzer's coverage and with AddressSanitizer and
# UndefinedBehaviorSanitizer, so that the fuzzers see and check the code they drive. Sets
# CORVANE_FUZZING when that is possible; fuzz/ then adds the fuzzers.
include_guard(GLOBAL)
set(CORVANE_FUZZING OFF)

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(WARNING "Fuzz targets need clang (configure with CXX=clang++); skipping them")
  return()
endif()

include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer")
check_cxx_source_compiles([=[
  #include <cstddef>
  #include <cstdint>
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }
]=] CORVANE_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
if(NOT CORVANE_HAVE_LIBFUZZER)
  message(WARNING "clang cannot link libFuzzer (install libclang-rt-dev); skipping fuzz targets")
  return()
endif()

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
  -fno-omit-frame-pointer -g)
# The sanitizer runtimes are linked into the fuzzers; the shared libraries find them there.
set(CORVANE_FUZZING ON)
