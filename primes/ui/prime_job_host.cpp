#include "primes/ui/prime_job_host.h"

#include <QApplication>
#include <QThread>
#include <chrono>
#include <string>
#include <thread>

#include "platform/ui_globals.h"
#include "shell/messages.h"

namespace {

QPointer<QWidget> main_window;

// While a job runs: its host and the presenter that was installed before it, which shows the job's messages on
// the user-interface thread. Written on that thread only while no worker runs.
PrimeJobHost* presenting_host = nullptr;
bool presenting_host_closing = false;
MessagePresenter job_presenter = nullptr;

void present_on_ui_thread(std::u16string_view title, std::u16string_view text) {
    auto present = [title, text] {
        if (!presenting_host_closing) (job_presenter != nullptr ? job_presenter : present_on_stderr)(title, text);
    };
    if (QThread::currentThread() == qApp->thread()) {
        present();
    } else {
        QMetaObject::invokeMethod(qApp, present, Qt::BlockingQueuedConnection);
    }
}

bool is_application_window(const QWidget* w) {
    const Qt::WindowType type = w->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

}  // namespace

void set_prime_windows_main_window(QWidget* main) {
    main_window = main;
}

void activate_prime_windows_main_window() {
    if (main_window != nullptr && main_window->isVisible()) main_window->activateWindow();
}

PrimeJobHost::PrimeJobHost(Form* window, QPlainTextEdit* output, JobRunner* runner,
                           std::function<void(bool)> show_running)
    : window_(window), output_(output), runner_(runner), show_running_(std::move(show_running)) {}

PrimeJobHost::~PrimeJobHost() {
    closing_ = true;
    if (presenting_host == this) presenting_host_closing = true;
    if (!running_) return;
    job_request_stop(runner_);
    // The worker waits in its blocking calls until this thread runs them, so they are run here while waiting. The
    // end notice is the worker's last use of the host (it touches only the runner after it).
    while (running_) {
        QCoreApplication::sendPostedEvents(qApp, QEvent::MetaCall);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

template <class Record>
bool PrimeJobHost::start(const Record& job, bool (*start_job)(JobRunner*, const Record&)) {
    if (running_) return false;
    set_running(true);
    runner_->sink = JobSink{deliver_append, deliver_end, this};
    presenting_host = this;
    presenting_host_closing = false;
    job_presenter = set_message_presenter(present_on_ui_thread);
    if (!start_job(runner_, job)) {
        finish();
        return false;
    }
    return true;
}

bool PrimeJobHost::start_prime_numbers(const SPrimeNumberCalc& job) {
    return start(job, job_start_prime_numbers);
}

bool PrimeJobHost::start_prime_factors(const SPrimeFactorCalc& job) {
    return start(job, job_start_prime_factors);
}

void PrimeJobHost::stop() {
    if (running_) job_request_stop(runner_);
}

void PrimeJobHost::set_running(bool running) {
    running_ = running;
    if (running) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != window_ && is_application_window(w) && w->isEnabled()) disabled_.emplace_back(w);
        }
        for (auto& w : disabled_) w->setEnabled(false);
    } else {
        for (auto& w : disabled_) {
            if (w != nullptr) w->setEnabled(true);
        }
        disabled_.clear();
    }
    if (!closing_) show_running_(running);
}

void PrimeJobHost::append(const char16_t* text) {
    if (closing_) return;
    output_->moveCursor(QTextCursor::End);
    output_->insertPlainText(QString::fromUtf16(text));
}

void PrimeJobHost::finish() {
    set_message_presenter(job_presenter);
    job_presenter = nullptr;
    presenting_host = nullptr;
    presenting_host_closing = false;
    set_running(false);
}

void PrimeJobHost::deliver_append(void* target, const char16_t* text) {
    auto* host = static_cast<PrimeJobHost*>(target);
    QMetaObject::invokeMethod(
        qApp, [host, text] { host->append(text); }, Qt::BlockingQueuedConnection);
}

void PrimeJobHost::deliver_end(void* target) {
    auto* host = static_cast<PrimeJobHost*>(target);
    QMetaObject::invokeMethod(
        qApp, [host] { host->finish(); }, Qt::BlockingQueuedConnection);
}
