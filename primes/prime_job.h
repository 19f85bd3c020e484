// Job records of the two prime modules and the runner that carries one job at a time on a worker thread.
//
// The numeric context and the message state are process-wide and unsynchronised, so at most one job of either kind
// runs at any time; while it runs its worker owns them. The worker hands its output text piece by piece to a sink,
// shows its own message (through the installed message presenter) and then reports the end.
#pragma once

#include <atomic>
#include <cstdint>

#include "primes/wheel_table.h"

enum PrimeMethod : uint32_t {
    kPrimeMethodNone = 0,
    kPrimeMethodExact = 1,          // exact answers (trial division, proven tests), numbers below 2^128
    kPrimeMethodProbabilistic = 2,  // small primes and two Euler-Jacobi tests, numbers up to 1242 digits
};

enum PrimeMode : uint32_t {
    kPrimeModeInterval = 1,
    kPrimeModeNext = 2,
    kPrimeModeTest = 3,
};

// How the exact method decides below 2^128: by the wheel's trial division alone, bounded in practice only by the
// stop flag, or by the wheel up to a small bound and then proven primality tests, rho and the sieve. Both give the same
// answers; the first is kept as the reference.
enum class ExactAlgorithm : uint8_t {
    kProven,
    kTrialDivision,
};

inline constexpr int kExactIntLimbs = 2;
inline constexpr int kProbabilisticIntLimbs = 129;
inline constexpr int32_t kPrimeIntervalMax = 2147483647;
inline constexpr uint32_t kFactorIntervalMax = 1000000;
inline constexpr uint32_t kPrimeFormatGroupDigits = 0x8000000;  // the format flag of digit grouping

struct SPrimeNumberCalc {
    uint32_t method;                          // PrimeMethod; 0 runs nothing
    uint32_t mode;                            // PrimeMode
    uint64_t number[kProbabilisticIntLimbs];  // n >= 1; the job width (2 or 129 words) decides how many count
    int32_t interval;                         // k in 1 .. 2147483647; 2147483647 for the modes next and test
    uint32_t format_flags;                    // 0 or kPrimeFormatGroupDigits
    uint32_t parse_flags;                     // 1: digit-group characters accepted
    int32_t base;                             // 2, 8, 10 or 16
};

struct SPrimeFactorCalc {
    uint8_t divisors;                 // 1: divisor lists, 0: prime factorisations
    uint8_t show_count;               // 1: the number of divisors after each divisor list
    uint64_t number[kExactIntLimbs];  // first number n >= 1
    uint32_t interval;                // k in 1 .. 1000000
    uint32_t format_flags;
    uint32_t parse_flags;
    int32_t base;
};

// Where a job's output goes. append receives each piece as a terminated UTF-16 text that stays valid only during
// the call; ended is called once after the job and its message are done (it may be null). Both run on the worker.
struct JobSink {
    void (*append)(void* target, const char16_t* text);
    void (*ended)(void* target);
    void* target;
};

inline void job_append(const JobSink& sink, const char16_t* text) {
    sink.append(sink.target, text);
}

// One per window (or command). stop is the window's stop flag; running counts the workers from a successful start
// until each has finished with everything, including the end notice (it is 2 only in the instant after a notice
// when the window has already started its next job).
struct JobRunner {
    StopFlag stop;
    std::atomic<uint8_t> running;
    JobSink sink;
};

// Worker bodies, run on the calling thread: clear the message state and error code, run the job and show its
// message. The end notice is left to the caller (the runner sends it). They do not claim the numeric context.
void prime_number_worker(const SPrimeNumberCalc& job, const JobSink& sink, const StopFlag& stop);
void prime_factor_worker(const SPrimeFactorCalc& job, const JobSink& sink, const StopFlag& stop);

// Clear the runner's stop flag and start the job on a detached thread with a heap copy of the record. Return
// false, starting nothing, while any job (of this or another runner) still holds the numeric context.
bool job_start_prime_numbers(JobRunner* runner, const SPrimeNumberCalc& job);
bool job_start_prime_factors(JobRunner* runner, const SPrimeFactorCalc& job);

// Sets the stop flag: the job ends at its next candidate, without the rest of its output.
void job_request_stop(JobRunner* runner);

// Blocks until the runner's worker has finished (returns at once when none runs).
void job_wait(JobRunner* runner);

// True while some job holds the numeric context.
bool job_context_busy();
