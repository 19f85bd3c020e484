#include "primes/prime_factors.h"

#include <string_view>

#include "integer/integer_text.h"
#include "numeric/num_context.h"
#include "primes/factor_engine.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

// String-table slots of the line texts.
enum FactorTextSlot : int {
    kSlotNoPrimeFactors = 29,  // "Number has no prime factors!"
    kSlotDivisorLine = 30,     // "D "
};

inline constexpr int kNumberChars = 192;  // 128 binary digits with group characters, and room to spare
inline constexpr uint64_t kMaxExponent = 255;

u128 to_u128(const uint64_t* v) {
    return (static_cast<u128>(v[1]) << 64) | v[0];
}

void from_u128(uint64_t* v, u128 x) {
    v[0] = static_cast<uint64_t>(x);
    v[1] = static_cast<uint64_t>(x >> 64);
}

void record_factor(FactorList* f, const uint64_t* prime, uint64_t exponent) {
    if (f->count < 0) return;
    if (f->count == kMaxPrimeFactors) {
        f->count = -1;
        return;
    }
    f->primes[f->count][0] = prime[0];
    f->primes[f->count][1] = prime[1];
    f->exponents[f->count] = exponent;
    ++f->count;
}

// Divisors sharing one number of prime factors (counted with multiplicity), each with the exponents still
// available to extend it.
struct DivisorLevel {
    int count;
    uint64_t values[kMaxLevelEntries][kExactIntLimbs];
    uint8_t remaining[kMaxLevelEntries][kMaxPrimeFactors];
};

bool divisor_list_contains(const DivisorList* d, u128 value) {
    int64_t low = 0;
    int64_t high = d->count;
    while (low < high) {
        const int64_t mid = (low + high) / 2;
        const u128 v = to_u128(d->divisors[mid]);
        if (v == value) return true;
        if (v < value) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return false;
}

// One output line, cut at 45051 characters by "...\r\n".
struct FactorLine {
    char16_t text[kFactorLineBuffer];
    int length;
    bool cut;
};

void line_put(FactorLine* line, const char16_t* s, int n) {
    for (int i = 0; i < n && !line->cut; ++i) {
        if (line->length == kFactorLineChars) {
            for (const char16_t* t = u"...\r\n"; *t != 0; ++t) line->text[line->length++] = *t;
            line->cut = true;
            break;
        }
        line->text[line->length++] = s[i];
    }
}

void line_put_text(FactorLine* line, const char16_t* s) {
    int n = 0;
    while (s[n] != 0) ++n;
    line_put(line, s, n);
}

void line_put_number(FactorLine* line, const uint64_t* value, const SPrimeFactorCalc& job) {
    char16_t digits[kNumberChars];
    const int n = bigint_to_text(digits, kNumberChars, value, job.format_flags, job.base);
    line_put(line, digits, n);
}

void line_put_decimal(FactorLine* line, int64_t value) {
    char16_t digits[24];
    int n = 0;
    uint64_t v = static_cast<uint64_t>(value);
    do {
        digits[n++] = static_cast<char16_t>(u'0' + v % 10);
        v /= 10;
    } while (v != 0);
    char16_t text[24];
    for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
    line_put(line, text, n);
}

// x = p1^e1 * p2^e2 ... (an exponent 1 is not written).
void line_put_factors(FactorLine* line, const uint64_t* x, const FactorList* f, const SPrimeFactorCalc& job) {
    line_put_number(line, x, job);
    line_put_text(line, u" = ");
    if (f->count == 0) line_put_text(line, string_table.text[kSlotNoPrimeFactors]);
    for (int64_t i = 0; i < f->count; ++i) {
        if (i > 0) line_put_text(line, u" * ");
        line_put_number(line, f->primes[i], job);
        if (f->exponents[i] >= 2) {
            const uint64_t exponent[kExactIntLimbs] = {f->exponents[i], 0};
            line_put_text(line, u"^");
            line_put_number(line, exponent, job);
        }
    }
    line_put_text(line, u"\r\n");
}

// D x = { 1, ..., x }, with "  [count]" on request.
void line_put_divisors(FactorLine* line, const uint64_t* x, const DivisorList* d, const SPrimeFactorCalc& job) {
    line_put_text(line, string_table.text[kSlotDivisorLine]);
    line_put_number(line, x, job);
    line_put_text(line, u" = { ");
    for (int64_t i = 0; i < d->count; ++i) {
        if (i > 0) line_put_text(line, u", ");
        line_put_number(line, d->divisors[i], job);
    }
    line_put_text(line, u" }");
    if (job.show_count != 0) {
        line_put_text(line, u"  [");
        line_put_decimal(line, d->count);
        line_put_text(line, u"]");
    }
    line_put_text(line, u"\r\n");
}

void set_too_many_message(const uint64_t* x, const SPrimeFactorCalc& job) {
    char16_t digits[kNumberChars];
    const int n = bigint_to_text(digits, kNumberChars, x, job.format_flags, job.base);
    set_message(kMsgTooManyFactors, std::u16string_view(digits, static_cast<size_t>(n)));
}

// The records of one job; they live on the worker's stack for the whole job.
struct FactorJobStorage {
    FactorList factors;
    DivisorList divisors;
    FactorLine line;
};

void factor_job_numbers(const SPrimeFactorCalc& job, const JobSink& sink, const StopFlag& stop,
                        ExactAlgorithm algorithm, FactorJobStorage* storage) {
    uint64_t x[kExactIntLimbs] = {job.number[0], job.number[1]};
    for (uint32_t i = 0; i < job.interval; ++i) {
        factorize(&storage->factors, x, stop, algorithm);
        if (stop.load(std::memory_order_relaxed) != 0) return;
        if (num_ctx.error_code != 0) {
            set_message(kMsgFactorOverflow);
            return;
        }
        if (storage->factors.count < 0) {
            set_too_many_message(x, job);
            return;
        }
        FactorLine* line = &storage->line;
        line->length = 0;
        line->cut = false;
        if (job.divisors != 0) {
            enumerate_divisors(&storage->divisors, &storage->factors);
            if (storage->divisors.count < 0) {
                set_too_many_message(x, job);
                return;
            }
            line_put_divisors(line, x, &storage->divisors, job);
        } else {
            line_put_factors(line, x, &storage->factors, job);
        }
        line->text[line->length] = 0;
        job_append(sink, line->text);
        if (i + 1 < job.interval) {
            bigint_add_word(x, x, 1);
            if (num_ctx.error_code != 0) {
                set_message(kMsgFactorOverflow);
                return;
            }
        }
    }
}

}  // namespace

void factorize(FactorList* f, const BigInt* n, const StopFlag& stop, ExactAlgorithm algorithm) {
    f->count = 0;
    if (num_ctx.int_limbs != kExactIntLimbs) {
        f->count = -1;
        return;
    }
    if (bigint_compare_word(n, 2) < 0) return;
    ScratchFrame frame;
    BigInt* m = scratch_take(kExactIntLimbs);
    BigInt* q = scratch_take(kExactIntLimbs);
    BigInt* s = scratch_take(kExactIntLimbs);
    bigint_copy(m, n);
    // Every divisor found is prime, because the smaller primes are divided out before the wheel reaches it.
    WheelPosition position = kWheelFromTwo;
    const bool trial_only = algorithm == ExactAlgorithm::kTrialDivision;
    for (;;) {
        bigint_isqrt(s, m);
        const bool complete = trial_only || s[0] <= kFactorTrialBound;
        const uint64_t d = wheel_next_divisor(m, complete ? s[0] : kFactorTrialBound, &position, stop);
        if (d == 0 && complete) {
            record_factor(f, m, 1);
            return;
        }
        if (d == 0) {
            // Every prime factor of m exceeds the bound; they are found in increasing order after the smaller ones.
            PrimePowers large;
            large.count = 0;
            if (!factor_cofactor(&large, to_u128(m), stop)) return;
            for (int i = 0; i < large.count; ++i) {
                uint64_t prime[kExactIntLimbs];
                from_u128(prime, large.primes[i]);
                record_factor(f, prime, large.exponents[i]);
            }
            return;
        }
        uint64_t exponent = 0;
        while (bigint_divmod_word(q, m, d) == 0) {
            bigint_copy(m, q);
            ++exponent;
        }
        const uint64_t prime[kExactIntLimbs] = {d, 0};
        record_factor(f, prime, exponent);
        if (bigint_is_one(m)) return;
    }
}

void insert_sorted(DivisorList* d, const uint64_t* value) {
    if (d->count < 0) return;
    if (d->count == kMaxDivisors) {
        d->count = -1;
        return;
    }
    const u128 v = to_u128(value);
    int64_t i = d->count;
    while (i > 0 && to_u128(d->divisors[i - 1]) > v) {
        d->divisors[i][0] = d->divisors[i - 1][0];
        d->divisors[i][1] = d->divisors[i - 1][1];
        --i;
    }
    d->divisors[i][0] = value[0];
    d->divisors[i][1] = value[1];
    ++d->count;
}

void enumerate_divisors(DivisorList* d, const FactorList* f) {
    d->count = 0;
    if (f->count < 0) {
        d->count = -1;
        return;
    }
    const int primes = static_cast<int>(f->count);
    for (int i = 0; i < primes; ++i) {
        if (f->exponents[i] < 1 || f->exponents[i] > kMaxExponent) {
            d->count = -1;
            return;
        }
    }
    const uint64_t one[kExactIntLimbs] = {1, 0};
    insert_sorted(d, one);

    DivisorLevel levels[2];
    DivisorLevel* current = &levels[0];
    DivisorLevel* next = &levels[1];
    current->count = primes;
    for (int i = 0; i < primes; ++i) {
        current->values[i][0] = f->primes[i][0];
        current->values[i][1] = f->primes[i][1];
        for (int j = 0; j < primes; ++j) current->remaining[i][j] = static_cast<uint8_t>(f->exponents[j]);
        --current->remaining[i][i];
        insert_sorted(d, f->primes[i]);
    }
    // Every divisor of the next level is a product v * p_j of the current one; it is new exactly when it is not
    // yet in the divisor list, since the list holds the earlier levels (fewer prime factors) and this next level.
    while (current->count > 0) {
        next->count = 0;
        for (int e = 0; e < current->count; ++e) {
            const u128 v = to_u128(current->values[e]);
            for (int j = 0; j < primes; ++j) {
                if (current->remaining[e][j] == 0) continue;
                const u128 w = v * to_u128(f->primes[j]);  // a divisor of a number below 2^128
                if (divisor_list_contains(d, w)) continue;
                if (next->count == kMaxLevelEntries) {
                    d->count = -1;
                    return;
                }
                const int k = next->count++;
                from_u128(next->values[k], w);
                for (int t = 0; t < primes; ++t) next->remaining[k][t] = current->remaining[e][t];
                --next->remaining[k][j];
                insert_sorted(d, next->values[k]);
                if (d->count < 0) return;
            }
        }
        DivisorLevel* t = current;
        current = next;
        next = t;
    }
}

void run_factor_job(const SPrimeFactorCalc& job, const JobSink& sink, const StopFlag& stop, ExactAlgorithm algorithm) {
    const int saved_width = num_ctx.int_limbs;
    num_ctx.int_limbs = kExactIntLimbs;
    FactorJobStorage storage;
    factor_job_numbers(job, sink, stop, algorithm, &storage);
    num_ctx.int_limbs = saved_width;
}
