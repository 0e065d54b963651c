// Python's operators on xacro values: arithmetic exact on ints of any size, floor division and
// modulo of negatives as Python, sequences joined and repeated, sets combined.
#pragma once

#include <cstddef>
#include <string>

#include "Syntax.hpp"
#include "Value.hpp"

namespace corvane::xacro {

// Texts and lists made by + and * stop at this size, and ints at this many bits, so that a
// doubling property cannot exhaust memory.
constexpr std::size_t maxTextSize = 10'000'000;
constexpr std::size_t maxIntBits = 131'072;

Value binary(Context& context, BinaryOp op, const Value& a, const Value& b);
// OP is "-", "+" or "~".
Value unary(const std::string& op, const Value& value);
bool compare(Context& context, CompareOp op, const Value& a, const Value& b);
std::string operatorText(BinaryOp op);

// A op B for the arithmetic operators written as text (+ - * / // % **), as Python computes
// them; sum() and the tests use it.
Value arithmetic(const std::string& op, const Value& a, const Value& b);

}  // namespace corvane::xacro
