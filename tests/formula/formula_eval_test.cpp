// The formula evaluator: values of each number type and the formula errors with their positions as tables, the
// function names against MPFR, the tokenizer, and random formulas against exact GMP values.
#include "formula/formula_eval.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
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
    const bool decimal = type == R || type == Q || type == C;
    uint32_t flags = 0;
    if (digits > 0) {
        num_ctx.min_plain_exponent = -4;
        num_ctx.display_digits = digits;
        if (type == Q) flags |= kFmtPointZero;
        if (decimal && value_is_decimal(value.data())) value_round_digits(value.data(), value.data(), digits);
    } else {
        num_ctx.min_plain_exponent = -100000;
        num_ctx.display_digits = 100000;
    }
    std::u16string buffer(50000, u'\0');
    const int n = value_format(buffer.data(), static_cast<int>(buffer.size()), value.data(), flags);
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
        num_ctx.real_limbs = num_ctx.int_limbs = 1;
        num_ctx.min_plain_exponent = -4;
        num_ctx.display_digits = 10;
        num_ctx.decimal_point_chars[0] = u'.';
        num_ctx.decimal_point_chars[1] = u',';
    }
    uint8_t* saved_scratch_ = nullptr;
};

// ---- Values of each type ------------------------------------------------------------------------------------------

// Shown with 10 significant digits. The plain precedence and associativity of + - * / ^ are left to the random
// formulas below; these rows pin what they never write.
TEST_F(FormulaEval, ValuesOfEachType) {
    // clang-format off
    const struct { uint32_t type; int limbs; const char *formula, *text; } rows[] = {
        {R, 1, "2^3^2", "512"},            {R, 1, "-2^2", "4"},          // "^" right-associative; a sign binds tightest
        {R, 1, "-2^3^2", "-512"},          {R, 1, "-(2^2)", "-4"},       {R, 1, "-sqrt(4)", "-2"},
        {R, 1, "-sqrt(16)^2", "16"},       {R, 1, "sqrt(16)^2", "16"},   {R, 1, "2*(-3)", "-6"},
        {R, 1, "2^(-1)", "0.5"},           {R, 1, "+3", "3"},            {R, 1, "(+3)*2", "6"},
        {R, 1, "-3+5", "2"},               {R, 1, " 2 +  3 ", "5"},      {R, 1, "1'000+1", "1001"},
        {R, 1, "1e3+1", "1001"},           {R, 1, "1e-3*1000", "1"},     {R, 1, "2E2", "200"},
        {R, 1, "3.5*2", "7"},              {R, 1, "pi", "3.141592654"},  {R, 1, "\xCF\x80", "3.141592654"},  // π
        {R, 1, "-pi", "-3.141592654"},     {R, 1, "1/3", "0.3333333333"}, {R, 1, "2^0.5", "1.414213562"},
        {R, 1, "2^64", "1.844674407e+19"},
        {C, 1, "(1+2i)*(3-i)", "5+5i"},    {C, 1, "(5+5i)/(3-i)", "1+2i"}, {C, 1, "(1+2)i", "3i"},  // implicit product
        {C, 1, "2 i", "2i"},               {C, 1, "2i", "2i"},           {C, 1, "-i", "-i"},
        {C, 1, "j", "i"},                  {C, 1, "-2 i", "-2i"},        {C, 1, "3+4 i", "3+4i"},
        {C, 1, "i*i", "-1"},               {C, 1, "i^2", "-1"},          {C, 1, "(2i)^2", "-4"},
        {C, 1, "(1+i)^(-2)", "-0.5i"},     {C, 1, "sqrt(4+0i)", "2"},    {C, 1, "1+2i+3", "4+2i"},
        {C, 1, "2*(1+i)", "2+2i"},         {C, 1, "(1+i)*(-2)", "-2-2i"}, {C, 1, "(4+2i)/(-2)", "-2-i"},
        {C, 1, "abs(3+4i)", "5"},          {C, 1, "pi", "3.141592654"},  {C, 1, "1e2i", "100i"},
        {Q, 4, "(4/9)^(3/2)", "8/27"},     {Q, 4, "(-3)*(1/2)", "-3/2"}, {Q, 4, "(1/2)*(-3)", "-3/2"},
        {Q, 4, "(1/2)/(-3)", "-1/6"},      {Q, 4, "(1/3)/1", "1/3"},     {Q, 4, "sqrt(9/4)", "3/2"},
        {Q, 4, "cbrt(-8)", "-2"},          {Q, 4, "log2(8)", "3"},       {Q, 4, "log10(1/1000)", "-3"},
        {Q, 4, "fac(20)", "2432902008176640000"},                        {Q, 4, "sqrt(2)", "1.414213562"},
        {Q, 4, "2^100-1", "1267650600228229401496703205375"},
        // A real operand makes the result real: literals with a decimal point or exponent are reals.
        {Q, 4, "1e0*(1/3)", "0.3333333333"}, {Q, 4, "(1/3)*1e0", "0.3333333333"}, {Q, 4, "(1/3)/1e0", "0.3333333333"},
        {Q, 4, "(2/3)^2e0", "0.4444444444"}, {Q, 4, "(1/3)*1.5", "0.5"},         {Q, 4, "2.5*2", "5.0"},
        // At one limb each part has 32 bits: what outgrows them becomes a correctly rounded real.
        {Q, 1, "2^100-1", "1.2676506e+30"}, {Q, 1, "2^31", "2147483648"},          {Q, 1, "1/2^33", "1.164153218e-10"},
    };
    // clang-format on
    for (const auto& c : rows) {
        const Outcome o = run(c.type, c.limbs, c.formula);
        EXPECT_EQ(o.error, 0u) << c.formula << " failed at position " << o.pos;
        EXPECT_EQ(o.text, c.text) << c.formula << " type " << c.type << " L" << c.limbs;
    }
    EXPECT_EQ(run(R, 3, "pi", 50).text, "3.1415926535897932384626433832795028841971693993751");
    EXPECT_EQ(run(Q, 3, "pi", 50).text, "3.1415926535897932384626433832795028841971693993751");  // no exact form
}

// Every function keyword reaches its own function: shown with 30 significant digits, the result is within half a
// unit of the 30th digit of MPFR's value.
TEST_F(FormulaEval, FunctionNamesApplyTheirFunctions) {
    using MpfrFn = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
    const MpfrFn fac = [](mpfr_ptr r, mpfr_srcptr x, mpfr_rnd_t rnd) {
        return mpfr_fac_ui(r, mpfr_get_ui(x, rnd), rnd);
    };
    const struct {
        const char* name;
        MpfrFn mpfr_fn;
        const char* argument;
    } rows[] = {
        {"sqrt", mpfr_sqrt, "2"},     {"cbrt", mpfr_cbrt, "2"},     {"ln", mpfr_log, "2"},
        {"log2", mpfr_log2, "3"},     {"log10", mpfr_log10, "3"},   {"exp", mpfr_exp, "0.7"},
        {"abs", mpfr_abs, "-0.7"},    {"sin", mpfr_sin, "0.7"},     {"cos", mpfr_cos, "0.7"},
        {"tan", mpfr_tan, "0.7"},     {"asin", mpfr_asin, "0.3"},   {"acos", mpfr_acos, "0.3"},
        {"atan", mpfr_atan, "0.3"},   {"sinh", mpfr_sinh, "0.7"},   {"cosh", mpfr_cosh, "0.7"},
        {"tanh", mpfr_tanh, "0.7"},   {"asinh", mpfr_asinh, "0.7"}, {"acosh", mpfr_acosh, "1.7"},
        {"atanh", mpfr_atanh, "0.3"}, {"fac", fac, "25"},
    };
    mpfr_t x, y, shown;
    mpfr_inits2(256, x, y, shown, static_cast<mpfr_ptr>(nullptr));
    for (const auto& c : rows) {
        const std::string formula = std::string(c.name) + "(" + c.argument + ")";
        mpfr_set_str(x, c.argument, 10, MPFR_RNDN);
        c.mpfr_fn(y, x, MPFR_RNDN);
        const Outcome o = run(R, 2, formula, 30);
        ASSERT_EQ(o.error, 0u) << formula;
        mpfr_set_str(shown, o.text.c_str(), 10, MPFR_RNDN);
        mpfr_sub(x, shown, y, MPFR_RNDN);
        mpfr_div(x, x, y, MPFR_RNDN);
        EXPECT_LT(std::fabs(mpfr_get_d(x, MPFR_RNDN)), 1e-29) << formula << " gave " << o.text;
    }
    mpfr_clears(x, y, shown, static_cast<mpfr_ptr>(nullptr));
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
        {R, "3!", kSyntax, 2},          {C, "i sin(1)", kSyntax, 3},
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
        const Outcome o = run(c.type, 1, c.formula);
        EXPECT_EQ(o.error, c.error) << c.formula << " type " << c.type;
        EXPECT_EQ(o.pos, c.pos) << c.formula << " type " << c.type;
        EXPECT_EQ(o.text, c.type == N ? "" : "0") << "a failed evaluation leaves 0: " << c.formula;
    }
}

TEST_F(FormulaEval, TheStackHoldsFiftyEntries) {
    // n opening parentheses, one operand and the closing ones: n + 2 entries are live when the first ")" arrives.
    for (int n : {48, 49, 60}) {
        const Outcome o = run(R, 1, std::string(n, '(') + "7" + std::string(n, ')'));
        EXPECT_EQ(o.error, n <= 48 ? 0u : uint32_t{kFormulaTooComplex}) << n;
        EXPECT_EQ(o.pos, n <= 48 ? 0 : 1) << n;
        EXPECT_EQ(o.text, n <= 48 ? "7" : "0") << n;
    }
    // A right-associative chain keeps every operand: 25 of them and the end token fill the stack exactly.
    for (int n : {25, 26}) {
        std::string formula = "1";
        for (int i = 1; i < n; ++i) formula += "^1";
        EXPECT_EQ(run(R, 1, formula).error, n <= 25 ? 0u : uint32_t{kFormulaTooComplex}) << n;
    }
    // Long chains that reduce as they go never fill it.
    std::string sum = "1";
    for (int i = 0; i < 5000; ++i) sum += "+1";
    EXPECT_EQ(run(R, 1, sum).text, "5001");
}

TEST_F(FormulaEval, ANewEvaluationStartsClean) {
    EXPECT_EQ(run(R, 1, "(((1").error, kFormulaUnexpectedEnd);
    EXPECT_EQ(run(R, 1, "1/0").error, kFormulaNumber);
    num_ctx.error_code = kErrDomain;  // a stale numeric error must not leak into the next formula
    const Outcome o = run(R, 1, "2+2");
    EXPECT_EQ(o.error, 0u);
    EXPECT_EQ(o.pos, 0);
    EXPECT_EQ(o.text, "4");
}

TEST_F(FormulaEval, CommaAsDecimalPoint) {
    num_ctx.decimal_point_chars[0] = u',';
    num_ctx.decimal_point_chars[1] = u'.';
    EXPECT_EQ(run(R, 1, "1,5*2").text, "3");
    EXPECT_EQ(run(R, 1, "1/4").text, "0,25");
}

// ---- Tokenizer ----------------------------------------------------------------------------------------------------

TEST_F(FormulaEval, TokenizerSplitsTheText) {
    // clang-format off
    const struct { const char* text; std::vector<uint16_t> codes; std::vector<int64_t> positions; } rows[] = {
        {"2e-3+x", {kTokOperand, kTokAdd, kTokUnknownName, kTokEnd}, {0, 4, 5, 6}},
        {"-(+1)", {kTokUnaryMinus, kTokOpenParen, kTokUnaryPlus, kTokOperand, kTokCloseParen, kTokEnd},
         {0, 1, 2, 3, 4, 5}},
        {"  - 1 - 1", {kTokUnaryMinus, kTokOperand, kTokSub, kTokOperand, kTokEnd}, {2, 4, 6, 8, 9}},
        {"( -1)", {kTokOpenParen, kTokUnaryMinus, kTokOperand, kTokCloseParen, kTokEnd}, {0, 2, 3, 4, 5}},
        {"2*3/4^5", {kTokOperand, kTokMul, kTokOperand, kTokDiv, kTokOperand, kTokPow, kTokOperand, kTokEnd},
         {0, 1, 2, 3, 4, 5, 6, 7}},
        {"1'234.5e+6i j", {kTokOperand, kTokImaginary, kTokEnd}, {0, 12, 13}},
        {"sqrt log10 log2 fac \xCF\x80 pi", {kTokSqrt, kTokLog10, kTokLog2, kTokFactorial, kTokPi, kTokPi, kTokEnd},
         {0, 5, 11, 16, 20, 22, 24}},
        {"asinh acosh atanh sinh", {kTokAsinh, kTokAcosh, kTokAtanh, kTokSinh, kTokEnd}, {0, 6, 12, 18, 22}},
        {"\xCE\xB1\xCE\xA9" "2;#", {kTokUnknownName, kTokSemicolon, kTokBadChar}, {0, 3, 4}},
        {"in", {kTokImaginary, kTokUnknownName, kTokEnd}, {0, 1, 2}},
        {".5", {kTokBadChar}, {0}},
        {"2.5.", {kTokOperand, kTokEnd}, {0, 4}},
    };
    // clang-format on
    num_ctx.number_type = R;
    num_ctx.real_limbs = 1;
    for (const auto& c : rows) {
        const std::u16string text = wide(c.text);
        int64_t position = 0;
        for (size_t k = 0; k < c.codes.size(); ++k) {
            FormulaEntry e{};
            next_token(&e, text.c_str(), &position);
            EXPECT_EQ(e.code, c.codes[k]) << c.text << " token " << k;
            EXPECT_EQ(e.pos, c.positions[k]) << c.text << " token " << k;
            EXPECT_EQ(e.value != nullptr, e.code == kTokOperand) << c.text << " token " << k;
            formula_release_value(e.value);
        }
        num_ctx.error_code = 0;
    }
}

// ---- Randomised formulas against exact oracles --------------------------------------------------------------------

// A random formula over integer leaves with the operators `ops` and negated leaves, written with the parentheses the
// grammar needs and a few redundant ones, and its exact value. A sign applies to the operand right after it, so a
// negated leaf is written in parentheses; exponents are leaves, negative only when "/" is among the operators.
class RandomFormula {
  public:
    struct Node {
        std::string text;
        int level;  // 1: + -, 2: * /, 3: ^, 4: a leaf or a parenthesis
        mpq_class value;
        bool defined;  // false after a division by zero or 0 to a negative power
    };
    RandomFormula(std::mt19937_64& rng, const char* ops, long leaf_max, long exp_max, size_t max_bits)
        : rng_(rng), ops_(ops), leaf_max_(leaf_max), exp_max_(exp_max), max_bits_(max_bits) {}
    bool fits = true;  // every value on the way has parts of at most max_bits

    Node build(int depth) {
        if (depth == 0 || pick(0, 3) == 0) return leaf(leaf_max_, pick(0, 5) == 0);
        const char op = ops_[pick(0, static_cast<long>(std::strlen(ops_)) - 1)];
        const int level = op == '+' || op == '-' ? 1 : op == '^' ? 3 : 2;
        const Node l = build(depth - 1);
        const Node r =
            op == '^' ? leaf(exp_max_, pick(0, 3) == 0 && std::strchr(ops_, '/') != nullptr) : build(depth - 1);
        const bool left_parens = l.level < level || (op == '^' && l.level == 3) || pick(0, 9) == 0;
        const bool right_parens = r.level < level || (r.level == level && op != '^') || pick(0, 9) == 0;
        Node n{(left_parens ? "(" + l.text + ")" : l.text) + space() + op + space() +
                   (right_parens ? "(" + r.text + ")" : r.text),
               level, 0, l.defined && r.defined};
        const mpq_class &a = l.value, &b = r.value;
        if (n.defined && op == '^') {
            const long k = b.get_num().get_si();
            n.defined = k >= 0 || a != 0;
            mpz_pow_ui(n.value.get_num_mpz_t(), a.get_num_mpz_t(), static_cast<unsigned long>(std::labs(k)));
            mpz_pow_ui(n.value.get_den_mpz_t(), a.get_den_mpz_t(), static_cast<unsigned long>(std::labs(k)));
            if (k < 0 && n.defined) n.value = 1 / n.value;
        }
        if (n.defined && op == '/') n.defined = b != 0;
        if (n.defined && op != '^')
            n.value = op == '+'   ? mpq_class(a + b)
                      : op == '-' ? mpq_class(a - b)
                      : op == '*' ? mpq_class(a * b)
                                  : mpq_class(a / b);
        check(n.value);
        return n;
    }

  private:
    long pick(long lo, long hi) { return std::uniform_int_distribution<long>(lo, hi)(rng_); }
    std::string space() { return pick(0, 4) == 0 ? " " : ""; }
    Node leaf(long max, bool negate) {
        const long v = pick(0, max);
        Node n{std::to_string(v), 4, v, true};
        if (negate) n.text = std::string("(").append(space()).append("-").append(n.text).append(")"), n.value = -v;
        return n;
    }
    void check(const mpq_class& v) {
        fits = fits && mpz_sizeinbase(v.get_num_mpz_t(), 2) <= max_bits_ &&
               mpz_sizeinbase(v.get_den_mpz_t(), 2) <= max_bits_;
    }
    std::mt19937_64& rng_;
    const char* ops_;
    long leaf_max_, exp_max_;
    size_t max_bits_;
};

TEST_F(FormulaEval, RandomRationalFormulasMatchGmp) {
    std::mt19937_64 rng(20261206);
    const int limbs = 12;  // 384 bits per part
    int checked = 0;
    for (int round = 0; round < 1500; ++round) {
        RandomFormula f(rng, "+-*/^", 999, 4, 32 * limbs);
        const RandomFormula::Node node = f.build(4);
        if (node.defined && !f.fits) continue;
        const Outcome o = run(Q, limbs, node.text, 0);
        ASSERT_EQ(o.error, node.defined ? 0u : uint32_t{kFormulaNumber}) << node.text << " at " << o.pos;
        if (!node.defined) continue;
        ASSERT_EQ(o.text, node.value.get_str()) << node.text;
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

TEST_F(FormulaEval, RandomIntegerFormulasAreExactInTheRealType) {
    std::mt19937_64 rng(7741);
    const int limbs = 10;  // 190 digits
    int checked = 0;
    for (int round = 0; round < 1500; ++round) {
        RandomFormula f(rng, "+-*^", 999999, 5, 600);  // below 10^180: every step exact at 190 digits
        const RandomFormula::Node node = f.build(4);
        if (!f.fits) continue;
        const Outcome o = run(R, limbs, node.text, 0);
        ASSERT_EQ(o.error, 0u) << node.text;
        ASSERT_EQ(o.text, node.value.get_str()) << node.text;
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

}  // namespace
