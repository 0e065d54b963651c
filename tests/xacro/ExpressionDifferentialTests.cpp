// The expression evaluator against Python itself: a seeded generator writes a few thousand
// random expressions over the grammar and the names an expression may use, python3 evaluates
// each under the same names, and each result's str() (or both refusing) must agree.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "Expression.hpp"

namespace corvane::xacro {
namespace {

namespace fs = std::filesystem;

// The properties every expression may use besides the builtins, as texts both sides evaluate.
const std::vector<std::pair<std::string, std::string>> properties = {
    {"n", "7"},
    {"m", "-3"},
    {"x", "2.5"},
    {"y", "-0.75"},
    {"big", "2 ** 70"},
    {"s", "'a_b c'"},
    {"esc", "'it\\'s \"q\" \\\\ \\t'"},
    {"items", "[3, 1, 2]"},
    {"words", "['b', 'a', 'c_d']"},
    {"t", "(1, 'x', 2.5)"},
    {"nested", "[[1, 2], (3, 4), []]"},
    {"fmt", "'{}-{:>5}'"},
};

// Writes random expressions from a fixed seed: the same texts on every run and machine
// (std::mt19937 is specified exactly; the distributions are not, so none is used).
class ExpressionGenerator {
  public:
    explicit ExpressionGenerator(std::uint32_t seed) : random_(seed) {}

    std::string any(int depth) {
        switch (pick(5)) {
            case 0:
                return integer(depth);
            case 1:
                return real(depth);
            case 2:
                return text(depth);
            case 3:
                return list(depth);
            default:
                return mixed(depth);
        }
    }

  private:
    std::size_t pick(std::size_t n) { return random_() % n; }
    template <std::size_t N>
    std::string from(const char* const (&options)[N]) {
        return options[pick(N)];
    }
    bool leaf(int depth) { return depth <= 0 || pick(3) == 0; }

    std::string smallInt() {
        static const char* const values[] = {"0", "1", "2", "3", "-1", "-2", "5", "-7"};
        return from(values);
    }

    std::string integer(int depth) {
        if (leaf(depth)) {
            static const char* const values[] = {"0",
                                                 "1",
                                                 "2",
                                                 "3",
                                                 "7",
                                                 "-1",
                                                 "-4",
                                                 "10",
                                                 "255",
                                                 "0x1f",
                                                 "0o17",
                                                 "0b101",
                                                 "1_000",
                                                 "2147483648",
                                                 "9223372036854775807",
                                                 "-9223372036854775808",
                                                 "18446744073709551616",
                                                 "(10 ** 20)",
                                                 "n",
                                                 "m",
                                                 "big",
                                                 "True",
                                                 "False",
                                                 "len(s)",
                                                 "(-3)"};
            return from(values);
        }
        const int d = depth - 1;
        switch (pick(14)) {
            case 0:
            case 1: {
                static const char* const ops[] = {"+", "-", "*", "//", "%", "&", "|", "^"};
                return "(" + integer(d) + " " + from(ops) + " " + integer(d) + ")";
            }
            case 2:
                return "(" + integer(d) + " ** " + std::to_string(pick(5)) + ")";
            case 3:
                return "(" + integer(d) + (pick(2) ? " << " : " >> ") + std::to_string(pick(70)) +
                       ")";
            case 4:
                return (pick(2) ? "-" : "~") + integer(d);
            case 5:
                return "len(" + sequence(d) + ")";
            case 6:
                return "int(" + any(d) + ")";
            case 7:
                return "round(" + real(d) + ")";
            case 8:
                return "python.abs(" + integer(d) + ")";
            case 9: {
                static const char* const fns[] = {"max", "min"};
                return from(fns) + std::string("(") + integer(d) + ", " + integer(d) + ")";
            }
            case 10:
                return "python.sum(" + intList(d) + ")";
            case 11:
                return "math.floor(" + real(d) + ")";
            case 12:
                return "(" + integer(d) + " if " + condition(d) + " else " + integer(d) + ")";
            default:
                return text(d) + ".find(" + text(0) + ", " + smallInt() + ")";
        }
    }

    std::string real(int depth) {
        if (leaf(depth)) {
            static const char* const values[] = {
                "0.0",  "0.5",  "1.5",          "-2.25", "1e16", "1e-05", "3.14159", "1e300",
                "0.1",  "2.",   ".5",           "x",     "y",    "pi",    "e",       "inf",
                "-0.0", "1e22", "123456789.125"};
            return from(values);
        }
        const int d = depth - 1;
        switch (pick(11)) {
            case 0:
            case 1: {
                static const char* const ops[] = {"+", "-", "*", "/", "//", "%"};
                return "(" + number(d) + " " + from(ops) + " " + number(d) + ")";
            }
            case 2:
                return "(" + real(d) + " ** " + std::to_string(pick(4)) + ")";
            case 3:
                return "float(" + any(d) + ")";
            case 4: {
                static const char* const fns[] = {"sqrt",    "fabs",    "sin",   "cos",
                                                  "atan",    "exp",     "log10", "degrees",
                                                  "radians", "math.log"};
                return from(fns) + std::string("(") + number(d) + ")";
            }
            case 5:
                return "math.log(" + number(d) + ", 2)";
            case 6:
                return "round(" + real(d) + ", " + smallInt() + ")";
            case 7:
                return "atan2(" + number(d) + ", " + number(d) + ")";
            case 8:
                return "-" + real(d);
            case 9:
                return "math.fsum(" + list(d) + ")";
            default:
                return "python.divmod(" + number(d) + ", " + number(d) + ")[" +
                       std::to_string(pick(2)) + "]";
        }
    }

    std::string number(int depth) { return pick(2) ? integer(depth) : real(depth); }

    std::string stringLiteral() {
        static const char* const values[] = {
            "'abc'",     "'a_b_c'",    "\"it's\"", "'tab\\tx'",    "'back\\\\slash'",
            "'q\"uote'", "''",         "'A B c'",  "'12'",         "'+7'",
            "'-3'",      "r'a\\n'",    "'x' 'y'",  "'\\x41\\101'", "'  pad  '",
            "'1.5'",     "'Arm_Link'", "'\\n'"};
        return from(values);
    }

    std::string text(int depth) {
        if (leaf(depth)) {
            static const char* const names[] = {"s", "esc", "words[0]"};
            return pick(4) ? stringLiteral() : from(names);
        }
        const int d = depth - 1;
        switch (pick(18)) {
            case 0:
                return "(" + text(d) + " + " + text(d) + ")";
            case 1:
                return "(" + text(d) + " * " + std::to_string(pick(4)) + ")";
            case 2:
                return "str(" + any(d) + ")";
            case 3:
                return "python.repr(" + any(d) + ")";
            case 4:
                return text(d) + "[" + slice() + "]";
            case 5: {
                static const char* const methods[] = {"upper()",           "lower()",
                                                      "title()",           "capitalize()",
                                                      "strip()",           "lstrip('a')",
                                                      "rstrip()",          "swapcase()",
                                                      "zfill(6)",          "center(9, '*')",
                                                      "ljust(6, '.')",     "rjust(6)",
                                                      "replace('_', '-')", "replace('a', '', 1)",
                                                      "removeprefix('a')"};
                return text(d) + "." + from(methods);
            }
            case 6:
                return "'_'.join(" + textList(d) + ")";
            case 7:
                return "'%s_%d' % (" + text(d) + ", " + integer(d) + ")";
            case 8: {
                static const char* const formats[] = {
                    "'%5.2f'", "'%-6s|'", "'%r'",   "'%x'", "'%o'",   "'%+d'", "'%e'",
                    "'%g'",    "'%05d'",  "'%.3s'", "'%c'", "'%i%%'", "'%#x'", "'% d'"};
                return from(formats) + std::string(" % (") + any(d) + ",)";
            }
            case 9: {
                static const char* const formats[] = {
                    "'{:5}'",    "'{:>8.3f}'", "'{:,}'",   "'{!r}'",    "'{0}{0}'",  "'{:^7}'",
                    "'{:+.2e}'", "'{:08.3f}'", "'{:x}'",   "'{:_b}'",   "'{:.3}'",   "'{:g}'",
                    "'{:%}'",    "'{:*<6}'",   "'{:=+6}'", "fmt",       "'{:06}'",   "'{:#o}'",
                    "'{:<05}'",  "'{:n}'",     "'{:c}'",   "'{:10.4}'", "'{!s:>4}'", "'{:.0f}'",
                    "'{:e}'",    "'{:#g}'"};
                return from(formats) + std::string(".format(") + any(d) +
                       (pick(2) ? ", " + any(d) : "") + ")";
            }
            case 10:
                return "(" + text(d) + " if " + condition(d) + " else " + text(d) + ")";
            case 11:
                return text(d) + ".split('_')[" + smallInt() + "]";
            case 12:
                return "str(" + text(d) + ".rsplit('_', 1))";
            case 13:
                return "str(" + text(d) + ".partition('_'))";
            case 14:
                return "'%(a)s-%(b)r' % python.dict(a=" + any(d) + ", b=" + any(d) + ")";
            case 15:
                return "str(" + list(d) + ")";
            case 16:
                return "'{:.3f}'.format(" + number(d) + ")";
            default:
                return "str(" + text(d) + ".split())";
        }
    }

    std::string intList(int depth) {
        if (leaf(depth)) {
            static const char* const values[] = {"items",      "[]",      "[1, 2, 3]",
                                                 "[-5, 0, 5]", "[0] * 3", "[n, m]"};
            return from(values);
        }
        const int d = depth - 1;
        switch (pick(6)) {
            case 0:
                return "[" + integer(d) + ", " + integer(d) + "]";
            case 1:
                return "[v * 2 for v in " + intList(d) + " if v != 1]";
            case 2:
                return "list(map(lambda v: v - 1, " + intList(d) + "))";
            case 3:
                return "sorted(" + intList(d) + ")";
            case 4:
                return "list(python.range(" + smallInt() + ", " + smallInt() +
                       (pick(2) ? ", " + smallInt() : "") + "))";
            default:
                return "[a + b for a in " + intList(d) + " for b in (1, 2)]";
        }
    }

    std::string textList(int depth) {
        static const char* const values[] = {"words",
                                             "['x']",
                                             "[]",
                                             "list('abc')",
                                             "s.split('_')",
                                             "[str(v) for v in items]",
                                             "sorted(words, reverse=True)"};
        (void)depth;
        return from(values);
    }

    std::string list(int depth) {
        if (leaf(depth)) {
            static const char* const values[] = {
                "items", "words", "nested", "[1, 'a', None]", "[]", "[1.5, -2]", "[[0] * 2] * 2"};
            return from(values);
        }
        const int d = depth - 1;
        switch (pick(14)) {
            case 0:
                return intList(d);
            case 1:
                return textList(d);
            case 2:
                return "(" + list(d) + " + " + list(d) + ")";
            case 3:
                return list(d) + "[" + slice() + "]";
            case 4:
                return "list(python.zip(" + sequence(d) + ", " + sequence(d) + "))";
            case 5:
                return "list(python.enumerate(" + sequence(d) + (pick(2) ? ", 1" : "") + "))";
            case 6:
                return "list(python.reversed(" + list(d) + "))";
            case 7:
                return "list(python.filter(None, " + list(d) + "))";
            case 8:
                return "[" + any(d) + " for _ in python.range(2)]";
            case 9:
                return "sorted(" + sequence(d) + (pick(2) ? ", key=lambda v: -v" : "") + ")";
            case 10:
                return "list(" + sequence(d) + ")";
            case 11:
                return "[*" + sequence(d) + ", " + any(d) + "]";
            case 12:
                return "list(python.dict(python.zip(words, items)).items())";
            default:
                return "[" + any(d) + ", " + any(d) + "]";
        }
    }

    std::string sequence(int depth) {
        static const char* const values[] = {"t", "s", "python.range(4)", "(1,)", "()", "'ab'"};
        return pick(3) ? list(depth) : from(values);
    }

    std::string slice() {
        switch (pick(5)) {
            case 0:
                return smallInt();
            case 1:
                return smallInt() + ":";
            case 2:
                return ":" + smallInt();
            case 3:
                return "::" + smallInt();
            default:
                return smallInt() + ":" + smallInt() + ":" + smallInt();
        }
    }

    std::string condition(int depth) {
        const int d = depth - 1;
        switch (pick(10)) {
            case 0:
                return "(" + number(d) + " < " + number(d) + " <= " + number(d) + ")";
            case 1:
                return "(" + any(d) + " == " + any(d) + ")";
            case 2:
                return "(" + any(d) + " != " + any(d) + " != " + any(d) + ")";
            case 3:
                return "(" + any(d) + " in " + sequence(d) + ")";
            case 4:
                return "(" + text(d) + " not in " + text(d) + ")";
            case 5:
                return "(" + any(d) + " is None)";
            case 6:
                return "(" + any(d) + " and " + any(d) + ")";
            case 7:
                return "(" + any(d) + " or " + any(d) + " and " + any(d) + ")";
            case 8:
                return "(not " + any(d) + ")";
            default:
                return "python.isinstance(" + any(d) + ", (int, python.tuple))";
        }
    }

    std::string mixed(int depth) {
        if (leaf(depth)) {
            static const char* const values[] = {"None",
                                                 "True",
                                                 "t",
                                                 "(1,)",
                                                 "()",
                                                 "python.range(3)",
                                                 "nested[1]",
                                                 "python.complex(1, -2)",
                                                 "python.slice(1, 2)",
                                                 "math.nan",
                                                 "abs(-3)",
                                                 "python.open",
                                                 "python.map",
                                                 "python.range(10**9)[::-2]",
                                                 "python.ord('A')",
                                                 "len(python.frozenset([2, 1, 2]))",
                                                 "python.dict(a=1) == python.dict(a=1)",
                                                 "math.tau"};
            return from(values);
        }
        const int d = depth - 1;
        switch (pick(20)) {
            case 14:
                return "(lambda a: (lambda b: (a, b)))(" + any(d) + ")(" + any(d) + ")";
            case 15:
                return "python.sum(v * v for v in " + intList(d) + " if v % 2)";
            case 16:
                return "max(*" + intList(d) + ", " + integer(d) + ")";
            case 17:
                return "[(a, b) for a in " + sequence(d) + " if a for b in " + sequence(d) +
                       " if b != a]";
            case 18:
                return "(" + any(d) + " == " + any(d) + " == " + any(d) + ")";
            case 19:
                return "list(python.map(python.str, " + sequence(d) + ", " + sequence(d) + "))";
            case 0:
                return condition(d);
            case 1:
                return "(" + any(d) + ", " + any(d) + ")";
            case 2:
                return "(lambda a, b=" + any(0) + ": " + "(a, b))(" + any(d) + ")";
            case 3:
                return "python.any(v > 1 for v in " + intList(d) + ")";
            case 4:
                return "python.all(" + list(d) + ")";
            case 5:
                return "python.tuple(" + sequence(d) + ")";
            case 6:
                return "python.divmod(" + number(d) + ", " + number(d) + ")";
            case 7:
                return "python.sorted(python.set(" + intList(d) + "))";
            case 8:
                return "python.hash(" + integer(d) + ")";
            case 9:
                return "(" + any(d) + " if " + any(d) + " else " + any(d) + ")";
            case 10:
                return "python.type(" + any(d) + ")";
            case 11:
                return "python.dict(a=" + any(d) + ").get('a')";
            case 12:
                return "math.isclose(" + number(d) + ", " + number(d) + ")";
            default:
                return "(" + any(d) + " or " + any(d) + ")";
        }
    }

    std::mt19937 random_;
};

// The names an expression may use under the reference, built in Python as the expander builds
// them, then the properties; each line of the input is an expression in hex, each line of the
// output "ok HEX" (its str) or "error TYPE".
constexpr const char* pythonOracle = R"PY(
import builtins, math, signal, sys, types, warnings
warnings.simplefilter('ignore')
top = ['list', 'dict', 'map', 'len', 'str', 'float', 'int', 'True', 'False', 'min', 'max',
       'round', 'sorted', 'range']
under_python = top[:-2] + ['abs', 'all', 'any', 'complex', 'divmod', 'enumerate', 'filter',
       'frozenset', 'hash', 'isinstance', 'issubclass', 'ord', 'repr', 'reversed', 'slice', 'set',
       'sum', 'tuple', 'type', 'zip', 'sorted', 'range']
names = {'__builtins__': {}}
names.update({n: getattr(builtins, n) for n in top})
names.update({n: getattr(math, n) for n in dir(math) if not n.startswith('_')})
names['python'] = types.SimpleNamespace(**{n: getattr(builtins, n) for n in under_python})
names['math'] = math
def timeout(signum, frame):
    raise TimeoutError()
signal.signal(signal.SIGALRM, timeout)
lines = open(sys.argv[1]).read().split('\n')
count = int(lines[0])
for line in lines[1:1 + count]:
    name, text = bytes.fromhex(line).decode().split('=', 1)
    names[name] = eval(text, names)
out = open(sys.argv[2], 'w')
for line in lines[1 + count:]:
    if not line:
        continue
    signal.alarm(2)
    try:
        out.write('ok ' + str(eval(bytes.fromhex(line).decode(), names)).encode().hex() + '\n')
    except TimeoutError:
        out.write('timeout\n')
    except BaseException as error:
        out.write('error ' + type(error).__name__ + '\n')
    signal.alarm(0)
)PY";

std::string hex(const std::string& text) {
    static const char* const digits = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 15];
    }
    return out;
}
std::string unhex(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

// An object's address differs between any two runs: it is left out of the comparison.
std::string withoutAddress(const std::string& text) {
    static const std::regex address("0x[0-9a-f]{8,}");
    return std::regex_replace(text, address, "0x");
}

TEST(XacroExpressionDifferential, RandomExpressionsAgreeWithPython) {
    if (std::system("python3 -c pass >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no python3: expressions not compared with Python";
    constexpr int count = 4000;
    ExpressionGenerator generator(20'261'211);
    std::vector<std::string> expressions;
    for (int i = 0; i < count; ++i) expressions.push_back(generator.any(5));

    const fs::path folder =
        fs::temp_directory_path() / ("xacro-differential-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    {
        std::ofstream(folder / "oracle.py") << pythonOracle;
        std::ofstream input(folder / "input");
        input << properties.size() << "\n";
        for (const auto& [name, text] : properties) input << hex(name + "=" + text) << "\n";
        for (const std::string& expression : expressions) input << hex(expression) << "\n";
    }
    const std::string command = "python3 " + (folder / "oracle.py").string() + " " +
                                (folder / "input").string() + " " + (folder / "output").string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream output(folder / "output");
    std::vector<std::string> answers;
    for (std::string line; std::getline(output, line);) answers.push_back(line);
    fs::remove_all(folder);
    ASSERT_EQ(answers.size(), expressions.size());

    std::map<std::string, Value> values;
    const NameLookup lookup = [&](const std::string& name) -> std::optional<Value> {
        const auto found = values.find(name);
        if (found == values.end()) return std::nullopt;
        return found->second;
    };
    for (const auto& [name, text] : properties) values[name] = evaluate(text, lookup);

    int agreeing = 0, bothRefusing = 0, skipped = 0, differing = 0;
    for (std::size_t i = 0; i < expressions.size(); ++i) {
        std::optional<std::string> ours;
        std::string error;
        try {
            ours = strOf(evaluate(expressions[i], lookup));
        } catch (const EvalError& e) {
            error = e.what();
        }
        const std::string& answer = answers[i];
        if (answer == "timeout") {
            ++skipped;
            continue;
        }
        const bool pythonRefused = answer.starts_with("error ");
        if (pythonRefused && !ours) {
            ++bothRefusing;
            continue;
        }
        if (!pythonRefused && ours &&
            withoutAddress(*ours) == withoutAddress(unhex(answer.substr(3)))) {
            ++agreeing;
            continue;
        }
        ++differing;
        ADD_FAILURE() << expressions[i]
                      << "\n  python: " << (pythonRefused ? answer : unhex(answer.substr(3)))
                      << "\n  ours:   " << (ours ? *ours : "error: " + error);
    }
    std::cout << "differential: " << expressions.size() << " expressions generated, " << agreeing
              << " agreeing, " << bothRefusing << " both refusing, " << differing << " differing, "
              << skipped << " too slow in Python (not compared)\n";
    EXPECT_EQ(differing, 0);
    EXPECT_GT(agreeing, count / 2);  // the generator writes mostly valid expressions
}

}  // namespace
}  // namespace corvane::xacro
