#include "primes/quadratic_sieve.h"

#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

using i128 = __int128;

// Sizes by the bits of k n: the factor base size is interpolated between rows, the half interval M taken from the
// row at or below. Measured on products of two primes of equal size.
struct SieveSize {
    int bits;
    int factor_base_size;
    int half_interval;
};
constexpr SieveSize kSieveSizes[] = {
    {40, 40, 4096},    {64, 90, 8192},    {80, 140, 16384},  {96, 200, 32768},
    {112, 300, 32768}, {128, 450, 32768}, {144, 600, 32768},
};

constexpr int kMaxAFactors = 8;
constexpr int kExtraRelations = 24;        // relations beyond the factor base size: dependencies to try
constexpr int kLargePrimeFactor = 64;      // a large prime is at most this many times the largest factor-base prime
constexpr int kFirstSievedPrime = 17;      // smaller primes are left to trial division; the threshold allows for them
constexpr long kMaxPolynomials = 4000000;  // a safety net: far more than any n below 2^128 needs

uint64_t pow_mod(uint64_t b, uint64_t e, uint64_t p) {
    uint64_t r = 1;
    b %= p;
    while (e != 0) {
        if ((e & 1) != 0) r = r * b % p;
        b = b * b % p;
        e >>= 1;
    }
    return r;
}

uint64_t inverse_mod_prime(uint64_t a, uint64_t p) {
    return pow_mod(a, p - 2, p);
}

// A square root of the quadratic residue a modulo the odd prime p < 2^32 (Tonelli and Shanks).
uint64_t sqrt_mod(uint64_t a, uint64_t p) {
    a %= p;
    if (a == 0) return 0;
    uint64_t q = p - 1;
    int s = 0;
    while ((q & 1) == 0) {
        q >>= 1;
        ++s;
    }
    if (s == 1) return pow_mod(a, (p + 1) / 4, p);
    uint64_t z = 2;
    while (pow_mod(z, (p - 1) / 2, p) != p - 1) ++z;
    uint64_t c = pow_mod(z, q, p), r = pow_mod(a, (q + 1) / 2, p), t = pow_mod(a, q, p);
    int m = s;
    while (t != 1) {
        int i = 0;
        for (uint64_t t2 = t; t2 != 1; t2 = t2 * t2 % p) ++i;
        uint64_t b = c;
        for (int j = 0; j < m - i - 1; ++j) b = b * b % p;
        r = r * b % p;
        c = b * b % p;
        t = t * c % p;
        m = i;
    }
    return r;
}

std::vector<uint32_t> odd_primes_below(uint32_t limit) {
    std::vector<bool> composite(limit, false);
    std::vector<uint32_t> primes;
    for (uint32_t p = 3; p < limit; p += 2) {
        if (composite[p]) continue;
        primes.push_back(p);
        for (uint64_t k = uint64_t{p} * p; k < limit; k += 2 * p) composite[k] = true;
    }
    return primes;
}

double log2_of(u128 v) {
    return std::log2(static_cast<long double>(v));
}

// The multiplier k (odd, squarefree, small) that makes k n richest in small quadratic residues, by the
// Knuth-Schroeppel function: the expected contribution of the small primes to the logarithm of a sieve value, less
// half the logarithm of k by which the values grow.
uint32_t choose_multiplier(u128 n, const std::vector<uint32_t>& primes) {
    static constexpr uint32_t kCandidates[] = {1,  3,  5,  7,  11, 13, 15, 17, 19, 21, 23, 29, 31, 33, 35, 37,
                                               39, 41, 43, 47, 51, 53, 55, 57, 59, 61, 65, 67, 69, 71, 73};
    uint32_t best = 1;
    double best_score = -1e30;
    for (uint32_t k : kCandidates) {
        double score = -0.5 * std::log(static_cast<double>(k));
        switch (static_cast<uint32_t>(n % 8) * k % 8) {
            case 1:
                score += 2 * std::log(2.0);
                break;
            case 5:
                score += std::log(2.0);
                break;
            default:
                score += 0.5 * std::log(2.0);
                break;
        }
        for (size_t i = 0; i < primes.size() && primes[i] < 1000; ++i) {
            const uint64_t p = primes[i];
            const uint64_t residue = static_cast<uint64_t>(n % p) * k % p;
            if (k % p == 0)
                score += std::log(static_cast<double>(p)) / static_cast<double>(p);
            else if (residue != 0 && pow_mod(residue, (p - 1) / 2, p) == 1)
                score += 2 * std::log(static_cast<double>(p)) / static_cast<double>(p - 1);
        }
        if (score > best_score) {
            best_score = score;
            best = k;
        }
    }
    return best;
}

// Index 0 stands for -1, index 1 for 2; the odd primes p with k n a square mod p follow.
struct FactorBase {
    std::vector<uint32_t> prime;
    std::vector<uint32_t> root;  // a square root of k n mod p (0 where p divides k)
    std::vector<uint8_t> log;    // log2 p rounded
};

// A relation (product of roots)^2 = (product of factor-base primes) * large^2 mod n: one sieve hit, or two hits
// sharing their large prime.
struct Relation {
    u128 root[2];
    int roots;
    uint64_t large;                 // 1 for a hit that was smooth over the factor base
    std::vector<uint32_t> factors;  // factor-base indices, repeated by multiplicity
};

struct RootHash {
    size_t operator()(u128 v) const { return std::hash<uint64_t>()(static_cast<uint64_t>(v ^ (v >> 64))); }
};

class Sieve {
  public:
    Sieve(u128 n, const StopFlag& stop) : n_(n), m_(n), stop_(stop) {}

    u128 run() {
        const std::vector<uint32_t> primes = odd_primes_below(1u << 15);
        multiplier_ = choose_multiplier(n_, primes);
        kn_low_ = n_ * multiplier_;
        const double kn_bits = log2_of(n_) + std::log2(static_cast<double>(multiplier_));
        choose_sizes(kn_bits);
        if (const u128 d = build_factor_base(primes); d != 0) return d;
        const double a_bits = 0.5 * (kn_bits + 1) - std::log2(static_cast<double>(half_interval_));
        const double value_bits = std::log2(static_cast<double>(half_interval_)) + 0.5 * (kn_bits - 1);
        large_bound_ = uint64_t{fb_.prime.back()} * kLargePrimeFactor;
        // A value is tried when its sieved logarithms leave at most a large prime, with 2 bits to spare for the
        // unsieved small primes and the rounded logarithms.
        const double threshold = value_bits - std::log2(static_cast<double>(large_bound_)) - 2;
        threshold_ = static_cast<uint8_t>(threshold < 8 ? 8 : threshold);
        choose_a_layout(a_bits);

        sieve_.assign(2 * static_cast<size_t>(half_interval_), 0);
        root1_.assign(fb_.prime.size(), 0);
        root2_.assign(fb_.prime.size(), 0);
        a_inverse_.assign(fb_.prime.size(), 0);
        in_a_.assign(fb_.prime.size(), 0);
        b_step_.assign(static_cast<size_t>(a_factors_) * fb_.prime.size(), 0);

        size_t wanted = fb_.prime.size() + kExtraRelations;
        for (int attempt = 0; attempt < 4; ++attempt) {
            while (relations_.size() < wanted) {
                if (stop_.load(std::memory_order_relaxed) != 0 || polynomials_ > kMaxPolynomials) return 0;
                if (!sieve_next_a()) return 0;
            }
            if (const u128 d = combine(); d != 0) return d;
            wanted += kExtraRelations;  // every congruence was trivial: more relations give new ones
        }
        return 0;
    }

  private:
    void choose_sizes(double kn_bits) {
        const int count = static_cast<int>(sizeof kSieveSizes / sizeof kSieveSizes[0]);
        int i = 0;
        while (i + 1 < count && kSieveSizes[i + 1].bits <= kn_bits) ++i;
        half_interval_ = kSieveSizes[i].half_interval;
        if (i + 1 == count || kn_bits <= kSieveSizes[0].bits) {
            fb_size_ = kSieveSizes[i].factor_base_size;
            return;
        }
        const SieveSize& a = kSieveSizes[i];
        const SieveSize& b = kSieveSizes[i + 1];
        fb_size_ = a.factor_base_size +
                   static_cast<int>((kn_bits - a.bits) * (b.factor_base_size - a.factor_base_size) / (b.bits - a.bits));
    }

    // The factor base; a prime dividing n itself is returned as a divisor.
    u128 build_factor_base(const std::vector<uint32_t>& primes) {
        fb_.prime = {0, 2};
        fb_.root = {0, 1};
        fb_.log = {0, 1};
        for (uint32_t p : primes) {
            if (static_cast<int>(fb_.prime.size()) >= fb_size_) break;
            const uint64_t residue = static_cast<uint64_t>(n_ % p) * multiplier_ % p;
            if (residue == 0 && multiplier_ % p != 0) return p;
            if (residue != 0 && pow_mod(residue, (p - 1) / 2, p) != 1) continue;
            fb_.prime.push_back(p);
            fb_.root.push_back(static_cast<uint32_t>(sqrt_mod(residue, p)));
            fb_.log.push_back(static_cast<uint8_t>(std::lround(std::log2(static_cast<double>(p)))));
        }
        return 0;
    }

    // A is the product of a_factors_ factor-base primes near 2^(a_bits / a_factors_), which keeps it near
    // sqrt(2 k n) / M and so the sieve values small.
    void choose_a_layout(double a_bits) {
        a_target_bits_ = a_bits;
        a_factors_ = static_cast<int>(std::lround(a_bits / 11));
        if (a_factors_ < 2) a_factors_ = 2;
        if (a_factors_ > kMaxAFactors) a_factors_ = kMaxAFactors;
        const double q_bits = a_bits / a_factors_;
        const int size = static_cast<int>(fb_.prime.size());
        int centre = 2;
        while (centre + 1 < size && std::log2(static_cast<double>(fb_.prime[centre])) < q_bits) ++centre;
        int span = 3 * a_factors_ + 6;
        q_low_ = centre - span < 3 ? 3 : centre - span;
        q_high_ = centre + span >= size ? size - 1 : centre + span;
    }

    uint64_t next_random() {
        random_ ^= random_ << 13;
        random_ ^= random_ >> 7;
        random_ ^= random_ << 17;
        return random_;
    }

    bool usable_a_factor(int i) const {
        if (i < 3 || i >= static_cast<int>(fb_.prime.size())) return false;
        if (multiplier_ % fb_.prime[i] == 0) return false;
        for (int l = 0; l < a_count_; ++l)
            if (a_index_[l] == i) return false;
        return true;
    }

    // Picks a new A: all but one factor at random from the window, the last one the factor-base prime that brings
    // the product closest to the target; an A used before is not taken again. Small factor bases run out of fresh
    // products: then the window widens, and at last the final factor is drawn at random too. False when no fresh A
    // is left at all.
    bool pick_a() {
        for (long fresh_tries = 0; fresh_tries < 100000; ++fresh_tries) {
            a_count_ = 0;
            double bits = 0;
            const int span = q_high_ - q_low_ + 1;
            const bool random_last = fresh_tries > 256;
            for (int tries = 0; a_count_ < a_factors_ - (random_last ? 0 : 1) && tries < 1000; ++tries) {
                const int i = q_low_ + static_cast<int>(next_random() % static_cast<uint64_t>(span));
                if (!usable_a_factor(i)) continue;
                a_index_[a_count_++] = i;
                bits += std::log2(static_cast<double>(fb_.prime[i]));
            }
            if (!random_last) {
                const double rest = a_target_bits_ - bits;
                int best = -1;
                double best_distance = 1e30;
                for (int i = 3; i < static_cast<int>(fb_.prime.size()); ++i) {
                    if (!usable_a_factor(i)) continue;
                    const double distance = std::fabs(std::log2(static_cast<double>(fb_.prime[i])) - rest);
                    if (distance < best_distance) {
                        best_distance = distance;
                        best = i;
                    }
                }
                if (best >= 0) a_index_[a_count_++] = best;
            }
            if (a_count_ == 0) continue;
            u128 a = 1;
            for (int l = 0; l < a_count_; ++l) a *= fb_.prime[a_index_[l]];
            bool seen = a >> 62 != 0;
            for (uint64_t used : used_a_)
                if (used == a) seen = true;
            if (seen) {
                if (fresh_tries % 16 == 15) {
                    if (q_low_ > 3) --q_low_;
                    if (q_high_ + 1 < static_cast<int>(fb_.prime.size())) ++q_high_;
                }
                continue;
            }
            a_ = static_cast<uint64_t>(a);
            used_a_.push_back(a_);
            return true;
        }
        return false;
    }

    // Sets up A and its 2^(s-1) values of B (B^2 = k n mod A) and sieves each polynomial
    // g(x) = ((A x + B)^2 - k n) / A = A x^2 + 2 B x + C over -M <= x < M.
    bool sieve_next_a() {
        if (!pick_a()) return false;
        const size_t size = fb_.prime.size();
        for (size_t i = 0; i < size; ++i) in_a_[i] = 0;
        for (int l = 0; l < a_count_; ++l) in_a_[a_index_[l]] = 1;
        // B_l = (A / q_l) gamma with gamma = sqrt(k n) (A / q_l)^-1 mod q_l: B_l^2 = k n mod q_l and 0 mod the others.
        i128 b = 0;
        for (int l = 0; l < a_count_; ++l) {
            const uint64_t q = fb_.prime[a_index_[l]];
            const uint64_t a_over_q = a_ / q;
            uint64_t gamma = fb_.root[a_index_[l]] * inverse_mod_prime(a_over_q % q, q) % q;
            if (gamma > q / 2) gamma = q - gamma;
            b_part_[l] = static_cast<i128>(a_over_q) * gamma;
            b_sign_[l] = 1;
            b += b_part_[l];
        }
        b_ = b;
        for (size_t i = 2; i < size; ++i) {
            if (in_a_[i] != 0) continue;
            const uint64_t p = fb_.prime[i];
            const uint64_t inverse = inverse_mod_prime(a_ % p, p);
            a_inverse_[i] = static_cast<uint32_t>(inverse);
            for (int l = 0; l < a_count_; ++l) {
                const uint64_t part = static_cast<uint64_t>(b_part_[l] % p);
                b_step_[l * size + i] = static_cast<uint32_t>(2 * part % p * inverse % p);
            }
            set_roots(i);
        }
        const int polynomials = 1 << (a_count_ - 1);
        for (int index = 0; index < polynomials; ++index) {
            if (index > 0) next_b(index);
            if (stop_.load(std::memory_order_relaxed) != 0) return true;
            sieve_polynomial();
            ++polynomials_;
        }
        return true;
    }

    // The sieve positions x + M of the two roots x = A^-1 (+-sqrt(k n) - B) mod p.
    void set_roots(size_t i) {
        const uint64_t p = fb_.prime[i];
        i128 b_mod = b_ % static_cast<i128>(p);
        if (b_mod < 0) b_mod += p;
        const uint64_t bp = static_cast<uint64_t>(b_mod), t = fb_.root[i], inverse = a_inverse_[i];
        const uint64_t shift = static_cast<uint64_t>(half_interval_) % p;
        root1_[i] = static_cast<uint32_t>(((t + p - bp) % p * inverse + shift) % p);
        root2_[i] = static_cast<uint32_t>(((2 * p - t - bp) % p * inverse + shift) % p);
    }

    // Gray code: polynomial `index` differs from the one before in the sign of one B_l, so B and every root move by
    // a precomputed step.
    void next_b(int index) {
        const int l = __builtin_ctz(static_cast<unsigned>(index));
        const size_t size = fb_.prime.size();
        const uint32_t* step = &b_step_[l * size];
        if (b_sign_[l] > 0) {
            b_ -= 2 * b_part_[l];  // the roots A^-1 (t - B) grow by 2 B_l A^-1
            for (size_t i = 2; i < size; ++i) {
                const uint32_t p = fb_.prime[i];
                root1_[i] = root1_[i] + step[i] >= p ? root1_[i] + step[i] - p : root1_[i] + step[i];
                root2_[i] = root2_[i] + step[i] >= p ? root2_[i] + step[i] - p : root2_[i] + step[i];
            }
        } else {
            b_ += 2 * b_part_[l];
            for (size_t i = 2; i < size; ++i) {
                const uint32_t p = fb_.prime[i];
                root1_[i] = root1_[i] >= step[i] ? root1_[i] - step[i] : root1_[i] + p - step[i];
                root2_[i] = root2_[i] >= step[i] ? root2_[i] - step[i] : root2_[i] + p - step[i];
            }
        }
        b_sign_[l] = -b_sign_[l];
    }

    void sieve_polynomial() {
        // C = (B^2 - k n) / A exactly; A is odd, so the division is a product with A^-1 mod 2^128, and C fits.
        u128 a_inverse = a_;
        for (int i = 0; i < 7; ++i) a_inverse *= 2 - a_ * a_inverse;
        c_ = static_cast<i128>((static_cast<u128>(b_ * b_) - kn_low_) * a_inverse);

        const size_t length = sieve_.size();
        uint8_t* s = sieve_.data();
        std::memset(s, 0x80 - threshold_, length);
        const size_t size = fb_.prime.size();
        for (size_t i = 2; i < size; ++i) {
            const uint32_t p = fb_.prime[i];
            if (p < kFirstSievedPrime || in_a_[i] != 0) continue;
            const uint8_t lp = fb_.log[i];
            for (size_t j = root1_[i]; j < length; j += p) s[j] += lp;
            if (root2_[i] != root1_[i])
                for (size_t j = root2_[i]; j < length; j += p) s[j] += lp;
        }
        for (size_t j = 0; j < length; j += 8) {
            uint64_t word;
            std::memcpy(&word, s + j, 8);
            if ((word & 0x8080808080808080ull) == 0) continue;
            for (size_t k = j; k < j + 8; ++k)
                if ((s[k] & 0x80) != 0) check_candidate(k);
        }
    }

    void check_candidate(size_t position) {
        const int64_t x = static_cast<int64_t>(position) - half_interval_;
        const i128 g = (static_cast<i128>(a_) * x + 2 * b_) * x + c_;
        if (g == 0) return;
        factors_.clear();
        u128 rest = g < 0 ? static_cast<u128>(-g) : static_cast<u128>(g);
        if (g < 0) factors_.push_back(0);
        for (int twos = ctz_128(rest); twos > 0; --twos) factors_.push_back(1);
        rest >>= ctz_128(rest);
        const size_t size = fb_.prime.size();
        for (size_t i = 2; i < size; ++i) {
            const uint32_t p = fb_.prime[i];
            if (in_a_[i] == 0) {
                const uint32_t r = static_cast<uint32_t>(position % p);
                if (r != root1_[i] && r != root2_[i]) continue;
            } else if (rest % p != 0) {
                continue;
            }
            while (rest % p == 0) {
                rest /= p;
                factors_.push_back(static_cast<uint32_t>(i));
            }
        }
        if (rest > large_bound_) return;
        for (int l = 0; l < a_count_; ++l) factors_.push_back(static_cast<uint32_t>(a_index_[l]));
        // The root A x + B mod n (its square is A g(x) mod n, since n divides k n).
        const i128 v = static_cast<i128>(a_) * x + b_;
        u128 root = static_cast<u128>(v < 0 ? -v : v) % n_;
        if (v < 0 && root != 0) root = n_ - root;
        // Polynomials overlap in the values A x + B they cover, most of all for small n: a value met before (or its
        // negative) would only repeat a relation, and repeated relations make trivial congruences.
        if (!seen_roots_.insert(root < n_ - root ? root : n_ - root).second) return;
        const uint64_t large = static_cast<uint64_t>(rest);
        if (large == 1) {
            relations_.push_back(Relation{{root, 0}, 1, 1, factors_});
            return;
        }
        // rest < p_max^2 has no factor-base prime, so it is a prime: pair hits that share it.
        auto found = partials_.find(large);
        if (found == partials_.end()) {
            partials_.emplace(large, Relation{{root, 0}, 1, large, factors_});
            return;
        }
        Relation joined{{found->second.root[0], root}, 2, large, found->second.factors};
        joined.factors.insert(joined.factors.end(), factors_.begin(), factors_.end());
        relations_.push_back(std::move(joined));
    }

    // Gaussian elimination over GF(2) on the exponent parities, each row carrying the set of relations it sums;
    // rows that end all zero are congruences of squares, tried in turn.
    u128 combine() {
        const size_t count = relations_.size(), columns = fb_.prime.size();
        const size_t width = (columns + 63) / 64, history_width = (count + 63) / 64;
        std::vector<uint64_t> parity(count * width, 0), history(count * history_width, 0);
        for (size_t r = 0; r < count; ++r) {
            for (uint32_t f : relations_[r].factors) parity[r * width + f / 64] ^= uint64_t{1} << (f % 64);
            history[r * history_width + r / 64] |= uint64_t{1} << (r % 64);
        }
        std::vector<uint8_t> pivot(count, 0);
        for (size_t column = 0; column < columns; ++column) {
            const uint64_t bit = uint64_t{1} << (column % 64);
            const size_t word = column / 64;
            size_t chosen = count;
            for (size_t r = 0; r < count; ++r) {
                if (pivot[r] == 0 && (parity[r * width + word] & bit) != 0) {
                    chosen = r;
                    break;
                }
            }
            if (chosen == count) continue;
            pivot[chosen] = 1;
            for (size_t r = 0; r < count; ++r) {
                if (r == chosen || (parity[r * width + word] & bit) == 0) continue;
                for (size_t w = 0; w < width; ++w) parity[r * width + w] ^= parity[chosen * width + w];
                for (size_t w = 0; w < history_width; ++w)
                    history[r * history_width + w] ^= history[chosen * history_width + w];
            }
        }
        std::vector<uint32_t> exponents(columns);
        for (size_t r = 0; r < count; ++r) {
            if (pivot[r] != 0) continue;
            std::fill(exponents.begin(), exponents.end(), 0);
            u128 x = m_.one, y = m_.one;
            for (size_t k = 0; k < count; ++k) {
                if ((history[r * history_width + k / 64] >> (k % 64) & 1) == 0) continue;
                const Relation& relation = relations_[k];
                for (int i = 0; i < relation.roots; ++i) x = m_.mul(x, m_.to(relation.root[i]));
                for (uint32_t f : relation.factors) ++exponents[f];
                if (relation.large != 1) y = m_.mul(y, m_.to(relation.large));
            }
            for (size_t f = 1; f < columns; ++f) {
                if (exponents[f] != 0) y = m_.mul(y, mont_pow(m_, m_.to(fb_.prime[f]), exponents[f] / 2));
            }
            const u128 d = gcd_128(m_.from(m_.sub(x, y)), n_);
            if (d != 1 && d != n_) return d;
        }
        return 0;
    }

    const u128 n_;
    const Mont128 m_;
    const StopFlag& stop_;
    uint32_t multiplier_ = 1;
    u128 kn_low_ = 0;  // k n mod 2^128
    int fb_size_ = 0;
    int half_interval_ = 0;
    uint8_t threshold_ = 0;
    uint64_t large_bound_ = 0;
    FactorBase fb_;

    double a_target_bits_ = 0;
    int a_factors_ = 0, q_low_ = 0, q_high_ = 0;
    int a_count_ = 0;
    int a_index_[kMaxAFactors] = {};
    uint64_t a_ = 1;
    i128 b_ = 0, c_ = 0;
    i128 b_part_[kMaxAFactors] = {};
    int b_sign_[kMaxAFactors] = {};
    std::vector<uint64_t> used_a_;
    uint64_t random_ = 0x9e3779b97f4a7c15ull;
    long polynomials_ = 0;

    std::vector<uint8_t> sieve_;
    std::vector<uint32_t> root1_, root2_, a_inverse_, b_step_;
    std::vector<uint8_t> in_a_;
    std::vector<uint32_t> factors_;
    std::vector<Relation> relations_;
    std::unordered_map<uint64_t, Relation> partials_;
    std::unordered_set<u128, RootHash> seen_roots_;
};

}  // namespace

u128 qs_divisor(u128 n, const StopFlag& stop) {
    Sieve sieve(n, stop);
    return sieve.run();
}
