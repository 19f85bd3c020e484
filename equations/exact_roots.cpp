#include "equations/exact_roots.h"

#include <cmath>
#include <cstring>

#include "formula/complex_num.h"
#include "formula/formula_eval.h"
#include "formula/value.h"
#include "integer/integer_text.h"
#include "integer/rational.h"
#include "numeric/real_arith.h"
#include "shell/messages.h"

namespace {

constexpr int kExactSolveDigits = 22;
constexpr int kCandidateDigits = 20;
constexpr int kRationalWords = kExactCoefficientLimbs + 1;

using ExactValue = uint64_t[kRationalWords];

// Installs the precision of the exact computations: two real limbs, one integer limb, the rational type.
void install_exact_precision() {
    num_ctx.real_limbs = kExactCoefficientLimbs;
    num_ctx.int_limbs = 1;
    num_ctx.number_type = kTypeRational;
}

uint64_t isqrt_word(uint64_t m) {
    uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<long double>(m)));
    while (static_cast<unsigned __int128>(r) * r > m) --r;
    while (static_cast<unsigned __int128>(r + 1) * (r + 1) <= m) ++r;
    return r;
}

uint64_t icbrt_word(uint64_t m) {
    uint64_t t = static_cast<uint64_t>(std::cbrt(static_cast<long double>(m)));
    auto cube = [](uint64_t x) { return static_cast<unsigned __int128>(x) * x * x; };
    while (t > 0 && cube(t) > m) --t;
    while (cube(t + 1) <= m) ++t;
    return t;
}

// The words of an exact rational at the exact precision: numerator and denominator magnitudes and the sign.
bool exact_words(const uint64_t* x, uint64_t* numerator, uint64_t* denominator, bool* negative) {
    if (!rational_is_exact(x)) return false;
    ScratchFrame frame;
    RationalWidth width(rational_width(false));
    RationalParts parts = rational_parts_take();
    const uint32_t saved = num_ctx.error_code;
    num_ctx.error_code = 0;
    rational_unpack(&parts, x);
    bool ok = num_ctx.error_code == 0 && bigint_to_uint64(numerator, parts.num, true) &&
              bigint_to_uint64(denominator, parts.den, true);
    num_ctx.error_code = saved;
    *negative = parts.negative;
    return ok;
}

// dst = (negative ? -1 : 1) * numerator / denominator, reduced; a fraction that does not fit becomes real.
void exact_from_words(uint64_t* dst, uint64_t numerator, uint64_t denominator, bool negative) {
    ScratchFrame frame;
    RationalWidth width(rational_width(false));
    RationalParts a = rational_parts_take();
    RationalParts b = rational_parts_take();
    bigint_set_word(a.num, numerator);
    bigint_set_word(b.num, denominator);
    a.negative = negative;
    if (!rational_div(&a, &a, &b)) {
        raise_error(kErrIntOverflow);
        real_set_zero(dst);
        return;
    }
    rational_store(dst, &a);
}

bool exact_is_rational(const uint64_t* x) {
    return rational_is_exact(x);
}

// A rational of the exact precision as a real at the current L.
void exact_to_real(RealNum* dst, const uint64_t* x) {
    ScratchFrame frame;
    RealNum* widened = scratch_real();
    rational_resize(widened, x, kExactCoefficientLimbs);
    rational_to_real(dst, widened);
}

// Builds one exact text of at most 100 characters; writing past the limit sets message 9002.
struct ExactTextWriter {
    char16_t* text;
    int length;
    bool overflow;
};

ExactTextWriter exact_writer(char16_t* slot) {
    slot[0] = 0;
    return ExactTextWriter{slot, 0, false};
}

void exact_put(ExactTextWriter* w, char16_t c) {
    if (w->overflow) return;
    if (w->length >= kExactTextChars) {
        w->overflow = true;
        set_message(kMsgStringOverflow);
        return;
    }
    w->text[w->length++] = c;
    w->text[w->length] = 0;
}

void exact_put_ascii(ExactTextWriter* w, const char* s) {
    for (; *s != 0; ++s) exact_put(w, static_cast<char16_t>(*s));
}

// The rational text of a value of the exact precision.
void exact_put_rational(ExactTextWriter* w, const uint64_t* x, uint32_t flags) {
    char16_t buffer[2 * kExactTextChars];
    const int length = rational_to_text(buffer, 2 * kExactTextChars, x, flags);
    if (length > kExactTextChars - w->length) {
        if (!w->overflow) set_message(kMsgStringOverflow);
        w->overflow = true;
        return;
    }
    for (int i = 0; i < length; ++i) exact_put(w, buffer[i]);
}

// Exchanges "+" and "-" at the sign position of a copy, then drops a leading "+" from both texts.
void finish_pair(char16_t* first, char16_t* second, int sign_position) {
    std::memcpy(second, first, sizeof(char16_t) * (kExactTextChars + 1));
    if (second[sign_position] == u'+') {
        second[sign_position] = u'-';
    } else if (second[sign_position] == u'-') {
        second[sign_position] = u'+';
    }
    for (char16_t* text : {first, second}) {
        if (text[0] == u'+') std::memmove(text, text + 1, sizeof(char16_t) * kExactTextChars);
    }
}

// x = -(a_0 / a_1) as the text of slot k when it is still an exact rational.
void degree_one_text(const uint64_t* a0, const uint64_t* a1, EquationSolution* solution, int k) {
    install_exact_precision();
    ExactValue x;
    value_div(x, a0, a1);
    value_negate(x, x);
    if (num_ctx.error_code == 0 && exact_is_rational(x)) {
        ExactTextWriter w = exact_writer(solution->exact_text[k]);
        exact_put_rational(&w, x, solution->format_flags);
    }
    num_ctx.error_code = 0;
}

// acc = p(candidate) by Horner's scheme; the quotient coefficients land in q[0..degree-1]. True when the candidate
// is an exact root.
bool horner_test(const ExactValue* a, int degree, const uint64_t* candidate, ExactValue* q) {
    ExactValue acc;
    value_copy(acc, a[degree]);
    for (int i = degree - 1; i >= 0; --i) {
        value_copy(q[i], acc);
        value_mul(acc, acc, candidate);
        value_add(acc, a[i], acc);
    }
    return num_ctx.error_code == 0 && exact_is_rational(acc) && rational_is_zero(acc);
}

}  // namespace

SquareFreeSplit square_free_split(uint64_t m) {
    SquareFreeSplit out{1, 1};
    uint64_t p = 2;
    for (;;) {
        const uint64_t root = isqrt_word(m);
        if (root * root == m) {
            out.s *= root;
            return out;
        }
        const uint64_t t = icbrt_word(m);
        if (t * t * t == m) {
            out.s *= t;
            m = t;
            continue;
        }
        bool divided = false;
        while (p <= t && !divided) {
            while (m % (p * p) == 0) {
                out.s *= p;
                m /= p * p;
                divided = true;
            }
            if (m % p == 0) {
                out.r *= p;
                m /= p;
                divided = true;
            }
            p = p == 2 ? 3 : p + 2;
        }
        if (!divided) {
            out.r *= m;
            return out;
        }
    }
}

bool read_rational_coefficients(const CoefficientRows& rows, int degree, RationalEquation* equation) {
    install_exact_precision();
    equation->degree = degree;
    for (int r = 0; r <= degree; ++r) {
        if (message_state.message_code != 0) return false;
        CoefficientRow row;
        if (!coefficient_row(rows, r, &row)) continue;
        uint64_t* a = equation->coefficients[degree - r];
        if (row.blank) {
            rational_from_words(a, 0, 1);
        } else {
            evaluate_formula(a, row.text);
            if (formula_result.formula_error != 0 || !rational_is_exact(a)) {
                set_message(kMsgCoefficientNotRational, row.name);
                continue;
            }
        }
        if (r == 0 && rational_is_zero(a)) set_message(kMsgLeadingCoefficientZero, row.name);
    }
    num_ctx.error_code = 0;
    return message_state.message_code == 0;
}

void exact_roots(const RationalEquation& equation, EquationSolution* solution) {
    // The complex copy of the coefficients for the root finder; kept for the process like the solve records.
    static EquationInput input;

    const int n = equation.degree;
    const int digits = solution->digits;
    const bool raised = digits < kExactSolveDigits;
    if (n < 1 || n > kMaxEquationDegree) {
        set_message(kMsgInternal);
        solution->root_count = -1;
        return;
    }
    if (raised) {
        const int f = degree_precision_factor(n);
        const int working_digits = (f + kExactSolveDigits * 1000 - 1) / f;
        const int limbs = (working_digits + 18) / 19;
        solution->digits = kExactSolveDigits;
        solution->limbs = limbs < 1 ? 1 : limbs;
    }
    const int limbs = solution->limbs;
    num_ctx.real_limbs = limbs;
    input.degree = n;
    for (int k = 0; k <= n; ++k) {
        ComplexNum* a = input.coefficients[k];
        exact_to_real(complex_real(a), equation.coefficients[k]);
        real_set_zero(complex_imag(a));
    }
    solve_polynomial(input, solution, 1);
    if (message_state.message_code == 0) {
        if (n == 1) {
            degree_one_text(equation.coefficients[0], equation.coefficients[1], solution, 0);
        } else if (n == 2) {
            quadratic_exact_text(equation.coefficients[0], equation.coefficients[1], equation.coefficients[2], solution,
                                 0, 1);
        } else {
            rational_root_search(equation, solution);
        }
    }
    if (message_state.message_code == 0) {
        num_ctx.real_limbs = limbs;
        if (raised) {
            for (int i = 0; i < solution->root_count; ++i) {
                complex_round_digits(solution->roots[i], solution->roots[i], digits);
            }
            solution->digits = digits;
        }
        order_roots(solution);
        if (solution->real_only == 1) {
            while (solution->root_count > 0 && !complex_is_real(solution->roots[solution->root_count - 1])) {
                --solution->root_count;
            }
        }
    }
    if (message_state.message_code != 0) {
        solution->root_count = -1;
        solution->digits = digits;
    }
}

void rational_root_search(const RationalEquation& equation, EquationSolution* solution) {
    const int n = equation.degree;
    const int limbs = solution->limbs;
    install_exact_precision();
    ExactValue a[kMaxEquationCoefficients];
    ExactValue q[kMaxEquationCoefficients];
    for (int k = 0; k <= n; ++k) value_copy(a[k], equation.coefficients[k]);

    // Clear the denominators.
    for (int k = 0; k <= n; ++k) {
        uint64_t numerator = 0;
        uint64_t denominator = 1;
        bool negative = false;
        if (!exact_words(a[k], &numerator, &denominator, &negative) || denominator == 1) continue;
        ExactValue factor;
        exact_from_words(factor, denominator, 1, false);
        for (int i = 0; i <= n; ++i) value_mul(a[i], a[i], factor);
    }
    uint64_t leading = 0;
    uint64_t leading_den = 0;
    bool leading_negative = false;
    if (!exact_words(a[n], &leading, &leading_den, &leading_negative) || num_ctx.error_code != 0 ||
        leading >= (uint64_t{1} << 63)) {
        num_ctx.error_code = 0;
        return;
    }

    int remembered[2] = {-1, -1};
    auto remember = [&remembered](int j) {
        if (remembered[0] < 0) {
            remembered[0] = j;
        } else if (remembered[1] < 0) {
            remembered[1] = j;
        }
    };
    int m = n;
    for (int j = 0; j < solution->root_count; ++j) {
        num_ctx.error_code = 0;
        const ComplexNum* root = solution->roots[j];
        // The parts of the root sit at L limbs; read them there, then narrow.
        num_ctx.real_limbs = limbs;
        const bool real_root = complex_is_real(root);
        install_exact_precision();
        if (!real_root) {
            remember(j);
            continue;
        }
        RealNum x[kRationalWords];
        RealNum y[kRationalWords];
        real_resize(x, complex_real(root), limbs);

        ExactValue candidate;
        bool found = false;
        int64_t whole = 0;
        real_round_digits(y, x, kCandidateDigits);
        if (real_to_i64(&whole, y, kToIntQuiet)) {
            rational_from_words(candidate, whole, 1);
            found = horner_test(a, m, candidate, q);
        }
        if (!found) {
            RealNum scale[kRationalWords];
            real_from_u64(scale, leading);
            real_round_on_guard(y, real_mul(y, x, scale));
            real_round_digits(y, y, kCandidateDigits);
            if (real_to_i64(&whole, y, kToIntQuiet)) {
                rational_from_words(candidate, whole, static_cast<int64_t>(leading));
                found = horner_test(a, m, candidate, q);
            }
        }
        if (found) {
            for (int i = 0; i < m; ++i) value_copy(a[i], q[i]);
            --m;
            ExactTextWriter w = exact_writer(solution->exact_text[j]);
            exact_put_rational(&w, candidate, solution->format_flags);
        } else {
            remember(j);
        }
    }
    num_ctx.error_code = 0;
    if (m == 1 && remembered[0] >= 0) {
        degree_one_text(a[0], a[1], solution, remembered[0]);
    } else if (m == 2) {
        if (remembered[0] < 0 || remembered[1] < 0) {
            set_message(kMsgInternal);
            return;
        }
        quadratic_exact_text(a[0], a[1], a[2], solution, remembered[0], remembered[1]);
    }
}

void quadratic_exact_text(const uint64_t* a0, const uint64_t* a1, const uint64_t* a2, EquationSolution* solution,
                          int k1, int k2) {
    install_exact_precision();
    ExactValue discriminant;
    ExactValue product;
    ExactValue two_a2;
    ExactValue middle;
    ExactValue s;
    uint64_t r = 1;
    value_mul(discriminant, a1, a1);
    value_mul(product, a2, a0);
    value_mul_word(product, product, 4);
    value_sub(discriminant, discriminant, product);
    value_mul_word(two_a2, a2, 2);
    value_div(middle, a1, two_a2);
    value_negate(middle, middle);

    // sqrt(|D|) = s * sqrt(r): with |D| = p/q, p = s_p^2 r_p and q = s_q^2 r_q, sqrt(p/q) = s_p sqrt(r_p r_q) /
    // (s_q r_q).
    uint64_t p = 0;
    uint64_t den = 1;
    bool negative = false;
    const bool exact_discriminant = exact_words(discriminant, &p, &den, &negative);
    const int sign = exact_discriminant ? (p == 0 ? 0 : (negative ? -1 : 1)) : 0;
    if (exact_discriminant && p == 0) {
        rational_from_words(s, 0, 1);
    } else if (exact_discriminant) {
        const SquareFreeSplit top = square_free_split(p);
        const SquareFreeSplit bottom = square_free_split(den);
        unsigned __int128 radicand = static_cast<unsigned __int128>(top.r) * bottom.r;
        if (radicand > UINT64_MAX) {
            raise_error(kErrIntOverflow);
        } else {
            r = static_cast<uint64_t>(radicand);
        }
        exact_from_words(s, top.s, bottom.s * bottom.r, false);
        value_div(s, s, two_a2);
    }
    if (!exact_discriminant || num_ctx.error_code != 0 || !exact_is_rational(s) || !exact_is_rational(middle)) {
        num_ctx.error_code = 0;
        return;
    }

    char16_t* first = solution->exact_text[k1];
    char16_t* second = solution->exact_text[k2];
    const bool real_only = solution->real_only == 1;
    const uint32_t flags = solution->format_flags;
    const uint32_t signed_flags = flags | kIntFmtAlwaysSign;
    const char16_t imaginary = num_ctx.imaginary_chars[0] != 0 ? num_ctx.imaginary_chars[0] : u'i';
    if (sign == 0) {
        ExactTextWriter w1 = exact_writer(first);
        exact_put_rational(&w1, middle, flags);
        ExactTextWriter w2 = exact_writer(second);
        exact_put_rational(&w2, middle, flags);
    } else if (r != 1 && !(real_only && sign < 0)) {
        ExactTextWriter w = exact_writer(first);
        if (!rational_is_zero(middle)) exact_put_rational(&w, middle, flags);
        const int sign_position = w.length;
        if (rational_compare_word(s, 1) == 0) {
            exact_put(&w, u'+');
        } else if (rational_compare_word(s, -1) == 0) {
            exact_put(&w, u'-');
        } else {
            exact_put_rational(&w, s, signed_flags);
            exact_put(&w, u'*');
        }
        exact_put_ascii(&w, "sqrt(");
        ExactValue radicand;
        exact_from_words(radicand, r, 1, false);
        exact_put_rational(&w, radicand, flags);
        exact_put(&w, u')');
        if (sign < 0) {
            exact_put(&w, u'*');
            exact_put(&w, imaginary);
        }
        finish_pair(first, second, sign_position);
    } else if (r == 1 && sign > 0) {
        ExactValue sum;
        ExactValue difference;
        value_add(sum, middle, s);
        value_sub(difference, middle, s);
        if (exact_is_rational(sum) && exact_is_rational(difference)) {
            ExactTextWriter w1 = exact_writer(first);
            exact_put_rational(&w1, sum, flags);
            ExactTextWriter w2 = exact_writer(second);
            exact_put_rational(&w2, difference, flags);
        }
    } else if (r == 1 && sign < 0 && !real_only) {
        ExactTextWriter w = exact_writer(first);
        if (!rational_is_zero(middle)) exact_put_rational(&w, middle, flags);
        const int sign_position = w.length;
        exact_put_rational(&w, s, signed_flags);
        exact_put(&w, u'*');
        exact_put(&w, imaginary);
        finish_pair(first, second, sign_position);
    }

    if (first[0] != 0 && second[0] != 0 && message_state.message_code == 0) {
        // The closed form replaces the two approximations: (-a_1 +- S) / (2 a_2), S = sqrt(|D|), times i for D < 0.
        num_ctx.real_limbs = solution->limbs;
        ScratchFrame frame;
        RealNum* magnitude = scratch_real();
        ComplexNum* root_term = scratch_complex();
        ComplexNum* minus_b = scratch_complex();
        ComplexNum* denominator = scratch_complex();
        exact_to_real(magnitude, discriminant);
        magnitude[0] &= ~uint64_t{1};
        complex_set_zero(root_term);
        real_guarded_unary(sign < 0 ? complex_imag(root_term) : complex_real(root_term), magnitude, real_sqrt, 2);
        exact_to_real(complex_real(minus_b), a1);
        real_negate(complex_real(minus_b));
        real_set_zero(complex_imag(minus_b));
        exact_to_real(complex_real(denominator), a2);
        real_set_zero(complex_imag(denominator));
        complex_mul_word(denominator, denominator, 2);
        ComplexNum* x1 = solution->roots[k1];
        ComplexNum* x2 = solution->roots[k2];
        complex_add(x1, minus_b, root_term);
        complex_div(x1, x1, denominator);
        complex_round_digits(x1, x1, solution->digits);
        complex_sub(x2, minus_b, root_term);
        complex_div(x2, x2, denominator);
        complex_round_digits(x2, x2, solution->digits);
    }
    num_ctx.error_code = 0;
}
