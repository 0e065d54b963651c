// Feeds arbitrary text to the xacro expression evaluator, as the text inside ${...}, with a few
// fixed names to look up (numbers, strings, a list, a map). Besides the sanitizers' findings it
// stops on an exception other than the evaluator's EvalError and on a value that evaluates
// differently the second time.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "XacroFuzzChecks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string problem = corvane::testing::expressionProblem(text);
    if (!problem.empty()) {
        std::fprintf(stderr, "xacro_expression_fuzzer: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
