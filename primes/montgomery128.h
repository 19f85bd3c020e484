// Montgomery arithmetic modulo an odd n of one word (R = 2^64) or two words (R = 2^128), for the strong
// probable-prime tests, Pollard-Brent rho and ECM of the exact method. Values are kept in Montgomery form x R mod n,
// always reduced to 0 .. n - 1. Both moduli share one interface, so the algorithms are written once as templates.
//
// The reduction subtracts instead of adding: for T = a b and m = T n^-1 mod R, m n has the same low half as T, so
// (T - m n) / R is the difference of the high halves, less than n in absolute value. No carry past R can occur,
// which allows every odd n up to R - 1.
#pragma once

#include <cstdint>

using u128 = unsigned __int128;

// High and low halves of the 256-bit product a b.
inline void mul_128_wide(u128 a, u128 b, u128* high, u128* low) {
    const uint64_t a0 = static_cast<uint64_t>(a), a1 = static_cast<uint64_t>(a >> 64);
    const uint64_t b0 = static_cast<uint64_t>(b), b1 = static_cast<uint64_t>(b >> 64);
    const u128 p00 = static_cast<u128>(a0) * b0;
    const u128 p01 = static_cast<u128>(a0) * b1;
    const u128 p10 = static_cast<u128>(a1) * b0;
    const u128 p11 = static_cast<u128>(a1) * b1;
    const u128 middle = (p00 >> 64) + static_cast<uint64_t>(p01) + static_cast<uint64_t>(p10);
    *low = (middle << 64) | static_cast<uint64_t>(p00);
    *high = p11 + (p01 >> 64) + (p10 >> 64) + (middle >> 64);
}

// The same for a^2, with the two cross products merged.
inline void square_128_wide(u128 a, u128* high, u128* low) {
    const uint64_t a0 = static_cast<uint64_t>(a), a1 = static_cast<uint64_t>(a >> 64);
    const u128 p00 = static_cast<u128>(a0) * a0;
    const u128 p01 = static_cast<u128>(a0) * a1;
    const u128 p11 = static_cast<u128>(a1) * a1;
    const u128 middle = (p00 >> 64) + static_cast<uint64_t>(p01) + static_cast<uint64_t>(p01);
    *low = (middle << 64) | static_cast<uint64_t>(p00);
    *high = p11 + (p01 >> 64) + (p01 >> 64) + (middle >> 64);
}

inline u128 mul_128_high(u128 a, u128 b) {
    u128 high, low;
    mul_128_wide(a, b, &high, &low);
    return high;
}

// n^-1 mod 2^64 for odd n by Newton's iteration (each step doubles the correct low bits; n itself is right to 3).
inline uint64_t inverse_mod_2_64(uint64_t n) {
    uint64_t x = n;
    for (int i = 0; i < 5; ++i) x *= 2 - n * x;
    return x;
}

// Modulus below 2^64.
struct Mont64 {
    using Word = uint64_t;
    uint64_t n;
    uint64_t n_inverse;  // n^-1 mod 2^64
    uint64_t one;        // R mod n
    uint64_t r_squared;  // R^2 mod n

    explicit Mont64(uint64_t modulus) : n(modulus), n_inverse(inverse_mod_2_64(modulus)) {
        one = static_cast<uint64_t>((static_cast<u128>(1) << 64) % n);
        r_squared = static_cast<uint64_t>(static_cast<u128>(one) * one % n);
    }
    uint64_t reduce(u128 t) const {
        const uint64_t m = static_cast<uint64_t>(t) * n_inverse;
        const uint64_t mn_high = static_cast<uint64_t>((static_cast<u128>(m) * n) >> 64);
        const uint64_t t_high = static_cast<uint64_t>(t >> 64);
        return t_high >= mn_high ? t_high - mn_high : t_high - mn_high + n;
    }
    uint64_t mul(uint64_t a, uint64_t b) const { return reduce(static_cast<u128>(a) * b); }
    uint64_t square(uint64_t a) const { return reduce(static_cast<u128>(a) * a); }
    uint64_t add(uint64_t a, uint64_t b) const {
        const uint64_t s = a + b;
        return (s < a || s >= n) ? s - n : s;
    }
    uint64_t sub(uint64_t a, uint64_t b) const { return a >= b ? a - b : a - b + n; }
    uint64_t to(uint64_t a) const { return mul(a % n, r_squared); }
    uint64_t from(uint64_t a) const { return reduce(a); }
    u128 modulus() const { return n; }
};

// Modulus below 2^128.
struct Mont128 {
    using Word = u128;
    u128 n;
    u128 n_inverse;  // n^-1 mod 2^128
    u128 one;        // R mod n
    u128 r_squared;  // R^2 mod n

    explicit Mont128(u128 modulus) : n(modulus) {
        const uint64_t low = inverse_mod_2_64(static_cast<uint64_t>(n));
        n_inverse = low;
        n_inverse *= 2 - n * n_inverse;  // one more Newton step lifts the inverse to 128 bits
        one = (0 - n) % n;
        r_squared = one;
        for (int i = 0; i < 128; ++i) r_squared = add(r_squared, r_squared);
    }
    u128 reduce(u128 high, u128 low) const {
        const u128 m = low * n_inverse;
        const u128 mn_high = mul_128_high(m, n);
        return high >= mn_high ? high - mn_high : high - mn_high + n;
    }
    u128 mul(u128 a, u128 b) const {
        u128 high, low;
        mul_128_wide(a, b, &high, &low);
        return reduce(high, low);
    }
    u128 square(u128 a) const {
        u128 high, low;
        square_128_wide(a, &high, &low);
        return reduce(high, low);
    }
    u128 add(u128 a, u128 b) const {
        const u128 s = a + b;
        return (s < a || s >= n) ? s - n : s;
    }
    u128 sub(u128 a, u128 b) const { return a >= b ? a - b : a - b + n; }
    u128 to(u128 a) const { return mul(a % n, r_squared); }
    u128 from(u128 a) const { return reduce(0, a); }
    u128 modulus() const { return n; }
};

// base^e in Montgomery form (base in Montgomery form).
template <class Mont>
typename Mont::Word mont_pow(const Mont& m, typename Mont::Word base, u128 e) {
    typename Mont::Word r = m.one;
    while (e != 0) {
        if ((e & 1) != 0) r = m.mul(r, base);
        e >>= 1;
        if (e != 0) base = m.square(base);
    }
    return r;
}

inline int ctz_128(u128 x) {
    const uint64_t low = static_cast<uint64_t>(x);
    return low != 0 ? __builtin_ctzll(low) : 64 + __builtin_ctzll(static_cast<uint64_t>(x >> 64));
}

// Binary gcd; gcd(0, b) = b.
inline u128 gcd_128(u128 a, u128 b) {
    if (a == 0) return b;
    if (b == 0) return a;
    const int shift = ctz_128(a | b);
    a >>= ctz_128(a);
    do {
        b >>= ctz_128(b);
        if (a > b) {
            const u128 t = a;
            a = b;
            b = t;
        }
        b -= a;
    } while (b != 0);
    return a << shift;
}
