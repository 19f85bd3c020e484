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

PrimeFactorsWindow::PrimeFactorsWindow(Form* f) : PrimeWindow(f) {
    input = create_number_box(form, 47, 15, kClientWidth - 62, 21);
    create_base_group(43);

    QGroupBox* mode_group = create_group_box(form, 119, 43, 150, 85, slot(24));
    factors_mode = create_radio(mode_group, 10, 15, 110, 21, slot(25));
    divisors_mode = create_radio(mode_group, 10, 36, 120, 21, slot(26));
    divisor_count = create_check(mode_group, 10, 57, 120, 21, slot(27));
    factors_mode->setChecked(true);
    divisor_count->setEnabled(false);

    QGroupBox* interval_group = create_group_box(form, 274, 43, 100, 50, slot(28));
    interval = create_number_box(interval_group, 10, 20, 80, 20);
    interval_group->move(interval_group->x() + fit_group(mode_group), interval_group->y());

    create_output_and_buttons(135, kClientWidth, kClientHeight);
    connect_controls(input, &runner);
    connect(input, &QLineEdit::textChanged, this, [this] { update_digit_count(); });
    // The count belongs to divisor lists only; toggled follows mouse and keyboard alike.
    connect(factors_mode, &QRadioButton::toggled, this, [this](bool on) { divisor_count->setEnabled(!on); });
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

void PrimeFactorsWindow::rebase_inputs(int new_base, bool group_digits) {
    std::u16string number = to_u16(input->text());
    std::u16string size = to_u16(interval->text());
    if (prime_input_rebase(&number, kExactIntLimbs, base, new_base, group_digits)) set_number_box(input, number);
    if (prime_input_rebase(&size, kExactIntLimbs, base, new_base, group_digits)) set_number_box(interval, size);
}

Form* create_prime_factors_window() {
    Form* form = create_form(kClientWidth, kClientHeight, slot(22), {});
    new PrimeFactorsWindow(form);
    return form;
}

PrimeFactorsWindow* prime_factors_window_of(Form* form) {
    return form != nullptr ? form->findChild<PrimeFactorsWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}
