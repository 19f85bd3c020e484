#include "primes/ui/prime_window.h"

#include "platform/control.h"
#include "platform/group_box.h"
#include "primes/ui/prime_job_host.h"
#include "primes/ui/prime_window_controls.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/string_table.h"

namespace {

// The buttons stand this far above the bottom edge, and the output box ends 15 pixels above them.
constexpr int kButtonRowOffset = 33;
constexpr int kOutputBottomOffset = kButtonRowOffset + 15;

const char16_t* slot(int index) {
    return string_table.text[index];
}

}  // namespace

PrimeWindow::PrimeWindow(Form* f) : QObject(f), form(f) {
    create_label(form, 15, 17, 30, 21, slot(23));
}

PrimeWindow::~PrimeWindow() {
    // The form outlives this object by the rest of its destruction; its events must not reach the window any more.
    form->handler = {};
    base_control->on_change = {};
    host_.reset();
}

void PrimeWindow::create_base_group(int top) {
    QGroupBox* io_group = create_group_box(form, 15, top, 98, 85, slot(32));
    base_control = create_number_base_control(io_group, 2, 17, kNumberBaseOffer2 | kNumberBaseOffer8);
    number_base_set_labels(base_control);
    number_base_select_10(base_control);
}

void PrimeWindow::create_output_and_buttons(int top, int client_width, int client_height) {
    const int y = client_height - kButtonRowOffset;
    output = create_text_box(form, 15, top, client_width - 32, client_height - kOutputBottomOffset - top);
    start = create_button(form, 15, y, 75, 25, slot(2));
    stop = create_button(form, 105, y, 75, 25, slot(3));
    cancel = create_button(form, client_width - 100, y, 85, 25, slot(1));
    stop->setEnabled(false);
}

void PrimeWindow::connect_controls(QWidget* input, JobRunner* runner) {
    input_ = input;
    host_ = std::make_unique<PrimeJobHost>(form, output, runner, [this](bool r) { show_running(r); });
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

bool PrimeWindow::running() const {
    return host_->running();
}

void PrimeWindow::change_base(int new_base) {
    if (new_base == base || running()) return;
    clear_error_state();
    rebase_inputs(new_base, settings.thousands_sep_algebra != 0);
    base = new_base;
    output->clear();
    show_message();
}

void PrimeWindow::lay_out() {
    const int w = form->width();
    const int h = form->height();
    input_->resize(w - 62, input_->height());
    output->resize(w - 32, h - kOutputBottomOffset - output->y());
    start->move(start->x(), h - kButtonRowOffset);
    stop->move(stop->x(), h - kButtonRowOffset);
    cancel->move(w - 100, h - kButtonRowOffset);
}

void PrimeWindow::show_running(bool r) {
    start->setEnabled(!r);
    stop->setEnabled(r);
    enable_options(!r);
    // A base change rewrites the inputs through the numeric context, which the worker owns while it runs.
    base_control->setEnabled(!r);
}
