#include "primes/rho_factor.h"

namespace {

inline constexpr uint64_t kBatch = 128;  // differences multiplied together before one gcd

template <class Mont>
u128 rho_with(const Mont& m, uint64_t c, uint64_t x0, uint64_t max_steps, const StopFlag& stop) {
    using Word = typename Mont::Word;
    const u128 n = m.modulus();
    const Word cm = m.to(c);
    auto f = [&](Word x) { return m.add(m.square(x), cm); };
    Word y = m.to(x0);
    Word x = y, saved = y, q = m.one;
    u128 g = 1;
    uint64_t steps = 0;
    // Brent: x holds the walk at position r, y runs r more steps; the product of the differences x - y is tested
    // for a common factor with n once per batch, and a batch that reaches n is replayed one step at a time.
    for (uint64_t r = 1; g == 1; r *= 2) {
        x = y;
        for (uint64_t i = 0; i < r; ++i) {
            y = f(y);
            if ((i & (kBatch - 1)) == kBatch - 1 && stop.load(std::memory_order_relaxed) != 0) return 0;
        }
        steps += r;
        for (uint64_t k = 0; k < r && g == 1; k += kBatch) {
            saved = y;
            const uint64_t batch = r - k < kBatch ? r - k : kBatch;
            for (uint64_t i = 0; i < batch; ++i) {
                y = f(y);
                q = m.mul(q, m.sub(x, y));
            }
            g = gcd_128(m.from(q), n);
            steps += batch;
            if (g == 1 && (steps > max_steps || stop.load(std::memory_order_relaxed) != 0)) return 0;
        }
    }
    if (g == n) {
        do {
            saved = f(saved);
            g = gcd_128(m.from(m.sub(x, saved)), n);
        } while (g == 1);
    }
    return g == n ? 0 : g;
}

}  // namespace

u128 rho_divisor(u128 n, uint64_t c, uint64_t x0, uint64_t max_steps, const StopFlag& stop) {
    if (n >> 64 == 0) return rho_with(Mont64(static_cast<uint64_t>(n)), c, x0, max_steps, stop);
    return rho_with(Mont128(n), c, x0, max_steps, stop);
}
