// The expression evaluator: Python 3 number printing, operators and their limits.
#include <gtest/gtest.h>

#include <string>

#include "Expression.hpp"

namespace corvane::xacro {
namespace {

std::string shown(const std::string& expression) {
    return strOf(evaluate(expression, [](const std::string&) { return std::optional<Value>{}; }));
}

TEST(XacroExpression, NumbersPrintAsPython) {
    EXPECT_EQ(shown("0.1 + 0.2"), "0.30000000000000004");
    EXPECT_EQ(shown("0.00001"), "1e-05");
    EXPECT_EQ(shown("1e16"), "1e+16");
    EXPECT_EQ(shown("1e15"), "1000000000000000.0");
    EXPECT_EQ(shown("6 / 2"), "3.0");
    EXPECT_EQ(shown("7 // 2"), "3");
    EXPECT_EQ(shown("-7 // 2"), "-4");
    EXPECT_EQ(shown("-7 % 3"), "2");
    EXPECT_EQ(shown("0.0001"), "0.0001");
    EXPECT_EQ(shown("1 == 1.0"), "True");
    EXPECT_EQ(shown("-2.5e-7"), "-2.5e-07");
}

TEST(XacroExpression, PrecedenceAndOperators) {
    EXPECT_EQ(shown("1 + 2 * 3 ** 2"), "19");
    EXPECT_EQ(shown("-2 ** 2"), "-4");
    EXPECT_EQ(shown("2 ** 3 ** 2"), "512");
    EXPECT_EQ(shown("'a' if 1 < 2 else 'b'"), "a");
    EXPECT_EQ(shown("'b' in ['a', 'b'] and not 3 in [1]"), "True");
    EXPECT_EQ(shown("[1, 2, 3][-1]"), "3");
    EXPECT_EQ(shown("(1,)"), "(1,)");
    EXPECT_EQ(shown("{'k': 2}['k'] * 1.5"), "3.0");
    EXPECT_EQ(shown("radians(180) == pi"), "True");
    EXPECT_EQ(shown("math.sqrt(4)"), "2.0");
    EXPECT_EQ(shown("1 if True else 1/0"), "1");
    EXPECT_EQ(shown("'ab'.upper() + 'x_y'.replace('_', '-')[1:]"), "AB-y");
}

TEST(XacroExpression, RefusesWhatPythonRefusesOrWhatCouldHarm) {
    const auto fails = [](const std::string& expression) {
        EXPECT_THROW(shown(expression), EvalError) << expression;
    };
    fails("1 / 0");
    fails("w +* 2");
    fails("9223372036854775807 + 1");
    fails("10**10**10");
    fails("__import__('os')");
    fails("undefined_name");
    fails("'a' - 1");
    fails(std::string(100000, '(') + "1" + std::string(100000, ')'));
    fails(std::string(100000, '-') + "1");
}

}  // namespace
}  // namespace corvane::xacro

namespace corvane::xacro {
namespace {

TEST(XacroExpression, FloatsWithoutAnIntegerAndTextsWithoutAFloatAreRefused) {
    EXPECT_EQ(shown("float(' +2.5 ')"), "2.5");
    EXPECT_EQ(shown("float('1e999')"), "inf");
    EXPECT_EQ(shown("int(-2.7)"), "-2");
    EXPECT_EQ(shown("round(2.5)"), "2");
    for (const char* expression :
         {"float('QQQ')", "float('')", "float('1.5x')", "floor(inf)", "ceil(-inf)", "int(1e300)",
          "round(-1e300)", "int(float('nan'))", "floor(9.3e18)"})
        EXPECT_THROW(shown(expression), EvalError) << expression;
}

}  // namespace
}  // namespace corvane::xacro
