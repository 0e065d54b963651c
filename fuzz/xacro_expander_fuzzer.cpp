// Feeds an arbitrary document to the xacro expander. The expander reads files, so the input is
// written into a package folder of the process's own (made once, removed at exit) beside a file
// it can include, a YAML file it can load and a package.xml; the package finder knows that one
// package. Besides the sanitizers' findings it stops on an exception other than ExpansionError,
// an error that names no file, an expansion that is not XML, and an expansion whose origins do
// not match its elements one to one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "XacroFuzzChecks.hpp"

namespace {

const corvane::testing::XacroFuzzPackage& package() {
    static const corvane::testing::XacroFuzzPackage folder;
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem =
        package().expansionProblem(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "xacro_expander_fuzzer: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
