// The link between a prime window and the worker thread of its job. The worker reaches the window only through
// blocking calls queued to the user-interface thread: each output piece is appended to the output box there, and
// the end notice returns the window to idle. While a job runs every other top-level window is disabled, because the
// worker owns the process-wide numeric context and message state; the job's messages are shown on the
// user-interface thread through the presenter that was installed when the job started.
#pragma once

#include <QPlainTextEdit>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "platform/form.h"
#include "primes/prime_job.h"

class PrimeJobHost {
  public:
    // runner outlives the host (the worker touches it until its very end). show_running(true/false) sets the
    // window's own controls for the running and the idle state.
    PrimeJobHost(Form* window, QPlainTextEdit* output, JobRunner* runner, std::function<void(bool)> show_running);
    // Stops a running job and waits for its end; the pieces still arriving are dropped.
    ~PrimeJobHost();
    PrimeJobHost(const PrimeJobHost&) = delete;
    PrimeJobHost& operator=(const PrimeJobHost&) = delete;

    // Enter the running state and start the job; false (back to idle) when another job holds the numeric context.
    bool start_prime_numbers(const SPrimeNumberCalc& job);
    bool start_prime_factors(const SPrimeFactorCalc& job);
    // Sets the stop flag; the end notice follows from the worker.
    void stop();
    // From a successful start until the end notice has been handled.
    bool running() const { return running_; }

  private:
    template <class Record>
    bool start(const Record& job, bool (*start_job)(JobRunner*, const Record&));
    void set_running(bool running);
    void append(const char16_t* text);
    void finish();
    static void deliver_append(void* target, const char16_t* text);
    static void deliver_end(void* target);

    Form* window_;
    QPlainTextEdit* output_;
    JobRunner* runner_;
    std::function<void(bool)> show_running_;
    bool running_ = false;
    bool closing_ = false;
    // The top-level windows this host disabled, to enable exactly those again.
    std::vector<QPointer<QWidget>> disabled_;
};

// The main window, which a prime window activates when it is closed. Set once by the shell; null activates nothing.
void set_prime_windows_main_window(QWidget* main);
void activate_prime_windows_main_window();
