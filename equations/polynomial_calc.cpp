#include "equations/polynomial_calc.h"

#include "formula/formula_eval.h"
#include "integer/rational.h"
#include "numeric/real_arith.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

constexpr int kSlotRemainder = 92;
constexpr int kTermTextMaxDegree = 100;
constexpr size_t kTermTextChars = 54;  // a buffer of 55 with its terminator

bool is_zero(const Value* v) {
    switch (num_ctx.number_type) {
        case kTypeRational:
            return rational_is_zero(v);
        case kTypeComplex:
            return real_is_zero(complex_real(v)) && real_is_zero(complex_imag(v));
        default:
            return real_is_zero(v);
    }
}

std::u16string decimal_text(int n) {
    std::u16string digits;
    unsigned v = n < 0 ? 0u - static_cast<unsigned>(n) : static_cast<unsigned>(n);
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + v % 10));
        v /= 10;
    } while (v != 0);
    if (n < 0) digits.insert(digits.begin(), u'-');
    return digits;
}

bool is_blank(const std::u16string& text) {
    for (const char16_t c : text) {
        if (c != u' ' && c != u'\t') return false;
    }
    return true;
}

std::u16string polynomial_name(int p) {
    std::u16string name(u"P");
    name += decimal_text(p);
    name += u"(x)";
    return name;
}

// The value slots of a command: up to four polynomials and two temporaries in one block.
struct PolySlots {
    std::vector<Value> storage;
    Polynomial poly[4];
};

// Sets up type and precision; false (with message 1001) when the type or the limb count is not supported.
bool setup(const PolyControls& controls, PolySlots* slots) {
    clear_error_state();
    const int32_t limbs = (controls.digits + 21) / 19;
    if (limbs < 1 || limbs > kMaxUserLimbs) raise_error(kErrLimbCount);
    if (controls.number_type != kTypeReal && controls.number_type != kTypeRational &&
        controls.number_type != kTypeComplex) {
        raise_error(kErrNumberType);
    }
    if (num_ctx.error_code != 0) {
        set_message(kMsgOverflow);
        return false;
    }
    num_ctx.real_limbs = limbs;
    num_ctx.number_type = controls.number_type;
    const size_t words = value_words();
    slots->storage.assign(4 * kPolyCoefficients * words, 0);
    for (int p = 0; p < 4; ++p) {
        for (int k = 0; k < kPolyCoefficients; ++k) {
            slots->poly[p].a[k] = slots->storage.data() + (static_cast<size_t>(p) * kPolyCoefficients + k) * words;
            value_set_int(slots->poly[p].a[k], 0);
        }
    }
    return true;
}

void copy_polynomial(Polynomial* dst, const Polynomial* src) {
    for (int k = 0; k < kPolyCoefficients; ++k) value_copy(dst->a[k], src->a[k]);
}

void append_coefficients(std::u16string* out, const Polynomial& p, int degree, char16_t letter, uint32_t flags) {
    for (int i = degree; i >= 0; --i) {
        *out += letter;
        *out += decimal_text(i) + u" = ";
        *out += value_to_ring(p.a[i], flags);
        *out += u"\r\n";
    }
}

int clamp(int v, int lo, int hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

}  // namespace

int polynomial_degree(const Polynomial& p) {
    for (int k = kPolyMaxDegree; k >= 0; --k) {
        if (!is_zero(p.a[k])) return k;
    }
    return -1;
}

bool read_polynomial(Polynomial* target, const GridCells& grid, int p, int max_degree) {
    const int m = clamp(max_degree, 0, kPolyMaxDegree);
    for (int k = m + 1; k < kPolyCoefficients; ++k) value_set_int(target->a[k], 0);
    for (int k = m; k >= 0; --k) {
        const std::u16string text = grid.cell_text(kPolyMaxDegree - k, p);
        bool ok = text.size() <= kPolyCellChars;
        if (ok && is_blank(text)) {
            value_set_int(target->a[k], 0);
            continue;
        }
        if (ok) {
            evaluate_formula(target->a[k], text.c_str());
            ok = formula_result.formula_error == kFormulaOk;
            if (!ok) {
                message_state.formula_error = formula_result.formula_error;
                message_state.formula_error_pos = formula_result.formula_error_pos;
            }
        }
        if (!ok) {
            std::u16string coefficient(u"a");
            coefficient += decimal_text(k);
            set_message(kMsgPolynomialFormula, coefficient, polynomial_name(p));
            return false;
        }
    }
    return true;
}

void multiply_polynomials(Polynomial* result, const Polynomial* a, const Polynomial* b) {
    if (result == a || result == b) {
        set_message(kMsgInternal);
        return;
    }
    for (int k = 0; k < kPolyCoefficients; ++k) value_set_int(result->a[k], 0);
    const int degree_a = polynomial_degree(*a);
    if (degree_a < 0) return;
    ScratchFrame frame;
    Value* product = scratch_take(value_words());
    for (int j = kPolyMaxDegree; j >= 0; --j) {
        if (is_zero(b->a[j])) continue;
        for (int i = degree_a; i >= 0; --i) {
            if (i + j > kPolyMaxDegree || num_ctx.error_code != 0) {
                set_message(kMsgOverflow);
                return;
            }
            value_mul(product, a->a[i], b->a[j]);
            value_add(result->a[i + j], result->a[i + j], product);
        }
    }
}

void divide_polynomials(Polynomial* quotient, Polynomial* remainder, const Polynomial* a, const Polynomial* b) {
    if (quotient == remainder || quotient == a || quotient == b) return;
    for (int k = 0; k < kPolyCoefficients; ++k) value_set_int(quotient->a[k], 0);
    if (remainder != a) copy_polynomial(remainder, a);
    const int degree_a = polynomial_degree(*remainder);
    const int degree_b = polynomial_degree(*b);
    if (degree_b < 0) {
        set_message(kMsgDivisionByZero);
        return;
    }
    if (degree_a < degree_b) return;
    ScratchFrame frame;
    Value* t = scratch_take(value_words());
    Value* product = scratch_take(value_words());
    for (int k = degree_a; k >= degree_b; --k) {
        value_div(t, remainder->a[k], b->a[degree_b]);
        value_set_int(remainder->a[k], 0);
        for (int i = degree_b - 1; i >= 0; --i) {
            Value* target = remainder->a[k - degree_b + i];
            value_mul(product, b->a[i], t);
            value_sub(target, target, product);
        }
        value_copy(quotient->a[k - degree_b], t);
    }
}

std::u16string term_text(int degree, char16_t letter) {
    std::u16string text;
    if (degree > kTermTextMaxDegree || degree < 0) return text;
    for (int k = degree; k >= 0; --k) {
        if (degree >= 5 && k == degree - 2) {
            text += u"... + ";
            k = 1;
        }
        text += letter;
        text += decimal_text(k);
        if (k >= 1) text += u"*x";
        if (k >= 2) {
            text += u'^';
            text += decimal_text(k);
        }
        if (k >= 1) text += u" + ";
    }
    if (text.size() > kTermTextChars) text.resize(kTermTextChars);
    return text;
}

uint32_t polynomial_multiply_command(const GridCells& grid, const PolyControls& controls, std::u16string* output) {
    output->clear();
    PolySlots slots;
    if (setup(controls, &slots)) {
        const int count = clamp(controls.polynomial_count, 2, kPolyMaxCount);
        Polynomial* accumulator = &slots.poly[0];
        Polynomial* copy = &slots.poly[1];
        Polynomial* operand = &slots.poly[2];
        bool ok = read_polynomial(accumulator, grid, 0, controls.max_degree);
        for (int i = 1; i < count && ok; ++i) {
            copy_polynomial(copy, accumulator);
            ok = read_polynomial(operand, grid, i, controls.max_degree);
            if (ok) multiply_polynomials(accumulator, copy, operand);
            ok = ok && message_state.message_code == 0;
        }
        if (ok) {
            const uint32_t flags = static_cast<uint32_t>(controls.digits) & kFmtDigitMask;
            const int degree = polynomial_degree(*accumulator);
            const int shown = degree < 0 ? 0 : degree;
            *output += polynomial_name(0);
            for (int i = 1; i < count; ++i) *output += u" * " + polynomial_name(i);
            *output += u" = " + term_text(shown, u'b') + u"\r\n\r\n";
            append_coefficients(output, *accumulator, shown, u'b', flags);
        }
    }
    num_ctx.number_type = kTypeNone;
    return message_state.message_code;
}

uint32_t polynomial_divide_command(const GridCells& grid, const PolyControls& controls, std::u16string* output) {
    output->clear();
    PolySlots slots;
    if (setup(controls, &slots)) {
        Polynomial* a = &slots.poly[0];
        Polynomial* b = &slots.poly[1];
        Polynomial* quotient = &slots.poly[2];
        Polynomial* remainder = &slots.poly[3];
        if (read_polynomial(a, grid, 0, controls.max_degree) && read_polynomial(b, grid, 1, controls.max_degree)) {
            divide_polynomials(quotient, remainder, a, b);
        }
        if (message_state.message_code == 0) {
            const uint32_t flags = static_cast<uint32_t>(controls.digits) & kFmtDigitMask;
            const int degree_q = polynomial_degree(*quotient) < 0 ? 0 : polynomial_degree(*quotient);
            const int degree_r = polynomial_degree(*remainder) < 0 ? 0 : polynomial_degree(*remainder);
            *output += polynomial_name(0) + u" / " + polynomial_name(1) + u" = ";
            *output += term_text(degree_q, u'b') + u"    " + string_table.text[kSlotRemainder] + u"    ";
            *output += term_text(degree_r, u'r') + u"\r\n\r\n";
            append_coefficients(output, *quotient, degree_q, u'b', flags);
            *output += u"\r\n";
            append_coefficients(output, *remainder, degree_r, u'r', flags);
        }
    }
    num_ctx.number_type = kTypeNone;
    return message_state.message_code;
}
