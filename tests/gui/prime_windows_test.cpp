// The two prime windows under the offscreen platform: reading and rebasing their inputs, validation messages, the
// worker thread with its output, Stop and Close, the other windows disabled while a job runs, and screenshots.
#include <gtest/gtest.h>

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

#include "numeric/num_context.h"
#include "platform/ui_globals.h"
#include "primes/prime_input.h"
#include "primes/ui/prime_factors_window.h"
#include "primes/ui/prime_job_host.h"
#include "primes/ui/prime_numbers_window.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/string_table.h"

// Failure messages show texts as text.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using FormPtr = std::unique_ptr<Form>;

// The messages shown; one shown outside the user-interface thread is marked.
QStringList presented;

void record_message(std::u16string_view, std::u16string_view text) {
    presented << to_qstring(text) + (QThread::currentThread() == qApp->thread() ? "" : " [worker thread]");
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
    // A failed read sets message 1000 with the offending text (null: the read succeeded and set no message).
    static void expect_message(const char16_t* offending, const std::string& name) {
        EXPECT_EQ(message_state.message_code, offending != nullptr ? kMsgInvalidInput : 0u) << name;
        EXPECT_EQ(u8(message_state.message_param1), u8(offending != nullptr ? offending : u"")) << name;
        clear_error_state();
    }
};

constexpr uint32_t kExact = kPrimeMethodExact;
constexpr uint32_t kProb = kPrimeMethodProbabilistic;
constexpr uint32_t kRange = kPrimeModeInterval;
const char16_t k2Pow128[] = u"340282366920938463463374607431768211456";

TEST_F(PrimeFixture, PrimeNumbersInputReadsIntoTheJobAtTheContextWidth) {
    // Number, interval, method, mode, base, grouping; the offending text of message 1000 (null when the input
    // reads), the number written back, the interval read.
    const std::tuple<const char16_t*, const char16_t*, uint32_t, uint32_t, int, bool, const char16_t*, const char16_t*,
                     int32_t>
        cases[] = {{u"   ", u"100", kExact, kRange, 10, false, u"   ", u"   ", 0},
                   {u"0", u"100", kExact, kRange, 10, false, u"0", u"0", 0},
                   {u"  0012 ", u"1'000", kExact, kRange, 10, false, nullptr, u"12", 1000},
                   {u"1234567", u"100", kExact, kRange, 10, true, nullptr, u"1'234'567", 100},
                   {k2Pow128, u"100", kExact, kRange, 10, false, k2Pow128, k2Pow128, 0},
                   {k2Pow128, u"100", kProb, kRange, 10, false, nullptr, k2Pow128, 100},
                   {u"97", u"", kExact, kRange, 10, false, u"", u"97", 0},
                   {u"97", u"2147483647", kExact, kRange, 10, false, nullptr, u"97", 2147483647},
                   {u"97", u"2147483648", kExact, kRange, 10, false, u"2147483648", u"97", 0},
                   {u"97", u"abc", kExact, kPrimeModeNext, 10, false, nullptr, u"97", 2147483647},
                   {u"FF", u"64", kExact, kRange, 16, false, nullptr, u"FF", 100},
                   {u"ff", u"64", kExact, kRange, 16, false, u"ff", u"ff", 0}};
    const int32_t width = num_ctx.int_limbs;
    for (const auto& [number, interval, method, mode, base, group, message, normalised, size] : cases) {
        const std::string name = u8(number) + " / " + u8(interval);
        PrimeNumbersInput in{number, interval, method, mode, base, group};
        SPrimeNumberCalc job{};
        EXPECT_EQ(prime_numbers_read_input(&job, &in), message == nullptr) << name;
        EXPECT_EQ(u8(in.number), u8(normalised)) << name;
        if (message == nullptr) {
            EXPECT_EQ(std::tuple(job.interval, job.method, job.mode, job.base, job.format_flags),
                      std::tuple(size, method, mode, base, group ? kPrimeFormatGroupDigits : 0u))
                << name;
        }
        expect_message(message, name);
    }
    EXPECT_EQ(num_ctx.int_limbs, width);
}

TEST_F(PrimeFixture, PrimeFactorsInputReadsIntoTheJobAndRebaseRewritesReadableTexts) {
    // Number, interval; the offending text (null when the input reads), the number's low word, the interval
    // written back, the interval read.
    const std::tuple<std::u16string, const char16_t*, const char16_t*, uint64_t, const char16_t*, uint32_t> cases[] = {
        {u"360", u" 0024 ", nullptr, 360, u"24", 24},
        {u"360", u"1000000", nullptr, 360, u"1000000", 1000000},
        {u"360", u"1000001", u"1000001", 360, u"1000001", 0},
        {k2Pow128, u"", k2Pow128, 0, u"", 0},
        {u"340282366920938463463374607431768211455", u"", nullptr, UINT64_MAX, u"", 1},
        {std::u16string(57, u'0') + u"360", u"", nullptr, 360, u"", 1},  // only the first 60 characters are read
        {std::u16string(58, u'0') + u"360", u"", nullptr, 36, u"", 1}};
    for (const auto& [number, interval, message, low, interval_after, size] : cases) {
        const std::string name = u8(number) + " / " + u8(interval);
        PrimeFactorsInput in{number, interval, true, true, 10, false};
        SPrimeFactorCalc job{};
        EXPECT_EQ(prime_factors_read_input(&job, &in), message == nullptr) << name;
        EXPECT_EQ(u8(in.interval), u8(interval_after)) << name;
        if (message == nullptr) {
            EXPECT_EQ(std::tuple(job.number[0], job.interval, job.divisors, job.show_count),
                      std::tuple(low, size, 1, 1))
                << name;
        }
        expect_message(message, name);
    }

    // Text, width, old base, new base, grouping, result (null: the text does not read and stays).
    const std::tuple<const char16_t*, int, int, int, bool, const char16_t*> rebases[] = {
        {u"FF", 129, 16, 2, false, u"11111111"},
        {u"FFFFF", 2, 16, 10, true, u"1'048'575"},
        {u"   ", 2, 10, 16, false, u"   "},
        {k2Pow128, 2, 10, 16, false, nullptr},
        {k2Pow128, 129, 10, 16, false, u"100000000000000000000000000000000"}};
    for (const auto& [original, width, from, to, group, result] : rebases) {
        std::u16string text = original;
        EXPECT_EQ(prime_input_rebase(&text, width, from, to, group), result != nullptr) << u8(original);
        EXPECT_EQ(u8(text), u8(result != nullptr ? result : original)) << u8(original);
        expect_message(result != nullptr ? nullptr : original, u8(original));
    }
    EXPECT_EQ(prime_input_digit_count(u"12 ab-+'\u00c4\u00df", 100), 4);
}

bool wait_until(const std::function<bool()>& done, int timeout_ms = 5000) {
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

// "1" for each enabled widget, "0" for each disabled one.
std::string enabled(std::initializer_list<QWidget*> widgets) {
    std::string flags;
    for (QWidget* w : widgets) flags += w->isEnabled() ? '1' : '0';
    return flags;
}

TEST_F(PrimeFixture, InvalidInputIsNamedAndStartsNothingAndABaseChangeRewritesTheInputs) {
    FormPtr numbers(create_prime_numbers_window());
    PrimeNumbersWindow* n = prime_numbers_window_of(numbers.get());
    n->output->setPlainText("old");
    n->input->setPlainText(" 0097");  // written back normalised even when the interval then fails
    n->interval->setText("2147483648");
    n->start->click();
    EXPECT_EQ(n->input->toPlainText(), "97");
    EXPECT_FALSE(n->running());
    EXPECT_TRUE(n->output->toPlainText().isEmpty());

    n->input->setPlainText("255");
    n->interval->setText("100");
    n->output->setPlainText("old output");
    choose_base(n->base_control, 16);
    EXPECT_EQ(n->input->toPlainText(), "FF");
    EXPECT_EQ(n->interval->text(), "64");
    EXPECT_EQ(n->base_control->digit_count->text(), "2 ");
    EXPECT_TRUE(n->output->toPlainText().isEmpty());
    n->output->setPlainText("kept");
    choose_base(n->base_control, 16);  // the base in use: nothing changes
    EXPECT_EQ(n->output->toPlainText(), "kept");

    // A text that does not read stays and is named; the other is rewritten and the base changes.
    FormPtr factors(create_prime_factors_window());
    PrimeFactorsWindow* f = prime_factors_window_of(factors.get());
    f->input->setText("12x");
    f->interval->setText("10");
    choose_base(f->base_control, 8);
    EXPECT_EQ(f->input->text(), "12x");
    EXPECT_EQ(f->interval->text(), "12");
    EXPECT_EQ(f->base, 8);
    f->input->setText(QString(70, '7'));
    EXPECT_EQ(f->base_control->digit_count->text(), "60 ");
    EXPECT_EQ(presented, QStringList({"Invalid input \"2147483648\" !", "Invalid input \"12x\" !"}));
    EXPECT_EQ(message_state.message_code, 0u);
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

// A probabilistic interval that prints primes for minutes; returns once output has arrived.
void start_long_prime_job(PrimeNumbersWindow* w) {
    w->probabilistic->setChecked(true);
    w->interval_mode->setChecked(true);
    w->input->setPlainText("1000000000000000000000000000000");
    w->interval->setText("2147483647");
    w->start->click();
    ASSERT_TRUE(w->running());
    ASSERT_TRUE(wait_until([w] { return !w->output->toPlainText().isEmpty(); }));
}

// While a job runs every control that would change it is disabled, the base selector included, and so are the
// other windows; Stop ends the job promptly and enables exactly what the job disabled.
TEST_F(PrimeFixture, RunningJobAppendsWhileTheWindowStaysResponsiveAndStopEndsIt) {
    OtherWindows others;
    FormPtr form(create_prime_numbers_window());
    PrimeNumbersWindow* w = prime_numbers_window_of(form.get());
    show(form.get());
    start_long_prime_job(w);
    const auto state = [&] {
        return enabled({w->start, w->stop, w->mode_group, w->method_group, w->base_control, w->input, form.get(),
                        others.enabled.get(), others.disabled.get()});
    };
    EXPECT_EQ(state(), "010001100");

    // Timer events keep arriving while the output grows piece by piece.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);
    ASSERT_TRUE(wait_until([w] { return w->output->toPlainText().size() > 200; }));
    const qsizetype first = w->output->toPlainText().size();
    QTest::qWait(150);
    EXPECT_GT(w->output->toPlainText().size(), first);
    EXPECT_GE(ticks, 5);

    QElapsedTimer stop_time;
    stop_time.start();
    QTest::mouseClick(w->stop, Qt::LeftButton);
    ASSERT_TRUE(wait_until([w] { return !w->running(); }, 2000));
    EXPECT_LT(stop_time.elapsed(), 1000);
    EXPECT_EQ(state(), "101111110");
    const QString text = w->output->toPlainText();
    EXPECT_TRUE(text.startsWith("Prime numbers from 1000000000000000000000000000000 to "))
        << text.left(80).toStdString();
    EXPECT_FALSE(text.contains("Number of prime numbers"));
    EXPECT_TRUE(presented.empty());
}

TEST_F(PrimeFixture, ClosingARunningWindowStopsTheJobAndDestroyingItWaitsForTheWorker) {
    OtherWindows others;
    FormPtr main(create_form(300, 40, u"Main", {}));
    show(main.get());
    set_prime_windows_main_window(main.get());
    FormPtr form(create_prime_numbers_window());
    PrimeNumbersWindow* w = prime_numbers_window_of(form.get());
    show(form.get());
    start_long_prime_job(w);
    EXPECT_FALSE(main->isEnabled());
    QTest::mouseClick(w->cancel, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    ASSERT_TRUE(wait_until([w] { return !w->running(); }, 2000));
    EXPECT_EQ(enabled({main.get(), others.enabled.get(), others.disabled.get()}), "110");
    EXPECT_TRUE(wait_until([&main] { return main->isActiveWindow(); }, 2000));
    EXPECT_FALSE(w->output->toPlainText().isEmpty()) << "the output stays until the next start";
    set_prime_windows_main_window(nullptr);

    start_long_prime_job(w);
    QElapsedTimer timer;
    timer.start();
    form.reset();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(job_context_busy());
    EXPECT_TRUE(others.enabled->isEnabled());
}

// A message raised on the worker thread is shown by the user-interface thread.
TEST_F(PrimeFixture, WorkerMessagesAreShownOnTheUserInterfaceThread) {
    FormPtr form(create_prime_numbers_window());
    PrimeNumbersWindow* w = prime_numbers_window_of(form.get());
    w->input->setPlainText("340282366920938463463374607431768211455");
    w->interval->setText("2");
    w->start->click();
    ASSERT_TRUE(wait_until([w] { return !w->running(); }));
    EXPECT_EQ(presented, QStringList{"Overflow in prime number calculation!"});
}

TEST_F(PrimeFixture, PrimesDivisorsAndFactorsInTheWindowsBaseWithScreenshots) {
    QDir().mkpath(CALCARIUM_SCREENSHOT_DIR);
    FormPtr numbers(create_prime_numbers_window());
    PrimeNumbersWindow* n = prime_numbers_window_of(numbers.get());
    show(numbers.get());
    n->input->setPlainText("1000000000000");
    n->interval->setText("300");
    n->start->click();
    ASSERT_TRUE(wait_until([n] { return !n->running(); }));
    QTest::qWait(20);
    EXPECT_TRUE(numbers->grab().save(CALCARIUM_SCREENSHOT_DIR "/prime_numbers.png"));
    EXPECT_TRUE(n->output->toPlainText().contains("1000000000039")) << n->output->toPlainText().left(200).toStdString();

    FormPtr factors(create_prime_factors_window());
    PrimeFactorsWindow* f = prime_factors_window_of(factors.get());
    show(factors.get());
    QTest::keyClicks(f->input, "360");
    f->interval->setText("8");
    EXPECT_FALSE(f->divisor_count->isEnabled());  // offered for divisors only
    QTest::mouseClick(f->divisors_mode, Qt::LeftButton);
    QTest::mouseClick(f->divisor_count, Qt::LeftButton);
    QTest::mouseClick(f->start, Qt::LeftButton);
    ASSERT_TRUE(wait_until([f] { return !f->running(); }));
    QTest::qWait(20);
    EXPECT_TRUE(factors->grab().save(CALCARIUM_SCREENSHOT_DIR "/prime_factors.png"));
    EXPECT_TRUE(f->output->toPlainText().startsWith(
        "D 360 = { 1, 2, 3, 4, 5, 6, 8, 9, 10, 12, 15, 18, 20, 24, 30, 36, 40, 45, 60, 72, 90, 120, 180, 360 }  "
        "[24]\nD 361 = { 1, 19, 361 }  [3]\n"))
        << f->output->toPlainText().left(200).toStdString();

    f->divisors_mode->setFocus();
    QTest::keyClick(f->divisors_mode, Qt::Key_Up);  // the arrow checks factors, which turns the count off
    EXPECT_TRUE(f->factors_mode->isChecked());
    EXPECT_FALSE(f->divisor_count->isEnabled());
    f->interval->setText("3");
    choose_base(f->base_control, 16);
    EXPECT_EQ(f->input->text(), "168");
    f->start->click();
    ASSERT_TRUE(wait_until([f] { return !f->running(); }));
    EXPECT_EQ(f->output->toPlainText().toStdString(), "168 = 2^3 * 3^2 * 5\n169 = 13^2\n16A = 2 * B5\n");

    // The hardest case below 2^128: a product of two 64-bit primes.
    choose_base(f->base_control, 10);
    f->input->setText("239261039241284858011587750902341042907");
    f->interval->setText("1");
    f->start->click();
    ASSERT_TRUE(wait_until([f] { return !f->running(); }));
    QTest::qWait(20);
    EXPECT_TRUE(factors->grab().save(CALCARIUM_SCREENSHOT_DIR "/prime_factors_two_64_bit_primes.png"));
    EXPECT_EQ(f->output->toPlainText().toStdString(),
              "239261039241284858011587750902341042907 = 13835058055282163729 * 17293822569102704683\n");
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
