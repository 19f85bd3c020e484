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

PrimeNumbersWindow::PrimeNumbersWindow(Form* f) : QObject(f), form(f) {
    create_label(form, 15, 17, 30, 21, slot(23));
    input = create_text_box(form, 47, 15, kClientWidth - 62, 61);

    QGroupBox* io_group = create_group_box(form, 15, 83, 98, 85, slot(32));
    base_control = create_number_base_control(io_group, 2, 17, kNumberBaseOffer2 | kNumberBaseOffer8);
    number_base_set_labels(base_control);
    number_base_select_10(base_control);

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

    output = create_text_box(form, 15, 175, kClientWidth - 32, kClientHeight - 223);
    start = create_button(form, 15, kClientHeight - 33, 75, 25, slot(2));
    stop = create_button(form, 105, kClientHeight - 33, 75, 25, slot(3));
    cancel = create_button(form, kClientWidth - 100, kClientHeight - 33, 85, 25, slot(1));
    stop->setEnabled(false);

    host_ = std::make_unique<PrimeJobHost>(form, output, &runner, [this](bool r) { show_running(r); });

    connect(input, &QPlainTextEdit::textChanged, this, [this] { update_digit_count(); });
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

PrimeNumbersWindow::~PrimeNumbersWindow() {
    // The form outlives this object by the rest of its destruction; its events must not reach the window any more.
    form->handler = {};
    base_control->on_change = {};
    host_.reset();
}

bool PrimeNumbersWindow::running() const {
    return host_->running();
}

void PrimeNumbersWindow::lay_out() {
    const int w = form->width();
    const int h = form->height();
    input->resize(w - 62, input->height());
    output->resize(w - 32, h - 223);
    start->move(start->x(), h - 33);
    stop->move(stop->x(), h - 33);
    cancel->move(w - 100, h - 33);
}

void PrimeNumbersWindow::show_running(bool r) {
    start->setEnabled(!r);
    stop->setEnabled(r);
    mode_group->setEnabled(!r);
    method_group->setEnabled(!r);
    // A base change rewrites the inputs through the numeric context, which the worker owns while it runs.
    base_control->setEnabled(!r);
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

void PrimeNumbersWindow::change_base(int new_base) {
    if (new_base == base || running()) return;
    clear_error_state();
    const bool group = settings.thousands_sep_algebra != 0;
    std::u16string number = to_u16(input->toPlainText());
    std::u16string size = to_u16(interval->text());
    if (prime_input_rebase(&number, kProbabilisticIntLimbs, base, new_base, group)) set_text_box(input, number);
    if (prime_input_rebase(&size, kProbabilisticIntLimbs, base, new_base, group)) set_number_box(interval, size);
    base = new_base;
    output->clear();
    show_message();
}

Form* create_prime_numbers_window() {
    Form* form = create_form(kClientWidth, kClientHeight, slot(31), {});
    new PrimeNumbersWindow(form);
    return form;
}

PrimeNumbersWindow* prime_numbers_window_of(Form* form) {
    return form != nullptr ? form->findChild<PrimeNumbersWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}
