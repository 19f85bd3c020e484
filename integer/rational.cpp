#include "integer/rational.h"

#include "integer/integer_text.h"
#include "numeric/limb_kernels.h"
#include "numeric/real_arith.h"
#include "numeric/real_special.h"
#include "numeric/real_text.h"

namespace {

constexpr int32_t kMaxIntLimbs = 2000;
constexpr uint64_t kLow32 = 0xFFFFFFFFull;

inline int width() {
    return num_ctx.int_limbs;
}

inline BigInt* take_int() {
    return scratch_take(static_cast<size_t>(width()));
}

// The exact operations run with a clean error code and put the caller's code back unchanged, so an overflow
// inside them is seen here and never reaches the caller.
struct ErrorIsolation {
    uint32_t saved;
    ErrorIsolation() : saved(num_ctx.error_code) { num_ctx.error_code = 0; }
    ~ErrorIsolation() { num_ctx.error_code = saved; }
    bool clean() const { return num_ctx.error_code == 0; }
    ErrorIsolation(const ErrorIsolation&) = delete;
    ErrorIsolation& operator=(const ErrorIsolation&) = delete;
};

// The readers and writers start with a clean code and let a code pending on entry win over their own.
struct PendingError {
    uint32_t saved;
    PendingError() : saved(num_ctx.error_code) { num_ctx.error_code = 0; }
    ~PendingError() {
        if (saved != 0) num_ctx.error_code = saved;
    }
    PendingError(const PendingError&) = delete;
    PendingError& operator=(const PendingError&) = delete;
};

// One limb beyond the current precision with iterations run to its full length. Restores the guard fields it found,
// so it also works under an active guard; without one it is begin_guard(19) / end_guard.
struct ExtraLimb {
    int32_t limbs;
    uint32_t guard_limbs;
    uint32_t reduction;
    ExtraLimb()
        : limbs(num_ctx.real_limbs), guard_limbs(num_ctx.guard_limbs), reduction(num_ctx.guard_digit_reduction) {
        num_ctx.real_limbs = limbs + 1;
        num_ctx.guard_limbs = 1;
        num_ctx.guard_digit_reduction = 0;
    }
    ~ExtraLimb() {
        num_ctx.real_limbs = limbs;
        num_ctx.guard_limbs = guard_limbs;
        num_ctx.guard_digit_reduction = reduction;
    }
    ExtraLimb(const ExtraLimb&) = delete;
    ExtraLimb& operator=(const ExtraLimb&) = delete;
};

// ---- Layout ----------------------------------------------------------------------------------------------------

// Limb i (< (L + 1)/2) of the numerator or denominator stored in x at L limbs.
uint64_t stored_limb(const Rational* x, int limbs, int i, bool denominator) {
    const int h = limbs / 2;
    if (i < h) return x[1 + (denominator ? h : 0) + i];
    return denominator ? x[limbs] >> 32 : x[limbs] & kLow32;
}

void unpack_at(RationalParts* parts, const Rational* x, int limbs) {
    const int w = width();
    bigint_zero(parts->num);
    bigint_set_word(parts->den, 1);
    parts->negative = false;
    if (!rational_is_exact(x)) {
        raise_error(kErrNotRational);
        return;
    }
    const int stored = (limbs + 1) / 2;
    for (int i = w; i < stored; ++i) {
        if (stored_limb(x, limbs, i, false) != 0 || stored_limb(x, limbs, i, true) != 0) {
            raise_error(kErrIntOverflow);
            return;
        }
    }
    const int n = stored < w ? stored : w;
    for (int i = 0; i < n; ++i) {
        parts->num[i] = stored_limb(x, limbs, i, false);
        parts->den[i] = stored_limb(x, limbs, i, true);
    }
    parts->negative = (x[0] & 1) != 0;
}

bool pack_at(Rational* x, const RationalParts* parts, int limbs) {
    const uint64_t bits = 32 * static_cast<uint64_t>(limbs);
    if (bigint_bit_length(parts->num) > bits || bigint_bit_length(parts->den) > bits) return false;
    const int w = width();
    const int h = limbs / 2;
    auto limb = [w](const BigInt* b, int i) { return i < w ? b[i] : uint64_t{0}; };
    x[0] = kRationalMark | (parts->negative ? 1u : 0u);
    for (int i = 0; i < h; ++i) {
        x[1 + i] = limb(parts->num, i);
        x[1 + h + i] = limb(parts->den, i);
    }
    if (limbs & 1) x[limbs] = limb(parts->num, h) | (limb(parts->den, h) << 32);
    return true;
}

// ---- Helpers on parts ------------------------------------------------------------------------------------------

void put(RationalParts* r, bool negative, const BigInt* num, const BigInt* den) {
    r->negative = negative;
    bigint_copy(r->num, num);
    bigint_copy(r->den, den);
}

void put_zero(RationalParts* r, bool negative) {
    r->negative = negative;
    bigint_zero(r->num);
    bigint_set_word(r->den, 1);
}

// x = a / gcd(a, b) and y = b / gcd(a, b) for nonzero a and b.
void cross_reduce(BigInt* x, BigInt* y, const BigInt* a, const BigInt* b) {
    ScratchFrame frame;
    BigInt* g = take_int();
    bigint_gcd(g, a, b);
    if (bigint_is_one(g)) {
        bigint_copy(x, a);
        bigint_copy(y, b);
        return;
    }
    bigint_divmod(x, nullptr, a, g);
    bigint_divmod(y, nullptr, b, g);
}

// Lowest terms; a zero numerator gets the denominator 1.
void reduce(BigInt* num, BigInt* den) {
    if (bigint_is_zero(num)) {
        bigint_set_word(den, 1);
        return;
    }
    cross_reduce(num, den, num, den);
}

uint64_t gcd_word(uint64_t a, uint64_t b) {
    while (b != 0) {
        const uint64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

bool add_signed(RationalParts* r, const RationalParts* a, const RationalParts* b, bool b_negative) {
    ErrorIsolation isolation;
    ScratchFrame frame;
    BigInt* x = take_int();
    BigInt* y = take_int();
    BigInt* d = take_int();
    if (bigint_compare(a->den, b->den) != 0) {
        bigint_mul(x, a->num, b->den);
        bigint_mul(y, b->num, a->den);
        bigint_mul(d, a->den, b->den);
    } else {
        bigint_copy(x, a->num);
        bigint_copy(y, b->num);
        bigint_copy(d, a->den);
    }
    bool negative = a->negative;
    if (a->negative == b_negative) {
        bigint_add(x, x, y);
    } else if (bigint_compare(x, y) >= 0) {
        bigint_sub(x, x, y);
    } else {
        bigint_sub(x, y, x);
        negative = b_negative;
    }
    reduce(x, d);
    put(r, negative, x, d);
    return isolation.clean();
}

// Exact k-th roots (k a BigInt) of numerator and denominator into p and q.
bool exact_roots(BigInt* p, BigInt* q, const RationalParts* a, const BigInt* k) {
    return bigint_root(p, a->num, k) && bigint_root(q, a->den, k);
}

// Inverts p/q in place unless p = 0.
bool invert(BigInt** p, BigInt** q) {
    if (bigint_is_zero(*p)) return false;
    BigInt* t = *p;
    *p = *q;
    *q = t;
    return true;
}

bool exp_of_integer(RationalParts* r, const RationalParts* a, void (*power)(BigInt*, const BigInt*)) {
    ErrorIsolation isolation;
    if (!bigint_is_one(a->den)) return false;
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    power(p, a->num);
    bigint_set_word(q, 1);
    if (a->negative && !invert(&p, &q)) return false;
    put(r, false, p, q);
    return isolation.clean();
}

bool log_exact(RationalParts* r, const RationalParts* a, bool (*log)(BigInt*, const BigInt*)) {
    ErrorIsolation isolation;
    if (a->negative || bigint_is_zero(a->num)) return false;
    ScratchFrame frame;
    BigInt* e = take_int();
    BigInt* one = take_int();
    bigint_set_word(one, 1);
    bool negative = false;
    if (bigint_is_one(a->den)) {
        if (!log(e, a->num)) return false;
    } else {
        if (!bigint_is_one(a->num) || !log(e, a->den)) return false;
        negative = true;
    }
    put(r, negative, e, one);
    return isolation.clean();
}

// A rational operand as a real in a scratch temporary of the caller's frame; a real operand is used as it is.
const RealNum* real_operand(const Rational* a) {
    if (!rational_is_exact(a)) return a;
    RealNum* t = scratch_real();
    rational_to_real(t, a);
    return t;
}

void set_all_ones(BigInt* b, int limbs) {
    bigint_zero(b);
    const int h = limbs / 2;
    for (int i = 0; i < h; ++i) b[i] = ~uint64_t{0};
    if (limbs & 1) b[h] = kLow32;
}

}  // namespace

// ---- Width and storage -----------------------------------------------------------------------------------------

int32_t rational_width(bool wide) {
    const int32_t limbs = num_ctx.real_limbs;
    return wide ? limbs : (limbs + 1) / 2;
}

RationalWidth::RationalWidth(int32_t w) : saved(num_ctx.int_limbs), ok(w >= 1 && w <= kMaxIntLimbs) {
    if (ok)
        num_ctx.int_limbs = w;
    else
        raise_error(kErrLimbCount);
}

RationalParts rational_parts_take() {
    RationalParts parts{false, take_int(), take_int()};
    bigint_zero(parts.num);
    bigint_set_word(parts.den, 1);
    return parts;
}

void rational_unpack(RationalParts* parts, const Rational* x) {
    unpack_at(parts, x, num_ctx.real_limbs);
}

bool rational_pack(Rational* x, const RationalParts* parts) {
    return pack_at(x, parts, num_ctx.real_limbs);
}

void rational_store(Rational* x, const RationalParts* parts) {
    if (!rational_pack(x, parts)) rational_parts_to_real(x, parts);
}

void rational_from_words(Rational* dst, int64_t num, int64_t den) {
    if (den < 1) {
        raise_error(kErrDomain);
        real_set_zero(dst);
        return;
    }
    uint64_t n = num < 0 ? uint64_t{0} - static_cast<uint64_t>(num) : static_cast<uint64_t>(num);
    uint64_t d = static_cast<uint64_t>(den);
    if (n == 0) {
        d = 1;
    } else {
        const uint64_t g = gcd_word(n, d);
        n /= g;
        d /= g;
    }
    RationalWidth scope(rational_width(false));
    ScratchFrame frame;
    RationalParts parts = rational_parts_take();
    parts.negative = num < 0;
    parts.num[0] = n;
    parts.den[0] = d;
    rational_store(dst, &parts);
}

void rational_parts_to_real(RealNum* dst, const RationalParts* parts) {
    if (bigint_is_zero(parts->num)) {
        real_set_signed_zero(dst, parts->negative);
        return;
    }
    const int w = width();
    ScratchFrame frame;
    ExtraLimb extra;
    RealNum* t = scratch_real();
    real_from_bigint(t, w, parts->num);
    if (bigint_bit_length(parts->den) <= 64) {
        if (parts->den[0] != 1) real_div_word(t, t, parts->den[0]);
    } else {
        RealNum* d = scratch_real();
        real_from_bigint(d, w, parts->den);
        real_div(t, t, d);
    }
    guard_narrow(dst, t);
    if (parts->negative) dst[0] |= 1;
}

void rational_to_real(RealNum* dst, const Rational* src) {
    if (!rational_is_exact(src)) {
        if (dst != src) real_copy(dst, src);
        return;
    }
    RationalWidth scope(rational_width(false));
    ScratchFrame frame;
    RationalParts parts = rational_parts_take();
    rational_unpack(&parts, src);
    rational_parts_to_real(dst, &parts);
}

void rational_resize(Rational* dst, const Rational* src, int old_limbs) {
    if (!rational_is_exact(src)) {
        real_resize(dst, src, old_limbs);
        return;
    }
    const int limbs = num_ctx.real_limbs;
    const int wider = old_limbs > limbs ? old_limbs : limbs;
    RationalWidth scope((wider + 1) / 2);
    ScratchFrame frame;
    RationalParts parts = rational_parts_take();
    unpack_at(&parts, src, old_limbs);
    if (pack_at(dst, &parts, limbs)) return;
    // Shrinking below the size of the parts: the real quotient at the old precision, then narrowed.
    RealNum* t = scratch_take(static_cast<size_t>(old_limbs) + 1);
    num_ctx.real_limbs = old_limbs;
    rational_parts_to_real(t, &parts);
    num_ctx.real_limbs = limbs;
    real_resize(dst, t, old_limbs);
}

void rational_constant(Rational* dst, int code) {
    if (code != kSpecialZero && code != kSpecialSmallestRational && code != kSpecialLargestRational) {
        real_set_special(dst, code);
        return;
    }
    RationalWidth scope(rational_width(false));
    ScratchFrame frame;
    RationalParts parts = rational_parts_take();
    const int limbs = num_ctx.real_limbs;
    if (code == kSpecialSmallestRational) {
        bigint_set_word(parts.num, 1);
        set_all_ones(parts.den, limbs);
    } else if (code == kSpecialLargestRational) {
        set_all_ones(parts.num, limbs);
    }
    rational_pack(dst, &parts);
}

// ---- Queries ---------------------------------------------------------------------------------------------------

int rational_compare(const Rational* a, const Rational* b) {
    ScratchFrame frame;
    if (!rational_is_exact(a) || !rational_is_exact(b)) return real_compare(real_operand(a), real_operand(b));
    RationalWidth scope(rational_width(true));
    RationalParts pa = rational_parts_take();
    RationalParts pb = rational_parts_take();
    rational_unpack(&pa, a);
    rational_unpack(&pb, b);
    if (pa.negative != pb.negative) {
        if (bigint_is_zero(pa.num) && bigint_is_zero(pb.num)) return 0;
        return pa.negative ? -1 : 1;
    }
    int c;
    if (bigint_compare(pa.den, pb.den) == 0) {
        c = bigint_compare(pa.num, pb.num);
    } else {
        BigInt* x = take_int();
        BigInt* y = take_int();
        bigint_mul(x, pa.num, pb.den);
        bigint_mul(y, pb.num, pa.den);
        c = bigint_compare(x, y);
    }
    return pa.negative ? -c : c;
}

int rational_compare_word(const Rational* a, int64_t w) {
    if (!rational_is_exact(a)) return real_compare_i64(a, w);
    RationalWidth scope(rational_width(true));
    ScratchFrame frame;
    RationalParts pa = rational_parts_take();
    rational_unpack(&pa, a);
    const bool w_negative = w < 0;
    const uint64_t magnitude = w_negative ? uint64_t{0} - static_cast<uint64_t>(w) : static_cast<uint64_t>(w);
    if (pa.negative != w_negative) {
        if (bigint_is_zero(pa.num) && magnitude == 0) return 0;
        return pa.negative ? -1 : 1;
    }
    BigInt* t = take_int();
    bool overflow;
    {
        ErrorIsolation isolation;
        bigint_mul_word(t, pa.den, magnitude);
        overflow = !isolation.clean();
    }
    // A product beyond the width exceeds every numerator of the width.
    const int c = overflow ? -1 : bigint_compare(pa.num, t);
    return pa.negative ? -c : c;
}

bool rational_is_zero(const Rational* a) {
    if (!rational_is_exact(a)) return real_is_zero(a);
    const int limbs = num_ctx.real_limbs;
    for (int i = 0; i < (limbs + 1) / 2; ++i)
        if (stored_limb(a, limbs, i, false) != 0) return false;
    return true;
}

void rational_negate(Rational* dst, const Rational* a) {
    if (dst != a) limbs_copy(dst, a, num_ctx.real_limbs + 1);
    dst[0] ^= 1;
}

bool rational_to_word(uint64_t* out, const Rational* a, bool truncate) {
    *out = 0;
    if (!rational_is_exact(a)) {
        uint32_t flags = kToIntQuiet | kToIntNegativeMagnitude;
        if (truncate) flags |= kToIntTruncate;
        return real_to_u64(out, a, flags);
    }
    RationalWidth scope(rational_width(false));
    ScratchFrame frame;
    RationalParts pa = rational_parts_take();
    rational_unpack(&pa, a);
    if (!bigint_is_one(pa.den)) {
        if (!truncate) return false;
        bigint_divmod(pa.num, nullptr, pa.num, pa.den);
    }
    return bigint_to_uint64(out, pa.num, true);
}

// ---- Exact operations ------------------------------------------------------------------------------------------

bool rational_add(RationalParts* r, const RationalParts* a, const RationalParts* b) {
    return add_signed(r, a, b, b->negative);
}

bool rational_sub(RationalParts* r, const RationalParts* a, const RationalParts* b) {
    return add_signed(r, a, b, !b->negative);
}

bool rational_mul(RationalParts* r, const RationalParts* a, const RationalParts* b) {
    ErrorIsolation isolation;
    const bool negative = a->negative != b->negative;
    if (bigint_is_zero(a->num) || bigint_is_zero(b->num)) {
        put_zero(r, negative);
        return true;
    }
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    BigInt* x = take_int();
    BigInt* s = take_int();
    cross_reduce(p, s, a->num, b->den);
    cross_reduce(x, q, b->num, a->den);
    bigint_mul(p, p, x);
    bigint_mul(q, q, s);
    put(r, negative, p, q);
    return isolation.clean();
}

namespace {

// a * w (divide false) or a / w (divide true) for w > 0: g = gcd(w, the part w cancels against) divides that part and
// the other part takes w / g, so a reduced a gives a reduced result.
bool scale_by_word(RationalParts* r, const RationalParts* a, uint64_t w, bool divide) {
    ErrorIsolation isolation;
    if (bigint_is_zero(a->num)) {
        put_zero(r, a->negative);
        return true;
    }
    ScratchFrame frame;
    BigInt* grown = take_int();
    BigInt* cancelled = take_int();
    const BigInt* cancelling = divide ? a->num : a->den;
    const uint64_t g = gcd_word(w, bigint_divmod_word(nullptr, cancelling, w));
    bigint_divmod_word(cancelled, cancelling, g);
    bigint_mul_word(grown, divide ? a->den : a->num, w / g);
    if (divide)
        put(r, a->negative, cancelled, grown);
    else
        put(r, a->negative, grown, cancelled);
    return isolation.clean();
}

}  // namespace

bool rational_mul_word(RationalParts* r, const RationalParts* a, uint64_t w) {
    if (w == 0) {
        put_zero(r, a->negative);
        return true;
    }
    return scale_by_word(r, a, w, false);
}

// a / b = a * (1 / b): the reciprocal swaps b's parts, and the reduced result is the same fraction.
bool rational_div(RationalParts* r, const RationalParts* a, const RationalParts* b) {
    if (bigint_is_zero(b->num)) return false;
    const RationalParts reciprocal{b->negative, b->den, b->num};
    return rational_mul(r, a, &reciprocal);
}

bool rational_div_word(RationalParts* r, const RationalParts* a, uint64_t w) {
    return w != 0 && scale_by_word(r, a, w, true);
}

bool rational_reciprocal(RationalParts* r, const RationalParts* a) {
    ErrorIsolation isolation;
    if (bigint_is_zero(a->num)) return false;
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    bigint_copy(p, a->den);
    bigint_copy(q, a->num);
    put(r, a->negative, p, q);
    return isolation.clean();
}

bool rational_sqrt(RationalParts* r, const RationalParts* a) {
    ErrorIsolation isolation;
    if (a->negative && !bigint_is_zero(a->num)) return false;
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    if (!bigint_isqrt(p, a->num) || !bigint_isqrt(q, a->den)) return false;
    put(r, a->negative, p, q);
    return isolation.clean();
}

bool rational_cbrt(RationalParts* r, const RationalParts* a) {
    ErrorIsolation isolation;
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    if (!bigint_root_word(p, a->num, 3) || !bigint_root_word(q, a->den, 3)) return false;
    put(r, a->negative, p, q);
    return isolation.clean();
}

bool rational_pow(RationalParts* r, const RationalParts* a, const RationalParts* e) {
    ErrorIsolation isolation;
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    bool negative = a->negative;
    if (bigint_is_one(e->den)) {
        bigint_copy(p, a->num);
        bigint_copy(q, a->den);
        negative = a->negative && bigint_test_bit(e->num, 0) != 0;
    } else {
        if (a->negative && !bigint_is_zero(a->num)) return false;
        if (!exact_roots(p, q, a, e->den)) return false;
    }
    bigint_pow(p, p, e->num);
    bigint_pow(q, q, e->num);
    if (e->negative && !invert(&p, &q)) return false;
    put(r, negative, p, q);
    return isolation.clean();
}

bool rational_pow_int(RationalParts* r, const RationalParts* a, uint64_t k) {
    ErrorIsolation isolation;
    const int64_t n = static_cast<int64_t>(k);
    if (n == INT64_MIN) return false;
    const int64_t magnitude = n < 0 ? -n : n;
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    bigint_pow_word(p, a->num, magnitude);
    bigint_pow_word(q, a->den, magnitude);
    if (n < 0 && !invert(&p, &q)) return false;
    put(r, a->negative && (magnitude & 1) != 0, p, q);
    return isolation.clean();
}

bool rational_root(RationalParts* r, const RationalParts* a, const RationalParts* e) {
    ErrorIsolation isolation;
    if (bigint_is_zero(e->num)) return false;
    const bool nonzero_negative = a->negative && !bigint_is_zero(a->num);
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    if (!bigint_is_one(e->den)) {
        if (nonzero_negative) return false;
        if (!exact_roots(p, q, a, e->num)) return false;
        bigint_pow(p, p, e->den);
        bigint_pow(q, q, e->den);
    } else {
        if (nonzero_negative && bigint_test_bit(e->num, 0) == 0) return false;
        if (!exact_roots(p, q, a, e->num)) return false;
    }
    if (e->negative && !invert(&p, &q)) return false;
    put(r, a->negative, p, q);
    return isolation.clean();
}

bool rational_exp2(RationalParts* r, const RationalParts* a) {
    return exp_of_integer(r, a, bigint_pow2);
}

bool rational_exp10(RationalParts* r, const RationalParts* a) {
    return exp_of_integer(r, a, bigint_pow10);
}

bool rational_pow10(RationalParts* r, int64_t k) {
    ErrorIsolation isolation;
    if (k == INT64_MIN) return false;
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    bigint_set_word(q, static_cast<uint64_t>(k < 0 ? -k : k));
    bigint_pow10(p, q);
    bigint_set_word(q, 1);
    if (k < 0) invert(&p, &q);
    put(r, false, p, q);
    return isolation.clean();
}

bool rational_log2(RationalParts* r, const RationalParts* a) {
    return log_exact(r, a, bigint_log2);
}

bool rational_log10(RationalParts* r, const RationalParts* a) {
    return log_exact(r, a, bigint_log10);
}

bool rational_factorial(RationalParts* r, const RationalParts* a) {
    ErrorIsolation isolation;
    if (a->negative && !bigint_is_zero(a->num)) return false;
    if (!bigint_is_one(a->den)) return false;
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    bigint_factorial(p, a->num);
    bigint_set_word(q, 1);
    put(r, false, p, q);
    return isolation.clean();
}

bool rational_trunc(RationalParts* r, const RationalParts* a) {
    ErrorIsolation isolation;
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    if (bigint_compare(a->num, a->den) >= 0)
        bigint_divmod(p, nullptr, a->num, a->den);
    else
        bigint_zero(p);
    bigint_set_word(q, 1);
    put(r, a->negative, p, q);
    return isolation.clean();
}

bool rational_frac(RationalParts* r, const RationalParts* a) {
    ErrorIsolation isolation;
    ScratchFrame frame;
    BigInt* p = take_int();
    BigInt* q = take_int();
    if (bigint_compare(a->num, a->den) >= 0)
        bigint_mod(p, a->num, a->den);
    else
        bigint_copy(p, a->num);
    // p mod q stays coprime to q; it is 0 only for q = 1.
    bigint_copy(q, a->den);
    put(r, false, p, q);
    return isolation.clean();
}

// ---- Application rules -----------------------------------------------------------------------------------------

void rational_apply_unary(Rational* result, const Rational* a, RealUnaryOp real_op, RationalUnaryOp rational_op) {
    ScratchFrame frame;
    if (rational_op != nullptr && rational_is_exact(a)) {
        RationalWidth scope(rational_width(false));
        if (scope.ok) {
            RationalParts pa = rational_parts_take();
            RationalParts pr = rational_parts_take();
            rational_unpack(&pa, a);
            if (rational_op(&pr, &pa)) {
                rational_store(result, &pr);
                return;
            }
        }
    }
    real_op(result, real_operand(a));
}

void rational_apply_with_word(Rational* result, const Rational* a, uint64_t w, RealWordOp real_op,
                              RationalWordOp rational_op) {
    ScratchFrame frame;
    if (rational_op != nullptr && rational_is_exact(a)) {
        RationalWidth scope(rational_width(false));
        if (scope.ok) {
            RationalParts pa = rational_parts_take();
            RationalParts pr = rational_parts_take();
            rational_unpack(&pa, a);
            if (rational_op(&pr, &pa, w)) {
                rational_store(result, &pr);
                return;
            }
        }
    }
    real_op(result, real_operand(a), w);
}

void rational_apply_binary(Rational* result, const Rational* a, const Rational* b, RealBinaryOp real_op,
                           RationalBinaryOp rational_op, bool wide) {
    ScratchFrame frame;
    if (rational_op != nullptr && rational_is_exact(a) && rational_is_exact(b)) {
        RationalWidth scope(rational_width(wide));
        if (scope.ok) {
            RationalParts pa = rational_parts_take();
            RationalParts pb = rational_parts_take();
            RationalParts pr = rational_parts_take();
            rational_unpack(&pa, a);
            rational_unpack(&pb, b);
            if (rational_op(&pr, &pa, &pb)) {
                rational_store(result, &pr);
                return;
            }
        }
    }
    const RealNum* ra = real_operand(a);
    const RealNum* rb = real_operand(b);
    real_op(result, ra, rb);
}

void rational_apply_real_int(Rational* result, const Rational* a, int64_t n, RealIntOp real_op) {
    ScratchFrame frame;
    real_op(result, real_operand(a), n);
}

void rational_power_of_ten(Rational* result, int64_t k) {
    {
        RationalWidth scope(rational_width(false));
        ScratchFrame frame;
        RationalParts pr = rational_parts_take();
        if (scope.ok && rational_pow10(&pr, k)) {
            rational_store(result, &pr);
            return;
        }
    }
    real_set_one(result);
    real_set_exponent(result, k, false);
}

// ---- Text ------------------------------------------------------------------------------------------------------

namespace {

void read_rational_text(Rational* dst, const char16_t* text, int length) {
    RationalWidth scope(rational_width(false));
    if (!scope.ok) return;
    const TextRange range = trim_spaces(text, length);
    const char16_t* t = text + range.start;
    const int n = range.length;
    if (n == 0) {
        raise_error(kErrNumberText);
        return;
    }
    int slash = -1;
    for (int i = 0; i < n; ++i) {
        if (t[i] == u'/') {
            slash = i;
            break;
        }
        if (char_in_set(t[i], num_ctx.decimal_point_chars) || char_in_set(t[i], num_ctx.exponent_chars)) {
            real_parse(dst, t, n, kParseAllowGroups);
            return;
        }
    }
    int start = 0;
    bool negative = false;
    if (t[0] == u'+' || t[0] == u'-') {
        negative = t[0] == u'-';
        start = 1;
        int next = start;
        while (next < n && t[next] == u' ') ++next;
        if (next == n || t[next] == u'+' || t[next] == u'-') {
            raise_error(kErrNumberText);
            return;
        }
    }

    ScratchFrame frame;
    RationalParts parts = rational_parts_take();
    parts.negative = negative;
    if (slash < 0) {
        // An integer that does not fit the rational width is read as a real.
        if (bigint_from_text(parts.num, t + start, n - start, kIntParseAllowGroups, 10) && !rational_pack(dst, &parts))
            raise_error(kErrDomain);
        if (num_ctx.error_code == 0) return;
        num_ctx.error_code = 0;
        real_parse(dst, t + start, n - start, kParseAllowGroups);
        if (negative) real_negate(dst);
        return;
    }
    if (!bigint_from_text(parts.num, t + start, slash - start, kIntParseAllowGroups, 10)) return;
    if (slash + 1 < n && t[slash + 1] == u'+') {
        raise_error(kErrNumberText);
        return;
    }
    if (!bigint_from_text(parts.den, t + slash + 1, n - slash - 1, kIntParseAllowGroups, 10)) return;
    if (bigint_is_zero(parts.den)) {
        raise_error(kErrDomain);
        return;
    }
    reduce(parts.num, parts.den);
    if (!rational_pack(dst, &parts)) raise_error(kErrDomain);
}

// Appends c when it fits; otherwise only marks the text as cut.
void text_put(char16_t* buffer, int capacity, int* pos, bool* cut, char16_t c) {
    if (*pos < capacity)
        buffer[(*pos)++] = c;
    else
        *cut = true;
}

int write_rational_text(char16_t* buffer, int capacity, const Rational* value, uint32_t flags, bool pending) {
    RationalWidth scope(rational_width(false));
    ScratchFrame frame;
    RationalParts parts = rational_parts_take();
    rational_unpack(&parts, value);
    int pos = 0;
    bool cut = false;
    if (pending) text_put(buffer, capacity, &pos, &cut, u'!');
    const bool always_sign = (flags & kIntFmtAlwaysSign) != 0;
    if (parts.negative) {
        if (always_sign || !bigint_is_zero(parts.num)) text_put(buffer, capacity, &pos, &cut, u'-');
    } else if (always_sign) {
        text_put(buffer, capacity, &pos, &cut, u'+');
    }
    const uint32_t int_flags = flags & ~kIntFmtAlwaysSign;
    if (!cut && num_ctx.error_code == 0) pos += bigint_to_text(buffer + pos, capacity - pos, parts.num, int_flags, 10);
    if (!cut && num_ctx.error_code == 0 && !bigint_is_one(parts.den)) {
        text_put(buffer, capacity, &pos, &cut, u'/');
        if (!cut) pos += bigint_to_text(buffer + pos, capacity - pos, parts.den, int_flags, 10);
    }
    if (cut || num_ctx.error_code != 0) {
        raise_error(kErrTextBuffer);
        return text_error_marker(buffer, capacity);
    }
    return pos;
}

}  // namespace

void rational_from_text(Rational* dst, const char16_t* text, int length) {
    PendingError pending;
    read_rational_text(dst, text, length);
    if (num_ctx.error_code != 0) real_set_zero(dst);
}

int rational_to_text(char16_t* buffer, int capacity, const Rational* value, uint32_t flags) {
    if (!rational_is_exact(value)) return real_format(buffer, capacity, value, flags, 19 * num_ctx.real_limbs);
    const bool was_pending = num_ctx.error_code != 0;
    PendingError pending;
    return write_rational_text(buffer, capacity, value, flags, was_pending);
}
