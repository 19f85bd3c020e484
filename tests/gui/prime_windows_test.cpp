// The two prime windows under the offscreen platform: reading and rebasing their inputs, validation messages, the
// worker thread with its output, Stop and Close, the other windows disabled while a job runs, and screenshots.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "numeric/num_context.h"
#include "platform/ui_globals.h"
#include "primes/ui/prime_factors_window.h"
#include "primes/prime_input.h"
#include "primes/ui/prime_job_host.h"
#include "primes/ui/prime_numbers_window.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/string_table.h"

namespace {

using FormPtr = std::unique_ptr<Form>;

// ---- Messages ------------------------------------------------------------------------------------------------

struct Presented {
    std::string text;
    bool on_ui_thread;
};
std::vector<Presented> presented;

void record_message(std::u16string_view, std::u16string_view text) {
    presented.push_back({utf16_to_utf8(text), QThread::currentThread() == qApp->thread()});
}

std::string u8(const std::u16string& text) {
    return utf16_to_utf8(text);
}

struct PrimeFixture : ::testing::Test {
    MessagePresenter previous = nullptr;
    void SetUp() override {
        clear_error_state();
        presented.clear();
        settings.thousands_sep_algebra = 0;
        previous = set_message_presenter(record_message);
    }
    void TearDown() override {
        EXPECT_FALSE(job_context_busy()) << "a job outlived its test";
        EXPECT_EQ(set_message_presenter(previous), record_message) << "a job left its presenter installed";
    }
};

// ---- Reading the inputs --------------------------------------------------------------------------------------

struct NumbersCase {
    const char16_t* number;
    const char16_t* interval;
    uint32_t method;
    uint32_t mode;
    int base;
    bool group;
    const char16_t* message;  // the parameter of message 1000, or null when the input reads
    const char16_t* normalised;
    int32_t size;
};

constexpr uint32_t kExact = kPrimeMethodExact;
constexpr uint32_t kProb = kPrimeMethodProbabilistic;
constexpr uint32_t kRange = kPrimeModeInterval;
const char16_t k2Pow128[] = u"340282366920938463463374607431768211456";

const NumbersCase kNumbersCases[] = {
    {u"", u"100", kExact, kRange, 10, false, u"", u"", 0},
    {u"   ", u"100", kExact, kRange, 10, false, u"   ", u"   ", 0},
    {u"0", u"100", kExact, kRange, 10, false, u"0", u"0", 0},
    {u"12x", u"100", kExact, kRange, 10, false, u"12x", u"12x", 0},
    {u"  0012 ", u"100", kExact, kRange, 10, false, nullptr, u"12", 100},
    {u"1234567", u"100", kExact, kRange, 10, true, nullptr, u"1'234'567", 100},
    {k2Pow128, u"100", kExact, kRange, 10, false, k2Pow128, k2Pow128, 0},
    {k2Pow128, u"100", kProb, kRange, 10, false, nullptr, k2Pow128, 100},
    {u"97", u"1'000", kExact, kRange, 10, false, nullptr, u"97", 1000},
    {u"97", u"", kExact, kRange, 10, false, u"", u"97", 0},
    {u"97", u"0", kExact, kRange, 10, false, u"0", u"97", 0},
    {u"97", u"2147483647", kExact, kRange, 10, false, nullptr, u"97", 2147483647},
    {u"97", u"2147483648", kExact, kRange, 10, false, u"2147483648", u"97", 0},
    {u"97", u"18446744073709551616", kProb, kRange, 10, false, u"18446744073709551616", u"97", 0},
    {u"97", u"abc", kExact, kPrimeModeNext, 10, false, nullptr, u"97", 2147483647},
    {u"97", u"", kProb, kPrimeModeTest, 10, false, nullptr, u"97", 2147483647},
    {u"FF", u"64", kExact, kRange, 16, false, nullptr, u"FF", 100},
    {u"ff", u"64", kExact, kRange, 16, false, u"ff", u"ff", 0},
    {u"2", u"100", kExact, kRange, 2, false, u"2", u"2", 0},
};

TEST_F(PrimeFixture, PrimeNumbersInputReadsIntoTheJob) {
    for (const auto& c : kNumbersCases) {
        const std::string name = u8(c.number) + " / " + u8(c.interval);
        PrimeNumbersInput in{c.number, c.interval, c.method, c.mode, c.base, c.group};
        SPrimeNumberCalc job{};
        const bool ok = prime_numbers_read_input(&job, &in);
        EXPECT_EQ(ok, c.message == nullptr) << name;
        EXPECT_EQ(u8(in.number), u8(c.normalised)) << name;
        if (c.message != nullptr) {
            EXPECT_EQ(message_state.message_code, kMsgInvalidInput) << name;
            EXPECT_EQ(u8(message_state.message_param1), u8(c.message)) << name;
        } else {
            EXPECT_EQ(message_state.message_code, 0u) << name;
            EXPECT_EQ(job.interval, c.size) << name;
            EXPECT_EQ(job.method, c.method) << name;
            EXPECT_EQ(job.mode, c.mode) << name;
            EXPECT_EQ(job.base, c.base) << name;
            EXPECT_EQ(job.parse_flags, 1u) << name;
            EXPECT_EQ(job.format_flags, c.group ? kPrimeFormatGroupDigits : 0u) << name;
        }
        clear_error_state();
    }
}

struct FactorsCase {
    std::u16string number;
    const char16_t* interval;
    const char16_t* message;
    uint64_t low;  // the number's low word when it reads
    const char16_t* interval_after;
    uint32_t size;
};

const FactorsCase kFactorsCases[] = {
    {u"360", u"", nullptr, 360, u"", 1},
    {u"360", u"   ", nullptr, 360, u"   ", 1},
    {u"360", u" 0024 ", nullptr, 360, u"24", 24},
    {u"360", u"1000000", nullptr, 360, u"1000000", 1000000},
    {u"360", u"1000001", u"1000001", 360, u"1000001", 0},
    {u"360", u"0", u"0", 360, u"0", 0},
    {u"", u"", u"", 0, u"", 0},
    {k2Pow128, u"", k2Pow128, 0, u"", 0},
    {u"340282366920938463463374607431768211455", u"", nullptr, UINT64_MAX, u"", 1},
    // Only the first 60 characters are read.
    {std::u16string(57, u'0') + u"360", u"", nullptr, 360, u"", 1},
    {std::u16string(58, u'0') + u"360", u"", nullptr, 36, u"", 1},
};

TEST_F(PrimeFixture, PrimeFactorsInputReadsIntoTheJob) {
    for (const auto& c : kFactorsCases) {
        const std::string name = u8(c.number) + " / " + u8(c.interval);
        PrimeFactorsInput in{c.number, c.interval, true, true, 10, false};
        SPrimeFactorCalc job{};
        const bool ok = prime_factors_read_input(&job, &in);
        EXPECT_EQ(ok, c.message == nullptr) << name;
        EXPECT_EQ(u8(in.interval), u8(c.interval_after)) << name;
        if (c.message != nullptr) {
            EXPECT_EQ(message_state.message_code, kMsgInvalidInput) << name;
            EXPECT_EQ(u8(message_state.message_param1), u8(c.message)) << name;
        } else {
            EXPECT_EQ(job.number[0], c.low) << name;
            EXPECT_EQ(job.interval, c.size) << name;
            EXPECT_EQ(job.divisors, 1) << name;
            EXPECT_EQ(job.show_count, 1) << name;
        }
        clear_error_state();
    }
}

TEST_F(PrimeFixture, ReadingKeepsTheContextWidth) {
    const int32_t width = num_ctx.int_limbs;
    PrimeNumbersInput numbers{u"97", u"100", kProb, kRange, 10, false};
    SPrimeNumberCalc job{};
    EXPECT_TRUE(prime_numbers_read_input(&job, &numbers));
    PrimeFactorsInput factors{u"12x", u"", false, false, 10, false};
    SPrimeFactorCalc factor_job{};
    EXPECT_FALSE(prime_factors_read_input(&factor_job, &factors));
    EXPECT_EQ(num_ctx.int_limbs, width);
}

struct RebaseCase {
    const char16_t* text;
    int width;
    int from;
    int to;
    bool group;
    const char16_t* result;  // null: the text does not read and stays
};

const RebaseCase kRebaseCases[] = {
    {u"255", 129, 10, 16, false, u"FF"},   {u"FF", 129, 16, 2, false, u"11111111"},
    {u"11111111", 2, 2, 8, false, u"377"}, {u"1'000", 2, 10, 16, false, u"3E8"},
    {u"65535", 2, 10, 16, true, u"FFFF"},  {u"FFFFF", 2, 16, 10, true, u"1'048'575"},
    {u"", 2, 10, 16, false, u""},          {u"   ", 2, 10, 16, false, u"   "},
    {u"12x", 2, 10, 16, false, nullptr},   {u"9", 2, 8, 16, false, nullptr},
    {k2Pow128, 2, 10, 16, false, nullptr}, {k2Pow128, 129, 10, 16, false, u"100000000000000000000000000000000"},
};

TEST_F(PrimeFixture, RebaseRewritesReadableTexts) {
    for (const auto& c : kRebaseCases) {
        std::u16string text = c.text;
        const bool ok = prime_input_rebase(&text, c.width, c.from, c.to, c.group);
        EXPECT_EQ(ok, c.result != nullptr) << u8(c.text);
        EXPECT_EQ(u8(text), u8(c.result != nullptr ? c.result : c.text)) << u8(c.text);
        EXPECT_EQ(message_state.message_code, ok ? 0u : kMsgInvalidInput) << u8(c.text);
        if (!ok) {
            EXPECT_EQ(u8(message_state.message_param1), u8(c.text));
        }
        clear_error_state();
    }
}

TEST(PrimeInput, CountsAsciiDigitsAndLettersOfTheReadPart) {
    EXPECT_EQ(prime_input_digit_count(u"12 ab-+'", 100), 4);
    EXPECT_EQ(prime_input_digit_count(u"\u00c49z\u00df", 100), 2);
    EXPECT_EQ(prime_input_digit_count(u"123456", 3), 3);
    EXPECT_EQ(prime_input_digit_count(u"", 60), 0);
}

// ---- Windows -------------------------------------------------------------------------------------------------

bool wait_until(const std::function<bool()>& done, int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout_ms) return false;
        QTest::qWait(5);
    }
    return true;
}

void choose_base(NumberBaseControl* control, int base) {
    const int index = control->base_list->findText(QString::number(base));
    ASSERT_GE(index, 0);
    control->base_list->setCurrentIndex(index);
    emit control->base_list->activated(index);
}

void show(QWidget* form) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
}

void save(QWidget* form, const char* name) {
    QDir().mkpath(CALCARIUM_SCREENSHOT_DIR);
    const QString path = QString(CALCARIUM_SCREENSHOT_DIR) + "/" + name;
    EXPECT_TRUE(form->grab().save(path)) << path.toStdString();
}

struct LayoutCase {
    int width;
    int height;
};
const LayoutCase kLayoutCases[] = {{650, 368}, {900, 600}, {500, 300}};

// The boxes and buttons that follow the client size, and the heights the two output boxes leave free.
struct Resizable {
    QWidget* input;
    QPlainTextEdit* output;
    QPushButton* start;
    QPushButton* stop;
    QPushButton* cancel;
    int input_height;
    int output_top;
    int output_margin;
};

void expect_layout_follows_the_size(Form* form, const Resizable& r) {
    show(form);
    for (const auto& c : kLayoutCases) {
        form->resize(c.width, c.height);
        QCoreApplication::processEvents();
        EXPECT_EQ(r.input->geometry(), QRect(47, 15, c.width - 62, r.input_height)) << c.width;
        EXPECT_EQ(r.output->geometry(), QRect(15, r.output_top, c.width - 32, c.height - r.output_margin)) << c.width;
        EXPECT_EQ(r.start->geometry(), QRect(15, c.height - 33, 75, 25)) << c.width;
        EXPECT_EQ(r.stop->geometry(), QRect(105, c.height - 33, 75, 25)) << c.width;
        EXPECT_EQ(r.cancel->geometry(), QRect(c.width - 100, c.height - 33, 85, 25)) << c.width;
    }
}

TEST_F(PrimeFixture, WindowsAreBuiltHiddenAndFollowTheirSize) {
    FormPtr numbers(create_prime_numbers_window());
    PrimeNumbersWindow* n = prime_numbers_window_of(numbers.get());
    ASSERT_NE(n, nullptr);
    EXPECT_FALSE(numbers->isVisible());
    EXPECT_EQ(numbers->size(), QSize(650, 368));
    EXPECT_EQ(numbers->windowTitle(), "Prime numbers");
    expect_layout_follows_the_size(numbers.get(), {n->input, n->output, n->start, n->stop, n->cancel, 61, 175, 223});

    FormPtr factors(create_prime_factors_window());
    PrimeFactorsWindow* f = prime_factors_window_of(factors.get());
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(factors->isVisible());
    EXPECT_EQ(factors->size(), QSize(562, 316));
    EXPECT_EQ(factors->windowTitle(), "Prime factors and divisors");
    expect_layout_follows_the_size(factors.get(), {f->input, f->output, f->start, f->stop, f->cancel, 21, 135, 183});
}

// Every option text shows whole, and the groups that grew for them do not overlap, in both languages.
void expect_texts_fit(Form* form, const char* language) {
    for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        if (qobject_cast<QPushButton*>(button) != nullptr) continue;  // push buttons centre a text that fits
        EXPECT_GE(button->width(), button->sizeHint().width()) << language << ": " << button->text().toStdString();
    }
    const QList<QGroupBox*> groups = form->findChildren<QGroupBox*>();
    for (QGroupBox* a : groups) {
        EXPECT_LE(a->geometry().right(), form->width()) << language << ": " << a->title().toStdString();
        for (QGroupBox* b : groups) {
            if (a != b) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry())) << a->title().toStdString();
            }
        }
    }
}

TEST_F(PrimeFixture, OptionTextsFitInBothLanguages) {
    for (const uint32_t language : {kLanguageEnglish, kLanguageGerman}) {
        load_string_table(language);
        const char* name = language == kLanguageGerman ? "German" : "English";
        FormPtr numbers(create_prime_numbers_window());
        expect_texts_fit(numbers.get(), name);
        FormPtr factors(create_prime_factors_window());
        expect_texts_fit(factors.get(), name);
    }
    load_string_table(kLanguageEnglish);
}

TEST_F(PrimeFixture, PrimeNumbersWindowStartsWithItsDefaults) {
    FormPtr form(create_prime_numbers_window());
    PrimeNumbersWindow* w = prime_numbers_window_of(form.get());
    EXPECT_EQ(w->exact->text(), "exact (max. 38 to 39 decimal digits)");
    EXPECT_EQ(w->probabilistic->text(), "probabilistic (max. 1242 decimal digits)");
    EXPECT_TRUE(w->exact->isChecked());
    EXPECT_TRUE(w->interval_mode->isChecked());
    EXPECT_EQ(w->interval->text(), "100");
    EXPECT_TRUE(w->start->isEnabled());
    EXPECT_FALSE(w->stop->isEnabled());
    EXPECT_EQ(w->base, 10);
    EXPECT_EQ(number_base_selected(w->base_control), 10);
    EXPECT_EQ(w->base_control->base_list->count(), 4);
    EXPECT_EQ(w->base_control->digit_count->text(), "0 ");
    w->input->setPlainText("12 ab");
    EXPECT_EQ(w->base_control->digit_count->text(), "4 ");
}

TEST_F(PrimeFixture, DivisorCountIsOfferedForDivisorsOnly) {
    FormPtr form(create_prime_factors_window());
    PrimeFactorsWindow* w = prime_factors_window_of(form.get());
    show(form.get());
    EXPECT_TRUE(w->factors_mode->isChecked());
    EXPECT_FALSE(w->divisor_count->isEnabled());
    EXPECT_TRUE(w->interval->text().isEmpty());
    EXPECT_FALSE(w->stop->isEnabled());
    QTest::mouseClick(w->divisors_mode, Qt::LeftButton);
    EXPECT_TRUE(w->divisor_count->isEnabled());
    w->divisors_mode->setFocus();
    QTest::keyClick(w->divisors_mode, Qt::Key_Up);
    EXPECT_TRUE(w->factors_mode->isChecked());
    EXPECT_FALSE(w->divisor_count->isEnabled());
    w->input->setText(QString(70, '7'));
    EXPECT_EQ(w->base_control->digit_count->text(), "60 ");
}

TEST_F(PrimeFixture, InvalidInputShowsMessage1000AndStartsNothing) {
    FormPtr numbers(create_prime_numbers_window());
    PrimeNumbersWindow* n = prime_numbers_window_of(numbers.get());
    n->output->setPlainText("old");
    n->start->click();
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_EQ(presented[0].text, "Invalid input \"\" !");
    EXPECT_FALSE(n->running());
    EXPECT_TRUE(n->start->isEnabled());
    EXPECT_TRUE(n->output->toPlainText().isEmpty());

    n->input->setPlainText(QString::fromUtf16(k2Pow128));
    n->start->click();
    ASSERT_EQ(presented.size(), 2u);
    EXPECT_EQ(presented[1].text, "Invalid input \"340282366920938463463374607431768211456\" !");

    // The start number is written back normalised even when the interval then fails.
    n->input->setPlainText(" 0097");
    n->interval->setText("2147483648");
    n->start->click();
    ASSERT_EQ(presented.size(), 3u);
    EXPECT_EQ(presented[2].text, "Invalid input \"2147483648\" !");
    EXPECT_EQ(n->input->toPlainText(), "97");

    FormPtr factors(create_prime_factors_window());
    PrimeFactorsWindow* f = prime_factors_window_of(factors.get());
    f->input->setText("360");
    f->interval->setText("1000001");
    f->start->click();
    ASSERT_EQ(presented.size(), 4u);
    EXPECT_EQ(presented[3].text, "Invalid input \"1000001\" !");
    EXPECT_FALSE(f->running());
    for (const auto& p : presented) EXPECT_TRUE(p.on_ui_thread);
    EXPECT_EQ(message_state.message_code, 0u);
}

TEST_F(PrimeFixture, BaseChangeRewritesTheInputsAndEmptiesTheOutput) {
    FormPtr form(create_prime_numbers_window());
    PrimeNumbersWindow* w = prime_numbers_window_of(form.get());
    show(form.get());
    w->input->setPlainText("255");
    w->output->setPlainText("old output");
    choose_base(w->base_control, 16);
    EXPECT_EQ(w->input->toPlainText(), "FF");
    EXPECT_EQ(w->interval->text(), "64");
    EXPECT_TRUE(w->output->toPlainText().isEmpty());
    EXPECT_EQ(w->base, 16);
    // Choosing the base already in use changes nothing.
    w->output->setPlainText("kept");
    choose_base(w->base_control, 16);
    EXPECT_EQ(w->output->toPlainText(), "kept");
    choose_base(w->base_control, 2);
    EXPECT_EQ(w->input->toPlainText(), "11111111");
    EXPECT_EQ(w->interval->text(), "1100100");
    EXPECT_TRUE(presented.empty());

    FormPtr factors(create_prime_factors_window());
    PrimeFactorsWindow* f = prime_factors_window_of(factors.get());
    f->input->setText("12x");
    f->interval->setText("10");
    choose_base(f->base_control, 8);
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_EQ(presented[0].text, "Invalid input \"12x\" !");
    EXPECT_EQ(f->input->text(), "12x");
    EXPECT_EQ(f->interval->text(), "12");
    EXPECT_EQ(f->base, 8);
}

// Top-level windows besides the prime window: one enabled, one disabled before the job.
struct OtherWindows {
    FormPtr enabled{create_form(200, 100, u"Enabled", {})};
    FormPtr disabled{create_form(200, 100, u"Disabled", {})};
    OtherWindows() {
        enabled->show();
        disabled->show();
        disabled->setEnabled(false);
    }
};

// A probabilistic interval that prints primes for minutes.
void start_long_prime_job(PrimeNumbersWindow* w) {
    w->probabilistic->setChecked(true);
    w->interval_mode->setChecked(true);
    w->input->setPlainText("1000000000000000000000000000000");
    w->interval->setText("2147483647");
    w->start->click();
}

TEST_F(PrimeFixture, RunningJobAppendsWhileTheWindowStaysResponsiveAndStopEndsIt) {
    OtherWindows others;
    FormPtr form(create_prime_numbers_window());
    PrimeNumbersWindow* w = prime_numbers_window_of(form.get());
    show(form.get());
    start_long_prime_job(w);
    ASSERT_TRUE(w->running());
    EXPECT_FALSE(w->start->isEnabled());
    EXPECT_TRUE(w->stop->isEnabled());
    EXPECT_FALSE(w->mode_group->isEnabled());
    EXPECT_FALSE(w->method_group->isEnabled());
    EXPECT_FALSE(w->base_control->isEnabled());
    EXPECT_TRUE(w->input->isEnabled());
    EXPECT_FALSE(others.enabled->isEnabled());
    EXPECT_FALSE(others.disabled->isEnabled());
    EXPECT_TRUE(form->isEnabled());

    // Timer events keep arriving while the output grows piece by piece.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);
    ASSERT_TRUE(wait_until([w] { return w->output->toPlainText().size() > 200; }, 5000));
    const qsizetype first = w->output->toPlainText().size();
    QTest::qWait(150);
    EXPECT_GT(w->output->toPlainText().size(), first);
    EXPECT_GE(ticks, 5);
    EXPECT_TRUE(w->running());

    QElapsedTimer stop_time;
    stop_time.start();
    QTest::mouseClick(w->stop, Qt::LeftButton);
    ASSERT_TRUE(wait_until([w] { return !w->running(); }, 2000));
    std::printf("stop to idle: %lld ms\n", static_cast<long long>(stop_time.elapsed()));
    EXPECT_LT(stop_time.elapsed(), 1000);
    EXPECT_TRUE(w->start->isEnabled());
    EXPECT_FALSE(w->stop->isEnabled());
    EXPECT_TRUE(w->mode_group->isEnabled());
    EXPECT_TRUE(w->method_group->isEnabled());
    EXPECT_TRUE(w->base_control->isEnabled());
    EXPECT_TRUE(others.enabled->isEnabled());
    EXPECT_FALSE(others.disabled->isEnabled()) << "a window disabled before the job stays disabled";
    const QString text = w->output->toPlainText();
    EXPECT_TRUE(text.startsWith("Prime numbers from 1000000000000000000000000000000 to "))
        << text.left(80).toStdString();
    EXPECT_FALSE(text.contains("Number of prime numbers"));
    EXPECT_TRUE(presented.empty());
}

TEST_F(PrimeFixture, ClosingARunningWindowStopsTheJobAndActivatesTheMainWindow) {
    OtherWindows others;
    FormPtr main(create_form(300, 40, u"Main", {}));
    show(main.get());
    set_prime_windows_main_window(main.get());
    FormPtr form(create_prime_numbers_window());
    PrimeNumbersWindow* w = prime_numbers_window_of(form.get());
    show(form.get());
    start_long_prime_job(w);
    ASSERT_TRUE(w->running());
    EXPECT_FALSE(main->isEnabled());
    ASSERT_TRUE(wait_until([w] { return !w->output->toPlainText().isEmpty(); }, 5000));
    QTest::mouseClick(w->cancel, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    ASSERT_TRUE(wait_until([w] { return !w->running(); }, 2000));
    EXPECT_TRUE(main->isEnabled());
    EXPECT_TRUE(others.enabled->isEnabled());
    EXPECT_FALSE(others.disabled->isEnabled());
    EXPECT_TRUE(wait_until([&main] { return main->isActiveWindow(); }, 2000));
    EXPECT_FALSE(w->output->toPlainText().isEmpty()) << "the output stays until the next start";
    set_prime_windows_main_window(nullptr);
}

TEST_F(PrimeFixture, DestroyingARunningWindowWaitsForItsWorker) {
    OtherWindows others;
    FormPtr form(create_prime_numbers_window());
    PrimeNumbersWindow* w = prime_numbers_window_of(form.get());
    start_long_prime_job(w);
    ASSERT_TRUE(w->running());
    ASSERT_TRUE(wait_until([w] { return !w->output->toPlainText().isEmpty(); }, 5000));
    QElapsedTimer timer;
    timer.start();
    form.reset();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(job_context_busy());
    EXPECT_TRUE(others.enabled->isEnabled());
}

TEST_F(PrimeFixture, WorkerMessagesAreShownOnTheUserInterfaceThread) {
    FormPtr form(create_prime_numbers_window());
    PrimeNumbersWindow* w = prime_numbers_window_of(form.get());
    w->input->setPlainText("340282366920938463463374607431768211455");
    w->interval->setText("2");
    w->start->click();
    ASSERT_TRUE(wait_until([w] { return !w->running(); }, 5000));
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_EQ(presented[0].text, "Overflow in prime number calculation!");
    EXPECT_TRUE(presented[0].on_ui_thread);
}

TEST_F(PrimeFixture, FactorsOf360WithDivisorsAndTheirCount) {
    FormPtr form(create_prime_factors_window());
    PrimeFactorsWindow* w = prime_factors_window_of(form.get());
    show(form.get());
    QTest::keyClicks(w->input, "360");
    QTest::mouseClick(w->divisors_mode, Qt::LeftButton);
    QTest::mouseClick(w->divisor_count, Qt::LeftButton);
    QTest::mouseClick(w->start, Qt::LeftButton);
    ASSERT_TRUE(wait_until([w] { return !w->running(); }, 5000));
    EXPECT_EQ(w->output->toPlainText().toStdString(),
              "D 360 = { 1, 2, 3, 4, 5, 6, 8, 9, 10, 12, 15, 18, 20, 24, 30, 36, 40, 45, 60, 72, 90, 120, 180, 360 }  "
              "[24]\n");
    EXPECT_TRUE(presented.empty());

    // Prime factors of a run, written in the window's base.
    QTest::mouseClick(w->factors_mode, Qt::LeftButton);
    w->interval->setText("3");
    choose_base(w->base_control, 16);
    EXPECT_EQ(w->input->text(), "168");
    EXPECT_EQ(w->interval->text(), "3");
    w->start->click();
    ASSERT_TRUE(wait_until([w] { return !w->running(); }, 5000));
    EXPECT_EQ(w->output->toPlainText().toStdString(), "168 = 2^3 * 3^2 * 5\n169 = 13^2\n16A = 2 * B5\n");
}

TEST_F(PrimeFixture, Screenshots) {
    FormPtr numbers(create_prime_numbers_window());
    PrimeNumbersWindow* n = prime_numbers_window_of(numbers.get());
    show(numbers.get());
    n->input->setPlainText("1000000000000");
    n->interval->setText("300");
    n->start->click();
    ASSERT_TRUE(wait_until([n] { return !n->running(); }, 5000));
    QTest::qWait(20);
    save(numbers.get(), "prime_numbers.png");

    FormPtr factors(create_prime_factors_window());
    PrimeFactorsWindow* f = prime_factors_window_of(factors.get());
    show(factors.get());
    f->input->setText("360");
    f->interval->setText("8");
    f->divisors_mode->click();
    f->divisor_count->setChecked(true);
    f->start->click();
    ASSERT_TRUE(wait_until([f] { return !f->running(); }, 5000));
    QTest::qWait(20);
    save(factors.get(), "prime_factors.png");
    EXPECT_TRUE(presented.empty());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("CALCARIUM_CONFIG_DIR", config.path().toUtf8());
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setQuitOnLastWindowClosed(false);
    init_ui_font();
    init_numeric_context();
    load_string_table(kLanguageEnglish);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
