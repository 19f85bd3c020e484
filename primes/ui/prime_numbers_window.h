// "Prime numbers": primality test, next prime and the primes of an interval, by the exact or the probabilistic
// method, computed on a worker thread that appends its output piece by piece and can be stopped.
#pragma once

#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "platform/form.h"
#include "primes/prime_job.h"
#include "primes/ui/prime_window.h"

// The window's own controls and job; the shared ones are PrimeWindow's.
class PrimeNumbersWindow : public PrimeWindow {
    Q_OBJECT
  public:
    explicit PrimeNumbersWindow(Form* form);

    QPlainTextEdit* input;
    QGroupBox* mode_group;
    QRadioButton* interval_mode;
    QRadioButton* next_mode;
    QRadioButton* test_mode;
    QLineEdit* interval;
    QGroupBox* method_group;
    QRadioButton* exact;
    QRadioButton* probabilistic;

    void start_job() override;

  private:
    void rebase_inputs(int new_base, bool group_digits) override;
    void enable_options(bool enabled) override;
    void update_digit_count();

    SPrimeNumberCalc job_{};
};

// Builds the window, hidden. Closing it hides it and stops a running job.
Form* create_prime_numbers_window();

// The window of a form built by create_prime_numbers_window, or null.
PrimeNumbersWindow* prime_numbers_window_of(Form* form);
