#include "formula/formula_eval.h"

#include "integer/rational.h"
#include "numeric/real_text.h"

FormulaResult formula_result{};

namespace {

// ---- Value slots ------------------------------------------------------------------------------------------------
// Every operand value lives in one slot of a fixed pool: a stack entry owns at most one value, so 50 slots always
// suffice within an evaluation. A slot holds a complex value at the largest precision, the guard limb included.
// One extra spill slot serves a caller that forgets to release (error 31, as for the scratch stack).
constexpr size_t kSlotWords = 2 * (static_cast<size_t>(kMaxUserLimbs) + 2);
constexpr int kSlotCount = kFormulaStackEntries;

uint64_t value_pool[kSlotCount + 1][kSlotWords];
bool slot_used[kSlotCount];

uint64_t* take_value() {
    for (int i = 0; i < kSlotCount; ++i) {
        if (!slot_used[i]) {
            slot_used[i] = true;
            return value_pool[i];
        }
    }
    raise_error(kErrScratchExhausted);
    return value_pool[kSlotCount];
}

// True when a value of the current type and precision fits a slot; otherwise raises error 1 so that nothing is
// written into the slot.
bool value_fits_slot() {
    size_t words = value_words();
    if (words <= kSlotWords) return true;
    raise_error(kErrLimbCount);
    return false;
}

// ---- Character classes ------------------------------------------------------------------------------------------
bool is_digit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool is_letter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= 0x0391 && c <= 0x03A9) ||
           (c >= 0x03B1 && c <= 0x03C9);
}

struct Keyword {
    const char16_t* name;
    uint16_t code;
};

const Keyword kKeywords[] = {
    {u"sqrt", kTokSqrt}, {u"cbrt", kTokCbrt},   {u"ln", kTokLn},       {u"log2", kTokLog2},   {u"log10", kTokLog10},
    {u"exp", kTokExp},   {u"abs", kTokAbs},     {u"sin", kTokSin},     {u"cos", kTokCos},     {u"tan", kTokTan},
    {u"asin", kTokAsin}, {u"acos", kTokAcos},   {u"atan", kTokAtan},   {u"sinh", kTokSinh},   {u"cosh", kTokCosh},
    {u"tanh", kTokTanh}, {u"asinh", kTokAsinh}, {u"acosh", kTokAcosh}, {u"atanh", kTokAtanh}, {u"fac", kTokFactorial},
    {u"\u03C0", kTokPi}, {u"pi", kTokPi},
};

// Code of the keyword spelled by text[0..len-1] (exact, case-sensitive, whole length); kTokUnknownName otherwise.
uint16_t keyword_code(const char16_t* text, int64_t len) {
    for (const Keyword& k : kKeywords) {
        int64_t i = 0;
        while (i < len && k.name[i] != 0 && k.name[i] == text[i]) ++i;
        if (i == len && k.name[i] == 0) return k.code;
    }
    return kTokUnknownName;
}

// Reads text[0..len-1] as a number of the current type into value.
void parse_literal(uint64_t* value, const char16_t* text, int len) {
    if (!value_fits_slot()) return;
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_parse(value, text, len, kParseAllowGroups);
            break;
        case kTypeRational:
            rational_from_text(value, text, len);
            break;
        case kTypeComplex:
            complex_parse(value, text, len, kParseAllowGroups);
            break;
        default:
            raise_error(kErrNumberType);
            break;
    }
}

// ---- The evaluation stack ---------------------------------------------------------------------------------------
FormulaEntry stack[kFormulaStackEntries];
int stack_top = -1;

bool is_binary(uint16_t code) {
    return code >= kTokAdd && code <= kTokPow;
}
bool is_function(uint16_t code) {
    return code >= kTokSqrt && code <= kTokFactorial;
}
bool is_unary_sign(uint16_t code) {
    return code == kTokUnaryPlus || code == kTokUnaryMinus;
}

void set_formula_error(uint32_t code, int32_t pos) {
    if (formula_result.formula_error != 0) return;
    formula_result.formula_error = code;
    formula_result.formula_error_pos = pos;
}

int32_t position_of(const FormulaEntry& e) {
    return static_cast<int32_t>(e.pos + 1);
}

// Removes entry i; the entries above it move down one place with their positions and values.
void remove_entry(int i) {
    formula_release_value(stack[i].value);
    for (int k = i; k < stack_top; ++k) stack[k] = stack[k + 1];
    stack[stack_top].value = nullptr;
    --stack_top;
}

// True when v is an exact fraction of the rational type (not its real form).
bool is_exact_fraction(const Value* v) {
    return num_ctx.number_type == kTypeRational && rational_is_exact(v);
}

// A word operand held in real form makes the rational result real as well, so that an inexact operand never
// produces a seemingly exact fraction.
void follow_real_form(Value* dst, bool word_was_real_form) {
    if (num_ctx.number_type == kTypeRational && word_was_real_form) rational_to_real(dst, dst);
}

void multiply(Value* a, const Value* b) {
    uint64_t w;
    bool negative;
    if (value_integer_word(a, &w, &negative)) {
        bool real_form = !is_exact_fraction(a);
        value_mul_word(a, b, w);
        if (negative) value_negate(a, a);
        follow_real_form(a, real_form);
    } else if (value_integer_word(b, &w, &negative)) {
        bool real_form = !is_exact_fraction(b);
        value_mul_word(a, a, w);
        if (negative) value_negate(a, a);
        follow_real_form(a, real_form);
    } else {
        value_mul(a, a, b);
    }
}

void divide(Value* a, const Value* b) {
    uint64_t w;
    bool negative;
    if (value_integer_word(b, &w, &negative)) {
        value_div_word(a, a, w);
        if (negative) value_negate(a, a);
        follow_real_form(a, !is_exact_fraction(b));
    } else {
        value_div(a, a, b);
    }
}

void power(Value* a, const Value* b) {
    uint64_t w;
    bool negative;
    constexpr uint64_t kSignedLimit = uint64_t{1} << 63;
    if (value_integer_word(b, &w, &negative) && (negative ? w <= kSignedLimit : w < kSignedLimit)) {
        int64_t n = negative ? static_cast<int64_t>(0 - w) : static_cast<int64_t>(w);
        value_pow_int(a, a, n);
        follow_real_form(a, !is_exact_fraction(b));
    } else {
        value_pow(a, a, b);
    }
}

// Computes a u b into a's value for the three entries below the top, moves the top entry down to u's place and
// drops b.
void reduce_once() {
    if (stack_top < 3) {
        set_formula_error(kFormulaInternal, kFormulaInternalPos);
        return;
    }
    FormulaEntry& a = stack[stack_top - 3];
    const FormulaEntry& u = stack[stack_top - 2];
    FormulaEntry& b = stack[stack_top - 1];
    if (a.code != kTokOperand || b.code != kTokOperand) {
        set_formula_error(kFormulaInternal, kFormulaInternalPos);
        return;
    }
    switch (u.code) {
        case kTokAdd:
            value_add(a.value, a.value, b.value);
            break;
        case kTokSub:
            value_sub(a.value, a.value, b.value);
            break;
        case kTokMul:
            multiply(a.value, b.value);
            break;
        case kTokDiv:
            divide(a.value, b.value);
            break;
        case kTokPow:
            power(a.value, b.value);
            break;
        default:
            set_formula_error(kFormulaInternal, kFormulaInternalPos);
            return;
    }
    remove_entry(stack_top - 1);  // b
    remove_entry(stack_top - 1);  // u
}

// The operator below the right operand, or 0 when there is none.
uint16_t pending_operator() {
    return stack_top >= 2 ? stack[stack_top - 2].code : 0;
}

// Whether the new binary operator t lets the pending operator u be reduced first: "^" is right-associative and
// binds tightest, "*" "/" come next, "+" "-" last; operators of one level reduce left to right.
bool reduces_before(uint16_t u, uint16_t t) {
    switch (u) {
        case kTokPow:
            return t != kTokPow;
        case kTokMul:
        case kTokDiv:
            return t != kTokPow;
        case kTokAdd:
        case kTokSub:
            return t == kTokAdd || t == kTokSub;
        default:
            set_formula_error(kFormulaInternal, kFormulaInternalPos);
            return false;
    }
}

// Applies the function or unary sign at entry i to the operand above it, which takes its place.
void apply_prefix(int i) {
    FormulaEntry& f = stack[i];
    Value* v = stack[i + 1].value;
    switch (f.code) {
        case kTokSqrt:
        case kTokCbrt:
        case kTokLn:
        case kTokLog2:
        case kTokLog10:
        case kTokExp:
        case kTokAbs:
        case kTokSin:
        case kTokCos:
        case kTokTan:
        case kTokAsin:
        case kTokAcos:
        case kTokAtan:
        case kTokSinh:
        case kTokCosh:
        case kTokTanh:
        case kTokAsinh:
        case kTokAcosh:
        case kTokAtanh:
        case kTokFactorial:
            value_unary(v, v, f.code);
            break;
        case kTokUnaryPlus:
            break;
        case kTokUnaryMinus:
            value_negate(v, v);
            break;
        default:
            set_formula_error(kFormulaInternal, kFormulaInternalPos);
            return;
    }
    remove_entry(i);
}

// Closes the parenthesis pair around the operand below the ")" on top, then applies a function or sign standing
// before the "(" (and a sign before that function).
void close_parenthesis() {
    if (stack_top < 2 || stack[stack_top - 2].code != kTokOpenParen) {
        set_formula_error(kFormulaMissingLeftParen, position_of(stack[stack_top]));
        return;
    }
    remove_entry(stack_top);      // ")"
    remove_entry(stack_top - 1);  // "("
    if (stack_top >= 1) {
        uint16_t below = stack[stack_top - 1].code;
        if (is_function(below) || is_unary_sign(below)) {
            apply_prefix(stack_top - 1);
            if (is_function(below) && stack_top >= 1 && is_unary_sign(stack[stack_top - 1].code)) {
                apply_prefix(stack_top - 1);
            }
        }
    }
}

// Reduces below the token t just pushed on top, as far as precedence allows.
void reduce() {
    uint16_t t = stack[stack_top].code;
    if (is_binary(t)) {
        while (formula_result.formula_error == 0 && is_binary(pending_operator()) &&
               reduces_before(pending_operator(), t)) {
            reduce_once();
        }
        return;
    }
    while (formula_result.formula_error == 0 && is_binary(pending_operator())) reduce_once();
    if (t == kTokCloseParen && formula_result.formula_error == 0) close_parenthesis();
}

// A unary sign directly below the operand on top is applied to it and removed.
void apply_pending_sign() {
    if (stack_top >= 1 && is_unary_sign(stack[stack_top - 1].code)) apply_prefix(stack_top - 1);
}

void release_stack() {
    for (int i = 0; i <= stack_top; ++i) {
        formula_release_value(stack[i].value);
        stack[i].value = nullptr;
    }
    stack_top = -1;
}

// Handles the token just read into the top entry.
void handle_token(const FormulaEntry& e, uint16_t prev) {
    switch (e.code) {
        case kTokOperand:
            apply_pending_sign();
            break;
        case kTokPi: {
            FormulaEntry& top = stack[stack_top];
            top.value = take_value();
            if (value_fits_slot()) value_set_special(top.value, kSpecialPi);
            top.code = kTokOperand;
            apply_pending_sign();
            break;
        }
        case kTokImaginary: {
            FormulaEntry& top = stack[stack_top];
            top.value = take_value();
            if (value_fits_slot()) value_set_special(top.value, kSpecialImaginaryUnit);
            if (prev == kTokOperand) {
                // Implicit multiplication: (1+2)i and "2 i" are 3i and 2i.
                Value* left = stack[stack_top - 1].value;
                value_mul(left, left, top.value);
                remove_entry(stack_top);
            } else {
                top.code = kTokOperand;
                apply_pending_sign();
            }
            break;
        }
        case kTokAdd:
        case kTokSub:
        case kTokMul:
        case kTokDiv:
        case kTokPow:
        case kTokCloseParen:
            if (prev != kTokOperand) {
                set_formula_error(kFormulaSyntax, position_of(e));
                return;
            }
            reduce();
            break;
        case kTokEnd:
            if (prev != kTokOperand) {
                set_formula_error(kFormulaUnexpectedEnd, position_of(e));
                return;
            }
            reduce();
            if (formula_result.formula_error == 0 &&
                (stack_top != 1 || stack[0].code != kTokOperand || stack[1].code != kTokEnd)) {
                set_formula_error(kFormulaUnexpectedEnd, position_of(stack[stack_top]));
            }
            break;
        case kTokUnaryPlus:
        case kTokUnaryMinus:
            break;
        case kTokOpenParen:
            if (prev == kTokOperand) set_formula_error(kFormulaSyntax, position_of(e));
            break;
        default:
            if (is_function(e.code)) {
                if (prev == kTokOperand) set_formula_error(kFormulaSyntax, position_of(e));
            } else if (e.code > kTokPi && e.code < kTokSemicolon) {
                set_formula_error(kFormulaInternal, kFormulaInternalPos);
            } else {
                set_formula_error(kFormulaSyntax, position_of(e));  // codes 2, 3 and ";"
            }
            break;
    }
}

}  // namespace

void formula_release_value(uint64_t* value) {
    if (value == nullptr) return;
    for (int i = 0; i < kSlotCount; ++i) {
        if (value == value_pool[i]) slot_used[i] = false;
    }
}

void next_token(FormulaEntry* entry, const char16_t* text, int64_t* position) {
    int64_t p = *position;
    while (text[p] == u' ') ++p;
    entry->pos = p;
    entry->len = 0;
    entry->value = nullptr;
    char16_t c = text[p];
    if (c == 0) {
        entry->code = kTokEnd;
    } else if (is_digit(c)) {
        int64_t q = p + 1;
        for (;;) {
            char16_t d = text[q];
            if (is_digit(d) || char_in_set(d, num_ctx.group_chars) || char_in_set(d, num_ctx.decimal_point_chars) ||
                char_in_set(d, num_ctx.exponent_chars) || char_in_set(d, num_ctx.imaginary_chars) ||
                ((d == u'+' || d == u'-') && char_in_set(text[q - 1], num_ctx.exponent_chars))) {
                ++q;
            } else {
                break;
            }
        }
        entry->code = kTokOperand;
        entry->len = q - p;
        entry->value = take_value();
        parse_literal(entry->value, text + p, static_cast<int>(q - p));
    } else if (char_in_set(c, num_ctx.imaginary_chars)) {
        entry->code = kTokImaginary;
        entry->len = 1;
    } else if (c == u'+' || c == u'-') {
        int64_t q = p;
        while (q > 0 && text[q - 1] == u' ') --q;
        bool unary = q == 0 || text[q - 1] == u'(';
        entry->code = c == u'+' ? (unary ? kTokUnaryPlus : kTokAdd) : (unary ? kTokUnaryMinus : kTokSub);
        entry->len = 1;
    } else if (is_letter(c)) {
        int64_t q = p + 1;
        while (is_letter(text[q]) || is_digit(text[q])) ++q;
        entry->len = q - p;
        entry->code = keyword_code(text + p, q - p);
    } else {
        entry->len = 1;
        switch (c) {
            case u'*':
                entry->code = kTokMul;
                break;
            case u'/':
                entry->code = kTokDiv;
                break;
            case u'^':
                entry->code = kTokPow;
                break;
            case u'(':
                entry->code = kTokOpenParen;
                break;
            case u')':
                entry->code = kTokCloseParen;
                break;
            case u';':
                entry->code = kTokSemicolon;
                break;
            default:
                entry->code = kTokBadChar;
                entry->len = 0;
                break;
        }
    }
    *position = p + entry->len;
}

void evaluate_formula(Value* result, const char16_t* text) {
    formula_result.formula_error = 0;
    formula_result.formula_error_pos = 0;
    num_ctx.error_code = 0;
    release_stack();
    int64_t position = 0;
    for (;;) {
        if (stack_top + 1 >= kFormulaStackEntries) {
            set_formula_error(kFormulaTooComplex, 1);
            break;
        }
        ++stack_top;
        FormulaEntry& e = stack[stack_top];
        next_token(&e, text, &position);
        uint16_t code = e.code;
        uint16_t prev = stack_top > 0 ? stack[stack_top - 1].code : 0;
        handle_token(e, prev);
        if (formula_result.formula_error == 0 && num_ctx.error_code != 0) {
            set_formula_error(kFormulaNumber, position_of(stack[stack_top]));
        }
        if (formula_result.formula_error != 0 || code < kTokOperand) break;
    }
    if (formula_result.formula_error == 0) {
        value_copy(result, stack[0].value);
    } else {
        value_set_int(result, 0);
    }
    release_stack();
    num_ctx.error_code = 0;
}
