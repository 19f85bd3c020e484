#include "equations/polynomial_calc.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "grid/text_grid.h"
#include "formula/formula_eval.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

struct Context {
    Context() {
        static const bool initialised = (init_numeric_context(), true);
        (void)initialised;
        load_string_table(kLanguageEnglish);
        num_ctx.min_plain_exponent = -4;
        num_ctx.display_digits = 10;
        clear_error_state();
    }
};

std::u16string u16(const std::string& s) {
    std::u16string out;
    EXPECT_TRUE(utf8_to_utf16(s, out)) << s;
    return out;
}

// Polynomials as coefficient texts from the highest degree down to a0, as the rows of the window's grid.
using Texts = std::vector<std::vector<std::string>>;

TextGrid grid_of(const Texts& polys) {
    TextGrid grid(kPolyGridColumns, static_cast<int>(polys.size()));
    for (size_t p = 0; p < polys.size(); ++p) {
        const int degree = static_cast<int>(polys[p].size()) - 1;
        for (int k = 0; k <= degree; ++k)
            grid.set_cell_text(kPolyMaxDegree - k, static_cast<int>(p), u16(polys[p][degree - k]));
    }
    return grid;
}

struct Outcome {
    uint32_t code;
    std::string output;
    std::string message;
};

Outcome run(bool multiply, const TextGrid& grid, int count, int max_degree, uint32_t type, int digits) {
    Context context;
    std::u16string output;
    const PolyControls controls{count, max_degree, type, digits};
    const uint32_t code = multiply ? polynomial_multiply_command(grid, controls, &output)
                                   : polynomial_divide_command(grid, controls, &output);
    Outcome outcome{code, utf16_to_utf8(output), utf16_to_utf8(compose_message(message_state, string_table))};
    clear_error_state();
    return outcome;
}

Outcome run(bool multiply, const Texts& polys, uint32_t type = kTypeReal, int digits = 10) {
    int max_degree = 1;
    for (const auto& p : polys) max_degree = std::max(max_degree, static_cast<int>(p.size()) - 1);
    return run(multiply, grid_of(polys), static_cast<int>(polys.size()), max_degree, type, digits);
}

struct TermCase {
    int degree;
    char16_t letter;
    const char16_t* text;
};

const TermCase kTermCases[] = {
    {0, u'b', u"b0"},
    {1, u'a', u"a1*x + a0"},
    {2, u'a', u"a2*x^2 + a1*x + a0"},
    {4, u'r', u"r4*x^4 + r3*x^3 + r2*x^2 + r1*x + r0"},
    {5, u'a', u"a5*x^5 + a4*x^4 + ... + a1*x + a0"},
    {6, u'a', u"a6*x^6 + a5*x^5 + ... + a1*x + a0"},
    {20, u'b', u"b20*x^20 + b19*x^19 + ... + b1*x + b0"},
    {100, u'a', u"a100*x^100 + a99*x^99 + ... + a1*x + a0"},
    {101, u'a', u""},
};

TEST(PolynomialTermText, WritesTheDocumentedForms) {
    for (const auto& c : kTermCases) EXPECT_EQ(term_text(c.degree, c.letter), c.text) << c.degree;
}

struct CommandCase {
    const char* what;
    bool multiply;
    uint32_t type;
    Texts polys;
    const char* output;
};

const CommandCase kCommandCases[] = {
    {"product of x + 1 and x - 1",
     true,
     kTypeReal,
     {{"1", "1"}, {"1", "-1"}},
     "P0(x) * P1(x) = b2*x^2 + b1*x + b0\r\n\r\nb2 = 1\r\nb1 = 0\r\nb0 = -1\r\n"},
    {"x^2 - 1 divided by x + 1",
     false,
     kTypeReal,
     {{"1", "0", "-1"}, {"1", "1"}},
     "P0(x) / P1(x) = b1*x + b0    Remainder    r0\r\n\r\nb1 = 1\r\nb0 = -1\r\n\r\nr0 = 0\r\n"},
    {"exact product in the rationals",
     true,
     kTypeRational,
     {{"1/3", "1/2"}, {"2", "-1"}},
     "P0(x) * P1(x) = b2*x^2 + b1*x + b0\r\n\r\nb2 = 2/3\r\nb1 = 2/3\r\nb0 = -1/2\r\n"},
    {"dividend of lower degree",
     false,
     kTypeReal,
     {{"", "5"}, {"1", "1", "1"}},
     "P0(x) / P1(x) = b0    Remainder    r0\r\n\r\nb0 = 0\r\n\r\nr0 = 5\r\n"},
    {"quotient and remainder",
     false,
     kTypeRational,
     {{"1", "0", "0", "1"}, {"2", "0", "1"}},
     "P0(x) / P1(x) = b1*x + b0    Remainder    r1*x + r0\r\n\r\nb1 = 1/2\r\nb0 = 0\r\n\r\nr1 = -1/2\r\nr0 = 1\r\n"},
    {"complex conjugate factors",
     true,
     kTypeComplex,
     {{"1", "i"}, {"1", "-i"}},
     "P0(x) * P1(x) = b2*x^2 + b1*x + b0\r\n\r\nb2 = 1\r\nb1 = 0\r\nb0 = 1\r\n"},
    {"zero product", true, kTypeReal, {{"", ""}, {"1", "1"}}, "P0(x) * P1(x) = b0\r\n\r\nb0 = 0\r\n"},
    {"three factors",
     true,
     kTypeReal,
     {{"1", "1"}, {"1", "1"}, {"1", "1"}},
     "P0(x) * P1(x) * P2(x) = b3*x^3 + b2*x^2 + b1*x + b0\r\n\r\nb3 = 1\r\nb2 = 3\r\nb1 = 3\r\nb0 = 1\r\n"},
    {"values written to d digits",
     true,
     kTypeReal,
     {{"1/3"}, {"1", "2"}},
     "P0(x) * P1(x) = b1*x + b0\r\n\r\nb1 = 0.3333333333\r\nb0 = 0.6666666667\r\n"},
};

TEST(PolynomialCommands, WriteTheDocumentedOutputs) {
    for (const auto& c : kCommandCases) {
        const Outcome outcome = run(c.multiply, c.polys, c.type);
        EXPECT_EQ(outcome.code, 0u) << c.what << ": " << outcome.message;
        EXPECT_EQ(outcome.output, c.output) << c.what;
    }
}

struct MessageCase {
    const char* what;
    bool multiply;
    Texts polys;
    uint32_t code;
    const char* message;
};

const MessageCase kMessageCases[] = {
    {"x^24 needed",
     true,
     {{"1", "", "", "", "", "", "", "", "1"},
      {"1", "", "", "", "", "", "", "", "1"},
      {"1", "", "", "", "", "", "", "", "1"}},
     kMsgOverflow,
     "Overflow in mathematical calculation!"},
    {"zero divisor", false, {{"1", "2"}, {" ", ""}}, kMsgDivisionByZero, "Division by 0!"},
    {"formula error names coefficient and polynomial",
     true,
     {{"1", "1"}, {"2*", "1"}},
     kMsgPolynomialFormula,
     "Error evaluating coefficient \"a1\" in polynomial \"P1(x)\": Unexpected end of formula!"},
    {"overlong coefficient",
     false,
     {{"1", std::string(1031, '1')}, {"1", "1"}},
     kMsgPolynomialFormula,
     "Error evaluating coefficient \"a0\" in polynomial \"P0(x)\"!"},
};

TEST(PolynomialCommands, ReportMessagesAndWriteNothing) {
    for (const auto& c : kMessageCases) {
        const Outcome outcome = run(c.multiply, c.polys);
        EXPECT_EQ(outcome.code, c.code) << c.what;
        EXPECT_EQ(outcome.message, c.message) << c.what;
        EXPECT_EQ(outcome.output, "") << c.what;
    }
}

TEST(PolynomialCommands, ACoefficientOf1030CharactersIsRead) {
    const Outcome outcome = run(true, {{"1", "2" + std::string(1029, ' ')}, {"1"}});
    EXPECT_EQ(outcome.code, 0u) << outcome.message;
    EXPECT_EQ(outcome.output, "P0(x) * P1(x) = b1*x + b0\r\n\r\nb1 = 1\r\nb0 = 2\r\n");
}

TEST(PolynomialCommands, IgnoreColumnsAboveTheMaximumDegree) {
    TextGrid grid = grid_of({{"1", "1"}, {"1", "-1"}});
    grid.set_cell_text(kPolyMaxDegree - 5, 0, u"junk(");  // a5 of P0, beyond max. degree 2
    const Outcome outcome = run(true, grid, 2, 2, kTypeReal, 10);
    EXPECT_EQ(outcome.code, 0u) << outcome.message;
    EXPECT_EQ(outcome.output, "P0(x) * P1(x) = b2*x^2 + b1*x + b0\r\n\r\nb2 = 1\r\nb1 = 0\r\nb0 = -1\r\n");
}

TEST(PolynomialCommands, LeaveNoNumberTypeInstalled) {
    run(true, {{"1"}, {"1"}});
    EXPECT_EQ(num_ctx.number_type, 0u);
}

// ---- The engine functions against exact arithmetic -------------------------------------------------------------

// Four polynomials of the current type in one block.
struct Slots {
    std::vector<Value> storage;
    Polynomial p[4];
    Slots() : storage(4 * kPolyCoefficients * value_words()) {
        for (int i = 0; i < 4; ++i) {
            for (int k = 0; k < kPolyCoefficients; ++k) {
                p[i].a[k] = storage.data() + (static_cast<size_t>(i) * kPolyCoefficients + k) * value_words();
                value_set_int(p[i].a[k], 0);
            }
        }
    }
};

using Exact = std::vector<mpq_class>;  // index k: coefficient of x^k

void store(Polynomial* p, const Exact& c) {
    for (int k = 0; k < kPolyCoefficients; ++k) {
        const std::string text = k < static_cast<int>(c.size()) ? c[k].get_str() : "0";
        evaluate_formula(p->a[k], u16(text).c_str());
    }
}

mpq_class exact_of(const Value* v) {
    return mpq_class(utf16_to_utf8(value_to_ring(v, 0)));
}

int exact_degree(const Exact& c) {
    for (int k = static_cast<int>(c.size()) - 1; k >= 0; --k) {
        if (c[k] != 0) return k;
    }
    return -1;
}

Exact random_poly(std::mt19937_64& rng, int degree) {
    std::uniform_int_distribution<int> num(-50, 50), den(1, 12);
    Exact c(static_cast<size_t>(degree) + 1);
    for (auto& v : c) v = mpq_class(num(rng), den(rng)), v.canonicalize();
    if (c.back() == 0) c.back() = 1;
    return c;
}

TEST(PolynomialRandom, RationalProductsMatchExactConvolution) {
    Context context;
    num_ctx.number_type = kTypeRational;
    num_ctx.real_limbs = 6;
    Slots slots;
    std::mt19937_64 rng(8086);
    std::uniform_int_distribution<int> degree(0, 10);
    for (int trial = 0; trial < 50; ++trial) {
        const Exact a = random_poly(rng, degree(rng)), b = random_poly(rng, degree(rng));
        store(&slots.p[0], a);
        store(&slots.p[1], b);
        multiply_polynomials(&slots.p[2], &slots.p[0], &slots.p[1]);
        ASSERT_EQ(message_state.message_code, 0u) << "trial " << trial;
        Exact product(kPolyCoefficients, mpq_class(0));
        for (size_t i = 0; i < a.size(); ++i) {
            for (size_t j = 0; j < b.size(); ++j) product[i + j] += a[i] * b[j];
        }
        for (int k = 0; k < kPolyCoefficients; ++k) {
            EXPECT_EQ(exact_of(slots.p[2].a[k]).get_str(), product[k].get_str()) << "trial " << trial << " k " << k;
        }
    }
    num_ctx.number_type = 0;
}

TEST(PolynomialRandom, RationalQuotientTimesDivisorPlusRemainderGivesTheDividend) {
    Context context;
    num_ctx.number_type = kTypeRational;
    num_ctx.real_limbs = 20;
    Slots slots;
    std::mt19937_64 rng(6502);
    std::uniform_int_distribution<int> degree(0, 12);
    for (int trial = 0; trial < 50; ++trial) {
        const Exact a = random_poly(rng, degree(rng)), b = random_poly(rng, degree(rng) / 2);
        store(&slots.p[0], a);
        store(&slots.p[1], b);
        divide_polynomials(&slots.p[2], &slots.p[3], &slots.p[0], &slots.p[1]);
        ASSERT_EQ(message_state.message_code, 0u) << "trial " << trial;
        Exact q(kPolyCoefficients), r(kPolyCoefficients);
        for (int k = 0; k < kPolyCoefficients; ++k) {
            q[k] = exact_of(slots.p[2].a[k]);
            r[k] = exact_of(slots.p[3].a[k]);
        }
        EXPECT_LT(exact_degree(r), exact_degree(b)) << "trial " << trial;
        Exact back(r);
        for (size_t i = 0; i < q.size(); ++i) {
            for (size_t j = 0; j < b.size(); ++j) {
                if (q[i] != 0) back[i + j] += q[i] * b[j];
            }
        }
        for (int k = 0; k < kPolyCoefficients; ++k) {
            const mpq_class expected = k < static_cast<int>(a.size()) ? a[k] : mpq_class(0);
            EXPECT_EQ(back[k].get_str(), expected.get_str()) << "trial " << trial << " k " << k;
        }
    }
    num_ctx.number_type = 0;
}

// The decimal text as an exact rational.
mpq_class decimal_value(const std::string& text) {
    mpfr_t v;
    mpfr_init2(v, 2000);
    EXPECT_EQ(mpfr_set_str(v, text.c_str(), 10, MPFR_RNDN), 0) << text;
    mpq_class q;
    mpfr_get_q(q.get_mpq_t(), v);
    mpfr_clear(v);
    return q;
}

TEST(PolynomialRandom, RealDivisionAgreesWithTheExactQuotient) {
    Context context;
    num_ctx.number_type = kTypeReal;
    num_ctx.real_limbs = 3;  // 57 digits
    Slots slots;
    std::mt19937_64 rng(1802);
    std::uniform_int_distribution<int> degree(1, 10);
    for (int trial = 0; trial < 40; ++trial) {
        const Exact a = random_poly(rng, degree(rng) + 4), b = random_poly(rng, degree(rng) / 3 + 1);
        store(&slots.p[0], a);
        store(&slots.p[1], b);
        divide_polynomials(&slots.p[2], &slots.p[3], &slots.p[0], &slots.p[1]);
        ASSERT_EQ(message_state.message_code, 0u);
        // The exact quotient by the same long division.
        Exact r(a), q(a.size());
        const int db = exact_degree(b);
        for (int k = exact_degree(a); k >= db; --k) {
            const mpq_class t = r[k] / b[db];
            r[k] = 0;
            for (int i = 0; i < db; ++i) r[k - db + i] -= b[i] * t;
            q[k - db] = t;
        }
        for (size_t k = 0; k < q.size(); ++k) {
            const mpq_class got = decimal_value(utf16_to_utf8(value_to_ring(slots.p[2].a[k], 0)));
            mpq_class scale = abs(q[k]) + 1;
            EXPECT_TRUE(abs(got - q[k]) <= scale / mpq_class("1000000000000000000000000000000000000000"))
                << "trial " << trial << " k " << k << " got " << got.get_d() << " exact " << q[k].get_d();
        }
    }
    num_ctx.number_type = 0;
}

TEST(PolynomialEngine, RefusesAProductIntoAnOperand) {
    Context context;
    num_ctx.number_type = kTypeReal;
    num_ctx.real_limbs = 1;
    Slots slots;
    multiply_polynomials(&slots.p[0], &slots.p[0], &slots.p[1]);
    EXPECT_EQ(message_state.message_code, kMsgInternal);
    clear_error_state();
    multiply_polynomials(&slots.p[1], &slots.p[0], &slots.p[1]);
    EXPECT_EQ(message_state.message_code, kMsgInternal);
    clear_error_state();
    num_ctx.number_type = 0;
}

}  // namespace
