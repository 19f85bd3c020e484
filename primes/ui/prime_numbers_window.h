// "Prime numbers": primality test, next prime and the primes of an interval, by the exact or the probabilistic
// method, computed on a worker thread that appends its output piece by piece and can be stopped.
#pragma once

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
class PrimeNumbersWindow : public QObject {
    Q_OBJECT
  public:
    explicit PrimeNumbersWindow(Form* form);
    // Stops a running job and waits for its end before the controls go.
    ~PrimeNumbersWindow() override;

    Form* form;
    QPlainTextEdit* input;
    NumberBaseControl* base_control;
    QGroupBox* mode_group;
    QRadioButton* interval_mode;
    QRadioButton* next_mode;
    QRadioButton* test_mode;
    QLineEdit* interval;
    QGroupBox* method_group;
    QRadioButton* exact;
    QRadioButton* probabilistic;
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

    SPrimeNumberCalc job_{};
    std::unique_ptr<PrimeJobHost> host_;
};

// Builds the window, hidden. Closing it hides it and stops a running job.
Form* create_prime_numbers_window();

// The window of a form built by create_prime_numbers_window, or null.
PrimeNumbersWindow* prime_numbers_window_of(Form* form);
