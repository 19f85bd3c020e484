#include "calculator/calculator_engine.h"

#include "formula/complex_num.h"
#include "formula/formula_eval.h"
#include "formula/value.h"
#include "integer/bigint.h"
#include "integer/integer_text.h"
#include "integer/rational.h"
#include "numeric/real_arith.h"
#include "numeric/real_functions.h"
#include "numeric/real_special.h"
#include "numeric/real_text.h"
#include "shell/messages.h"
#include "shell/settings.h"

namespace {

// Characters of the entry text that MW keeps behind the "@" marker.
constexpr size_t kRegisterEntryChars = kRegisterChars - 1;
// Operands of the modular power must stay below 2^8192.
constexpr uint64_t kPowModBits = 8192;

// ---- Window calls ----------------------------------------------------------------------------------------------

const std::u16string& read_entry(Calculator& c) {
    c.entry_copy.clear();
    if (c.view.get_entry != nullptr) c.view.get_entry(c.view.owner, &c.entry_copy);
    return c.entry_copy;
}

void show_paren_indicator(Calculator& c) {
    std::u16string text;
    if (c.open_parens > 0) {
        text = u"(";
        if (c.open_parens >= 10) text += static_cast<char16_t>(u'0' + c.open_parens / 10);
        text += static_cast<char16_t>(u'0' + c.open_parens % 10);
    }
    if (c.view.set_paren_indicator != nullptr) c.view.set_paren_indicator(c.view.owner, text);
}

void show_register_indicator(Calculator& c, std::u16string_view text) {
    c.register_indicator.assign(text);
    if (c.view.set_register_indicator != nullptr) c.view.set_register_indicator(c.view.owner, text);
}

void show_inexact(Calculator& c, bool shown) {
    if (c.view.show_inexact != nullptr) c.view.show_inexact(c.view.owner, shown);
}

void enable_key(Calculator& c, int cell, bool enabled) {
    if (cell >= 0 && c.view.enable_key != nullptr) c.view.enable_key(c.view.owner, cell, enabled);
}

void set_wait_cursor(Calculator& c, bool busy) {
    if (c.view.set_wait_cursor != nullptr) c.view.set_wait_cursor(c.view.owner, busy);
}

std::u16string decimal_text(uint64_t n) {
    std::u16string out;
    do {
        out.insert(out.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n != 0);
    return out;
}

// The count of ASCII digits and letters of the entry text, shown for unsigned integers.
void refresh_digit_counter(Calculator& c) {
    if (c.calc_type != kTypeUnsigned) return;
    const std::u16string& text = read_entry(c);
    if (text.size() > static_cast<size_t>(kCalcMaxEntryChars)) {
        set_message(kMsgTextTooLong);
        return;
    }
    uint64_t count = 0;
    for (char16_t ch : text) {
        if ((ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z')) ++count;
    }
    if (c.view.set_digit_counter != nullptr) c.view.set_digit_counter(c.view.owner, decimal_text(count) + u" ");
}

// The engine's own replacement of the whole entry text; not an edit of the user.
void replace_entry(Calculator& c, std::u16string_view text) {
    if (c.view.set_entry != nullptr) c.view.set_entry(c.view.owner, text);
    refresh_digit_counter(c);
}

// Digit keys 2..15 of the unsigned-integer keypad are usable only below the base.
void enable_digit_keys(Calculator& c) {
    if (c.calc_type != kTypeUnsigned) return;
    for (uint32_t d = 2; d < 16; ++d) enable_key(c, keypad_cell_of(kCmdDigit0 + d, kTypeUnsigned), d < c.base);
}

// ---- Context and stack -----------------------------------------------------------------------------------------

void install_limbs(const Calculator& c) {
    if (c.calc_limbs < 1 || c.calc_limbs > kMaxUserLimbs) {
        raise_error(kErrLimbCount);
    } else {
        num_ctx.real_limbs = c.calc_limbs;
    }
    num_ctx.int_limbs = c.calc_int_limbs;
}

// Before every key: the calculator's type and precision, and no error state.
void prepare_context(const Calculator& c) {
    num_ctx.number_type = c.calc_type;
    clear_error_state();
    formula_result = FormulaResult{0, 0};
    install_limbs(c);
}

Value* value_of(CalcStackEntry& e) {
    if (e.value.empty()) e.value.assign(kCalcValueWords, 0);
    return e.value.data();
}

Value* top_value(Calculator& c) {
    return value_of(c.stack[c.top]);
}

bool message_pending() {
    return message_state.message_code != 0;
}

// Pushes an operand slot carrying the pending parentheses; null (message 9000) when the stack is full.
CalcStackEntry* push_entry(Calculator& c, uint32_t pending_op) {
    if (c.top >= kCalcStackEntries - 1) {
        set_message(kMsgInternal);
        return nullptr;
    }
    CalcStackEntry& e = c.stack[++c.top];
    value_of(e);
    e.pending_op = pending_op;
    e.parens_before = static_cast<uint32_t>(c.pending_parens);
    c.pending_parens = 0;
    return &e;
}

bool pop_entry(Calculator& c) {
    if (c.top < 0) {
        set_message(kMsgInternal);
        return false;
    }
    --c.top;
    return true;
}

// ---- Entry parser and display ----------------------------------------------------------------------------------

// Reads text into dst: an unsigned integer in `base`, or a formula of the calculator's type. Failure sets
// message 1200 (with the formula error for formulas).
void parse_entry(Calculator& c, Value* dst, const std::u16string& text, uint32_t base) {
    if (c.calc_type == kTypeUnsigned) {
        if (!bigint_from_text(dst, text.c_str(), static_cast<int>(text.size()),
                              kIntParseAllowGroups | kIntParseLowerDigits, static_cast<int>(base))) {
            set_message(kMsgInvalidFormula);
        }
        return;
    }
    evaluate_formula(dst, text.c_str());
    if (formula_result.formula_error != kFormulaOk) {
        if (!message_pending()) {
            message_state.formula_error = formula_result.formula_error;
            message_state.formula_error_pos = formula_result.formula_error_pos;
        }
        set_message(kMsgInvalidFormula);
    }
}

// Writes the top value into the entry line in the display mode.
void display(Calculator& c) {
    if (message_pending() || c.top < 0) return;
    ScratchFrame frame;
    const Value* v = top_value(c);
    uint32_t flags = settings.thousands_sep_sci_calc == 1 ? uint32_t{kFmtGroupDigits} : 0u;
    c.text_out.resize(kCalcMaxEntryChars);
    if (c.calc_type == kTypeUnsigned) {
        const int n = bigint_to_text(c.text_out.data(), kCalcMaxEntryChars, v, flags, static_cast<int>(c.base));
        replace_entry(c, std::u16string_view(c.text_out.data(), static_cast<size_t>(n)));
        return;
    }
    if (c.calc_type == kTypeRational) flags |= kFmtPointZero;
    switch (c.display_mode) {
        case kDisplayFixed:
            num_ctx.min_plain_exponent = -1000;
            num_ctx.display_digits = 10000;
            break;
        case kDisplayExponential:
            flags |= kFmtScientific;
            break;
        default:
            num_ctx.min_plain_exponent = -4;
            if (c.digits < 0) raise_error(kErrDomain);
            num_ctx.display_digits = c.digits;
    }
    Value* shown = scratch_take(value_words());
    value_copy(shown, v);
    if (c.calc_type == kTypeRational && rational_is_exact(shown) &&
        (c.display_mode == kDisplayFixed || c.display_mode == kDisplayExponential ||
         c.display_mode == kDisplayDecimal)) {
        rational_to_real(shown, shown);
    }
    if (value_is_decimal(shown)) value_round_digits(shown, shown, c.digits);
    const int n = value_format(c.text_out.data(), kCalcMaxEntryChars, shown, flags);
    replace_entry(c, std::u16string_view(c.text_out.data(), static_cast<size_t>(n)));
}

// ---- Root browsing ---------------------------------------------------------------------------------------------

void show_root_keys(Calculator& c, bool next, bool previous) {
    enable_key(c, keypad_cell_of(kCmdRootNext, kTypeComplex), next);
    enable_key(c, keypad_cell_of(kCmdRootPrev, kTypeComplex), previous);
}

void end_root_browse(Calculator& c) {
    c.root_browse.operation = 0;
    show_root_keys(c, false, false);
}

int64_t root_count(const RootBrowse& b) {
    return b.order < 0 ? -b.order : b.order;
}

// The principal n-th root of the radicand into v; rt+ and rt- then step through the others.
void start_root_browse(Calculator& c, Value* v, const Value* radicand, int64_t n, uint32_t operation) {
    RootBrowse& b = c.root_browse;
    if (b.radicand.empty()) b.radicand.assign(kCalcValueWords, 0);
    complex_copy(b.radicand.data(), radicand);
    complex_root_branch(v, b.radicand.data(), n, 0);
    b.operation = operation;
    b.order = n;
    b.index = 0;
    show_root_keys(c, root_count(b) > 1, false);
}

void step_root_browse(Calculator& c, Value* v, int64_t step) {
    RootBrowse& b = c.root_browse;
    if (b.operation == 0) return;
    const int64_t k = b.index + step;
    if (k < 0 || k > root_count(b) - 1) return;
    complex_root_branch(v, b.radicand.data(), b.order, k);
    b.index = k;
    show_root_keys(c, k != root_count(b) - 1, k != 0);
}

// ---- Angles ----------------------------------------------------------------------------------------------------

// d = x * constant / w and d = x * constant * w, each step rounded on its guard limb.
void scale_down(RealNum* d, const RealNum* x, int constant, uint64_t w) {
    ScratchFrame frame;
    RealNum* k = scratch_real();
    get_constant(k, constant);
    real_round_on_guard(d, real_mul(d, x, k));
    real_round_on_guard(d, real_div_word(d, d, w));
}
void scale_up(RealNum* d, const RealNum* x, int constant, uint64_t w) {
    ScratchFrame frame;
    RealNum* k = scratch_real();
    get_constant(k, constant);
    real_round_on_guard(d, real_mul(d, x, k));
    real_round_on_guard(d, real_mul_word(d, d, w));
}
void degrees_to_radians(RealNum* d, const RealNum* x) {
    scale_down(d, x, kConstPiDiv2, 90);
}
void gon_to_radians(RealNum* d, const RealNum* x) {
    scale_down(d, x, kConstPiDiv2, 100);
}
void radians_to_degrees(RealNum* d, const RealNum* x) {
    scale_up(d, x, kConst4DivPi, 45);
}
void radians_to_gon(RealNum* d, const RealNum* x) {
    scale_up(d, x, kConst4DivPi, 50);
}

uint64_t quarter_turn_of(uint32_t unit) {
    return unit == kAngleGon ? 100 : 90;
}

// Parity of the number n of quarter turns in the angle |x| (0 even, 1 odd), or -1 when x is not such a whole
// number to the working precision less about two digits, or lies outside 0.99 quarter turns .. 10^6 units. An
// exact fraction in degrees or gon gets its n from exact integer arithmetic.
int quarter_turn_parity(const Calculator& c, const Value* v, const RealNum* x) {
    ScratchFrame frame;
    RealNum* a = scratch_real();
    real_copy(a, x);
    a[0] &= ~uint64_t{1};
    if (real_compare_i64(a, 1000000) >= 0) return -1;
    RealNum* q = scratch_real();
    if (c.angle_unit == kAngleRadians) {
        scale_down(q, a, kConst4DivPi, 2);
    } else {
        real_round_on_guard(q, real_div_word(q, a, quarter_turn_of(c.angle_unit)));
    }
    if (real_compare_scaled(q, 990000000, -1) <= 0) return -1;
    RealNum* n = scratch_real();
    real_round_decimals(n, q, 0);
    RealNum* d = scratch_real();
    real_round_on_guard(d, real_add_sub(d, q, n, 1));
    if (!real_is_zero(d) && real_exponent(d) >= real_exponent(n) + 2 - 19 * int64_t{c.calc_limbs}) return -1;
    if (c.calc_type != kTypeRational || !rational_is_exact(v) || c.angle_unit == kAngleRadians) {
        return real_is_even(n) ? 0 : 1;
    }
    // n = floor((2p + t) / 2t) with t = p's quarter turn times the denominator.
    RationalParts parts = rational_parts_take();
    rational_unpack(&parts, v);
    const size_t w = static_cast<size_t>(num_ctx.int_limbs);
    BigInt* t = scratch_take(w);
    BigInt* m = scratch_take(w);
    bigint_mul_word(t, parts.den, quarter_turn_of(c.angle_unit));
    bigint_add(m, parts.num, parts.num);
    bigint_add(m, m, t);
    bigint_add(t, t, t);
    bigint_divmod(m, nullptr, m, t);
    return static_cast<int>(m[0] & 1);
}

// The real value of v (the real part for complex).
void real_of(const Calculator& c, RealNum* dst, const Value* v) {
    if (c.calc_type == kTypeRational) {
        rational_to_real(dst, v);
    } else {
        real_copy(dst, v);  // the real part comes first in a complex value
    }
}

// v = the real x as a value of the calculator's type.
void value_from_real(const Calculator& c, Value* v, const RealNum* x) {
    if (c.calc_type == kTypeComplex) {
        complex_set_real(v, x);
    } else {
        real_copy(v, x);
    }
}

// sin, cos, tan of v in the angle unit, exact at whole quarter turns.
void circular_function(Calculator& c, Value* v, uint32_t command) {
    if (c.calc_type == kTypeComplex && !complex_is_real(v)) {
        set_message(kMsgOverflow);
        value_set_int(v, 0);
        return;
    }
    ScratchFrame frame;
    RealNum* x = scratch_real();
    real_of(c, x, v);
    const int parity = quarter_turn_parity(c, v, x);
    if (parity == 0 && command != kCmdCos) {
        value_set_int(v, 0);
        return;
    }
    if (parity == 1 && command != kCmdSin) {
        if (command == kCmdTan) set_message(kMsgOverflow);
        value_set_int(v, 0);
        return;
    }
    if (c.angle_unit == kAngleDegrees) real_guarded_unary(x, x, degrees_to_radians, 2);
    if (c.angle_unit == kAngleGon) real_guarded_unary(x, x, gon_to_radians, 2);
    value_from_real(c, v, x);
    value_unary(v, v, kFuncSin + static_cast<int>(command - kCmdSin));
}

// A result in radians converted to the angle unit; a complex result must be real.
void angle_from_radians(Calculator& c, Value* v) {
    if (c.calc_type == kTypeComplex && !complex_is_real(v)) {
        raise_error(kErrComplexArg);
        complex_set_zero(v);
        return;
    }
    if (c.angle_unit == kAngleRadians) return;
    ScratchFrame frame;
    RealNum* r = scratch_real();
    real_of(c, r, v);
    real_guarded_unary(r, r, c.angle_unit == kAngleDegrees ? radians_to_degrees : radians_to_gon, 2);
    value_from_real(c, v, r);
}

// ---- Unary commands --------------------------------------------------------------------------------------------

void exp2_guarded(RealNum* d, const RealNum* x) {
    real_guarded_unary(d, x, real_exp2, 2);
}
void exp10_guarded(RealNum* d, const RealNum* x) {
    real_guarded_unary(d, x, real_exp10, 2);
}
void reciprocal_guarded(RealNum* d, const RealNum* x) {
    real_guarded_unary(d, x, real_reciprocal, 2);
}

// 2^v or 10^v: exact for rational integers; a complex v must be real.
void power_of_base(const Calculator& c, Value* v, RealUnaryOp real_op, RationalUnaryOp rational_op) {
    switch (c.calc_type) {
        case kTypeReal:
            real_op(v, v);
            return;
        case kTypeRational:
            rational_apply_unary(v, v, real_op, rational_op);
            return;
        default:
            if (!complex_is_real(v)) {
                raise_error(kErrComplexArg);
                complex_set_zero(v);
                return;
            }
            real_op(complex_real(v), complex_real(v));
            real_set_zero(complex_imag(v));
    }
}

void unsigned_unary(Calculator& c, Value* v, uint32_t command) {
    bool exact = true;
    switch (command) {
        case kCmdSqrt:
            exact = bigint_isqrt(v, v);
            break;
        case kCmdCbrt:
            exact = bigint_root_word(v, v, 3);
            break;
        case kCmdSquare:
            value_mul(v, v, v);
            break;
        case kCmdCube:
            value_pow_int(v, v, 3);
            break;
        case kCmdLog2:
            exact = bigint_log2(v, v);
            break;
        case kCmdLog10:
            exact = bigint_log10(v, v);
            break;
        case kCmdExp2:
            bigint_pow2(v, v);
            break;
        case kCmdExp10:
            bigint_pow10(v, v);
            break;
        case kCmdFactorial:
            bigint_factorial(v, v);
            break;
        default:
            set_message(kMsgInternal);
    }
    if (!exact && num_ctx.error_code == 0) c.inexact_flag = true;
}

void apply_unary(Calculator& c, uint32_t command) {
    Value* v = top_value(c);
    if (c.calc_type == kTypeUnsigned) {
        unsigned_unary(c, v, command);
        return;
    }
    const bool complex = c.calc_type == kTypeComplex;
    switch (command) {
        case kCmdSqrt:
        case kCmdCbrt:
            if (complex) {
                ScratchFrame frame;
                Value* radicand = scratch_take(value_words());
                value_copy(radicand, v);
                start_root_browse(c, v, radicand, command == kCmdSqrt ? 2 : 3, command);
            } else {
                value_unary(v, v, command == kCmdSqrt ? kFuncSqrt : kFuncCbrt);
            }
            return;
        case kCmdSquare:
            value_mul(v, v, v);
            return;
        case kCmdCube:
            value_pow_int(v, v, 3);
            return;
        case kCmdLog2:
            value_unary(v, v, kFuncLog2);
            return;
        case kCmdLn:
            value_unary(v, v, kFuncLn);
            return;
        case kCmdLog10:
            value_unary(v, v, kFuncLog10);
            return;
        case kCmdExp:
            value_unary(v, v, kFuncExp);
            return;
        case kCmdExp2:
            power_of_base(c, v, exp2_guarded, rational_exp2);
            return;
        case kCmdExp10:
            power_of_base(c, v, exp10_guarded, rational_exp10);
            return;
        case kCmdSin:
        case kCmdCos:
        case kCmdTan:
            circular_function(c, v, command);
            return;
        case kCmdAsin:
        case kCmdAcos:
        case kCmdAtan:
            value_unary(v, v, kFuncAsin + static_cast<int>(command - kCmdAsin));
            angle_from_radians(c, v);
            return;
        case kCmdSinh:
        case kCmdCosh:
        case kCmdTanh:
        case kCmdAsinh:
        case kCmdAcosh:
        case kCmdAtanh:
            value_unary(v, v, kFuncSinh + static_cast<int>(command - kCmdSinh));
            return;
        case kCmdFactorial:
            value_round_digits(v, v, c.digits);
            value_unary(v, v, kFuncFactorial);
            return;
        case kCmdReciprocal:
            if (c.calc_type == kTypeReal) reciprocal_guarded(v, v);
            if (c.calc_type == kTypeRational) rational_apply_unary(v, v, reciprocal_guarded, rational_reciprocal);
            if (complex) complex_reciprocal(v, v);
            return;
        case kCmdNegate:
            value_negate(v, v);
            return;
        case kCmdInt:
            value_round_digits(v, v, c.digits);
            if (c.calc_type == kTypeReal) real_trunc(v, v);
            if (c.calc_type == kTypeRational) rational_apply_unary(v, v, real_trunc, rational_trunc);
            if (complex) complex_trunc(v, v);
            return;
        case kCmdFrac:
            value_round_digits(v, v, c.digits);
            if (c.calc_type == kTypeRational) {
                rational_apply_unary(v, v, real_frac, rational_frac);
            } else {
                real_frac(v, v);
                if (complex) real_frac(complex_imag(v), complex_imag(v));
            }
            return;
        case kCmdAbs:
            value_abs(v, v);
            return;
        case kCmdArg:
            if (!complex) {
                set_message(kMsgInternal);
                return;
            }
            {
                ScratchFrame frame;
                RealNum* angle = scratch_real();
                real_guarded_binary(angle, complex_imag(v), complex_real(v), real_atan2, 2);
                complex_set_real(v, angle);
                angle_from_radians(c, v);
            }
            return;
        case kCmdRootNext:
        case kCmdRootPrev:
            step_root_browse(c, v, command == kCmdRootNext ? 1 : -1);
            return;
        case kCmdToggleFraction:
            if (c.calc_type == kTypeRational && rational_is_exact(v)) {
                const bool decimal = c.display_mode == kDisplayDecimal || c.display_mode == kDisplayFixed ||
                                     c.display_mode == kDisplayExponential;
                c.display_mode = decimal ? kDisplayFraction : kDisplayDecimal;
            }
            return;
        case kCmdToggleExponent:
            if (c.display_mode == kDisplayNormal) {
                c.display_mode = c.had_exponent ? kDisplayFixed : kDisplayExponential;
            } else {
                c.display_mode = c.display_mode == kDisplayExponential ? kDisplayFixed : kDisplayExponential;
            }
            return;
        default:
            set_message(kMsgInternal);
    }
}

// ---- Binary operators ------------------------------------------------------------------------------------------

// Precedence of a binary operator, -1 for a code without one. An odd level is right-associative.
int precedence(uint32_t op) {
    switch (op) {
        case kCmdGcd:
        case kCmdLcm:
        case kCmdModInv:
        case kCmdLogY:
            return 10;
        case kCmdPow:
        case kCmdRoot:
            return 9;
        case kCmdMul:
        case kCmdDiv:
        case kCmdMod:
        case kCmdPowMod:
            return 6;
        case kCmdAdd:
        case kCmdSub:
            return 4;
        default:
            return -1;
    }
}

bool below_bits(const BigInt* a, uint64_t bits) {
    return bigint_bit_length(a) <= bits;
}

// L = L op R for unsigned integers. ^mod over a waiting x^y computes B^L mod R into the entry two below the top
// and returns 2 (entries to pop), otherwise 1.
int unsigned_binary(Calculator& c, uint32_t op, BigInt* l, const BigInt* r) {
    switch (op) {
        case kCmdAdd:
            value_add(l, l, r);
            return 1;
        case kCmdSub:
            value_sub(l, l, r);
            return 1;
        case kCmdMul:
            value_mul(l, l, r);
            return 1;
        case kCmdPow:
            value_pow(l, l, r);
            return 1;
        case kCmdDiv:
            if (!bigint_div_exact(l, l, r) && num_ctx.error_code == 0) c.inexact_flag = true;
            return 1;
        case kCmdRoot:
            if (!bigint_root(l, l, r) && num_ctx.error_code == 0) c.inexact_flag = true;
            return 1;
        case kCmdGcd:
            bigint_gcd(l, l, r);
            return 1;
        case kCmdLcm:
            if (bigint_is_zero(l) || bigint_is_zero(r)) {
                raise_error(kErrIntOverflow);
                bigint_zero(l);
                return 1;
            }
            {
                ScratchFrame frame;
                BigInt* g = scratch_take(static_cast<size_t>(num_ctx.int_limbs));
                bigint_gcd(g, l, r);
                bigint_divmod(l, nullptr, l, g);
                bigint_mul(l, l, r);
            }
            return 1;
        case kCmdMod:
            bigint_mod(l, l, r);
            return 1;
        case kCmdModInv:
            bigint_modinv(l, l, r);
            return 1;
        case kCmdLogY:
            if (!bigint_log(l, l, r) && num_ctx.error_code == 0) c.inexact_flag = true;
            return 1;
        case kCmdPowMod:
            if (c.top >= 2 && c.stack[c.top - 2].pending_op == kCmdPow) {
                BigInt* b = value_of(c.stack[c.top - 2]);
                if (!below_bits(b, kPowModBits) || !below_bits(l, kPowModBits) || !below_bits(r, kPowModBits)) {
                    set_message(kMsgOverflow);
                    bigint_zero(b);
                    return 2;
                }
                bigint_powmod(b, b, l, r);
                return 2;
            }
            bigint_mod(l, l, r);
            return 1;
        default:
            set_message(kMsgInternal);
            return 1;
    }
}

// L = L op R for the real, rational and complex types.
void typed_binary(Calculator& c, uint32_t op, Value* l, const Value* r) {
    switch (op) {
        case kCmdAdd:
            value_add(l, l, r);
            return;
        case kCmdSub:
            value_sub(l, l, r);
            return;
        case kCmdMul:
            value_mul(l, l, r);
            return;
        case kCmdDiv:
            value_div(l, l, r);
            return;
        case kCmdPow:
            value_pow(l, l, r);
            return;
        case kCmdRoot:
            if (c.calc_type == kTypeComplex) {
                uint64_t magnitude = 0;
                bool negative = false;
                if (value_integer_word(r, &magnitude, &negative) && magnitude <= (uint64_t{1} << 61)) {
                    const int64_t n = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
                    ScratchFrame frame;
                    Value* radicand = scratch_take(value_words());
                    value_copy(radicand, l);
                    start_root_browse(c, l, radicand, n, kCmdRoot);
                    return;
                }
            }
            value_root(l, l, r);
            return;
        default:
            set_message(kMsgInternal);
    }
}

// Combines the two top entries (three for ^mod over x^y); the survivor takes over the top's pending operator.
void reduce(Calculator& c) {
    CalcStackEntry& left = c.stack[c.top - 1];
    const CalcStackEntry& right = c.stack[c.top];
    Value* l = value_of(left);
    const Value* r = right.value.data();
    int entries = 1;
    if (c.calc_type == kTypeUnsigned) {
        entries = unsigned_binary(c, left.pending_op, l, r);
    } else {
        typed_binary(c, left.pending_op, l, r);
    }
    CalcStackEntry& target = c.stack[c.top - entries];
    if (num_ctx.error_code != 0 || message_pending()) value_set_int(value_of(target), 0);
    target.pending_op = right.pending_op;
    c.top -= entries;
}

// Reduces while the entry below the top binds at least as strongly as the new operator.
void reduce_for_operator(Calculator& c, uint32_t op) {
    const int level = precedence(op);
    if (level < 0) {
        set_message(kMsgInternal);
        return;
    }
    while (c.top >= 1 && !message_pending()) {
        if (c.stack[c.top].parens_before > 0) return;
        const uint32_t below = c.stack[c.top - 1].pending_op;
        if (below == kCmdPow && op == kCmdPowMod) return;
        const int below_level = precedence(below);
        if (below_level < 0) {
            set_message(kMsgInternal);
            return;
        }
        if (below_level < level || (below_level == level && below_level % 2 == 1)) return;
        reduce(c);
    }
}

bool is_binary(uint32_t command) {
    return command >= 1000 && command <= 1099;
}

void evaluate(Calculator& c, uint32_t command) {
    set_wait_cursor(c, true);
    if (c.stack[c.top].pending_op == kCmdToggleExponent) {
        c.had_exponent = false;
        for (char16_t ch : read_entry(c)) c.had_exponent = c.had_exponent || char_in_set(ch, num_ctx.exponent_chars);
    }
    replace_entry(c, u"");
    if (command != kCmdRootNext && command != kCmdRootPrev) end_root_browse(c);

    if (command == kCmdEquals) {
        while (c.top >= 1 && !message_pending()) reduce(c);
        c.stack[c.top].pending_op = 0;
        c.stack[c.top].parens_before = 0;
    } else if (command == kCmdCloseParen) {
        while (c.top >= 1 && c.stack[c.top].parens_before == 0 && !message_pending()) reduce(c);
        CalcStackEntry& e = c.stack[c.top];
        e.pending_op = 0;
        if (e.parens_before > 0) --e.parens_before;
        if (c.open_parens > 0) {
            --c.open_parens;
            show_paren_indicator(c);
        }
    } else if (is_binary(command)) {
        reduce_for_operator(c, command);
    } else if (command >= 1100 && command <= 1299) {
        apply_unary(c, command);
        if (num_ctx.error_code != 0 || message_pending()) value_set_int(top_value(c), 0);
        c.stack[c.top].pending_op = 0;
    } else {
        set_message(kMsgInternal);
    }

    if (num_ctx.error_code != 0) {
        set_message(kMsgOverflow);
        num_ctx.error_code = 0;
    }
    display(c);
    if (c.inexact_flag) show_inexact(c, true);
    set_wait_cursor(c, false);
}

// ---- Routes ----------------------------------------------------------------------------------------------------

void operator_path(Calculator& c, uint32_t command) {
    if (c.top >= 0 && (c.stack[c.top].pending_op == 0 || c.entry_state != kEditing)) {
        c.stack[c.top].pending_op = command;
    } else {
        const int32_t parens = c.pending_parens;
        CalcStackEntry* e = push_entry(c, command);
        if (e != nullptr) {
            const std::u16string& text = read_entry(c);
            if (text.size() > static_cast<size_t>(kCalcMaxEntryChars)) {
                set_message(kMsgTextTooLong);
            } else {
                parse_entry(c, e->value.data(), text, c.base);
            }
        }
        if (message_pending()) {
            // The operand stays in the entry line for correction; its parentheses wait for the next attempt.
            if (e != nullptr) --c.top;
            c.pending_parens = parens;
            c.entry_state = kEditing;
            show_message();
            return;
        }
    }
    evaluate(c, command);
    if (command == kCmdEquals) {
        c.pending_parens = 0;
        c.open_parens = 0;
        show_paren_indicator(c);
        c.entry_state = kResultShown;
    } else {
        c.entry_state = is_binary(command) ? kOperatorPending : kResultShown;
    }
    if (message_pending()) {
        show_message();
        clear_all(c);
    }
}

void open_paren(Calculator& c) {
    if (c.entry_state == kResultShown) {
        for (int i = 0; i <= c.top; ++i) value_set_int(value_of(c.stack[i]), 0);
        c.top = -1;
    }
    if (c.open_parens < kCalcMaxParens) {
        ++c.pending_parens;
        ++c.open_parens;
        show_paren_indicator(c);
    }
    c.entry_state = kOperatorPending;
}

// MW and MxW: the typed text behind "@" while editing, else the top value in full precision (unsigned integers in
// decimal). A value whose text exceeds the register is refused with message 1003.
void memory_write(Calculator& c, int reg) {
    if (reg < 0 || reg >= kRegisterCount) {
        set_message(kMsgInternal);
        return;
    }
    std::u16string text;
    if (c.entry_state == kEditing || c.top < 0) {
        const std::u16string& entry = read_entry(c);
        text = u"@";
        text.append(entry, 0, kRegisterEntryChars);
    } else {
        c.text_out.resize(kCalcMaxEntryChars);
        const int n = value_format(c.text_out.data(), kCalcMaxEntryChars, top_value(c), 0);
        if (n > static_cast<int>(kRegisterChars) || num_ctx.error_code != 0) {
            num_ctx.error_code = 0;
            set_message(kMsgTextTooLong);
            return;
        }
        text.assign(c.text_out.data(), static_cast<size_t>(n));
    }
    settings.memory[reg] = text;
    settings_changed = true;
}

// MR and MxR: an "@" text returns to the entry line unread; a value text is read onto the stack.
void memory_read(Calculator& c, int reg) {
    if (reg < 0 || reg >= kRegisterCount) {
        set_message(kMsgInternal);
        return;
    }
    const std::optional<std::u16string>& stored = settings.memory[reg];
    const std::u16string text = stored.has_value() && !stored->empty() ? *stored : std::u16string(u"0");
    if (text[0] == u'@') {
        replace_entry(c, std::u16string_view(text).substr(1));
        c.entry_state = kEditing;
        return;
    }
    CalcStackEntry* e = push_entry(c, 0);
    if (e == nullptr) return;
    // Registers hold unsigned integers in decimal, whatever the base.
    parse_entry(c, e->value.data(), text, 10);
    if (message_pending()) {
        --c.top;
        replace_entry(c, text);
        c.entry_state = kEditing;
        return;
    }
    display(c);
    c.entry_state = kResultShown;
}

char16_t entry_character(uint32_t command) {
    if (command >= kCmdDigit0 && command <= kCmdDigit0 + 9) return static_cast<char16_t>(u'0' + (command - kCmdDigit0));
    if (command >= kCmdDigitA && command <= kCmdDigitA + 5) return static_cast<char16_t>(u'A' + (command - kCmdDigitA));
    switch (command) {
        case kCmdCharPlus:
            return u'+';
        case kCmdCharMinus:
            return u'-';
        case kCmdCharSlash:
            return u'/';
        case kCmdPoint:
            return num_ctx.decimal_point_chars[0];
        case kCmdExponent:
            return num_ctx.exponent_chars[0];
        case kCmdImaginary:
            return num_ctx.imaginary_chars[0];
        default:
            return 0;
    }
}

void entry_path(Calculator& c, uint32_t command) {
    if (command == kCmdClearAll) {
        clear_all(c);
        return;
    }
    if (command == kCmdDelete) {
        if (c.entry_state == kResultShown && !pop_entry(c)) return;
        c.entry_state = kEditing;
        if (read_entry(c).empty()) return;
        if (c.view.delete_last_char != nullptr) c.view.delete_last_char(c.view.owner);
        entry_changed(c);
        return;
    }
    int reg = 0;
    const bool digit = command >= kCmdDigit0 && command <= kCmdDigit0 + 9;
    if (c.register_select != kRegisterOff && digit) {
        const int d = static_cast<int>(command - kCmdDigit0);
        std::u16string indicator = c.register_indicator.size() == 3 ? c.register_indicator : u"Mxx";
        if (c.register_tens < 0) {
            if (d >= 2) {
                indicator[1] = u'?';
            } else {
                c.register_tens = d;
                indicator[1] = static_cast<char16_t>(u'0' + d);
            }
            show_register_indicator(c, indicator);
            return;
        }
        reg = c.register_tens * 10 + d;
        indicator[2] = static_cast<char16_t>(u'0' + d);
        show_register_indicator(c, indicator);
        const RegisterSelect select = c.register_select;
        c.register_select = kRegisterOff;
        if (select == kRegisterWrite) {
            memory_write(c, reg);
            return;
        }
        command = kCmdMemoryRead;
    }
    if (c.entry_state != kEditing) {
        if (c.entry_state == kResultShown && !pop_entry(c)) return;
        replace_entry(c, command == kCmdPoint ? u"0" : u"");
    }
    c.entry_state = kEditing;
    const char16_t ch = entry_character(command);
    if (ch != 0) {
        if (c.view.append_entry != nullptr) c.view.append_entry(c.view.owner, std::u16string_view(&ch, 1));
        entry_changed(c);
        return;
    }
    if (command == kCmdPi && c.calc_type != kTypeUnsigned) {
        CalcStackEntry* e = push_entry(c, 0);
        if (e == nullptr) return;
        value_set_special(e->value.data(), kSpecialPi);
        display(c);
        c.entry_state = kResultShown;
        return;
    }
    if (command == kCmdMemoryRead) {
        memory_read(c, reg);
        return;
    }
    set_message(kMsgInternal);
}

void run_command(Calculator& c, uint32_t command) {
    if (command != kCmdToggleFraction && command != kCmdToggleExponent) c.display_mode = kDisplayNormal;
    const bool digit = command >= kCmdDigit0 && command <= kCmdDigit0 + 9;
    if (!digit) c.register_select = kRegisterOff;
    if (!digit || c.register_select == kRegisterOff) show_register_indicator(c, u"");

    if (command == kCmdOpenParen) {
        open_paren(c);
    } else if ((command >= 1000 && command <= 1299) || command == kCmdEquals || command == kCmdCloseParen) {
        operator_path(c, command);
    } else if (command >= 1300 && command <= 1399) {
        entry_path(c, command);
    } else if (command == kCmdMemoryWrite) {
        memory_write(c, 0);
    } else if (command == kCmdMemoryClear) {
        if (settings.memory[0].has_value()) {
            settings.memory[0]->clear();
            settings_changed = true;
        }
    } else if (command == kCmdMemorySelectWrite || command == kCmdMemorySelectRead) {
        c.register_tens = -1;
        c.register_select = command == kCmdMemorySelectWrite ? kRegisterWrite : kRegisterRead;
        show_register_indicator(c, u"Mxx");
    } else {
        set_message(kMsgInternal);
    }
    show_message();
}

int32_t limbs_for_digits(int32_t digits) {
    return digits <= 0 ? 1 : (digits + 18) / 19;
}

}  // namespace

void calculator_create(Calculator& c, const CalculatorView& view, uint32_t number_type, uint32_t angle_unit,
                       int32_t digits) {
    c.view = view;
    c.calc_type = number_type;
    c.angle_unit = angle_unit;
    c.digits = digits == 0 ? 10 : digits;
    c.calc_limbs = limbs_for_digits(c.digits);
    c.calc_int_limbs = kCalcIntLimbs;
    c.base = 10;
    c.top = -1;
    c.entry_state = kResultShown;
    c.display_mode = kDisplayNormal;
    c.open_parens = 0;
    c.pending_parens = 0;
    c.register_select = kRegisterOff;
    c.register_tens = -1;
    c.inexact_flag = false;
    c.had_exponent = false;
    c.root_browse.operation = 0;
    c.entry_copy.reserve(kCalcMaxEntryChars + 1);
    c.text_out.reserve(kCalcMaxEntryChars + 1);
    if (c.view.label_keys != nullptr) c.view.label_keys(c.view.owner, number_type);
    clear_all(c);
    enable_digit_keys(c);
}

void press_key(Calculator& c, int cell) {
    prepare_context(c);
    if (cell < 0 || cell >= kKeypadCells) {
        set_message(kMsgInternal);
        show_message();
        return;
    }
    show_inexact(c, false);
    c.inexact_flag = false;
    run_command(c, keypad_key(cell, c.calc_type).command);
}

void entry_changed(Calculator& c) {
    c.display_mode = kDisplayNormal;
    c.register_select = kRegisterOff;
    show_register_indicator(c, u"");
    refresh_digit_counter(c);
    show_message();
}

void entry_key(Calculator& c) {
    if (c.entry_state == kResultShown && !pop_entry(c)) show_message();
    c.entry_state = kEditing;
}

void set_number_type(Calculator& c, uint32_t number_type) {
    c.calc_type = number_type;
    if (settings.number_type != number_type) {
        settings.number_type = number_type;
        settings_changed = true;
    }
    if (c.view.label_keys != nullptr) c.view.label_keys(c.view.owner, number_type);
    clear_all(c);
    enable_digit_keys(c);
}

void set_angle_unit(Calculator& c, uint32_t angle_unit) {
    c.angle_unit = angle_unit;
    if (settings.angle_type != angle_unit) {
        settings.angle_type = angle_unit;
        settings_changed = true;
    }
}

void set_digits(Calculator& c, int32_t digits) {
    c.digits = digits;
    if (settings.decimal_precision != digits) {
        settings.decimal_precision = digits;
        settings_changed = true;
    }
    const int32_t limbs = limbs_for_digits(digits);
    if (limbs == c.calc_limbs) return;
    const int32_t old_limbs = c.calc_limbs;
    c.calc_limbs = limbs;
    if (c.calc_type == kTypeUnsigned) return;
    if (limbs > kMaxUserLimbs) {
        raise_error(kErrLimbCount);
        return;
    }
    num_ctx.number_type = c.calc_type;
    num_ctx.real_limbs = limbs;
    num_ctx.int_limbs = c.calc_int_limbs;
    // Held values are re-laid for the new length: reals rounded or zero-extended, fractions re-packed.
    auto relay = [&](Value* v) {
        if (c.calc_type == kTypeReal) real_resize(v, v, old_limbs);
        if (c.calc_type == kTypeRational) rational_resize(v, v, old_limbs);
        if (c.calc_type == kTypeComplex) complex_resize(v, old_limbs);
    };
    for (int i = 0; i <= c.top; ++i) relay(value_of(c.stack[i]));
    if (c.root_browse.operation != 0) relay(c.root_browse.radicand.data());
}

void set_base(Calculator& c, uint32_t base) {
    if (base == c.base) return;
    press_key(c, keypad_cell_of(kCmdEquals, c.calc_type));
    c.base = base;
    prepare_context(c);
    display(c);
    show_message();
    enable_digit_keys(c);
}

void clear_all(Calculator& c) {
    clear_error_state();
    formula_result = FormulaResult{0, 0};
    c.top = -1;
    c.pending_parens = 0;
    c.open_parens = 0;
    show_paren_indicator(c);
    end_root_browse(c);
    show_inexact(c, false);
    num_ctx.number_type = c.calc_type;
    install_limbs(c);
    CalcStackEntry* e = push_entry(c, 0);
    value_set_int(e->value.data(), 0);
    e->parens_before = 0;
    display(c);
    c.entry_state = kResultShown;
}
