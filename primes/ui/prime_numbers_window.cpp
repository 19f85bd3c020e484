#include "primes/ui/prime_numbers_window.h"

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

constexpr int kClientWidth = 650;
constexpr int kClientHeight = 368;
// The worker's runner outlives every window: the worker touches it until its very end.
JobRunner runner;

const char16_t* slot(int index) {
    return string_table.text[index];
}

}  // namespace

PrimeNumbersWindow::PrimeNumbersWindow(Form* f) : PrimeWindow(f) {
    input = create_text_box(form, 47, 15, kClientWidth - 62, 61);
    create_base_group(83);

    mode_group = create_group_box(form, 119, 83, 210, 85, slot(24));
    interval_mode = create_radio(mode_group, 10, 15, 110, 21, slot(33));
    next_mode = create_radio(mode_group, 10, 36, 120, 21, slot(34));
    test_mode = create_radio(mode_group, 10, 57, 120, 21, slot(35));
    interval_mode->setChecked(true);
    interval = create_number_box(mode_group, 120, 16, 80, 20);
    interval->setText("100");

    method_group = create_group_box(form, 335, 83, 240, 65, slot(36));
    exact = create_radio(method_group, 10, 15, 225, 21, format_count_text(slot(37), {38, 39}));
    probabilistic = create_radio(method_group, 10, 36, 225, 21, format_count_text(slot(38), {1242}));
    exact->setChecked(true);
    method_group->move(method_group->x() + fit_group(mode_group), method_group->y());
    fit_group(method_group);

    create_output_and_buttons(175, kClientWidth, kClientHeight);
    connect_controls(input, &runner);
    connect(input, &QPlainTextEdit::textChanged, this, [this] { update_digit_count(); });
}

void PrimeNumbersWindow::enable_options(bool enabled) {
    mode_group->setEnabled(enabled);
    method_group->setEnabled(enabled);
}

void PrimeNumbersWindow::update_digit_count() {
    number_base_set_digit_count(base_control,
                                prime_input_digit_count(to_u16(input->toPlainText()), kPrimeNumbersInputChars));
}

void PrimeNumbersWindow::start_job() {
    if (running()) return;
    output->clear();
    PrimeNumbersInput in{
        .number = to_u16(input->toPlainText()),
        .interval = to_u16(interval->text()),
        .method = exact->isChecked()           ? kPrimeMethodExact
                  : probabilistic->isChecked() ? kPrimeMethodProbabilistic
                                               : kPrimeMethodNone,
        .mode = next_mode->isChecked()   ? kPrimeModeNext
                : test_mode->isChecked() ? kPrimeModeTest
                                         : kPrimeModeInterval,
        .base = base,
        .group_digits = settings.thousands_sep_algebra != 0,
    };
    const bool valid = prime_numbers_read_input(&job_, &in);
    set_text_box(input, in.number);
    if (!valid) {
        show_message();
        return;
    }
    host_->start_prime_numbers(job_);
}

void PrimeNumbersWindow::rebase_inputs(int new_base, bool group_digits) {
    std::u16string number = to_u16(input->toPlainText());
    std::u16string size = to_u16(interval->text());
    if (prime_input_rebase(&number, kProbabilisticIntLimbs, base, new_base, group_digits)) set_text_box(input, number);
    if (prime_input_rebase(&size, kProbabilisticIntLimbs, base, new_base, group_digits)) {
        set_number_box(interval, size);
    }
}

Form* create_prime_numbers_window() {
    Form* form = create_form(kClientWidth, kClientHeight, slot(31), {});
    new PrimeNumbersWindow(form);
    return form;
}

PrimeNumbersWindow* prime_numbers_window_of(Form* form) {
    return form != nullptr ? form->findChild<PrimeNumbersWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}
