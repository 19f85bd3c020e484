// "Prime factors and divisors": the prime factorisation or the divisor list of each number of a run, computed on a
// worker thread that appends one line per number and can be stopped.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include "platform/form.h"
#include "primes/prime_job.h"
#include "primes/ui/prime_window.h"

// The window's own controls and job; the shared ones are PrimeWindow's.
class PrimeFactorsWindow : public PrimeWindow {
    Q_OBJECT
  public:
    explicit PrimeFactorsWindow(Form* form);

    QLineEdit* input;
    QRadioButton* factors_mode;
    QRadioButton* divisors_mode;
    QCheckBox* divisor_count;
    QLineEdit* interval;

    void start_job() override;

  private:
    void rebase_inputs(int new_base, bool group_digits) override;
    void update_digit_count();

    SPrimeFactorCalc job_{};
};

// Builds the window, hidden. Closing it hides it and stops a running job.
Form* create_prime_factors_window();

// The window of a form built by create_prime_factors_window, or null.
PrimeFactorsWindow* prime_factors_window_of(Form* form);
