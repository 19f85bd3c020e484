// The calculator window under the offscreen platform: the keypad per number type, the mode controls, the entry
// line's keyboard rules, and whole computations by typing and by clicking keys.
#include "calculator/ui/calculator_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <memory>

#include "numeric/num_context.h"
#include "platform/ui_globals.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/string_table.h"

// Failure messages show texts as text.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

QStringList messages;

void record_message(std::u16string_view, std::u16string_view text) {
    messages << to_qstring(text);
}

bool marked(QLabel* label) {
    return label->palette().color(QPalette::WindowText) == QColor(139, 0, 0);
}

// "1" for each widget that is not hidden, "0" for each hidden one.
std::string shown(std::initializer_list<QWidget*> widgets) {
    std::string flags;
    for (QWidget* w : widgets) flags += w->isHidden() ? '0' : '1';
    return flags;
}

class CalculatorWindowTest : public ::testing::Test {
  protected:
    CalculatorWindow& w = calculator_window;
    std::unique_ptr<Form> form;

    void SetUp() override {
        settings = Settings{};
        settings.angle_type = kAngleDegrees;
        settings_changed = false;
        messages.clear();
        os_version = 0x0601;
    }

    void open(uint32_t number_type, int32_t precision = 0) {
        settings.number_type = number_type;
        settings.decimal_precision = precision;
        form.reset();
        form.reset(create_calculator_window());
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QCoreApplication::processEvents();
    }

    // Clicks the key of each character: a digit, + - / ^, s (square) or = .
    void click(const char* keys) {
        const std::map<char, uint32_t> commands = {{'+', kCmdAdd}, {'-', kCmdSub},    {'/', kCmdDiv},
                                                   {'^', kCmdPow}, {'s', kCmdSquare}, {'=', kCmdEquals}};
        for (const char* k = keys; *k != 0; ++k) {
            const uint32_t command = *k >= '0' && *k <= '9' ? kCmdDigit0 + (*k - '0') : commands.at(*k);
            const int cell = keypad_cell_of(command, w.engine.calc_type);
            ASSERT_GE(cell, 0) << *k;
            QTest::mouseClick(w.panel->keys[cell], Qt::LeftButton);
        }
    }
    QString entry() const { return w.entry->toPlainText(); }
    // "1" for each digit key 0..F that is enabled.
    std::string digit_keys() const {
        std::string flags;
        for (uint32_t d = 0; d < 16; ++d) {
            flags += w.panel->keys[keypad_cell_of(kCmdDigit0 + d, w.engine.calc_type)]->isEnabled() ? '1' : '0';
        }
        return flags;
    }
    // Keyboard steps on a slider or list end the operation at once.
    void step(QWidget* control, Qt::Key key) {
        control->setFocus();
        QTest::keyClick(control, key);
    }
    void type_into(QWidget* field, const char* text) {
        field->setFocus();
        if (auto* line = qobject_cast<QLineEdit*>(field)) line->selectAll();
        QTest::keyClicks(field, text);
    }
};

TEST_F(CalculatorWindowTest, StartsWithTheModesOfTheSettingsAndTheKeysOfTheType) {
    settings.angle_type = kAngleGon;
    open(kTypeComplex, 0);
    EXPECT_EQ(w.engine.calc_type, kTypeComplex);
    EXPECT_EQ(w.engine.digits, 10);
    EXPECT_TRUE(marked(w.panel->type_labels[3]) && !marked(w.panel->type_labels[2]));
    EXPECT_TRUE(marked(w.panel->angle_labels[2]));
    EXPECT_FALSE(settings_changed);
    EXPECT_EQ(QApplication::focusWidget(), w.focus_sink);
    EXPECT_EQ(form->default_button, nullptr);
    const CalcKey* const keys[] = {w.panel->keys[26], w.panel->keys[44]};
    EXPECT_EQ(std::tuple(keys[0]->text(), keys[0]->category), std::tuple("i", kKeyComplex));
    EXPECT_EQ(std::tuple(keys[1]->text(), keys[1]->isEnabled()), std::tuple("rt+", false));  // only browsing roots
}

TEST_F(CalculatorWindowTest, UintShowsTheBaseInsteadOfPrecisionAndAngleAndEnablesTheDigitsBelowTheBase) {
    open(kTypeReal);
    click("75");
    step(w.panel->type_slider, Qt::Key_Home);
    EXPECT_EQ(w.engine.calc_type, kTypeUnsigned);
    EXPECT_EQ(settings.number_type, kTypeUnsigned);
    EXPECT_TRUE(settings_changed);
    EXPECT_EQ(entry(), "0");
    EXPECT_EQ(w.panel->keys[41]->text(), "gcd");
    EXPECT_TRUE(marked(w.panel->type_labels[0]));
    const auto modes = [&] {
        return shown({w.panel->precision, w.panel->precision_label, w.panel->angle_slider, w.panel->angle_labels[0],
                      w.panel->base_control});
    };
    EXPECT_EQ(modes(), "00001");
    EXPECT_EQ(digit_keys(), "1111111111000000");
    click("255");
    step(w.panel->base_control->base_list, Qt::Key_End);
    EXPECT_EQ(entry(), "FF");
    EXPECT_EQ(w.panel->base_control->digit_count->text(), "2 ");
    EXPECT_EQ(digit_keys(), "1111111111111111");
    step(w.panel->base_control->base_list, Qt::Key_Home);
    EXPECT_EQ(w.engine.base, 2u);
    EXPECT_EQ(entry(), "11111111");
    EXPECT_EQ(digit_keys(), "1100000000000000");
    step(w.panel->type_slider, Qt::Key_End);
    EXPECT_EQ(w.engine.calc_type, kTypeComplex);
    EXPECT_EQ(modes(), "11110");
}

TEST_F(CalculatorWindowTest, TheTypeSliderActsOnReleaseAndPrecisionAndAngleReachTheEngineAndSettings) {
    open(kTypeReal, 20);
    QSlider* slider = w.panel->type_slider;
    slider->setSliderDown(true);
    slider->setSliderPosition(300003);
    EXPECT_TRUE(marked(w.panel->type_labels[3]) && !marked(w.panel->type_labels[2]));
    EXPECT_EQ(w.engine.calc_type, kTypeReal);
    slider->setSliderDown(false);
    EXPECT_EQ(w.engine.calc_type, kTypeComplex);

    type_into(w.panel->precision->edit, "19");
    w.entry->setFocus();
    EXPECT_EQ(w.engine.digits, 19);
    EXPECT_EQ(settings.decimal_precision, 19);
    step(w.panel->angle_slider, Qt::Key_End);
    EXPECT_EQ(w.engine.angle_unit, kAngleGon);
    EXPECT_EQ(settings.angle_type, kAngleGon);
}

TEST_F(CalculatorWindowTest, TypedFormulaIsEvaluatedByTheEqualsKeyNotByEnterAndPasteReplacesAResult) {
    open(kTypeRational);
    type_into(w.panel->precision->edit, "60");
    type_into(w.entry, "2^100-1");
    QTest::keyClick(w.entry, Qt::Key_Return);
    QTest::keyClick(w.entry, Qt::Key_Enter);
    EXPECT_EQ(entry(), "2^100-1");
    EXPECT_EQ(QApplication::focusWidget(), w.entry);
    click("=");
    EXPECT_EQ(entry(), "1267650600228229401496703205375");
    EXPECT_EQ(QApplication::focusWidget(), w.focus_sink);
    type_into(w.entry, "2+");
    click("=");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Invalid input:")) << messages[0].toStdString();
    EXPECT_EQ(entry(), "2+");  // stays for correction

    open(kTypeReal);
    click("5s");
    QApplication::clipboard()->setText("7*3");
    w.entry->setFocus();
    EXPECT_EQ(w.entry->textCursor().selectedText(), "25");
    QTest::keyClick(w.entry, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(entry(), "7*3");
    click("=");
    EXPECT_EQ(entry(), "21");
}

TEST_F(CalculatorWindowTest, ClickedKeysFollowPrecedenceWithScreenshots) {
    QDir().mkpath(CALCARIUM_SCREENSHOT_DIR);
    open(kTypeReal, 60);
    click("2+3^");
    EXPECT_EQ(entry(), "3");
    click("2=");
    EXPECT_EQ(entry(), "11");
    EXPECT_FALSE(QApplication::overrideCursor());
    click("1/7=");
    EXPECT_TRUE(entry().startsWith("0.142857142857"));
    EXPECT_TRUE(form->grab().save(CALCARIUM_SCREENSHOT_DIR "/calculator_real.png"));

    step(w.panel->type_slider, Qt::Key_Home);
    click("2^100-1=");
    step(w.panel->base_control->base_list, Qt::Key_End);
    EXPECT_EQ(entry(), QString(25, 'F'));
    EXPECT_TRUE(form->grab().save(CALCARIUM_SCREENSHOT_DIR "/calculator_uint.png"));
    EXPECT_TRUE(messages.empty());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("CALCARIUM_CONFIG_DIR", config.path().toUtf8());
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    init_ui_font();
    init_numeric_context();
    load_string_table(kLanguageEnglish);
    set_message_presenter(record_message);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
