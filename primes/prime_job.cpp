#include "primes/prime_job.h"

#include <memory>
#include <thread>

#include "numeric/num_context.h"
#include "primes/prime_factors.h"
#include "primes/prime_numbers.h"
#include "shell/messages.h"

namespace {

// 1 while a job owns the numeric context and the message state.
std::atomic<uint8_t> context_busy{0};

bool claim_context() {
    uint8_t expected = 0;
    return context_busy.compare_exchange_strong(expected, 1, std::memory_order_acquire);
}

void release_context() {
    context_busy.store(0, std::memory_order_release);
}

// Runs on the detached thread and owns the heap copy of the record. The context is given back before the end
// notice, so that a window re-enabled by the notice can start its next job at once; running is counted down last,
// after which the thread touches nothing of the runner. A count rather than a flag: when the next job starts in the
// instant between the notice and that step, running stays 1 for it.
template <class Record>
void run_detached(std::unique_ptr<Record> job, JobRunner* runner,
                  void (*worker)(const Record&, const JobSink&, const StopFlag&)) {
    const JobSink sink = runner->sink;
    worker(*job, sink, runner->stop);
    job.reset();
    release_context();
    if (sink.ended != nullptr) sink.ended(sink.target);
    runner->running.fetch_sub(1, std::memory_order_release);
    runner->running.notify_all();
}

template <class Record>
bool start_job(JobRunner* runner, const Record& job, void (*worker)(const Record&, const JobSink&, const StopFlag&)) {
    if (!claim_context()) return false;
    runner->stop.store(0, std::memory_order_relaxed);
    runner->running.fetch_add(1, std::memory_order_relaxed);
    std::thread(run_detached<Record>, std::make_unique<Record>(job), runner, worker).detach();
    return true;
}

}  // namespace

void prime_number_worker(const SPrimeNumberCalc& job, const JobSink& sink, const StopFlag& stop) {
    clear_error_state();
    run_prime_job(job, sink, stop);
    show_message();
}

void prime_factor_worker(const SPrimeFactorCalc& job, const JobSink& sink, const StopFlag& stop) {
    clear_error_state();
    run_factor_job(job, sink, stop);
    show_message();
}

bool job_start_prime_numbers(JobRunner* runner, const SPrimeNumberCalc& job) {
    return start_job(runner, job, prime_number_worker);
}

bool job_start_prime_factors(JobRunner* runner, const SPrimeFactorCalc& job) {
    return start_job(runner, job, prime_factor_worker);
}

void job_request_stop(JobRunner* runner) {
    runner->stop.store(1, std::memory_order_relaxed);
}

void job_wait(JobRunner* runner) {
    for (uint8_t live; (live = runner->running.load(std::memory_order_acquire)) != 0;)
        runner->running.wait(live, std::memory_order_acquire);
}

bool job_context_busy() {
    return context_busy.load(std::memory_order_acquire) != 0;
}
