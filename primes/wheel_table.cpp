#include "primes/wheel_table.h"

#include "numeric/num_context.h"

namespace {

constexpr bool coprime_to_30030(uint64_t v) {
    return v % 2 != 0 && v % 3 != 0 && v % 5 != 0 && v % 7 != 0 && v % 11 != 0 && v % 13 != 0;
}

constexpr bool is_small_prime(uint64_t v) {
    if (v < 2) return false;
    for (uint64_t p = 2; p * p <= v; ++p) {
        if (v % p == 0) return false;
    }
    return true;
}

// Candidates of one period after 17, and primes below 1000: the tables below must hold exactly these.
constexpr int count_wheel_candidates() {
    int k = 0;
    for (uint64_t v = 18; v <= 17 + kWheelPeriod; ++v) k += coprime_to_30030(v) ? 1 : 0;
    return k;
}
constexpr int count_small_primes() {
    int k = 0;
    for (uint64_t v = 2; v < 1000; ++v) k += is_small_prime(v) ? 1 : 0;
    return k;
}
static_assert(kWheelRestartIndex + count_wheel_candidates() == kWheelGapCount);
static_assert(count_small_primes() == kSmallPrimeCount);

constexpr std::array<uint8_t, kWheelGapCount> make_wheel() {
    std::array<uint8_t, kWheelGapCount> gaps{1, 1, 2, 2, 4, 2, 4};
    int k = kWheelRestartIndex;
    uint64_t previous = 17;
    for (uint64_t v = 18; v <= 17 + kWheelPeriod && k < kWheelGapCount; ++v) {
        if (!coprime_to_30030(v)) continue;
        gaps[k++] = static_cast<uint8_t>(v - previous);
        previous = v;
    }
    return gaps;
}

constexpr std::array<uint16_t, kSmallPrimeCount> make_small_primes() {
    std::array<uint16_t, kSmallPrimeCount> primes{};
    int k = 0;
    for (uint16_t v = 2; v < 1000 && k < kSmallPrimeCount; ++v) {
        if (is_small_prime(v)) primes[k++] = v;
    }
    return primes;
}

// floor((hi * 2^64 + lo) / d) for hi < d; only the remainder is kept.
inline uint64_t remainder_2by1(uint64_t hi, uint64_t lo, uint64_t d) {
#if defined(__x86_64__)
    uint64_t q, r;
    __asm__("divq %4" : "=a"(q), "=d"(r) : "a"(lo), "d"(hi), "rm"(d) : "cc");
    (void)q;
    return r;
#else
    const unsigned __int128 n = (static_cast<unsigned __int128>(hi) << 64) | lo;
    return static_cast<uint64_t>(n % d);
#endif
}

}  // namespace

constinit const std::array<uint16_t, kSmallPrimeCount> small_prime_table = make_small_primes();
constinit const std::array<uint8_t, kWheelGapCount> wheel_gap_table = make_wheel();

uint64_t trial_remainder(const uint64_t* words, int count, uint64_t d) {
    if (count <= 0) return 0;
    if (count == 1) return words[0] % d;
    uint64_t r = words[count - 1] % d;
    for (int i = count - 2; i >= 0; --i) r = remainder_2by1(r, words[i], d);
    return r;
}

int trial_word_count(const BigInt* n) {
    int count = num_ctx.int_limbs;
    while (count > 0 && n[count - 1] == 0) --count;
    return count;
}

uint64_t wheel_next_divisor(const BigInt* n, uint64_t limit, WheelPosition* position, const StopFlag& stop) {
    const int count = trial_word_count(n);
    uint64_t d = position->divisor;
    int index = position->index;
    uint64_t found = 0;
    // One and two words (the exact method's whole range) are divided in registers; longer numbers word by word.
    const uint64_t lo = count >= 1 ? n[0] : 0;
    const uint64_t hi = count >= 2 ? n[1] : 0;
    while (stop.load(std::memory_order_relaxed) == 0) {
        const uint64_t gap = wheel_gap_table[index];
        index = index + 1 == kWheelGapCount ? kWheelRestartIndex : index + 1;
        if (d > UINT64_MAX - gap) break;
        d += gap;
        if (d > limit) break;
        uint64_t r;
        if (count <= 1) {
            r = lo % d;
        } else if (count == 2) {
            r = remainder_2by1(hi < d ? hi : hi % d, lo, d);
        } else {
            r = trial_remainder(n, count, d);
        }
        if (r == 0) {
            found = d;
            break;
        }
    }
    position->divisor = d;
    position->index = index;
    return found;
}
