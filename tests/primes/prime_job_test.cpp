#include "primes/prime_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "numeric/num_context.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the worker hands over: pieces, the end notice, and messages through the presenter. The worker writes, the
// test reads after job_wait; job_wait's acquire orders the two.
struct Received {
    std::u16string text;
    int ended = 0;
    bool context_free_at_end = false;
};

std::vector<std::string> presented;  // messages shown by any worker

void receive_piece(void* target, const char16_t* text) {
    static_cast<Received*>(target)->text += text;
}

void receive_end(void* target) {
    auto* r = static_cast<Received*>(target);
    ++r->ended;
    r->context_free_at_end = !job_context_busy();
}

void present(std::u16string_view, std::u16string_view text) {
    presented.push_back(utf16_to_utf8(text));
}

struct Fixture : ::testing::Test {
    MessagePresenter previous = nullptr;
    void SetUp() override {
        static const bool initialised = (init_numeric_context(), load_string_table(kLanguageEnglish), true);
        (void)initialised;
        clear_error_state();
        presented.clear();
        previous = set_message_presenter(present);
    }
    void TearDown() override { set_message_presenter(previous); }
};

void set_number(uint64_t* number, uint64_t low, uint64_t high) {
    number[0] = low;
    number[1] = high;
}

SPrimeNumberCalc prime_job(uint32_t method, uint32_t mode, uint64_t low, uint64_t high, int32_t k) {
    SPrimeNumberCalc job{};
    job.method = method;
    job.mode = mode;
    set_number(job.number, low, high);
    job.interval = mode == kPrimeModeInterval ? k : kPrimeIntervalMax;
    job.parse_flags = 1;
    job.base = 10;
    return job;
}

// Factors low + 2^64 high and the interval - 1 numbers after it, in base 10.
SPrimeFactorCalc factor_job(uint64_t low, uint64_t high, uint32_t interval) {
    SPrimeFactorCalc job{};
    set_number(job.number, low, high);
    job.interval = interval;
    job.base = 10;
    return job;
}

// Starts a job that would run for minutes, stops it after `delay`, and returns the time from the stop until the
// worker had finished.
template <class Record>
double stop_latency_ms(JobRunner* runner, const Record& job, bool (*start)(JobRunner*, const Record&),
                       std::chrono::milliseconds delay) {
    EXPECT_TRUE(start(runner, job));
    std::this_thread::sleep_for(delay);
    EXPECT_EQ(runner->running.load(), 1) << "the job ended before it was stopped";
    const auto t0 = Clock::now();
    job_request_stop(runner);
    job_wait(runner);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("stop latency %.2f ms\n", ms);
    return ms;
}

TEST_F(Fixture, StopEndsALongPrimeSearchPromptly) {
    Received received;
    JobRunner runner{};
    runner.sink = JobSink{receive_piece, receive_end, &received};
    // Two billion numbers from 2^127: each prime found there is proven through a factorisation of p - 1.
    const SPrimeNumberCalc job = prime_job(kPrimeMethodExact, kPrimeModeInterval, 0, uint64_t{1} << 63, 2000000000);
    const double ms = stop_latency_ms(&runner, job, job_start_prime_numbers, std::chrono::milliseconds(50));
    EXPECT_LT(ms, 100.0);
    const std::string text = utf16_to_utf8(received.text);
    EXPECT_EQ(text.rfind("Prime numbers from 170141183460469231731687303715884105728 to ", 0), 0u) << text;
    EXPECT_EQ(text.find("Number of prime numbers"), std::string::npos) << text;
    EXPECT_EQ(received.ended, 1);
    EXPECT_TRUE(received.context_free_at_end);
    EXPECT_TRUE(presented.empty());
    EXPECT_FALSE(job_context_busy());
}

TEST_F(Fixture, StopLeavesAnIntervalWithoutItsClosingLine) {
    Received received;
    JobRunner runner{};
    runner.sink = JobSink{receive_piece, receive_end, &received};
    // Two billion numbers from just below 2^64: far more than the job can test before the stop.
    const SPrimeNumberCalc job =
        prime_job(kPrimeMethodExact, kPrimeModeInterval, 18446744073709551557ull - 4, 0, 2000000000);
    const double ms = stop_latency_ms(&runner, job, job_start_prime_numbers, std::chrono::milliseconds(80));
    EXPECT_LT(ms, 100.0);
    const std::string text = utf16_to_utf8(received.text);
    EXPECT_EQ(text.rfind("Prime numbers from 18446744073709551553 to ", 0), 0u) << text;
    EXPECT_EQ(text.find("Number of prime numbers"), std::string::npos) << text;
    EXPECT_TRUE(presented.empty());
}

TEST_F(Fixture, StopEndsALongFactorisationWithoutALine) {
    Received received;
    JobRunner runner{};
    runner.sink = JobSink{receive_piece, receive_end, &received};
    SPrimeFactorCalc job = factor_job(1, 0, 3);  // 1 .. 3 to the end
    ASSERT_TRUE(job_start_prime_factors(&runner, job));
    job_wait(&runner);
    EXPECT_EQ(utf16_to_utf8(received.text), "1 = Number has no prime factors!\r\n2 = 2\r\n3 = 3\r\n");
    received = Received{};
    // A million numbers from 2^127 - 2^20, many with two large prime factors for the sieve: stopped long before the
    // end, the output is whole lines only.
    set_number(job.number, UINT64_MAX - (1u << 20) + 1, UINT64_MAX >> 1);
    job.interval = 1000000;
    const double ms = stop_latency_ms(&runner, job, job_start_prime_factors, std::chrono::milliseconds(50));
    EXPECT_LT(ms, 100.0);
    const std::string text = utf16_to_utf8(received.text);
    EXPECT_TRUE(text.empty() || text.substr(text.size() - 2) == "\r\n") << text;
    EXPECT_EQ(text.find("340282366920938463463374607431768211455"), std::string::npos) << "ran to the end";
    EXPECT_EQ(received.ended, 1);
    EXPECT_TRUE(presented.empty());
}

TEST_F(Fixture, RunsOneJobAtATime) {
    Received first, second;
    JobRunner a{}, b{};
    a.sink = JobSink{receive_piece, receive_end, &first};
    b.sink = JobSink{receive_piece, receive_end, &second};
    const SPrimeNumberCalc slow = prime_job(kPrimeMethodExact, kPrimeModeInterval, 0, uint64_t{1} << 63, 2000000000);
    ASSERT_TRUE(job_start_prime_numbers(&a, slow));
    EXPECT_TRUE(job_context_busy());
    const SPrimeFactorCalc factors = factor_job(360, 0, 1);
    EXPECT_FALSE(job_start_prime_factors(&b, factors));
    EXPECT_FALSE(job_start_prime_numbers(&a, slow));
    job_request_stop(&a);
    job_wait(&a);
    job_wait(&b);  // never started: returns at once
    EXPECT_EQ(second.ended, 0);
    ASSERT_TRUE(job_start_prime_factors(&b, factors));
    job_wait(&b);
    EXPECT_EQ(utf16_to_utf8(second.text), "360 = 2^3 * 3^2 * 5\r\n");
    EXPECT_EQ(second.ended, 1);
}

// A window re-enabled by the end notice may start its next job before the old worker has counted itself out.
struct Chain {
    Received received;
    JobRunner* runner = nullptr;
    SPrimeFactorCalc next{};
    bool started = false;
};

void chain_piece(void* target, const char16_t* text) {
    static_cast<Chain*>(target)->received.text += text;
}

void start_next_on_end(void* target) {
    auto* chain = static_cast<Chain*>(target);
    ++chain->received.ended;
    if (!chain->started) chain->started = job_start_prime_factors(chain->runner, chain->next);
}

TEST_F(Fixture, WaitCoversAJobStartedFromTheEndNotice) {
    JobRunner runner{};
    Chain chain;
    chain.runner = &runner;
    chain.next = factor_job(0, 1, 100);  // 2^64 and the 99 numbers after it
    runner.sink = JobSink{chain_piece, start_next_on_end, &chain};
    ASSERT_TRUE(job_start_prime_factors(&runner, factor_job(360, 0, 1)));
    job_wait(&runner);
    EXPECT_TRUE(chain.started);
    EXPECT_EQ(chain.received.ended, 2) << "job_wait returned while the second job ran";
    EXPECT_EQ(runner.running.load(), 0);
    EXPECT_EQ(utf16_to_utf8(chain.received.text).rfind("360 = 2^3 * 3^2 * 5\r\n18446744073709551616 = 2^64\r\n", 0),
              0u);
}

TEST_F(Fixture, WorkerShowsItsMessageBeforeTheEndNotice) {
    Received received;
    JobRunner runner{};
    runner.sink = JobSink{receive_piece, receive_end, &received};
    // 2^128 - 1 with k = 2: the header overflows. A message left pending before the start does not count.
    set_message(kMsgInvalidInput, u"old");
    const SPrimeNumberCalc job = prime_job(kPrimeMethodExact, kPrimeModeInterval, UINT64_MAX, UINT64_MAX, 2);
    ASSERT_TRUE(job_start_prime_numbers(&runner, job));
    job_wait(&runner);
    EXPECT_EQ(presented, std::vector<std::string>{"Overflow in prime number calculation!"});
    EXPECT_EQ(received.ended, 1);
    EXPECT_EQ(message_state.message_code, 0u) << "the worker clears the message it showed";
    EXPECT_EQ(num_ctx.error_code, 0u);

    // The factor job names the number in the job's base.
    received = Received{};
    presented.clear();
    SPrimeFactorCalc factors{};
    set_number(factors.number, 304250263527210ull, 0);  // the product of the primes 2 .. 41
    factors.divisors = 1;
    factors.interval = 1;
    factors.base = 16;
    factors.format_flags = kPrimeFormatGroupDigits;
    ASSERT_TRUE(job_start_prime_factors(&runner, factors));
    job_wait(&runner);
    EXPECT_EQ(presented,
              std::vector<std::string>{"The number \"1'14B6'C8E1'5F2A\" has to many prime factors or divisors!"});
    EXPECT_EQ(received.text, u"");
}

}  // namespace
