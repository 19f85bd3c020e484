// The formula evaluator: values of each number type, the function names and the formula errors with their
// positions as tables, and random formulas against exact GMP values.
#include "formula/formula_eval.h"

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "numeric/real_text.h"
#include "shell/ini_file.h"

namespace {

constexpr uint32_t R = kTypeReal, Q = kTypeRational, C = kTypeComplex, U = kTypeUnsigned, N = kTypeNone;

struct Outcome {
    uint32_t error;
    int32_t pos;
    std::string text;
};

std::u16string wide(const std::string& utf8) {
    std::u16string text;
    EXPECT_TRUE(utf8_to_utf16(utf8, text)) << utf8;
    return text;
}

// Evaluates formula under type and limbs and writes the result as the calculator shows it with `digits`
// significant digits; digits = 0 writes every digit, in plain form.
Outcome run(uint32_t type, int limbs, const std::string& formula, int digits = 10) {
    num_ctx.number_type = type;
    num_ctx.real_limbs = limbs;
    num_ctx.int_limbs = 512;
    std::vector<uint64_t> value(value_words() + 1, 0xA5A5A5A5A5A5A5A5ull);
    const uint64_t canary = value.back();
    evaluate_formula(value.data(), wide(formula).c_str());
    Outcome out{formula_result.formula_error, formula_result.formula_error_pos, {}};
    EXPECT_EQ(num_ctx.error_code, 0u) << "error code left set by " << formula;
    EXPECT_EQ(value.back(), canary) << "result written past its value: " << formula;
    num_ctx.min_plain_exponent = digits > 0 ? -4 : -100000;
    num_ctx.display_digits = digits > 0 ? digits : 100000;
    if (digits > 0 && (type == R || type == Q || type == C) && value_is_decimal(value.data()))
        value_round_digits(value.data(), value.data(), digits);
    const uint32_t flags = digits > 0 && type == Q ? uint32_t{kFmtPointZero} : 0u;
    std::u16string buffer(50000, u'\0');
    const int n = value_format(buffer.data(), static_cast<int>(buffer.size()), value.data(), flags);
    out.text = utf16_to_utf8(std::u16string_view(buffer.data(), static_cast<size_t>(n)));
    num_ctx.error_code = 0;
    return out;
}

class FormulaEval : public ::testing::Test {
  protected:
    void SetUp() override { init_numeric_context(), saved_scratch_ = num_ctx.scratch_top; }
    void TearDown() override { EXPECT_EQ(num_ctx.scratch_top, saved_scratch_) << "scratch stack not restored"; }
    uint8_t* saved_scratch_ = nullptr;
};

// ---- Values of each type ------------------------------------------------------------------------------------------

// Shown with 10 significant digits. The plain precedence and associativity of + - * / ^ are left to the random
// formulas below; these rows pin what they never write.
TEST_F(FormulaEval, ValuesOfEachType) {
    // clang-format off
    const struct { uint32_t type; int limbs; const char *formula, *text; } rows[] = {
        {R, 1, "2^3^2", "512"}, {R, 1, "-2^2", "4"},  // "^" right-associative; a sign binds tightest
        {R, 1, "-2^3^2", "-512"}, {R, 1, "-sqrt(16)^2", "16"}, {R, 1, "(+3)*2", "6"}, {R, 1, "1'000+1", "1001"},
        {R, 1, "1e-3*1000", "1"}, {R, 1, "2E2", "200"}, {R, 1, "\xCF\x80", "3.141592654"},  // π
        {R, 1, "2^64", "1.844674407e+19"}, {C, 1, "-i", "-i"}, {C, 1, "j", "i"}, {C, 1, "(2i)^2", "-4"},
        {C, 1, "(1+2)i", "3i"}, {C, 1, "2 i", "2i"}, {C, 1, "1e2i", "100i"},  // implicit products
        {C, 1, "(1+i)^(-2)", "-0.5i"}, {C, 1, "sqrt(4+0i)", "2"}, {C, 1, "(1+i)*(-2)", "-2-2i"},
        {C, 1, "(4+2i)/(-2)", "-2-i"}, {Q, 4, "(-3)*(1/2)", "-3/2"}, {Q, 4, "(1/2)/(-3)", "-1/6"},
        {Q, 4, "fac(20)", "2432902008176640000"}, {Q, 4, "2^100-1", "1267650600228229401496703205375"},
        // A real operand makes the result real: literals with a decimal point or exponent are reals.
        {Q, 4, "1e0*(1/3)", "0.3333333333"}, {Q, 4, "(1/3)/1e0", "0.3333333333"},
        {Q, 4, "(2/3)^2e0", "0.4444444444"}, {Q, 4, "(1/3)*1.5", "0.5"}, {Q, 4, "2.5*2", "5.0"},
        // At one limb each part has 32 bits: what outgrows them becomes a correctly rounded real.
        {Q, 1, "2^100-1", "1.2676506e+30"}, {Q, 1, "2^31", "2147483648"}, {Q, 1, "1/2^33", "1.164153218e-10"},
    };
    // clang-format on
    for (const auto& c : rows) {
        const Outcome o = run(c.type, c.limbs, c.formula);
        EXPECT_EQ(o.error, 0u) << c.formula << " failed at position " << o.pos;
        EXPECT_EQ(o.text, c.text) << c.formula << " type " << c.type << " L" << c.limbs;
    }
}

// Every function keyword reaches its own function: name(x) is the typed function of its code (whose results the
// typed-value tests check against MPFR) applied to x. fac is pinned by the rows above and the error table.
TEST_F(FormulaEval, FunctionNamesApplyTheirFunctions) {
    // clang-format off
    const struct { const char* name; int code; const char* argument; } rows[] = {
        {"sqrt", kFuncSqrt, "2"}, {"cbrt", kFuncCbrt, "2"}, {"ln", kFuncLn, "2"}, {"log2", kFuncLog2, "3"},
        {"log10", kFuncLog10, "3"}, {"exp", kFuncExp, "0.7"}, {"abs", kFuncAbs, "(-0.7)"}, {"sin", kFuncSin, "0.7"},
        {"cos", kFuncCos, "0.7"}, {"tan", kFuncTan, "0.7"}, {"asin", kFuncAsin, "0.3"}, {"acos", kFuncAcos, "0.3"},
        {"atan", kFuncAtan, "0.3"}, {"sinh", kFuncSinh, "0.7"}, {"cosh", kFuncCosh, "0.7"}, {"tanh", kFuncTanh, "0.7"},
        {"asinh", kFuncAsinh, "0.7"}, {"acosh", kFuncAcosh, "1.7"}, {"atanh", kFuncAtanh, "0.3"}};
    // clang-format on
    for (const auto& c : rows) {
        const std::string formula = std::string(c.name) + "(" + c.argument + ")";
        const Outcome o = run(R, 2, formula, 0);
        std::vector<uint64_t> x(value_words()), y(value_words());
        evaluate_formula(x.data(), wide(c.argument).c_str());
        value_unary(y.data(), x.data(), c.code);
        std::u16string want(200, u'\0');
        want.resize(static_cast<size_t>(value_format(want.data(), 200, y.data(), 0)));
        EXPECT_EQ(o.error, 0u) << formula;
        EXPECT_EQ(o.text, utf16_to_utf8(want)) << formula;
    }
}

// ---- Formula errors with their positions --------------------------------------------------------------------------

// A failed evaluation leaves 0 (nothing for an unsupported type).
TEST_F(FormulaEval, ErrorsCarryTheirCodeAndPosition) {
    constexpr uint32_t kSyntax = kFormulaSyntax, kParen = kFormulaMissingLeftParen, kEnd = kFormulaUnexpectedEnd,
                       kNumber = kFormulaNumber;
    // clang-format off
    const struct { uint32_t type; const char* formula; uint32_t error; int32_t pos; } rows[] = {
        {R, "2*-3", kSyntax, 3},        // the "-" after "*" is binary
        {R, "*2", kSyntax, 1},          {R, "2+*3", kSyntax, 3},        {R, "()", kSyntax, 2},
        {R, "2+)", kSyntax, 3},         {R, ")", kSyntax, 1},           {R, "(-)", kSyntax, 3},
        {R, "sqrt()", kSyntax, 6},      {R, "2(3)", kSyntax, 2},        {R, "2 sqrt(4)", kSyntax, 3},
        {R, "2sqrt(4)", kSyntax, 2},    {R, "Pi", kSyntax, 1},          {R, "Sin(1)", kSyntax, 1},  // case-sensitive
        {R, "sqr(4)", kSyntax, 1},      {R, "sqrt2(4)", kSyntax, 1},    {R, "x", kSyntax, 1},       // whole names
        {R, "1+y2", kSyntax, 3},        {R, "2;3", kSyntax, 2},         {R, "2 # 3", kSyntax, 3},
        {R, "3!", kSyntax, 2},          {C, "i sin(1)", kSyntax, 3},    {R, ".5", kSyntax, 1},     // bad token
        {R, "\xCF\x80+;", kSyntax, 3},  // positions count UTF-16 units: π is one
        {R, "1+2)", kParen, 4},         {R, "1)+(2", kParen, 2},        {R, "1 + 2 )", kParen, 7},
        {R, "(1+2", kEnd, 5},           {R, "((1)", kEnd, 5},           {R, "", kEnd, 1},
        {R, "   ", kEnd, 4},            {R, "2+", kEnd, 3},             {R, "2^3^", kEnd, 5},
        {R, "-", kEnd, 2},              {R, "sqrt", kEnd, 5},           {R, "2 3", kEnd, 4},        // two operands
        {R, "2pi", kEnd, 4},            {R, "sqrt 4", kEnd, 7},         {R, "1 2 +", kEnd, 6},
        {R, "1/0", kNumber, 4},         // the division happens when the end token is handled
        {R, "1/(1-1)", kNumber, 8},     {R, "1/0+5", kNumber, 4},       // reduced when "+" arrives
        {R, "i", kNumber, 1},           // no imaginary unit in the real type
        {R, "1.5.3", kNumber, 1},       {R, "2+1.5.3", kNumber, 3},     {R, "2e", kNumber, 1},   // literals rejected
        {R, "2i", kNumber, 1},          {R, "1e99999999999999999999", kNumber, 1},
        {R, "sqrt(-4)", kNumber, 7},    // the operand keeps the position of its number
        {R, "ln(0)", kNumber, 4},       {R, "fac(3.5)", kNumber, 5},    {R, "(-8)^(1/3)", kNumber, 11},
        {R, "10^10000000000000000000", kNumber, 24},  // not a word exponent: general power, overflow
        {C, "sqrt(-4)", kNumber, 7},    // no complex square root
        {C, "(2i)^0.5", kNumber, 9},    {C, "2^i", kNumber, 4},         {C, "sin(i)", kNumber, 5},
        {C, "2ii", kNumber, 1},         {Q, "(-8)^(1/3)", kNumber, 11}, // no exact form and no real value
        {U, "1+2", kNumber, 1},         {U, "pi", kNumber, 1},          {N, "(7)", kNumber, 2},  // not formula types
    };
    // clang-format on
    for (const auto& c : rows) {
        num_ctx.error_code = kErrDomain;  // stale: an evaluation starts clean
        const Outcome o = run(c.type, 1, c.formula);
        EXPECT_EQ(o.error, c.error) << c.formula << " type " << c.type;
        EXPECT_EQ(o.pos, c.pos) << c.formula << " type " << c.type;
        EXPECT_EQ(o.text, c.type == N ? "" : "0") << "a failed evaluation leaves 0: " << c.formula;
    }
}

// ---- Randomised formulas against exact oracles --------------------------------------------------------------------

struct Formula {
    std::string text;
    int level;  // 1: + -, 2: * /, 3: ^, 4: a leaf or a parenthesis
    mpq_class value;
    bool defined;  // false after a division by zero or 0 to a negative power
};

// A random formula over integer leaves up to 999 with + - * / ^, with the parentheses the grammar needs and a few
// more, and its exact value. A sign binds to the next operand, so negated leaves are parenthesised; exponents are
// leaves of -4..4. max_bits grows to the widest part of any value on the way.
Formula random_formula(std::mt19937_64& rng, int depth, size_t& max_bits) {
    const auto pick = [&rng](long lo, long hi) { return std::uniform_int_distribution<long>(lo, hi)(rng); };
    const auto space = [&pick]() { return std::string(pick(0, 4) == 0 ? " " : ""); };
    const auto leaf = [&](long max, bool negate) {
        const long v = pick(0, max);
        Formula f{std::to_string(v), 4, v, true};
        if (negate) f.text = std::string("(").append(space()).append("-").append(f.text).append(")"), f.value = -v;
        return f;
    };
    if (depth == 0 || pick(0, 3) == 0) return leaf(999, pick(0, 5) == 0);
    const char op = "+-*/^"[pick(0, 4)];
    const int level = op == '+' || op == '-' ? 1 : op == '^' ? 3 : 2;
    const Formula l = random_formula(rng, depth - 1, max_bits);
    const Formula r = op == '^' ? leaf(4, pick(0, 3) == 0) : random_formula(rng, depth - 1, max_bits);
    const bool left_parens = l.level < level || (op == '^' && l.level == 3) || pick(0, 9) == 0;
    const bool right_parens = r.level < level || (r.level == level && op != '^') || pick(0, 9) == 0;
    Formula n{(left_parens ? "(" + l.text + ")" : l.text) + space() + op + space() +
                  (right_parens ? "(" + r.text + ")" : r.text),
              level, 0, l.defined && r.defined};
    const mpq_class &a = l.value, &b = r.value;
    const long k = op == '^' ? b.get_num().get_si() : 0;
    n.defined = n.defined && (op != '^' || k >= 0 || a != 0) && (op != '/' || b != 0);
    if (n.defined && op == '^') {
        n.value = 1;
        for (long i = 0; i < std::labs(k); ++i) n.value *= a;
        if (k < 0) n.value = 1 / n.value;
    } else if (n.defined) {
        n.value = op == '+'   ? mpq_class(a + b)
                  : op == '-' ? mpq_class(a - b)
                  : op == '*' ? mpq_class(a * b)
                              : mpq_class(a / b);
    }
    max_bits =
        std::max({max_bits, mpz_sizeinbase(n.value.get_num_mpz_t(), 2), mpz_sizeinbase(n.value.get_den_mpz_t(), 2)});
    return n;
}

// Precedence, associativity, signs and parentheses against the exact value; 12 limbs hold parts of 384 bits.
TEST_F(FormulaEval, RandomRationalFormulasMatchGmp) {
    std::mt19937_64 rng(20261206);
    int checked = 0;
    for (int round = 0; round < 1500; ++round) {
        size_t max_bits = 0;
        const Formula f = random_formula(rng, 4, max_bits);
        if (f.defined && max_bits > 32 * 12) continue;
        const Outcome o = run(Q, 12, f.text, 0);
        ASSERT_EQ(o.error, f.defined ? 0u : uint32_t{kFormulaNumber}) << f.text << " at " << o.pos;
        if (!f.defined) continue;
        ASSERT_EQ(o.text, f.value.get_str()) << f.text;
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

}  // namespace
