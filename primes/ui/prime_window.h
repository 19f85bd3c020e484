// What the two prime windows share: the label of the input box, the number base group, the output box with Start,
// Stop and Cancel under it, the job host with the running state, the change of base, and the form's resize and
// close handling. A window creates its controls top to bottom, which is also their tab order: the constructor here
// makes the label, the window its input box, create_base_group the base group, the window its own options, and
// create_output_and_buttons the rest; connect_controls then wires them.
#pragma once

#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <memory>

#include "platform/form.h"
#include "platform/number_base_control.h"
#include "primes/prime_job.h"

class PrimeJobHost;

// The window's shared controls and state; a child of its form that lives and dies with it.
class PrimeWindow : public QObject {
    Q_OBJECT
  public:
    // Stops a running job and waits for its end before the controls go.
    ~PrimeWindow() override;

    Form* form;
    NumberBaseControl* base_control = nullptr;
    QPlainTextEdit* output = nullptr;
    QPushButton* start = nullptr;
    QPushButton* stop = nullptr;
    QPushButton* cancel = nullptr;
    // The base of the input texts and of the output.
    int base = 10;

    virtual void start_job() = 0;
    // A base chosen in the selector: the input texts are rewritten in it and the output is emptied.
    void change_base(int new_base);
    bool running() const;

  protected:
    // Creates the label of the input box at the top left.
    explicit PrimeWindow(Form* form);

    // The number base group at the left edge, top pixels down; its selector starts at base 10.
    void create_base_group(int top);
    // The output box from top down to 15 pixels above the bottom row, and Start, Stop (disabled) and Cancel in it.
    void create_output_and_buttons(int top, int client_width, int client_height);
    // Wires the selector, the buttons and the job host (on runner, which outlives every window) and takes the form's
    // events: a resize stretches the input box and the output box, a close stops a running job.
    void connect_controls(QWidget* input, JobRunner* runner);

    // Rewrites the window's input texts from base to new_base.
    virtual void rebase_inputs(int new_base, bool group_digits) = 0;
    // Enables or disables the window's own options, which stay locked while a job runs; none by default.
    virtual void enable_options(bool /*enabled*/) {}

    std::unique_ptr<PrimeJobHost> host_;

  private:
    void lay_out();
    void show_running(bool running);

    QWidget* input_ = nullptr;
};
