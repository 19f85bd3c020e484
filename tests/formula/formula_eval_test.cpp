#include "formula/formula_eval.h"

#include <gmp.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "numeric/real_text.h"
#include "shell/ini_file.h"

namespace {

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
    std::u16string text = wide(formula);
    evaluate_formula(value.data(), text.c_str());
    Outcome out{formula_result.formula_error, formula_result.formula_error_pos, {}};
    EXPECT_EQ(num_ctx.error_code, 0u) << "error code left set by " << formula;
    EXPECT_EQ(value.back(), canary) << "result written past its value: " << formula;
    uint32_t flags = 0;
    if (digits > 0) {
        num_ctx.min_plain_exponent = -4;
        num_ctx.display_digits = digits;
        if (type == kTypeRational) flags |= kFmtPointZero;
        if (value_is_decimal(value.data())) value_round_digits(value.data(), value.data(), digits);
    } else {
        num_ctx.min_plain_exponent = -100000;
        num_ctx.display_digits = 100000;
    }
    std::u16string buffer(50000, u'\0');
    int n = value_format(buffer.data(), static_cast<int>(buffer.size()), value.data(), flags);
    out.text = utf16_to_utf8(std::u16string_view(buffer.data(), static_cast<size_t>(n)));
    num_ctx.error_code = 0;
    return out;
}

class FormulaEval : public ::testing::Test {
  protected:
    void SetUp() override {
        init_numeric_context();
        saved_scratch_ = num_ctx.scratch_top;
    }
    void TearDown() override {
        EXPECT_EQ(num_ctx.scratch_top, saved_scratch_) << "scratch stack not restored";
        num_ctx.number_type = kTypeNone;
        num_ctx.real_limbs = 1;
        num_ctx.int_limbs = 1;
        num_ctx.min_plain_exponent = -4;
        num_ctx.display_digits = 10;
        num_ctx.decimal_point_chars[0] = u'.';
        num_ctx.decimal_point_chars[1] = u',';
    }
    uint8_t* saved_scratch_ = nullptr;
};

struct ValueCase {
    const char* formula;
    const char* text;
};

template <size_t N>
void expect_values(uint32_t type, int limbs, const ValueCase (&cases)[N], int digits = 10) {
    for (const ValueCase& c : cases) {
        Outcome o = run(type, limbs, c.formula, digits);
        EXPECT_EQ(o.error, 0u) << c.formula << " failed at position " << o.pos;
        EXPECT_EQ(o.text, c.text) << c.formula;
    }
}

// ---- Operators, precedence and associativity ----------------------------------------------------------------------

// clang-format off
const ValueCase kOperatorCases[] = {
    {"2^3^2", "512"},             // "^" is right-associative
    {"(2^3)^2", "64"},
    {"2^3*4", "32"},              // "^" before "*"
    {"2*3^2", "18"},
    {"2-3+4", "3"},               // "+" and "-" left to right
    {"1-2-3", "-4"},
    {"2+3*4", "14"},              // "*" before "+"
    {"2*3+4*5", "26"},
    {"8/2/2", "2"},               // "/" left to right
    {"100/10*2", "20"},           // "*" and "/" on one level
    {"2*3/4", "1.5"},
    {"1+2^3*2-4/2", "15"},
    {"2^2*3^2", "36"},
    {"-2^2", "4"},                // a sign binds tighter than every operator
    {"-2^3^2", "-512"},
    {"-(2^2)", "-4"},
    {"-sqrt(4)", "-2"},
    {"-sqrt(16)^2", "16"},        // the sign goes with the function, before "^"
    {"sqrt(16)^2", "16"},
    {"2*(-3)", "-6"},
    {"(-3)^2", "9"},
    {"2^(-1)", "0.5"},
    {"+3", "3"},
    {"(+3)*2", "6"},
    {"-3+5", "2"},
    {" 2 +  3 ", "5"},            // spaces between tokens
    {"((2))", "2"},
    {"1'000+1", "1001"},          // group characters inside a literal
    {"1e3+1", "1001"},            // exponent with and without sign
    {"1e-3*1000", "1"},
    {"2E2", "200"},
    {"3.5*2", "7"},
    {"pi", "3.141592654"},
    {"\xCF\x80", "3.141592654"},  // π
    {"2*pi", "6.283185307"},
    {"-pi", "-3.141592654"},
    {"1/3", "0.3333333333"},
    {"2^0.5", "1.414213562"},     // general power
    {"2^64", "1.844674407e+19"},
};
// clang-format on

TEST_F(FormulaEval, OperatorsFollowPrecedenceAndAssociativity) {
    expect_values(kTypeReal, 1, kOperatorCases);
}

// Every function keyword reaches its own function: the result agrees with MPFR on 30 significant digits.
struct FunctionCase {
    const char* name;
    int (*mpfr_fn)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
    const char* argument;
};

int mpfr_fac(mpfr_ptr r, mpfr_srcptr x, mpfr_rnd_t rnd) {
    return mpfr_fac_ui(r, mpfr_get_ui(x, rnd), rnd);
}

const FunctionCase kFunctionCases[] = {
    {"sqrt", mpfr_sqrt, "2"},     {"cbrt", mpfr_cbrt, "2"},     {"ln", mpfr_log, "2"},
    {"log2", mpfr_log2, "3"},     {"log10", mpfr_log10, "3"},   {"exp", mpfr_exp, "0.7"},
    {"abs", mpfr_abs, "-0.7"},    {"sin", mpfr_sin, "0.7"},     {"cos", mpfr_cos, "0.7"},
    {"tan", mpfr_tan, "0.7"},     {"asin", mpfr_asin, "0.3"},   {"acos", mpfr_acos, "0.3"},
    {"atan", mpfr_atan, "0.3"},   {"sinh", mpfr_sinh, "0.7"},   {"cosh", mpfr_cosh, "0.7"},
    {"tanh", mpfr_tanh, "0.7"},   {"asinh", mpfr_asinh, "0.7"}, {"acosh", mpfr_acosh, "1.7"},
    {"atanh", mpfr_atanh, "0.3"}, {"fac", mpfr_fac, "25"},
};

TEST_F(FormulaEval, FunctionNamesApplyTheirFunctions) {
    mpfr_t x, y, shown;
    mpfr_inits2(256, x, y, shown, static_cast<mpfr_ptr>(nullptr));
    for (const FunctionCase& c : kFunctionCases) {
        std::string formula = std::string(c.name) + "(" + c.argument + ")";
        mpfr_set_str(x, c.argument, 10, MPFR_RNDN);
        c.mpfr_fn(y, x, MPFR_RNDN);
        Outcome o = run(kTypeReal, 2, formula, 30);
        ASSERT_EQ(o.error, 0u) << formula;
        // Shown with 30 significant digits: within half a unit of the 30th digit of the true value.
        mpfr_set_str(shown, o.text.c_str(), 10, MPFR_RNDN);
        mpfr_sub(x, shown, y, MPFR_RNDN);
        mpfr_div(x, x, y, MPFR_RNDN);
        EXPECT_LT(std::fabs(mpfr_get_d(x, MPFR_RNDN)), 1e-29) << formula << " gave " << o.text;
    }
    mpfr_clears(x, y, shown, static_cast<mpfr_ptr>(nullptr));
}

TEST_F(FormulaEval, PiHasTheDigitsOfThePrecision) {
    Outcome o = run(kTypeReal, 3, "pi", 50);
    EXPECT_EQ(o.text, "3.1415926535897932384626433832795028841971693993751");
    o = run(kTypeRational, 3, "pi", 50);  // no exact form: the real value
    EXPECT_EQ(o.text, "3.1415926535897932384626433832795028841971693993751");
}

// ---- Formula errors with their positions --------------------------------------------------------------------------

struct ErrorCase {
    const char* formula;
    uint32_t error;
    int32_t pos;
};

// clang-format off
const ErrorCase kErrorCases[] = {
    {"2*-3", kFormulaSyntax, 3},                      // the "-" after "*" is binary
    {"*2", kFormulaSyntax, 1},                        // operator without left operand
    {"2+*3", kFormulaSyntax, 3},
    {"()", kFormulaSyntax, 2},                        // ")" without operand before it
    {"2+)", kFormulaSyntax, 3},
    {")", kFormulaSyntax, 1},
    {"(-)", kFormulaSyntax, 3},
    {"sqrt()", kFormulaSyntax, 6},
    {"2(3)", kFormulaSyntax, 2},                      // "(" right after an operand
    {"2 sqrt(4)", kFormulaSyntax, 3},                 // function right after an operand
    {"2sqrt(4)", kFormulaSyntax, 2},
    {"Pi", kFormulaSyntax, 1},                        // names are case-sensitive
    {"Sin(1)", kFormulaSyntax, 1},
    {"sqr(4)", kFormulaSyntax, 1},                    // names match over their whole length
    {"sqrt2(4)", kFormulaSyntax, 1},
    {"x", kFormulaSyntax, 1},
    {"1+y2", kFormulaSyntax, 3},
    {"2;3", kFormulaSyntax, 2},                       // ";"
    {"2 # 3", kFormulaSyntax, 3},                     // a character that starts no token
    {"3!", kFormulaSyntax, 2},
    {"1+2)", kFormulaMissingLeftParen, 4},
    {"1)+(2", kFormulaMissingLeftParen, 2},
    {"1 + 2 )", kFormulaMissingLeftParen, 7},
    {"(1+2", kFormulaUnexpectedEnd, 5},               // open parenthesis at the end
    {"((1)", kFormulaUnexpectedEnd, 5},
    {"", kFormulaUnexpectedEnd, 1},                   // empty text
    {"   ", kFormulaUnexpectedEnd, 4},
    {"2+", kFormulaUnexpectedEnd, 3},                 // ends after an operator
    {"2^3^", kFormulaUnexpectedEnd, 5},
    {"-", kFormulaUnexpectedEnd, 2},
    {"sqrt", kFormulaUnexpectedEnd, 5},
    {"2 3", kFormulaUnexpectedEnd, 4},                // two operands side by side
    {"2pi", kFormulaUnexpectedEnd, 4},
    {"sqrt 4", kFormulaUnexpectedEnd, 7},
    {"1 2 +", kFormulaUnexpectedEnd, 6},
    {"1/0", kFormulaNumber, 4},                       // the division happens when the end token is handled
    {"1/(1-1)", kFormulaNumber, 8},
    {"1/0+5", kFormulaNumber, 4},                     // reduced when "+" arrives
    {"i", kFormulaNumber, 1},                         // no imaginary unit in the real type
    {"1.5.3", kFormulaNumber, 1},                     // a literal the parser rejects
    {"2+1.5.3", kFormulaNumber, 3},
    {"2e", kFormulaNumber, 1},
    {"2i", kFormulaNumber, 1},
    {"1e99999999999999999999", kFormulaNumber, 1},
    {"sqrt(-4)", kFormulaNumber, 7},                  // the operand keeps the position of its number
    {"ln(0)", kFormulaNumber, 4},
    {"fac(3.5)", kFormulaNumber, 5},
    {"(-8)^(1/3)", kFormulaNumber, 11},
    {"10^10000000000000000000", kFormulaNumber, 24},  // not a word exponent: general power, overflow
};
// clang-format on

TEST_F(FormulaEval, ErrorsCarryTheirCodeAndPosition) {
    for (const ErrorCase& c : kErrorCases) {
        Outcome o = run(kTypeReal, 1, c.formula);
        EXPECT_EQ(o.error, c.error) << c.formula;
        EXPECT_EQ(o.pos, c.pos) << c.formula;
        EXPECT_EQ(o.text, "0") << "a failed evaluation leaves 0: " << c.formula;
    }
}

TEST_F(FormulaEval, TheStackHoldsFiftyEntries) {
    // n opening parentheses, one operand and the closing ones: n + 2 entries are live when the first ")" arrives.
    for (int n : {47, 48, 49, 50, 60}) {
        std::string formula = std::string(n, '(') + "7" + std::string(n, ')');
        Outcome o = run(kTypeReal, 1, formula);
        if (n <= 48) {
            EXPECT_EQ(o.error, 0u) << n;
            EXPECT_EQ(o.text, "7") << n;
        } else {
            EXPECT_EQ(o.error, kFormulaTooComplex) << n;
            EXPECT_EQ(o.pos, 1) << n;
        }
    }
    // A right-associative chain keeps every operand: 25 of them and the end token fill the stack exactly.
    for (int n : {25, 26}) {
        std::string formula = "1";
        for (int i = 1; i < n; ++i) formula += "^1";
        Outcome o = run(kTypeReal, 1, formula);
        EXPECT_EQ(o.error, n <= 25 ? 0u : uint32_t{kFormulaTooComplex}) << n;
    }
    // Long chains that reduce as they go never fill it.
    std::string sum = "1";
    for (int i = 0; i < 5000; ++i) sum += "+1";
    EXPECT_EQ(run(kTypeReal, 1, sum).text, "5001");
}

TEST_F(FormulaEval, ANewEvaluationStartsClean) {
    EXPECT_EQ(run(kTypeReal, 1, "(((1").error, kFormulaUnexpectedEnd);
    EXPECT_EQ(run(kTypeReal, 1, "1/0").error, kFormulaNumber);
    num_ctx.error_code = kErrDomain;  // a stale numeric error must not leak into the next formula
    Outcome o = run(kTypeReal, 1, "2+2");
    EXPECT_EQ(o.error, 0u);
    EXPECT_EQ(o.pos, 0);
    EXPECT_EQ(o.text, "4");
}

// ---- Number types -------------------------------------------------------------------------------------------------

// clang-format off
const ValueCase kComplexCases[] = {
    {"(1+2i)*(3-i)", "5+5i"},
    {"(5+5i)/(3-i)", "1+2i"},
    {"(1+2)i", "3i"},          // implicit multiplication by the imaginary unit
    {"2 i", "2i"},
    {"2i", "2i"},              // one literal
    {"-i", "-i"},
    {"i", "i"},
    {"j", "i"},
    {"-2 i", "-2i"},
    {"3+4 i", "3+4i"},
    {"i*i", "-1"},
    {"i^2", "-1"},
    {"(2i)^2", "-4"},
    {"(1+i)^(-2)", "-0.5i"},
    {"sqrt(4+0i)", "2"},
    {"1+2i+3", "4+2i"},
    {"2*(1+i)", "2+2i"},       // word multiplication
    {"(1+i)*(-2)", "-2-2i"},
    {"(4+2i)/(-2)", "-2-i"},   // word division
    {"abs(3+4i)", "5"},        // modulus
    {"pi", "3.141592654"},
    {"1e2i", "100i"},
};
// clang-format on

TEST_F(FormulaEval, ComplexFormulas) {
    expect_values(kTypeComplex, 1, kComplexCases);
}

TEST_F(FormulaEval, ComplexFailures) {
    // clang-format off
    const ErrorCase cases[] = {
        {"sqrt(-4)", kFormulaNumber, 7},  // no complex square root
        {"(2i)^0.5", kFormulaNumber, 9},  // a non-integer exponent of a complex base
        {"2^i", kFormulaNumber, 4},       // a complex exponent
        {"sin(i)", kFormulaNumber, 5},    // real-only function
        {"i sin(1)", kFormulaSyntax, 3},
        {"2ii", kFormulaNumber, 1},       // the literal 2ii does not parse
    };
    // clang-format on
    for (const ErrorCase& c : cases) {
        Outcome o = run(kTypeComplex, 1, c.formula);
        EXPECT_EQ(o.error, c.error) << c.formula;
        EXPECT_EQ(o.pos, c.pos) << c.formula;
    }
}

// clang-format off
const ValueCase kRationalCases[] = {
    {"1/3+1/6", "1/2"},
    {"6/4", "3/2"},
    {"-7/2", "-7/2"},
    {"(4/9)^(3/2)", "8/27"},             // exact rational power
    {"(2/3)^2", "4/9"},                  // integer power
    {"(2/3)^(-2)", "9/4"},
    {"(-3)*(1/2)", "-3/2"},              // word multiplication with a negative word
    {"(1/2)*(-3)", "-3/2"},
    {"(1/2)/(-3)", "-1/6"},              // word division with a negative word
    {"(1/3)/1", "1/3"},
    {"sqrt(9/4)", "3/2"},
    {"cbrt(-8)", "-2"},
    {"log2(8)", "3"},
    {"log10(1/1000)", "-3"},
    {"fac(20)", "2432902008176640000"},
    {"2^100-1", "1267650600228229401496703205375"},
    // A word operand in real form makes the result real: literals with a decimal point or exponent are reals.
    {"1e0*(1/3)", "0.3333333333"},
    {"(1/3)*1e0", "0.3333333333"},
    {"(1/3)/1e0", "0.3333333333"},
    {"(2/3)^2e0", "0.4444444444"},
    {"(1/3)*1.5", "0.5"},           // typed multiply of a fraction and a real
    {"2.5*2", "5.0"},               // a real form is shown with its point
    {"sqrt(2)", "1.414213562"},
};
// clang-format on

TEST_F(FormulaEval, RationalFormulasStayExactWherePossible) {
    expect_values(kTypeRational, 4, kRationalCases);
    // The power of a negative base to a fraction has no exact form and no real value.
    EXPECT_EQ(run(kTypeRational, 4, "(-8)^(1/3)").error, kFormulaNumber);
}

TEST_F(FormulaEval, RationalFallsBackToRealWhenThePartsOutgrowTheWidth) {
    // At 10 digits (one limb) each part has 32 bits: 2^100 becomes a correctly rounded real.
    Outcome o = run(kTypeRational, 1, "2^100-1");
    EXPECT_EQ(o.error, 0u);
    EXPECT_EQ(o.text, "1.2676506e+30");
    o = run(kTypeRational, 1, "2^31");
    EXPECT_EQ(o.text, "2147483648");
    o = run(kTypeRational, 1, "1/2^33");
    EXPECT_EQ(o.text, "1.164153218e-10");
}

TEST_F(FormulaEval, UnsignedIntegersAreNotFormulas) {
    Outcome o = run(kTypeUnsigned, 1, "1+2", 0);
    EXPECT_EQ(o.error, kFormulaNumber);
    EXPECT_EQ(o.pos, 1);
    o = run(kTypeUnsigned, 1, "pi", 0);
    EXPECT_EQ(o.error, kFormulaNumber);
    num_ctx.number_type = kTypeNone;
    std::vector<uint64_t> value(2 * 528 + 2);
    evaluate_formula(value.data(), u"(7)");
    EXPECT_EQ(formula_result.formula_error, kFormulaNumber);
    EXPECT_EQ(formula_result.formula_error_pos, 2);
    EXPECT_EQ(num_ctx.error_code, 0u);
}

TEST_F(FormulaEval, CommaAsDecimalPoint) {
    num_ctx.decimal_point_chars[0] = u',';
    num_ctx.decimal_point_chars[1] = u'.';
    EXPECT_EQ(run(kTypeReal, 1, "1,5*2").text, "3");
    EXPECT_EQ(run(kTypeReal, 1, "1/4").text, "0,25");
}

// ---- Tokenizer ----------------------------------------------------------------------------------------------------

struct TokenCase {
    const char* text;
    std::vector<uint16_t> codes;
    std::vector<int64_t> positions;
};

TEST_F(FormulaEval, TokenizerSplitsTheText) {
    const TokenCase cases[] = {
        {"2e-3+x", {kTokOperand, kTokAdd, kTokUnknownName, kTokEnd}, {0, 4, 5, 6}},
        {"-(+1)",
         {kTokUnaryMinus, kTokOpenParen, kTokUnaryPlus, kTokOperand, kTokCloseParen, kTokEnd},
         {0, 1, 2, 3, 4, 5}},
        {"  - 1 - 1", {kTokUnaryMinus, kTokOperand, kTokSub, kTokOperand, kTokEnd}, {2, 4, 6, 8, 9}},
        {"( -1)", {kTokOpenParen, kTokUnaryMinus, kTokOperand, kTokCloseParen, kTokEnd}, {0, 2, 3, 4, 5}},
        {"2*3/4^5",
         {kTokOperand, kTokMul, kTokOperand, kTokDiv, kTokOperand, kTokPow, kTokOperand, kTokEnd},
         {0, 1, 2, 3, 4, 5, 6, 7}},
        {"1'234.5e+6i j", {kTokOperand, kTokImaginary, kTokEnd}, {0, 12, 13}},
        {"sqrt log10 log2 fac \xCF\x80 pi",
         {kTokSqrt, kTokLog10, kTokLog2, kTokFactorial, kTokPi, kTokPi, kTokEnd},
         {0, 5, 11, 16, 20, 22, 24}},
        {"asinh acosh atanh sinh", {kTokAsinh, kTokAcosh, kTokAtanh, kTokSinh, kTokEnd}, {0, 6, 12, 18, 22}},
        {"\xCE\xB1\xCE\xA9"
         "2;#",
         {kTokUnknownName, kTokSemicolon, kTokBadChar},
         {0, 3, 4}},
        {"in", {kTokImaginary, kTokUnknownName, kTokEnd}, {0, 1, 2}},
        {".5", {kTokBadChar}, {0}},
        {"2.5.", {kTokOperand, kTokEnd}, {0, 4}},
    };
    num_ctx.number_type = kTypeReal;
    num_ctx.real_limbs = 1;
    for (const TokenCase& c : cases) {
        std::u16string text = wide(c.text);
        int64_t position = 0;
        for (size_t k = 0; k < c.codes.size(); ++k) {
            FormulaEntry e{};
            next_token(&e, text.c_str(), &position);
            EXPECT_EQ(e.code, c.codes[k]) << c.text << " token " << k;
            EXPECT_EQ(e.pos, c.positions[k]) << c.text << " token " << k;
            EXPECT_EQ(e.value != nullptr, e.code == kTokOperand) << c.text << " token " << k;
            formula_release_value(e.value);
            if (e.code == kTokBadChar) break;
        }
        num_ctx.error_code = 0;
    }
}

// ---- Randomised formulas against exact oracles --------------------------------------------------------------------

// A formula tree over exact numbers: leaves are integers, inner nodes binary operators or a negation.
struct Node {
    char op;  // 'n' number, '~' negation, or one of + - * / ^
    long value;
    int left = -1;
    int right = -1;
};

struct Tree {
    std::vector<Node> nodes;
    std::mt19937_64* rng;

    long pick(long lo, long hi) { return std::uniform_int_distribution<long>(lo, hi)(*rng); }

    int leaf(long lo, long hi) {
        nodes.push_back({'n', pick(lo, hi)});
        return static_cast<int>(nodes.size()) - 1;
    }

    int build(int depth, const char* ops, long leaf_max, long exp_max) {
        if (depth == 0 || pick(0, 3) == 0) {
            int n = leaf(0, leaf_max);
            if (pick(0, 5) == 0) {
                nodes.push_back({'~', 0, n});
                return static_cast<int>(nodes.size()) - 1;
            }
            return n;
        }
        char op = ops[pick(0, static_cast<long>(std::strlen(ops)) - 1)];
        int l = build(depth - 1, ops, leaf_max, exp_max);
        int r;
        if (op == '^') {
            r = leaf(0, exp_max);
            if (pick(0, 3) == 0 && std::strchr(ops, '/') != nullptr) {
                nodes.push_back({'~', 0, r});
                r = static_cast<int>(nodes.size()) - 1;
            }
        } else {
            r = build(depth - 1, ops, leaf_max, exp_max);
        }
        nodes.push_back({op, 0, l, r});
        return static_cast<int>(nodes.size()) - 1;
    }

    static int level(char op) { return op == '+' || op == '-' ? 1 : op == '*' || op == '/' ? 2 : op == '^' ? 3 : 4; }

    std::string space() { return pick(0, 4) == 0 ? " " : ""; }

    // Writes the tree with the parentheses the evaluator's grammar needs, and a few redundant ones.
    std::string text(int i) {
        const Node& n = nodes[i];
        if (n.op == 'n') return std::to_string(n.value);
        if (n.op == '~') {
            // A sign applies to the operand right after it, so the operand is a literal or a parenthesis.
            return parens(space() + "-" + primary(n.left));
        }
        int lv = level(n.op);
        const Node& l = nodes[n.left];
        const Node& r = nodes[n.right];
        bool left_parens = level(l.op) < lv || (n.op == '^' && l.op == '^') || pick(0, 9) == 0;
        bool right_parens = level(r.op) < lv || (level(r.op) == lv && n.op != '^') || pick(0, 9) == 0;
        std::string ls = left_parens ? parens(text(n.left)) : text(n.left);
        std::string rs = right_parens ? parens(text(n.right)) : text(n.right);
        return ls + space() + n.op + space() + rs;
    }

    std::string primary(int i) { return nodes[i].op == 'n' ? text(i) : parens(text(i)); }

    static std::string parens(std::string inner) {
        inner.insert(inner.begin(), '(');
        inner.push_back(')');
        return inner;
    }
};

// Exact value of a tree node with GMP; false for a division by zero or 0 to a negative power. bits_ok turns
// false when a value on the way needs more than max_bits in a part.
bool eval_mpq(const Tree& t, int i, mpq_t out, size_t max_bits, bool* bits_ok) {
    const Node& n = t.nodes[i];
    bool ok = true;
    if (n.op == 'n') {
        mpq_set_si(out, n.value, 1);
    } else if (n.op == '~') {
        ok = eval_mpq(t, n.left, out, max_bits, bits_ok);
        mpq_neg(out, out);
    } else {
        mpq_t a, b;
        mpq_inits(a, b, nullptr);
        ok = eval_mpq(t, n.left, a, max_bits, bits_ok) && eval_mpq(t, n.right, b, max_bits, bits_ok);
        if (ok) {
            switch (n.op) {
                case '+':
                    mpq_add(out, a, b);
                    break;
                case '-':
                    mpq_sub(out, a, b);
                    break;
                case '*':
                    mpq_mul(out, a, b);
                    break;
                case '/':
                    if (mpq_sgn(b) == 0)
                        ok = false;
                    else
                        mpq_div(out, a, b);
                    break;
                case '^': {
                    long k = mpz_get_si(mpq_numref(b));
                    if (k < 0 && mpq_sgn(a) == 0) {
                        ok = false;
                        break;
                    }
                    unsigned long m = static_cast<unsigned long>(k < 0 ? -k : k);
                    mpz_pow_ui(mpq_numref(out), mpq_numref(a), m);
                    mpz_pow_ui(mpq_denref(out), mpq_denref(a), m);
                    if (k < 0) mpq_inv(out, out);
                    mpq_canonicalize(out);
                    break;
                }
            }
        }
        mpq_clears(a, b, nullptr);
    }
    if (ok && (mpz_sizeinbase(mpq_numref(out), 2) > max_bits || mpz_sizeinbase(mpq_denref(out), 2) > max_bits)) {
        *bits_ok = false;
    }
    return ok;
}

std::string mpz_string(const mpz_t z) {
    char* s = mpz_get_str(nullptr, 10, z);
    std::string r = s;
    void (*release)(void*, size_t);
    mp_get_memory_functions(nullptr, nullptr, &release);
    release(s, std::strlen(s) + 1);
    return r;
}

TEST_F(FormulaEval, RandomRationalFormulasMatchGmp) {
    std::mt19937_64 rng(20261206);
    const int limbs = 12;  // 384 bits per part
    int checked = 0;
    for (int round = 0; round < 1500; ++round) {
        Tree t{{}, &rng};
        int root = t.build(4, "+-*/^", 999, 4);
        std::string formula = t.text(root);
        mpq_t q;
        mpq_init(q);
        bool bits_ok = true;
        bool defined = eval_mpq(t, root, q, 32 * limbs, &bits_ok);
        if (defined && bits_ok) {
            Outcome o = run(kTypeRational, limbs, formula, 0);
            ASSERT_EQ(o.error, 0u) << formula << " at " << o.pos;
            std::string expected = mpz_string(mpq_numref(q));
            if (mpz_cmp_ui(mpq_denref(q), 1) != 0) expected.append("/").append(mpz_string(mpq_denref(q)));
            ASSERT_EQ(o.text, expected) << formula;
            ++checked;
        } else if (!defined) {
            Outcome o = run(kTypeRational, limbs, formula, 0);
            ASSERT_EQ(o.error, kFormulaNumber) << formula;
        }
        mpq_clear(q);
    }
    EXPECT_GT(checked, 1000);
}

TEST_F(FormulaEval, RandomIntegerFormulasAreExactInTheRealType) {
    std::mt19937_64 rng(7741);
    const int limbs = 10;  // 190 digits
    int checked = 0;
    for (int round = 0; round < 1500; ++round) {
        Tree t{{}, &rng};
        int root = t.build(4, "+-*^", 999999, 5);
        std::string formula = t.text(root);
        mpq_t q;
        mpq_init(q);
        bool bits_ok = true;
        eval_mpq(t, root, q, 600, &bits_ok);  // below 10^180: every step exact at 190 digits
        if (bits_ok) {
            Outcome o = run(kTypeReal, limbs, formula, 0);
            ASSERT_EQ(o.error, 0u) << formula;
            ASSERT_EQ(o.text, mpz_string(mpq_numref(q))) << formula;
            ++checked;
        }
        mpq_clear(q);
    }
    EXPECT_GT(checked, 1000);
}

}  // namespace
