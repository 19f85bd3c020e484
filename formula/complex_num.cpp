#include "formula/complex_num.h"

#include <array>

#include "numeric/real_arith.h"
#include "numeric/real_functions.h"

namespace {

// 10^k for k = 0 .. 19.
constexpr auto kPow10 = [] {
    std::array<uint64_t, 20> p{};
    p[0] = 1;
    for (size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
    return p;
}();

// Guard precision for one scope. A guard already active (the caller computes at guard precision itself) is left
// as it is and the work runs at the current precision.
struct GuardScope {
    bool active;
    explicit GuardScope(int k) : active(num_ctx.guard_limbs == 0 && num_ctx.guard_digit_reduction == 0) {
        if (active) begin_guard(k);
    }
    ~GuardScope() {
        if (active) end_guard();
    }
    GuardScope(const GuardScope&) = delete;
    GuardScope& operator=(const GuardScope&) = delete;
    // Copies an operand of the outer precision into a guarded temporary.
    RealNum* widen(const RealNum* x) const {
        RealNum* w = scratch_real();
        if (active) {
            guard_widen(w, x);
        } else {
            real_copy(w, x);
        }
        return w;
    }
    void narrow(RealNum* dst, const RealNum* x) const {
        if (active) {
            guard_narrow(dst, x);
        } else {
            real_copy(dst, x);
        }
    }
};

void div_op(RealNum* dst, const RealNum* a, const RealNum* b) {
    real_div(dst, a, b);
}

void mul_rounded(RealNum* dst, const RealNum* a, const RealNum* b) {
    real_round_on_guard(dst, real_mul(dst, a, b));
}

void add_rounded(RealNum* dst, const RealNum* a, const RealNum* b, int subtract) {
    real_round_on_guard(dst, real_add_sub(dst, a, b, subtract));
}

}  // namespace

// ---- Real operations ----------------------------------------------------------------------------------------------

void real_round_on_guard(RealNum* x, uint64_t guard) {
    if (num_ctx.no_rounding != 0 || real_is_zero(x)) return;
    if (limbs_round_half_up(x + 1, num_ctx.real_limbs, guard)) real_add_exponent(x, 1);
}

void real_guarded_unary(RealNum* dst, const RealNum* x, RealUnaryOp op, int k) {
    ScratchFrame frame;
    GuardScope guard(k);
    RealNum* w = guard.widen(x);
    op(w, w);
    guard.narrow(dst, w);
}

void real_guarded_binary(RealNum* dst, const RealNum* a, const RealNum* b, RealBinaryOp op, int k) {
    ScratchFrame frame;
    GuardScope guard(k);
    RealNum* wa = guard.widen(a);
    RealNum* wb = guard.widen(b);
    op(wa, wa, wb);
    guard.narrow(dst, wa);
}

void real_guarded_pow_int(RealNum* dst, const RealNum* x, int64_t n) {
    ScratchFrame frame;
    GuardScope guard(2);
    RealNum* w = guard.widen(x);
    real_pow_int(w, w, n);
    guard.narrow(dst, w);
}

void real_trunc(RealNum* dst, const RealNum* x) {
    const int n = num_ctx.real_limbs;
    if (real_is_zero(x)) {
        real_copy(dst, x);
        return;
    }
    const int64_t e = real_exponent(x);
    if (e < 0) {
        real_set_signed_zero(dst, real_is_negative(x));
        return;
    }
    real_copy(dst, x);
    if (e + 1 >= 19 * static_cast<int64_t>(n)) return;
    const int q = static_cast<int>((e + 1) / 19);
    const int r = static_cast<int>((e + 1) % 19);
    uint64_t* limbs = dst + 1;
    limbs[q] -= limbs[q] % kPow10[19 - r];
    for (int i = q + 1; i < n; ++i) limbs[i] = 0;
}

void real_round_digits(RealNum* dst, const RealNum* x, int64_t s) {
    const int n = num_ctx.real_limbs;
    if (s < 0) {
        raise_error(kErrDomain);
        real_set_zero(dst);
        return;
    }
    real_copy(dst, x);
    if (real_is_zero(x) || s >= 19 * static_cast<int64_t>(n)) return;
    const int q = static_cast<int>(s / 19);
    const int r = static_cast<int>(s % 19);
    uint64_t* limbs = dst + 1;
    const uint64_t unit = kPow10[19 - r];
    const uint64_t dropped = limbs[q] % unit;
    limbs[q] -= dropped;
    for (int i = q + 1; i < n; ++i) limbs[i] = 0;
    if (num_ctx.no_rounding != 0 || dropped < unit / 2) {
        if (limbs[0] == 0) real_set_signed_zero(dst, real_is_negative(x));
        return;
    }
    // Raise the kept part by one unit of its last digit; with r = 0 that unit is 1 in the limb above q.
    int pos = r == 0 ? q - 1 : q;
    uint64_t add = r == 0 ? 1 : unit;
    while (pos >= 0) {
        limbs[pos] += add;
        if (limbs[pos] < kLimbBase) return;
        limbs[pos] -= kLimbBase;
        add = 1;
        --pos;
    }
    limbs[0] = kLimbBase / 10;
    real_add_exponent(dst, 1);
}

void real_round_decimals(RealNum* dst, const RealNum* x, int64_t n) {
    if (n < 0) {
        raise_error(kErrDomain);
        real_set_zero(dst);
        return;
    }
    if (real_is_zero(x)) {
        real_copy(dst, x);
        return;
    }
    const int64_t e = real_exponent(x);
    const int64_t all = 19 * static_cast<int64_t>(num_ctx.real_limbs);
    if (n >= all - e) {  // E + n + 1 > 19 L: nothing to drop (also keeps E + n from overflowing)
        real_copy(dst, x);
        return;
    }
    if (e + n < -1) {
        real_set_signed_zero(dst, real_is_negative(x));
        return;
    }
    real_round_digits(dst, x, e + n + 1);
}

void real_from_ratio(RealNum* dst, int64_t num, int64_t den) {
    if (den < 1) {
        raise_error(kErrDomain);
        real_set_zero(dst);
        return;
    }
    real_from_i64(dst, num);
    real_round_on_guard(dst, real_div_word(dst, dst, static_cast<uint64_t>(den)));
}

// ---- ComplexNum ---------------------------------------------------------------------------------------------------

void complex_copy(ComplexNum* dst, const ComplexNum* z) {
    if (dst == z) return;
    const int w = complex_words();
    for (int i = 0; i < w; ++i) dst[i] = z[i];
}

void complex_set_zero(ComplexNum* z) {
    real_set_zero(complex_real(z));
    real_set_zero(complex_imag(z));
}

void complex_set_real(ComplexNum* dst, const RealNum* re) {
    real_copy(complex_real(dst), re);
    real_set_zero(complex_imag(dst));
}

bool complex_is_real(const ComplexNum* z) {
    return real_is_zero(complex_imag(z));
}

void complex_negate(ComplexNum* dst, const ComplexNum* z) {
    complex_copy(dst, z);
    real_negate(complex_real(dst));
    real_negate(complex_imag(dst));
}

void complex_add(ComplexNum* dst, const ComplexNum* a, const ComplexNum* b) {
    add_rounded(complex_real(dst), complex_real(a), complex_real(b), 0);
    add_rounded(complex_imag(dst), complex_imag(a), complex_imag(b), 0);
}

void complex_sub(ComplexNum* dst, const ComplexNum* a, const ComplexNum* b) {
    add_rounded(complex_real(dst), complex_real(a), complex_real(b), 1);
    add_rounded(complex_imag(dst), complex_imag(a), complex_imag(b), 1);
}

void complex_mul(ComplexNum* dst, const ComplexNum* a, const ComplexNum* b) {
    if (complex_is_real(a) && complex_is_real(b)) {
        mul_rounded(complex_real(dst), complex_real(a), complex_real(b));
        real_set_zero(complex_imag(dst));
        return;
    }
    ScratchFrame frame;
    RealNum* t1 = scratch_real();
    RealNum* t2 = scratch_real();
    RealNum* t3 = scratch_real();
    RealNum* t4 = scratch_real();
    mul_rounded(t1, complex_real(a), complex_real(b));
    mul_rounded(t2, complex_real(a), complex_imag(b));
    mul_rounded(t3, complex_imag(a), complex_imag(b));
    mul_rounded(t4, complex_imag(a), complex_real(b));
    add_rounded(complex_real(dst), t1, t3, 1);
    add_rounded(complex_imag(dst), t2, t4, 0);
}

void complex_div(ComplexNum* dst, const ComplexNum* a, const ComplexNum* b) {
    if (complex_is_real(b)) {
        if (complex_is_real(a)) {
            real_guarded_binary(complex_real(dst), complex_real(a), complex_real(b), div_op, 2);
            real_set_zero(complex_imag(dst));
        } else {
            // The imaginary part first: dst may be b, whose real part is still needed.
            real_guarded_binary(complex_imag(dst), complex_imag(a), complex_real(b), div_op, 2);
            real_guarded_binary(complex_real(dst), complex_real(a), complex_real(b), div_op, 2);
        }
        return;
    }
    ScratchFrame frame;
    RealNum* d = scratch_real();
    RealNum* t = scratch_real();
    RealNum* re = scratch_real();
    RealNum* im = scratch_real();
    mul_rounded(d, complex_real(b), complex_real(b));
    mul_rounded(t, complex_imag(b), complex_imag(b));
    add_rounded(d, d, t, 0);
    mul_rounded(re, complex_real(a), complex_real(b));
    mul_rounded(t, complex_imag(a), complex_imag(b));
    add_rounded(re, re, t, 0);
    mul_rounded(im, complex_imag(a), complex_real(b));
    mul_rounded(t, complex_real(a), complex_imag(b));
    add_rounded(im, im, t, 1);
    real_guarded_binary(complex_real(dst), re, d, div_op, 2);
    real_guarded_binary(complex_imag(dst), im, d, div_op, 2);
}

void complex_reciprocal(ComplexNum* dst, const ComplexNum* a) {
    if (complex_is_real(a)) {
        real_guarded_unary(complex_real(dst), complex_real(a), real_reciprocal, 2);
        real_set_zero(complex_imag(dst));
        return;
    }
    ScratchFrame frame;
    RealNum* d = scratch_real();
    RealNum* t = scratch_real();
    mul_rounded(d, complex_real(a), complex_real(a));
    mul_rounded(t, complex_imag(a), complex_imag(a));
    add_rounded(d, d, t, 0);
    real_guarded_binary(complex_real(dst), complex_real(a), d, div_op, 2);
    real_guarded_binary(complex_imag(dst), complex_imag(a), d, div_op, 2);
    real_negate(complex_imag(dst));
}

void complex_mul_word(ComplexNum* dst, const ComplexNum* a, uint64_t w) {
    real_round_on_guard(complex_real(dst), real_mul_word(complex_real(dst), complex_real(a), w));
    real_round_on_guard(complex_imag(dst), real_mul_word(complex_imag(dst), complex_imag(a), w));
}

void complex_div_word(ComplexNum* dst, const ComplexNum* a, uint64_t w) {
    real_round_on_guard(complex_real(dst), real_div_word(complex_real(dst), complex_real(a), w));
    if (complex_is_real(a)) {
        real_copy(complex_imag(dst), complex_imag(a));
    } else {
        real_round_on_guard(complex_imag(dst), real_div_word(complex_imag(dst), complex_imag(a), w));
    }
}

void complex_pow_int(ComplexNum* dst, const ComplexNum* z, int64_t n) {
    if (complex_is_real(z) || n == 0) {
        real_guarded_pow_int(complex_real(dst), complex_real(z), n);
        real_set_zero(complex_imag(dst));
        return;
    }
    ScratchFrame frame;
    ComplexNum* power = scratch_complex();
    ComplexNum* result = scratch_complex();
    complex_copy(power, z);
    uint64_t m = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    bool first = true;
    while (m != 0) {
        if ((m & 1) != 0) {
            if (first) {
                complex_copy(result, power);
                first = false;
            } else {
                complex_mul(result, result, power);
            }
        }
        m >>= 1;
        if (m != 0) complex_mul(power, power, power);
    }
    if (n < 0) {
        complex_reciprocal(dst, result);
    } else {
        complex_copy(dst, result);
    }
}

void complex_modulus(RealNum* dst, const ComplexNum* z) {
    real_guarded_binary(dst, complex_real(z), complex_imag(z), real_hypot, 2);
}

void complex_pow(ComplexNum* dst, const ComplexNum* x, const ComplexNum* y) {
    if (!complex_is_real(y)) {
        raise_error(kErrComplexArg);
        complex_set_zero(dst);
        return;
    }
    if (complex_is_real(x)) {
        real_guarded_binary(complex_real(dst), complex_real(x), complex_real(y), real_pow, 3);
        real_set_zero(complex_imag(dst));
        return;
    }
    int64_t n = 0;
    if (!real_to_i64(&n, complex_real(y), 0)) {
        complex_set_zero(dst);
        return;
    }
    complex_pow_int(dst, x, n);
}

void complex_root_branch(ComplexNum* dst, const ComplexNum* z, int64_t n, int64_t k) {
    constexpr int64_t kMaxOrder = int64_t{1} << 61;
    const bool z_zero = real_is_zero(complex_real(z)) && real_is_zero(complex_imag(z));
    const bool n_valid = n != 0 && n >= -kMaxOrder && n <= kMaxOrder;
    const int64_t order = !n_valid ? 1 : n < 0 ? -n : n;
    if (!n_valid || k < 0 || k >= order || (n < 0 && z_zero)) {
        raise_error(kErrDomain);
        complex_set_zero(dst);
        return;
    }
    if (z_zero) {
        complex_set_zero(dst);
        return;
    }
    // The parts' offsets depend on L: take them before the guard raises it.
    RealNum* dst_re = complex_real(dst);
    RealNum* dst_im = complex_imag(dst);
    const RealNum* z_im = complex_imag(z);
    ScratchFrame frame;
    GuardScope guard(3);
    RealNum* re = guard.widen(complex_real(z));
    RealNum* im = guard.widen(z_im);
    RealNum* t = scratch_real();
    RealNum* cos_phi = scratch_real();
    RealNum* sin_phi = scratch_real();
    RealNum* r = scratch_real();

    // Arg z = t + c * pi/2 with |t| <= pi/4; the branch index drops by one below the negative real axis.
    RealNum* abs_re = scratch_real();
    RealNum* abs_im = scratch_real();
    real_copy(abs_re, re);
    abs_re[0] &= ~uint64_t{1};
    real_copy(abs_im, im);
    abs_im[0] &= ~uint64_t{1};
    const bool re_positive = !real_is_zero(re) && !real_is_negative(re);
    const bool re_negative = !real_is_zero(re) && real_is_negative(re);
    const bool im_negative = !real_is_zero(im) && real_is_negative(im);
    int64_t c = 0;
    int64_t branch = k;
    if (re_positive && real_compare(abs_im, re) <= 0) {
        real_div(t, im, re);
        real_atan(t, t);
    } else if (re_negative && real_compare(abs_im, abs_re) <= 0) {
        real_div(t, im, abs_re);
        real_atan(t, t);
        real_negate(t);
        c = 2;
        if (im_negative) --branch;
    } else if (!im_negative) {
        real_div(t, re, im);
        real_atan(t, t);
        real_negate(t);
        c = 1;
    } else {
        real_div(t, re, abs_im);
        real_atan(t, t);
        c = 3;
        --branch;
    }

    const int64_t q = c + 4 * branch;
    if (q % order != 0) {
        // phi = (q pi/2 + t) / |n|
        RealNum* phi = r;
        get_constant(phi, kConstPiDiv2);
        const uint64_t q_abs = q < 0 ? 0 - static_cast<uint64_t>(q) : static_cast<uint64_t>(q);
        real_mul_word(phi, phi, q_abs);
        if (q < 0) real_negate(phi);
        real_add_sub(phi, phi, t, 0);
        real_div_word(phi, phi, static_cast<uint64_t>(order));
        real_cos(cos_phi, phi);
        real_sin(sin_phi, phi);
    } else {
        // A whole number m of quarter turns plus t/|n|: rotate cos and sin of t/|n| exactly.
        const int64_t m = ((q / order) % 4 + 4) % 4;
        real_div_word(t, t, static_cast<uint64_t>(order));
        real_cos(cos_phi, t);
        real_sin(sin_phi, t);
        if (m == 1 || m == 3) {
            real_copy(r, cos_phi);
            real_copy(cos_phi, sin_phi);
            real_copy(sin_phi, r);
        }
        if (m == 1 || m == 2) real_negate(cos_phi);
        if (m == 2 || m == 3) real_negate(sin_phi);
    }
    if (n < 0) real_negate(sin_phi);

    real_hypot(r, re, im);
    if (n == 2) {
        real_sqrt(r, r);
    } else if (n == 3) {
        real_cbrt(r, r);
    } else {
        real_root_int(r, r, n);
    }
    real_mul(cos_phi, cos_phi, r);
    real_mul(sin_phi, sin_phi, r);
    guard.narrow(dst_re, cos_phi);
    guard.narrow(dst_im, sin_phi);
}

void complex_trunc(ComplexNum* dst, const ComplexNum* z) {
    real_trunc(complex_real(dst), complex_real(z));
    real_trunc(complex_imag(dst), complex_imag(z));
}

void complex_resize(ComplexNum* z, int n) {
    if (n < 1 || n > kConstantLimbs) {
        raise_error(kErrLimbCount);
        return;
    }
    if (n == num_ctx.real_limbs) return;
    ScratchFrame frame;
    const int w = 2 * (n + 1);
    uint64_t* copy = scratch_take(static_cast<size_t>(w));
    if (copy == nullptr) return;
    for (int i = 0; i < w; ++i) copy[i] = z[i];
    real_resize(complex_real(z), copy, n);
    real_resize(complex_imag(z), copy + n + 1, n);
}

void complex_round_digits(ComplexNum* dst, const ComplexNum* z, int64_t n) {
    if (n < 0) {
        raise_error(kErrDomain);
        complex_set_zero(dst);
        return;
    }
    real_round_digits(complex_real(dst), complex_real(z), n);
    real_round_digits(complex_imag(dst), complex_imag(z), n);
}
