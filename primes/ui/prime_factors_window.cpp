#include "primes/ui/prime_factors_window.h"

#include "platform/control.h"
#include "platform/group_box.h"
#include "platform/ui_globals.h"
#include "primes/prime_input.h"
#include "primes/ui/prime_job_host.h"
#include "primes/ui/prime_window_controls.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/string_table.h"

namespace {

constexpr int kClientWidth = 562;
constexpr int kClientHeight = 316;
// The worker's runner outlives every window: the worker touches it until its very end.
JobRunner runner;

const char16_t* slot(int index) {
    return string_table.text[index];
}

}  // namespace

PrimeFactorsWindow::PrimeFactorsWindow(Form* f) : QObject(f), form(f) {
    create_label(form, 15, 17, 30, 21, slot(23));
    input = create_number_box(form, 47, 15, kClientWidth - 62, 21);

    QGroupBox* io_group = create_group_box(form, 15, 43, 98, 85, slot(32));
    base_control = create_number_base_control(io_group, 2, 17, kNumberBaseOffer2 | kNumberBaseOffer8);
    number_base_set_labels(base_control);
    number_base_select_10(base_control);

    QGroupBox* mode_group = create_group_box(form, 119, 43, 150, 85, slot(24));
    factors_mode = create_radio(mode_group, 10, 15, 110, 21, slot(25));
    divisors_mode = create_radio(mode_group, 10, 36, 120, 21, slot(26));
    divisor_count = create_check(mode_group, 10, 57, 120, 21, slot(27));
    factors_mode->setChecked(true);
    divisor_count->setEnabled(false);

    QGroupBox* interval_group = create_group_box(form, 274, 43, 100, 50, slot(28));
    interval = create_number_box(interval_group, 10, 20, 80, 20);
    interval_group->move(interval_group->x() + fit_group(mode_group), interval_group->y());

    output = create_text_box(form, 15, 135, kClientWidth - 32, kClientHeight - 183);
    start = create_button(form, 15, kClientHeight - 33, 75, 25, slot(2));
    stop = create_button(form, 105, kClientHeight - 33, 75, 25, slot(3));
    cancel = create_button(form, kClientWidth - 100, kClientHeight - 33, 85, 25, slot(1));
    stop->setEnabled(false);

    host_ = std::make_unique<PrimeJobHost>(form, output, &runner, [this](bool r) { show_running(r); });

    connect(input, &QLineEdit::textChanged, this, [this] { update_digit_count(); });
    // The count belongs to divisor lists only; toggled follows mouse and keyboard alike.
    connect(factors_mode, &QRadioButton::toggled, this, [this](bool on) { divisor_count->setEnabled(!on); });
    base_control->on_change = [this](int b) { change_base(b); };
    connect(start, &QPushButton::clicked, this, [this] { start_job(); });
    connect(stop, &QPushButton::clicked, this, [this] { host_->stop(); });
    connect(cancel, &QPushButton::clicked, this, [this] { form->close(); });
    form->handler = [this](QWidget*, QEvent* event, bool&) {
        if (event->type() == QEvent::Resize) {
            lay_out();
        } else if (event->type() == QEvent::Close) {
            host_->stop();
            activate_prime_windows_main_window();
        }
    };
}

PrimeFactorsWindow::~PrimeFactorsWindow() {
    // The form outlives this object by the rest of its destruction; its events must not reach the window any more.
    form->handler = {};
    base_control->on_change = {};
    host_.reset();
}

bool PrimeFactorsWindow::running() const {
    return host_->running();
}

void PrimeFactorsWindow::lay_out() {
    const int w = form->width();
    const int h = form->height();
    input->resize(w - 62, input->height());
    output->resize(w - 32, h - 183);
    start->move(start->x(), h - 33);
    stop->move(stop->x(), h - 33);
    cancel->move(w - 100, h - 33);
}

void PrimeFactorsWindow::show_running(bool r) {
    start->setEnabled(!r);
    stop->setEnabled(r);
    // A base change rewrites the inputs through the numeric context, which the worker owns while it runs.
    base_control->setEnabled(!r);
}

void PrimeFactorsWindow::update_digit_count() {
    number_base_set_digit_count(base_control, prime_input_digit_count(to_u16(input->text()), kPrimeFactorsInputChars));
}

void PrimeFactorsWindow::start_job() {
    if (running()) return;
    output->clear();
    PrimeFactorsInput in{
        .number = to_u16(input->text()),
        .interval = to_u16(interval->text()),
        .divisors = divisors_mode->isChecked(),
        .show_count = divisor_count->isChecked(),
        .base = base,
        .group_digits = settings.thousands_sep_algebra != 0,
    };
    const bool valid = prime_factors_read_input(&job_, &in);
    set_number_box(input, in.number);
    set_number_box(interval, in.interval);
    if (!valid) {
        show_message();
        return;
    }
    host_->start_prime_factors(job_);
}

void PrimeFactorsWindow::change_base(int new_base) {
    if (new_base == base || running()) return;
    clear_error_state();
    const bool group = settings.thousands_sep_algebra != 0;
    std::u16string number = to_u16(input->text());
    std::u16string size = to_u16(interval->text());
    if (prime_input_rebase(&number, kExactIntLimbs, base, new_base, group)) set_number_box(input, number);
    if (prime_input_rebase(&size, kExactIntLimbs, base, new_base, group)) set_number_box(interval, size);
    base = new_base;
    output->clear();
    show_message();
}

Form* create_prime_factors_window() {
    Form* form = create_form(kClientWidth, kClientHeight, slot(22), {});
    new PrimeFactorsWindow(form);
    return form;
}

PrimeFactorsWindow* prime_factors_window_of(Form* form) {
    return form != nullptr ? form->findChild<PrimeFactorsWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}
