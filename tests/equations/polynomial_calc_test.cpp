// Polynomial multiplication and division: the commands' texts and messages, and the engine against exact GMP
// arithmetic.
#include "equations/polynomial_calc.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "formula/formula_eval.h"
#include "grid/text_grid.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

void init() {
    static const bool initialised = (init_numeric_context(), true);
    (void)initialised;
    load_string_table(kLanguageEnglish);
    num_ctx.min_plain_exponent = -4;
    num_ctx.display_digits = 10;
    clear_error_state();
}

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

// The command's output, or its composed message when it wrote none.
std::string run(bool multiply, const TextGrid& grid, int count, int max_degree, uint32_t type) {
    init();
    std::u16string output;
    const PolyControls controls{count, max_degree, type, 10};
    const uint32_t code = multiply ? polynomial_multiply_command(grid, controls, &output)
                                   : polynomial_divide_command(grid, controls, &output);
    EXPECT_TRUE(code == 0 ? !output.empty() : output.empty()) << code;
    EXPECT_EQ(num_ctx.number_type, 0u) << "the command left its number type installed";
    const std::string text = utf16_to_utf8(code == 0 ? output : compose_message(message_state, string_table));
    clear_error_state();
    return text;
}

struct CommandCase {
    bool multiply;
    uint32_t type;
    Texts polys;
    const char* output;
};

const uint32_t R = kTypeReal, Q = kTypeRational;

// clang-format off
const std::pair<int, const char16_t*> kTerms[] = {{0, u"b0"}, {4, u"b4*x^4 + b3*x^3 + b2*x^2 + b1*x + b0"},
    {5, u"b5*x^5 + b4*x^4 + ... + b1*x + b0"}, {100, u"b100*x^100 + b99*x^99 + ... + b1*x + b0"}, {101, u""}};
const CommandCase kCommandCases[] = {
    {true, Q, {{"1/3", "1/2"}, {"2", "-1"}}, "P0(x) * P1(x) = b2*x^2 + b1*x + b0\r\n\r\nb2 = 2/3\r\nb1 = 2/3\r\nb0 = -1/2\r\n"},
    {false, R, {{"", "5"}, {"1", "1", "1"}}, "P0(x) / P1(x) = b0    Remainder    r0\r\n\r\nb0 = 0\r\n\r\nr0 = 5\r\n"},
    {false, Q, {{"1", "0", "0", "1"}, {"2", "0", "1"}},
     "P0(x) / P1(x) = b1*x + b0    Remainder    r1*x + r0\r\n\r\nb1 = 1/2\r\nb0 = 0\r\n\r\nr1 = -1/2\r\nr0 = 1\r\n"},
    {true, kTypeComplex, {{"1", "i"}, {"1", "-i"}}, "P0(x) * P1(x) = b2*x^2 + b1*x + b0\r\n\r\nb2 = 1\r\nb1 = 0\r\nb0 = 1\r\n"},
    {true, R, {{"", ""}, {"1", "1"}}, "P0(x) * P1(x) = b0\r\n\r\nb0 = 0\r\n"},
    {true, R, {{"1", "1"}, {"1", "1"}, {"1", "1"}},
     "P0(x) * P1(x) * P2(x) = b3*x^3 + b2*x^2 + b1*x + b0\r\n\r\nb3 = 1\r\nb2 = 3\r\nb1 = 3\r\nb0 = 1\r\n"},
    {true, R, {{"1/3"}, {"1", std::string(1029, ' ') + "2"}},  // values to d digits; the longest coefficient text
     "P0(x) * P1(x) = b1*x + b0\r\n\r\nb1 = 0.3333333333\r\nb0 = 0.6666666667\r\n"},
    // Messages, and no output with them.
    {true, R, {{"1", "", "", "", "", "", "", "", "1"}, {"1", "", "", "", "", "", "", "", "1"}, {"1", "", "", "", "", "", "", "", "1"}},
     "Overflow in mathematical calculation!"},  // x^24 needed
    {true, R, {{"1", "1"}, {"2*", "1"}}, "Error evaluating coefficient \"a1\" in polynomial \"P1(x)\": Unexpected end of formula!"},
    {false, R, {{"1", std::string(1031, '1')}, {"1", "1"}}, "Error evaluating coefficient \"a0\" in polynomial \"P0(x)\"!"},
};
// clang-format on

TEST(PolynomialCommands, WriteTheDocumentedOutputsOrAMessageAlone) {
    for (const auto& [degree, text] : kTerms) EXPECT_EQ(term_text(degree, u'b'), text) << degree;
    for (const auto& c : kCommandCases) {
        int max_degree = 1;
        for (const auto& p : c.polys) max_degree = std::max(max_degree, static_cast<int>(p.size()) - 1);
        EXPECT_EQ(run(c.multiply, grid_of(c.polys), static_cast<int>(c.polys.size()), max_degree, c.type), c.output);
    }
    // Columns above the maximum degree are not read.
    TextGrid grid = grid_of({{"1", "1"}, {"1", "-1"}});
    grid.set_cell_text(kPolyMaxDegree - 5, 0, u"junk(");  // a5 of P0, beyond max. degree 2
    EXPECT_EQ(run(true, grid, 2, 2, R), "P0(x) * P1(x) = b2*x^2 + b1*x + b0\r\n\r\nb2 = 1\r\nb1 = 0\r\nb0 = -1\r\n");
}

// ---- The engine functions against exact arithmetic -------------------------------------------------------------

using Exact = std::vector<mpq_class>;  // index k: coefficient of x^k

// Four polynomials of the given type and limb count in one block.
struct Slots {
    std::vector<Value> storage;
    Polynomial p[4];
    Slots(uint32_t type, int limbs) {
        init();
        num_ctx.number_type = type;
        num_ctx.real_limbs = limbs;
        storage.resize(4 * kPolyCoefficients * value_words());
        for (int i = 0; i < 4; ++i) {
            for (int k = 0; k < kPolyCoefficients; ++k) {
                p[i].a[k] = storage.data() + (static_cast<size_t>(i) * kPolyCoefficients + k) * value_words();
                value_set_int(p[i].a[k], 0);
            }
        }
    }
    ~Slots() { num_ctx.number_type = 0; }
    void store(int i, const Exact& c) {
        for (int k = 0; k < kPolyCoefficients; ++k) {
            evaluate_formula(p[i].a[k], u16(k < static_cast<int>(c.size()) ? c[k].get_str() : "0").c_str());
        }
    }
};

Exact random_poly(std::mt19937_64& rng, int degree) {
    std::uniform_int_distribution<int> num(-50, 50), den(1, 12);
    Exact c(static_cast<size_t>(degree) + 1);
    for (auto& v : c) v = mpq_class(num(rng), den(rng)), v.canonicalize();
    if (c.back() == 0) c.back() = 1;
    return c;
}

// a * b and a / b (quotient and remainder) against exact convolution and long division: equal in the rational
// type, within 10^-39 relative (57 digits) in the real type.
TEST(PolynomialRandom, ProductsAndQuotientsMatchExactArithmetic) {
    std::mt19937_64 rng(6502);
    std::uniform_int_distribution<int> degree(0, 12);
    mpfr_t v;
    mpfr_init2(v, 2000);
    for (const auto& [type, limbs] : {std::pair{kTypeRational, 20}, std::pair{kTypeReal, 3}}) {
        Slots slots(type, limbs);
        for (int trial = 0; trial < 50; ++trial) {
            const Exact a = random_poly(rng, degree(rng)), b = random_poly(rng, degree(rng) / 2);
            Exact product(kPolyCoefficients, mpq_class(0)), q(kPolyCoefficients, mpq_class(0)), r(a);
            r.resize(kPolyCoefficients);
            for (size_t i = 0; i < a.size(); ++i) {
                for (size_t j = 0; j < b.size(); ++j) product[i + j] += a[i] * b[j];
            }
            const int db = static_cast<int>(b.size()) - 1;  // the leading coefficient is not 0
            for (int k = static_cast<int>(a.size()) - 1; k >= db; --k) {
                q[k - db] = r[k] / b[db];
                for (int i = 0; i <= db; ++i) r[k - db + i] -= b[i] * q[k - db];
            }
            slots.store(0, a);
            slots.store(1, b);
            multiply_polynomials(&slots.p[2], &slots.p[0], &slots.p[1]);
            const Exact* expected[] = {&product, &q, &r};
            for (int e = 0; e < 3; ++e) {
                if (e == 1) divide_polynomials(&slots.p[2], &slots.p[3], &slots.p[0], &slots.p[1]);
                ASSERT_EQ(message_state.message_code, 0u) << "trial " << trial;
                for (int k = 0; k < kPolyCoefficients; ++k) {
                    const std::string text = utf16_to_utf8(value_to_ring(slots.p[e == 2 ? 3 : 2].a[k], 0));
                    const mpq_class& want = (*expected[e])[k];
                    if (type == kTypeRational) {
                        EXPECT_EQ(text, want.get_str()) << "trial " << trial << " part " << e << " x^" << k;
                        continue;
                    }
                    EXPECT_EQ(mpfr_set_str(v, text.c_str(), 10, MPFR_RNDN), 0) << text;
                    mpq_class got;
                    mpfr_get_q(got.get_mpq_t(), v);
                    EXPECT_TRUE(abs(got - want) <=
                                (abs(want) + 1) / mpq_class("1000000000000000000000000000000000000000"))
                        << "trial " << trial << " part " << e << " x^" << k << " got " << text << " exact "
                        << want.get_d();
                }
            }
        }
    }
    mpfr_clear(v);
}

}  // namespace
