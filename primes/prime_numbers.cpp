#include "primes/prime_numbers.h"

#include <algorithm>

#include "integer/integer_text.h"
#include "numeric/num_context.h"
#include "primes/proven_prime.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

// String-table slots of the job's output texts.
enum PrimeTextSlot : int {
    kSlotIsPrime = 39,         // " is a prime number."
    kSlotIsNotPrime = 40,      // " is not a prime number."
    kSlotPrimesFrom = 41,      // "Prime numbers from "
    kSlotPrimesTo = 42,        // " to "
    kSlotNextPrime = 43,       // "Next prime number:"
    kSlotNumberOfPrimes = 44,  // "Number of prime numbers:"
};

inline constexpr uint64_t kLargestTableNumber = 1008;

enum class JobEnd { kNormal, kStopped, kFailed };

// The value of a number of the exact method's width 2.
u128 to_u128(const BigInt* n) {
    return (static_cast<u128>(n[1]) << 64) | n[0];
}

int text_length(const char16_t* text) {
    int n = 0;
    while (text[n] != 0) ++n;
    return n;
}

bool stop_requested(const StopFlag& stop) {
    return stop.load(std::memory_order_relaxed) != 0;
}

// Output of one job: every number in the job's base and format, the list of primes with its line length.
struct PrimeWriter {
    const JobSink* sink;
    uint32_t flags;
    int base;
    int line_length;
    bool first;
    int64_t found;
};

void writer_put(PrimeWriter* w, const char16_t* text) {
    job_append(*w->sink, text);
}

void writer_put_number(PrimeWriter* w, const BigInt* value) {
    job_append(*w->sink, bigint_to_ring(value, w->flags, w->base));
}

// A prime of the answer: ", " before all but the first, and a line break before a number that would carry the line
// past 115 characters.
void writer_put_prime(PrimeWriter* w, const BigInt* prime) {
    if (!w->first) {
        writer_put(w, u", ");
        w->line_length += 2;
    }
    w->first = false;
    const char16_t* text = bigint_to_ring(prime, w->flags, w->base);
    const int length = text_length(text);
    w->line_length += length;
    if (w->line_length > kPrimeLineChars) {
        writer_put(w, u"\r\n");
        w->line_length = length;
    }
    writer_put(w, text);
    ++w->found;
}

// The opening of modes 1 and 2. False when n + k - 1 does not fit the width: the header then ends after " to ".
bool writer_put_header(PrimeWriter* w, const SPrimeNumberCalc& job, const BigInt* n) {
    if (job.mode == kPrimeModeNext) {
        writer_put(w, string_table.text[kSlotNextPrime]);
        writer_put(w, u"\r\n");
        w->line_length = 0;
        return true;
    }
    writer_put(w, string_table.text[kSlotPrimesFrom]);
    writer_put_number(w, n);
    writer_put(w, string_table.text[kSlotPrimesTo]);
    ScratchFrame frame;
    BigInt* last = scratch_take(static_cast<size_t>(num_ctx.int_limbs));
    bigint_add_word(last, n, static_cast<uint64_t>(job.interval) - 1);
    if (num_ctx.error_code != 0) return false;
    writer_put_number(w, last);
    writer_put(w, u":\r\n{ ");
    w->line_length = 2;
    return true;
}

// " }", then "Number of prime numbers: <count>" on a line of its own.
void writer_put_closing(PrimeWriter* w) {
    char16_t text[160];
    int n = 0;
    for (const char16_t* s = u" }\r\n"; *s != 0; ++s) text[n++] = *s;
    for (const char16_t* s = string_table.text[kSlotNumberOfPrimes]; *s != 0 && n < 120; ++s) text[n++] = *s;
    text[n++] = u' ';
    char16_t digits[24];
    int d = 0;
    uint64_t count = static_cast<uint64_t>(w->found);
    do {
        digits[d++] = static_cast<char16_t>(u'0' + count % 10);
        count /= 10;
    } while (count != 0);
    while (d > 0) text[n++] = digits[--d];
    text[n++] = u'\r';
    text[n++] = u'\n';
    text[n] = 0;
    writer_put(w, text);
}

void writer_put_verdict(PrimeWriter* w, const BigInt* n, bool prime) {
    writer_put_number(w, n);
    writer_put(w, string_table.text[prime ? kSlotIsPrime : kSlotIsNotPrime]);
    writer_put(w, u"\r\n");
}

// e = floor(a / 2) at the width.
void halve(BigInt* e, const BigInt* a) {
    const int w = num_ctx.int_limbs;
    for (int i = 0; i < w; ++i) e[i] = (a[i] >> 1) | (i + 1 < w ? a[i + 1] << 63 : 0);
}

// (2/n) for odd n: -1 when bit 3 of n^2 - 1 is set. n^2 is formed at the width, so n >= 2^(32 W) raises error 12.
int sign_of_two(const BigInt* n) {
    ScratchFrame frame;
    BigInt* square = scratch_take(static_cast<size_t>(num_ctx.int_limbs));
    bigint_mul(square, n, n);
    // n^2 is odd, so n^2 - 1 differs from n^2 only in its lowest word.
    return ((square[0] - 1) >> 3) & 1 ? -1 : 1;
}

// The verdict of an Euler test: r must be 1 for the sign +1 and n - 1 for the sign -1.
bool euler_verdict(const BigInt* r, const BigInt* n, int sign) {
    if (sign > 0) return bigint_is_one(r);
    ScratchFrame frame;
    BigInt* n_minus_1 = scratch_take(static_cast<size_t>(num_ctx.int_limbs));
    bigint_decrement(n_minus_1, n);
    return bigint_compare(r, n_minus_1) == 0;
}

bool euler_test(const BigInt* n, uint64_t base, int sign) {
    const size_t w = static_cast<size_t>(num_ctx.int_limbs);
    ScratchFrame frame;
    BigInt* e = scratch_take(w);
    BigInt* a = scratch_take(w);
    BigInt* r = scratch_take(w);
    halve(e, n);  // (n - 1) / 2 for odd n
    bigint_set_word(a, base);
    bigint_powmod(r, a, e, n);
    return euler_verdict(r, n, sign);
}

// ---- Exact method ------------------------------------------------------------------------------------------------

JobEnd exact_test_job(PrimeWriter* w, const BigInt* n, const StopFlag& stop, ExactAlgorithm algorithm) {
    const bool prime = exact_is_prime(n, stop, algorithm);
    if (stop_requested(stop)) return JobEnd::kStopped;
    writer_put_verdict(w, n, prime);
    return JobEnd::kNormal;
}

// Walks the odd numbers of the interval (2 is handled apart) and keeps s = floor(sqrt(x)) up to date through
// q = (s + 1)^2 instead of a square root per candidate.
JobEnd exact_search_job(PrimeWriter* w, const SPrimeNumberCalc& job, const BigInt* n, const StopFlag& stop,
                        ExactAlgorithm algorithm) {
    const size_t width = static_cast<size_t>(num_ctx.int_limbs);
    ScratchFrame frame;
    BigInt* x = scratch_take(width);
    BigInt* q = scratch_take(width);
    bigint_copy(x, n);
    int64_t count = job.interval;
    bool two = false;
    if (bigint_is_one(x)) {
        bigint_set_word(x, 3);
        count -= 2;
        two = job.interval >= 2;
    } else {
        two = bigint_compare_word(x, 2) == 0;
        if ((x[0] & 1) == 0) {
            bigint_add_word(x, x, 1);
            count -= 1;
        }
    }
    if (two) {
        BigInt* p = scratch_take(width);
        bigint_set_word(p, 2);
        writer_put_prime(w, p);
        if (job.mode == kPrimeModeNext) return JobEnd::kNormal;
    }

    bigint_isqrt(q, x);
    uint64_t s = q[0];
    if (s != UINT64_MAX) {
        bigint_set_word(q, s + 1);
        bigint_mul(q, q, q);
    }
    while (count >= 1) {
        WheelPosition position = kWheelFromThree;
        const bool complete = algorithm == ExactAlgorithm::kTrialDivision || s <= kExactSieveBound;
        const uint64_t divisor = wheel_next_divisor(x, complete ? s : kExactSieveBound, &position, stop);
        const bool prime = divisor == 0 && (complete || proven_is_prime(to_u128(x), stop));
        if (stop_requested(stop)) return JobEnd::kStopped;
        if (prime) {
            writer_put_prime(w, x);
            if (job.mode == kPrimeModeNext) return JobEnd::kNormal;
        }
        count -= 2;
        if (count >= 1) {
            bigint_add_word(x, x, 2);
            if (num_ctx.error_code != 0) return JobEnd::kFailed;
        }
        if (s != UINT64_MAX && bigint_compare(x, q) >= 0) {
            ++s;
            if (s != UINT64_MAX) {  // q = (s + 1)^2 = s^2 + s + (s + 1)
                bigint_add_word(q, q, s);
                bigint_add_word(q, q, s + 1);
            }
        }
    }
    return JobEnd::kNormal;
}

// ---- Probabilistic method -------------------------------------------------------------------------------------

JobEnd probabilistic_test_job(PrimeWriter* w, const BigInt* n, const StopFlag& stop, ExactAlgorithm) {
    const bool composite = is_composite(n);
    if (num_ctx.error_code != 0) return JobEnd::kFailed;
    if (stop_requested(stop)) return JobEnd::kStopped;
    writer_put_verdict(w, n, !composite);
    return JobEnd::kNormal;
}

JobEnd probabilistic_search_job(PrimeWriter* w, const SPrimeNumberCalc& job, const BigInt* n, const StopFlag& stop,
                                ExactAlgorithm) {
    ScratchFrame frame;
    BigInt* x = scratch_take(static_cast<size_t>(num_ctx.int_limbs));
    bigint_copy(x, n);
    int64_t count = job.interval;
    while (count >= 1 && num_ctx.error_code == 0) {
        const bool composite = is_composite(x);
        if (num_ctx.error_code != 0) break;
        if (!composite) {
            writer_put_prime(w, x);
            if (job.mode == kPrimeModeNext) return JobEnd::kNormal;
        }
        --count;
        bigint_add_word(x, x, 1);
        if (stop_requested(stop)) return JobEnd::kStopped;
    }
    return num_ctx.error_code != 0 ? JobEnd::kFailed : JobEnd::kNormal;
}

using SearchJob = JobEnd (*)(PrimeWriter*, const SPrimeNumberCalc&, const BigInt*, const StopFlag&, ExactAlgorithm);
using TestJob = JobEnd (*)(PrimeWriter*, const BigInt*, const StopFlag&, ExactAlgorithm);

// The frame shared by both methods: width, header, the mode's work, the closing line, the overflow message.
void run_with_method(const SPrimeNumberCalc& job, const JobSink& sink, const StopFlag& stop, int width, TestJob test,
                     SearchJob search, ExactAlgorithm algorithm) {
    const int saved_width = num_ctx.int_limbs;
    num_ctx.int_limbs = width;
    PrimeWriter w{&sink, job.format_flags, job.base, 0, true, 0};
    {
        ScratchFrame frame;
        BigInt* n = scratch_take(static_cast<size_t>(width));
        bigint_copy(n, job.number);
        if (job.mode == kPrimeModeTest) {
            test(&w, n, stop, algorithm);
        } else if (job.mode == kPrimeModeInterval || job.mode == kPrimeModeNext) {
            if (writer_put_header(&w, job, n) && search(&w, job, n, stop, algorithm) == JobEnd::kNormal &&
                job.mode == kPrimeModeInterval) {
                writer_put_closing(&w);
            }
        }
    }
    if (num_ctx.error_code != 0) set_message(kMsgPrimeOverflow);
    num_ctx.int_limbs = saved_width;
}

}  // namespace

bool euler_test_base2(const BigInt* n) {
    return euler_test(n, 2, sign_of_two(n));
}

bool euler_test_base3(const BigInt* n) {
    ScratchFrame frame;
    BigInt* three = scratch_take(static_cast<size_t>(num_ctx.int_limbs));
    bigint_set_word(three, 3);
    return euler_test(n, 3, jacobi_symbol(three, n));
}

int jacobi_symbol(const BigInt* a, const BigInt* n) {
    const size_t w = static_cast<size_t>(num_ctx.int_limbs);
    ScratchFrame frame;
    BigInt* x = scratch_take(w);
    BigInt* m = scratch_take(w);
    BigInt* t = scratch_take(w);
    BigInt* u = scratch_take(w);
    bigint_copy(x, a);
    bigint_copy(m, n);
    int sign = 1;
    for (;;) {
        if (bigint_compare_word(x, 1) <= 0) return sign;
        while ((x[0] & 1) == 0) {
            halve(x, x);
            if (sign_of_two(m) < 0) sign = -sign;
        }
        // Reciprocity: the sign flips when bit 2 of (x - 1)(m - 1) is set, that is when x = m = 3 mod 4.
        bigint_decrement(t, x);
        bigint_decrement(u, m);
        bigint_mul(t, t, u);
        if ((t[0] >> 2) & 1) sign = -sign;
        bigint_mod(t, m, x);
        bigint_copy(m, x);
        bigint_copy(x, t);
    }
}

bool is_composite(const BigInt* n) {
    const int count = trial_word_count(n);
    if (count <= 1 && n[0] <= kLargestTableNumber) {
        return !std::binary_search(small_prime_table.begin(), small_prime_table.end(), n[0]);
    }
    if ((n[0] & 1) == 0) return true;
    for (int i = 1; i < kSmallPrimeCount; ++i) {
        if (trial_remainder(n, count, small_prime_table[i]) == 0) return true;
    }
    if (!euler_test_base2(n)) return true;
    if (!euler_test_base3(n)) return true;
    return false;
}

bool exact_is_prime(const BigInt* n, const StopFlag& stop, ExactAlgorithm algorithm) {
    if (bigint_compare_word(n, 2) < 0) return false;
    ScratchFrame frame;
    BigInt* s = scratch_take(static_cast<size_t>(num_ctx.int_limbs));
    bigint_isqrt(s, n);
    WheelPosition position = kWheelFromTwo;
    const bool complete = algorithm == ExactAlgorithm::kTrialDivision || s[0] <= kExactSieveBound;
    if (wheel_next_divisor(n, complete ? s[0] : kExactSieveBound, &position, stop) != 0) return false;
    return complete || proven_is_prime(to_u128(n), stop);
}

void run_prime_job_exact(const SPrimeNumberCalc& job, const JobSink& sink, const StopFlag& stop,
                         ExactAlgorithm algorithm) {
    run_with_method(job, sink, stop, kExactIntLimbs, exact_test_job, exact_search_job, algorithm);
}

void run_prime_job_probabilistic(const SPrimeNumberCalc& job, const JobSink& sink, const StopFlag& stop) {
    run_with_method(job, sink, stop, kProbabilisticIntLimbs, probabilistic_test_job, probabilistic_search_job,
                    ExactAlgorithm::kProven);
}

void run_prime_job(const SPrimeNumberCalc& job, const JobSink& sink, const StopFlag& stop, ExactAlgorithm algorithm) {
    if (job.method == kPrimeMethodExact) {
        run_prime_job_exact(job, sink, stop, algorithm);
    } else if (job.method == kPrimeMethodProbabilistic) {
        run_prime_job_probabilistic(job, sink, stop);
    }
}
