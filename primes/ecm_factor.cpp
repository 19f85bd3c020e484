#include "primes/ecm_factor.h"

#include <array>

namespace {

// Odd primes up to kEcmStage2Limit as a bit table over the odd numbers, built on first use.
struct OddPrimeTable {
    std::array<uint64_t, kEcmStage2Limit / 128 + 1> composite{};
    OddPrimeTable() {
        composite[0] |= 1;  // 1
        for (uint64_t p = 3; p * p <= kEcmStage2Limit; p += 2) {
            if (is_marked(p)) continue;
            for (uint64_t k = p * p; k <= kEcmStage2Limit; k += 2 * p)
                composite[k / 128] |= uint64_t{1} << (k / 2 % 64);
        }
    }
    bool is_marked(uint64_t odd) const { return (composite[odd / 128] >> (odd / 2 % 64) & 1) != 0; }
    bool is_prime(uint64_t v) const { return v == 2 || ((v & 1) != 0 && !is_marked(v)); }
};

const OddPrimeTable& odd_primes() {
    static const OddPrimeTable table;
    return table;
}

struct Point {
    u128 x, z;
};

struct Curve {
    const Mont128& m;
    u128 a24;  // (A + 2) / 4 in Montgomery form
};

Point xdbl(const Curve& c, Point p) {
    const Mont128& m = c.m;
    const u128 s = m.add(p.x, p.z), d = m.sub(p.x, p.z);
    const u128 s2 = m.square(s), d2 = m.square(d);
    const u128 t = m.sub(s2, d2);  // 4 x z
    return Point{m.mul(s2, d2), m.mul(t, m.add(d2, m.mul(c.a24, t)))};
}

// p + q from p, q and their difference p - q.
Point xadd(const Mont128& m, Point p, Point q, Point difference) {
    const u128 u = m.mul(m.sub(p.x, p.z), m.add(q.x, q.z));
    const u128 v = m.mul(m.add(p.x, p.z), m.sub(q.x, q.z));
    const u128 s = m.add(u, v), d = m.sub(u, v);
    return Point{m.mul(difference.z, m.square(s)), m.mul(difference.x, m.square(d))};
}

// k p for k >= 1 by the Montgomery ladder: r1 - r0 = p throughout.
Point ladder(const Curve& c, uint64_t k, Point p) {
    if (k == 1) return p;
    Point r0 = p, r1 = xdbl(c, p);
    for (int bit = 62 - __builtin_clzll(k); bit >= 0; --bit) {
        if ((k >> bit & 1) != 0) {
            r0 = xadd(c.m, r1, r0, p);
            r1 = xdbl(c, r1);
        } else {
            r1 = xadd(c.m, r1, r0, p);
            r0 = xdbl(c, r0);
        }
    }
    return r0;
}

// a^-1 mod n for gcd(a, n) = 1, by the extended Euclidean algorithm on the magnitudes of the coefficients, whose
// signs alternate.
u128 inverse_mod(u128 a, u128 n) {
    u128 r0 = n, r1 = a % n, x0 = 0, x1 = 1;
    bool odd = false;  // the sign of x1 is (-1)^step
    while (r1 > 1) {
        const u128 q = r0 / r1;
        const u128 r2 = r0 - q * r1;
        const u128 x2 = x0 + q * x1;
        r0 = r1;
        r1 = r2;
        x0 = x1;
        x1 = x2;
        odd = !odd;
    }
    return odd ? n - x1 % n : x1 % n;
}

inline constexpr uint64_t kGiantStep = 2310;  // 2 * 3 * 5 * 7 * 11
inline constexpr int kBabySteps = 240;        // odd j < 1155 coprime to 2310

// The divisor shared by n and the Montgomery-form value v, when proper.
u128 proper_divisor(const Mont128& m, u128 v) {
    const u128 g = gcd_128(m.from(v), m.n);
    return g != 1 && g != m.n ? g : 0;
}

}  // namespace

u128 ecm_curve(u128 n, uint64_t sigma, uint64_t b1, uint64_t b2, const StopFlag& stop) {
    const Mont128 m(n);
    const OddPrimeTable& primes = odd_primes();
    // Suyama: u = sigma^2 - 5, v = 4 sigma, start (u^3 : v^3), (A + 2) / 4 = (v - u)^3 (3u + v) / (16 u^3 v).
    const u128 s = m.to(sigma);
    const u128 u = m.sub(m.mul(s, s), m.to(5));
    const u128 v = m.add(m.add(s, s), m.add(s, s));
    const u128 u3 = m.mul(m.mul(u, u), u);
    const u128 v_minus_u = m.sub(v, u);
    const u128 numerator = m.mul(m.mul(m.mul(v_minus_u, v_minus_u), v_minus_u), m.add(m.add(m.add(u, u), u), v));
    const u128 denominator = m.mul(m.mul(m.to(16), u3), v);
    const u128 plain = m.from(denominator);
    const u128 g = gcd_128(plain, n);
    if (g != 1) return g != n ? g : 0;
    const Curve c{m, m.mul(numerator, m.to(inverse_mod(plain, n)))};
    Point q{u3, m.mul(m.mul(v, v), v)};

    // Stage 1: q times every prime power up to b1, a word of them per ladder.
    uint64_t k = 1;
    for (uint64_t p = 2; p <= b1; ++p) {
        if (!primes.is_prime(p)) continue;
        uint64_t power = p;
        while (power <= b1 / p) power *= p;
        if (k > UINT64_MAX / power) {
            q = ladder(c, k, q);
            k = 1;
            if (stop.load(std::memory_order_relaxed) != 0) return 0;
        }
        k *= power;
    }
    q = ladder(c, k, q);
    const u128 g1 = gcd_128(m.from(q.z), n);
    if (g1 != 1) return g1 != n ? g1 : 0;

    // Stage 2: one prime p = g D +- j in (b1, b2] of the group order is caught by x(g D q) = x(j q), that is by a
    // zero of X_g - x_j Z_g mod the hidden prime; the differences are multiplied up and tested once.
    std::array<Point, kBabySteps> baby;
    std::array<uint32_t, kBabySteps> baby_index;
    int babies = 0;
    {
        const Point twice = xdbl(c, q);
        Point previous = q, current = q;  // j q for odd j, with (j - 2) q
        for (uint64_t j = 1; j < kGiantStep / 2; j += 2) {
            if (j == 3) {
                current = xadd(m, twice, q, q);
            } else if (j > 3) {
                const Point next = xadd(m, current, twice, previous);
                previous = current;
                current = next;
            }
            if (j % 3 != 0 && j % 5 != 0 && j % 7 != 0 && j % 11 != 0) {
                baby[babies] = current;
                baby_index[babies] = static_cast<uint32_t>(j);
                ++babies;
            }
        }
    }
    // The baby steps' x = X / Z, by one inversion for all of them (Montgomery's simultaneous inversion).
    std::array<u128, kBabySteps> baby_x;
    {
        std::array<u128, kBabySteps> prefix;
        u128 running = m.one;
        for (int i = 0; i < babies; ++i) {
            prefix[i] = running;
            running = m.mul(running, baby[i].z);
        }
        const u128 plain_product = m.from(running);
        const u128 common = gcd_128(plain_product, n);
        if (common != 1) return common != n ? common : 0;
        u128 inverse = m.to(inverse_mod(plain_product, n));  // (Z_0 ... Z_(i))^-1 going down
        for (int i = babies - 1; i >= 0; --i) {
            baby_x[i] = m.mul(baby[i].x, m.mul(inverse, prefix[i]));
            inverse = m.mul(inverse, baby[i].z);
        }
    }
    const Point step = ladder(c, kGiantStep, q);
    uint64_t giant = b1 / kGiantStep;
    if (giant == 0) giant = 1;
    Point previous = ladder(c, giant * kGiantStep, q);
    Point current = ladder(c, (giant + 1) * kGiantStep, q);
    Point at = previous;
    u128 product = m.one;
    for (; giant * kGiantStep <= b2 + kGiantStep; ++giant) {
        const uint64_t centre = giant * kGiantStep;
        for (int i = 0; i < babies; ++i) {
            const uint64_t below = centre - baby_index[i], above = centre + baby_index[i];
            const bool hit = (below > b1 && below <= b2 && primes.is_prime(below)) ||
                             (above > b1 && above <= b2 && primes.is_prime(above));
            if (!hit) continue;
            product = m.mul(product, m.sub(at.x, m.mul(baby_x[i], at.z)));
        }
        if (stop.load(std::memory_order_relaxed) != 0) return 0;
        const Point next = xadd(m, current, step, previous);
        previous = current;
        current = next;
        at = previous;
    }
    return proper_divisor(m, product);
}

u128 ecm_divisor(u128 n, const StopFlag& stop) {
    uint64_t sigma = 6;
    for (int curve = 0;; ++curve) {
        const uint64_t b1 = curve < 6 ? 2000 : curve < 200 ? 11000 : 50000;
        const uint64_t b2 = b1 * 80 < kEcmStage2Limit ? b1 * 80 : kEcmStage2Limit;
        sigma = sigma * 6364136223846793005ull + 1442695040888963407ull;
        const u128 d = ecm_curve(n, 6 + (sigma >> 33), b1, b2, stop);
        if (d != 0) return d;
        if (stop.load(std::memory_order_relaxed) != 0) return 0;
    }
}
