#include "formula/value.h"

#include "integer/bigint.h"
#include "integer/integer_text.h"
#include "integer/rational.h"
#include "numeric/real_arith.h"
#include "numeric/real_functions.h"
#include "numeric/real_special.h"
#include "numeric/real_text.h"

namespace {

// The four number types; anything else fails every operation with error 3.
bool type_supported(uint32_t type) {
    return type == kTypeReal || type == kTypeRational || type == kTypeComplex || type == kTypeUnsigned;
}

void unsupported() {
    raise_error(kErrNumberType);
}

void set_abs(RealNum* dst, const RealNum* a) {
    real_copy(dst, a);
    dst[0] &= ~uint64_t{1};
}

// ---- Real operations as the real type computes them --------------------------------------------------------------
// The rational type falls back to these too, so a value that leaves its exact form gets the same digits as in the
// real type.
void real_add_rounded(RealNum* d, const RealNum* a, const RealNum* b) {
    real_round_on_guard(d, real_add_sub(d, a, b, 0));
}
void real_sub_rounded(RealNum* d, const RealNum* a, const RealNum* b) {
    real_round_on_guard(d, real_add_sub(d, a, b, 1));
}
void real_mul_rounded(RealNum* d, const RealNum* a, const RealNum* b) {
    real_round_on_guard(d, real_mul(d, a, b));
}
void real_mul_word_rounded(RealNum* d, const RealNum* a, uint64_t w) {
    real_round_on_guard(d, real_mul_word(d, a, w));
}
void real_div_word_rounded(RealNum* d, const RealNum* a, uint64_t w) {
    real_round_on_guard(d, real_div_word(d, a, w));
}
void real_pow_word_guarded(RealNum* d, const RealNum* a, uint64_t w) {
    real_guarded_pow_int(d, a, static_cast<int64_t>(w));
}
void real_div_plain(RealNum* d, const RealNum* a, const RealNum* b) {
    real_div(d, a, b);
}

template <RealUnaryOp op, int k>
void guarded_unary(RealNum* d, const RealNum* x) {
    real_guarded_unary(d, x, op, k);
}
template <RealBinaryOp op, int k>
void guarded_binary(RealNum* d, const RealNum* a, const RealNum* b) {
    real_guarded_binary(d, a, b, op, k);
}

constexpr RealBinaryOp real_div_guarded = guarded_binary<real_div_plain, 2>;
constexpr RealBinaryOp real_pow_guarded = guarded_binary<real_pow, 3>;
constexpr RealBinaryOp real_root_guarded = guarded_binary<real_root, 3>;

// Unary functions: the real function at guard precision (a full extra limb for the factorial, two digits for all
// others) and the exact rational attempt where one exists.
struct FunctionEntry {
    int code;
    RealUnaryOp real_op;
    RationalUnaryOp rational_op;
};

const FunctionEntry kFunctions[] = {
    {kFuncSqrt, guarded_unary<real_sqrt, 2>, rational_sqrt},
    {kFuncCbrt, guarded_unary<real_cbrt, 2>, rational_cbrt},
    {kFuncLn, guarded_unary<real_ln, 2>, nullptr},
    {kFuncLog2, guarded_unary<real_log2, 2>, rational_log2},
    {kFuncLog10, guarded_unary<real_log10, 2>, rational_log10},
    {kFuncExp, guarded_unary<real_exp, 2>, nullptr},
    {kFuncSin, guarded_unary<real_sin, 2>, nullptr},
    {kFuncCos, guarded_unary<real_cos, 2>, nullptr},
    {kFuncTan, guarded_unary<real_tan, 2>, nullptr},
    {kFuncAsin, guarded_unary<real_asin, 2>, nullptr},
    {kFuncAcos, guarded_unary<real_acos, 2>, nullptr},
    {kFuncAtan, guarded_unary<real_atan, 2>, nullptr},
    {kFuncSinh, guarded_unary<real_sinh, 2>, nullptr},
    {kFuncCosh, guarded_unary<real_cosh, 2>, nullptr},
    {kFuncTanh, guarded_unary<real_tanh, 2>, nullptr},
    {kFuncAsinh, guarded_unary<real_asinh, 2>, nullptr},
    {kFuncAcosh, guarded_unary<real_acosh, 2>, nullptr},
    {kFuncAtanh, guarded_unary<real_atanh, 2>, nullptr},
    {kFuncFactorial, guarded_unary<real_factorial, 19>, rational_factorial},
};

const FunctionEntry* find_function(int code) {
    for (const FunctionEntry& f : kFunctions) {
        if (f.code == code) return &f;
    }
    return nullptr;
}

// A real function of the real part of a complex value. An argument outside the function's real domain has no
// value in this type (there is no complex square root or logarithm): error 16 and 0 + 0i.
void compute_real_part(ComplexNum* dst, const ComplexNum* a, RealUnaryOp op) {
    const uint32_t pending = num_ctx.error_code;
    num_ctx.error_code = 0;
    op(complex_real(dst), complex_real(a));
    const uint32_t own = num_ctx.error_code;
    num_ctx.error_code = pending;
    if (own == kErrDomain) {
        raise_error(kErrComplexArg);
        complex_set_zero(dst);
        return;
    }
    if (own != 0) raise_error(own);
    real_set_zero(complex_imag(dst));
}

}  // namespace

size_t value_words() {
    const size_t real_words = static_cast<size_t>(num_ctx.real_limbs) + 1;
    switch (num_ctx.number_type) {
        case kTypeReal:
        case kTypeRational:
            return real_words;
        case kTypeComplex:
            return 2 * real_words;
        case kTypeUnsigned:
            return static_cast<size_t>(num_ctx.int_limbs);
        default:
            return 0;
    }
}

void value_copy(Value* dst, const Value* src) {
    if (!type_supported(num_ctx.number_type)) {
        unsupported();
        return;
    }
    if (dst == src) return;
    const size_t n = value_words();
    for (size_t i = 0; i < n; ++i) dst[i] = src[i];
}

void value_set_int(Value* dst, int64_t n) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_from_i64(dst, n);
            return;
        case kTypeRational:
            rational_from_words(dst, n, 1);
            return;
        case kTypeComplex:
            real_from_i64(complex_real(dst), n);
            real_set_zero(complex_imag(dst));
            return;
        case kTypeUnsigned:
            if (n < 0) {
                raise_error(kErrDomain);
                bigint_zero(dst);
                return;
            }
            bigint_set_word(dst, static_cast<uint64_t>(n));
            return;
        default:
            unsupported();
    }
}

void value_set_special(Value* dst, int code) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_set_special(dst, code);
            return;
        case kTypeRational:
            rational_constant(dst, code);
            return;
        case kTypeComplex:
            if (code == kSpecialImaginaryUnit) {
                real_set_zero(complex_real(dst));
                real_set_one(complex_imag(dst));
                return;
            }
            real_set_special(complex_real(dst), code);
            real_set_zero(complex_imag(dst));
            return;
        default:
            unsupported();
    }
}

void value_abs(Value* dst, const Value* a) {
    switch (num_ctx.number_type) {
        case kTypeReal:
        case kTypeRational:
            set_abs(dst, a);
            return;
        case kTypeComplex:
            complex_modulus(complex_real(dst), a);
            real_set_zero(complex_imag(dst));
            return;
        default:
            unsupported();
    }
}

void value_negate(Value* dst, const Value* a) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_copy(dst, a);
            real_negate(dst);
            return;
        case kTypeRational:
            rational_negate(dst, a);
            return;
        case kTypeComplex:
            complex_negate(dst, a);
            return;
        default:
            unsupported();
    }
}

void value_add(Value* dst, const Value* a, const Value* b) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_add_rounded(dst, a, b);
            return;
        case kTypeRational:
            rational_apply_binary(dst, a, b, real_add_rounded, rational_add, true);
            return;
        case kTypeComplex:
            complex_add(dst, a, b);
            return;
        case kTypeUnsigned:
            bigint_add(dst, a, b);
            return;
        default:
            unsupported();
    }
}

void value_sub(Value* dst, const Value* a, const Value* b) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_sub_rounded(dst, a, b);
            return;
        case kTypeRational:
            rational_apply_binary(dst, a, b, real_sub_rounded, rational_sub, true);
            return;
        case kTypeComplex:
            complex_sub(dst, a, b);
            return;
        case kTypeUnsigned:
            bigint_sub(dst, a, b);
            return;
        default:
            unsupported();
    }
}

void value_mul(Value* dst, const Value* a, const Value* b) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_mul_rounded(dst, a, b);
            return;
        case kTypeRational:
            rational_apply_binary(dst, a, b, real_mul_rounded, rational_mul, false);
            return;
        case kTypeComplex:
            complex_mul(dst, a, b);
            return;
        case kTypeUnsigned:
            bigint_mul(dst, a, b);
            return;
        default:
            unsupported();
    }
}

void value_mul_word(Value* dst, const Value* a, uint64_t w) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_mul_word_rounded(dst, a, w);
            return;
        case kTypeRational:
            rational_apply_with_word(dst, a, w, real_mul_word_rounded, rational_mul_word);
            return;
        case kTypeComplex:
            complex_mul_word(dst, a, w);
            return;
        default:
            unsupported();
    }
}

void value_div(Value* dst, const Value* a, const Value* b) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_div_guarded(dst, a, b);
            return;
        case kTypeRational:
            rational_apply_binary(dst, a, b, real_div_guarded, rational_div, false);
            return;
        case kTypeComplex:
            complex_div(dst, a, b);
            return;
        default:
            unsupported();
    }
}

void value_div_word(Value* dst, const Value* a, uint64_t w) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_div_word_rounded(dst, a, w);
            return;
        case kTypeRational:
            rational_apply_with_word(dst, a, w, real_div_word_rounded, rational_div_word);
            return;
        case kTypeComplex:
            complex_div_word(dst, a, w);
            return;
        default:
            unsupported();
    }
}

void value_pow(Value* dst, const Value* a, const Value* b) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_pow_guarded(dst, a, b);
            return;
        case kTypeRational:
            rational_apply_binary(dst, a, b, real_pow_guarded, rational_pow, false);
            return;
        case kTypeComplex:
            complex_pow(dst, a, b);
            return;
        case kTypeUnsigned:
            bigint_pow(dst, a, b);
            return;
        default:
            unsupported();
    }
}

void value_pow_int(Value* dst, const Value* a, int64_t n) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_guarded_pow_int(dst, a, n);
            return;
        case kTypeRational:
            rational_apply_with_word(dst, a, static_cast<uint64_t>(n), real_pow_word_guarded, rational_pow_int);
            return;
        case kTypeComplex:
            complex_pow_int(dst, a, n);
            return;
        case kTypeUnsigned:
            bigint_pow_word(dst, a, n);
            return;
        default:
            unsupported();
    }
}

void value_root(Value* dst, const Value* a, const Value* b) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_root_guarded(dst, a, b);
            return;
        case kTypeRational:
            rational_apply_binary(dst, a, b, real_root_guarded, rational_root, false);
            return;
        case kTypeComplex:
            if (!complex_is_real(a) || !complex_is_real(b)) {
                raise_error(kErrComplexArg);
                complex_set_zero(dst);
                return;
            }
            real_root_guarded(complex_real(dst), complex_real(a), complex_real(b));
            real_set_zero(complex_imag(dst));
            return;
        case kTypeUnsigned:
            bigint_root(dst, a, b);
            return;
        default:
            unsupported();
    }
}

void value_unary(Value* dst, const Value* a, int code) {
    const uint32_t type = num_ctx.number_type;
    if (type != kTypeReal && type != kTypeRational && type != kTypeComplex) {
        unsupported();
        return;
    }
    if (code == kFuncAbs) {
        value_abs(dst, a);
        return;
    }
    const FunctionEntry* f = find_function(code);
    if (f == nullptr) {
        raise_error(kErrDomain);
        if (type == kTypeComplex) {
            complex_set_zero(dst);
        } else {
            real_set_zero(dst);
        }
        return;
    }
    switch (type) {
        case kTypeReal:
            f->real_op(dst, a);
            return;
        case kTypeRational:
            rational_apply_unary(dst, a, f->real_op, f->rational_op);
            return;
        default:
            if (!complex_is_real(a)) {
                raise_error(kErrComplexArg);
                complex_set_zero(dst);
                return;
            }
            compute_real_part(dst, a, f->real_op);
    }
}

void value_round_digits(Value* dst, const Value* a, int64_t n) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            real_round_digits(dst, a, n);
            return;
        case kTypeRational:
            if (rational_is_exact(a)) {
                if (n < 0) {
                    raise_error(kErrDomain);
                    real_set_zero(dst);
                    return;
                }
                real_copy(dst, a);
                return;
            }
            real_round_digits(dst, a, n);
            return;
        case kTypeComplex:
            complex_round_digits(dst, a, n);
            return;
        default:
            unsupported();
    }
}

int64_t value_exponent(const Value* a) {
    switch (num_ctx.number_type) {
        case kTypeReal:
        case kTypeRational:
        case kTypeComplex:
            if (real_is_zero(a) || (num_ctx.number_type == kTypeRational && rational_is_exact(a))) {
                raise_error(kErrDomain);
                return 0;
            }
            return real_exponent(a);
        default:
            unsupported();
            return 0;
    }
}

int value_compare_int(const Value* a, int64_t w) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            return real_compare_i64(a, w);
        case kTypeRational:
            return rational_compare_word(a, w);
        case kTypeComplex:
            if (!complex_is_real(a)) return 1;
            return real_compare_i64(complex_real(a), w);
        default:
            unsupported();
            return 0;
    }
}

bool value_is_decimal(const Value* a) {
    switch (num_ctx.number_type) {
        case kTypeReal:
        case kTypeComplex:
            return true;
        case kTypeRational:
            return !rational_is_exact(a);
        default:
            unsupported();
            return false;
    }
}

bool value_integer_word(const Value* a, uint64_t* magnitude, bool* negative) {
    *magnitude = 0;
    *negative = false;
    const uint32_t type = num_ctx.number_type;
    if (type != kTypeReal && type != kTypeRational && type != kTypeComplex) return false;
    if (type == kTypeComplex && !complex_is_real(a)) return false;
    const uint32_t saved = num_ctx.error_code;
    bool ok = false;
    if (type == kTypeRational && rational_is_exact(a)) {
        ok = rational_to_word(magnitude, a, false);
    } else {
        ok = real_is_integer(a) && real_to_u64(magnitude, a, kToIntQuiet | kToIntNegativeMagnitude);
    }
    num_ctx.error_code = saved;
    if (!ok) {
        *magnitude = 0;
        return false;
    }
    *negative = real_is_negative(a) && *magnitude != 0;
    return true;
}

int value_format(char16_t* buffer, int capacity, const Value* a, uint32_t format_flags) {
    switch (num_ctx.number_type) {
        case kTypeReal:
            return real_format(buffer, capacity, a, format_flags, 19 * num_ctx.real_limbs);
        case kTypeRational:
            return rational_to_text(buffer, capacity, a, format_flags);
        case kTypeComplex:
            return complex_format(buffer, capacity, a, format_flags);
        case kTypeUnsigned:
            return bigint_to_text(buffer, capacity, a, format_flags, 10);
        default:
            unsupported();
            return 0;
    }
}

char16_t* value_to_ring(const Value* a, uint32_t format_flags) {
    char16_t* buffer = text_ring_next_buffer();
    const int length = value_format(buffer, kRingTextCapacity, a, format_flags);
    buffer[length] = 0;
    return buffer;
}
