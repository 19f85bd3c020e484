// "Prime factors and divisors": the prime factorisation or the divisor list of each number of a run, computed on a
// worker thread that appends one line per number and can be stopped.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <memory>

#include "platform/form.h"
#include "platform/number_base_control.h"
#include "primes/prime_job.h"

class PrimeJobHost;

// The window's controls and state; a child of its form that lives and dies with it.
class PrimeFactorsWindow : public QObject {
    Q_OBJECT
  public:
    explicit PrimeFactorsWindow(Form* form);
    // Stops a running job and waits for its end before the controls go.
    ~PrimeFactorsWindow() override;

    Form* form;
    QLineEdit* input;
    NumberBaseControl* base_control;
    QRadioButton* factors_mode;
    QRadioButton* divisors_mode;
    QCheckBox* divisor_count;
    QLineEdit* interval;
    QPlainTextEdit* output;
    QPushButton* start;
    QPushButton* stop;
    QPushButton* cancel;
    // The base of the input texts and of the output.
    int base = 10;

    void start_job();
    // A base chosen in the selector: the input texts are rewritten in it and the output is emptied.
    void change_base(int new_base);
    bool running() const;

  private:
    void lay_out();
    void show_running(bool running);
    void update_digit_count();

    SPrimeFactorCalc job_{};
    std::unique_ptr<PrimeJobHost> host_;
};

// Builds the window, hidden. Closing it hides it and stops a running job.
Form* create_prime_factors_window();

// The window of a form built by create_prime_factors_window, or null.
PrimeFactorsWindow* prime_factors_window_of(Form* form);
