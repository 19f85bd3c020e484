#include "primes/proven_prime.h"

#include "primes/factor_engine.h"

namespace {

inline constexpr uint64_t kPrimeBases[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41};
// 318665857834031151167461 and 3317044064679887385961981: below them the first 12 and 13 primes as bases admit no
// strong pseudoprime (Sorenson and Webster 2015).
inline constexpr u128 kTwelveBasesBound = (static_cast<u128>(17274ull) << 64) | 16800704772356552677ull;
inline constexpr u128 kThirteenBasesBound = (static_cast<u128>(179817ull) << 64) | 5885577656943027709ull;

template <class Mont>
bool strong_probable_prime_with(const Mont& m, u128 n, uint64_t b) {
    u128 d = n - 1;
    const int s = ctz_128(d);
    d >>= s;
    const typename Mont::Word minus_one = m.sub(0, m.one);
    typename Mont::Word x = mont_pow(m, m.to(static_cast<typename Mont::Word>(b)), d);
    if (x == m.one || x == minus_one) return true;
    for (int i = 1; i < s; ++i) {
        x = m.square(x);
        if (x == minus_one) return true;
        if (x == m.one) return false;
    }
    return false;
}

template <class Mont>
bool passes_bases(const Mont& m, u128 n, int count) {
    for (int i = 0; i < count; ++i) {
        if (!strong_probable_prime_with(m, n, kPrimeBases[i])) return false;
    }
    return true;
}

// The converse of Fermat's theorem with n - 1 factored completely: for each prime q | n - 1 a base a with
// a^(n-1) = 1 and a^((n-1)/q) != 1. A base with a^(n-1) != 1 proves n composite. For a prime n a primitive root
// serves every q, so the search over a ends; the stop flag bounds it otherwise.
bool lucas_certificate(u128 n, const StopFlag& stop) {
    PrimePowers factors;
    if (!factor_u128(&factors, n - 1, stop)) return false;
    const Mont128 m(n);
    for (int i = 0; i < factors.count; ++i) {
        const u128 q = factors.primes[i];
        for (uint64_t a = 2;; ++a) {
            if (stop.load(std::memory_order_relaxed) != 0) return false;
            const u128 partial = mont_pow(m, m.to(a), (n - 1) / q);
            if (mont_pow(m, partial, q) != m.one) return false;
            if (partial != m.one) break;
        }
    }
    return true;
}

}  // namespace

bool strong_probable_prime(u128 n, uint64_t b) {
    if (n >> 64 == 0) return strong_probable_prime_with(Mont64(static_cast<uint64_t>(n)), n, b);
    return strong_probable_prime_with(Mont128(n), n, b);
}

bool proven_is_prime(u128 n, const StopFlag& stop) {
    if (n < 2) return false;
    for (uint64_t p : kPrimeBases) {
        if (n == p) return true;
        if (n % p == 0) return false;
    }
    if (n >> 64 == 0) return passes_bases(Mont64(static_cast<uint64_t>(n)), n, 12);
    const Mont128 m(n);
    if (n < kTwelveBasesBound) return passes_bases(m, n, 12);
    if (!passes_bases(m, n, 13)) return false;
    if (n < kThirteenBasesBound) return true;
    return lucas_certificate(n, stop);
}
