// The calculator window under the offscreen platform: the keypad per number type, the mode controls, the entry
// line's keyboard rules, resizing, and whole computations by typing and by clicking keys.
#include "calculator/ui/calculator_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "numeric/num_context.h"
#include "platform/ui_globals.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/string_table.h"

namespace {

std::vector<QString> messages;

void record_message(std::u16string_view, std::u16string_view text) {
    messages.push_back(to_qstring(text));
}

const QColor kMarked(139, 0, 0);

class CalculatorWindowTest : public ::testing::Test {
  protected:
    CalculatorWindow& w = calculator_window;
    std::unique_ptr<Form> form;

    void SetUp() override {
        settings = Settings{};
        settings.number_type = kTypeReal;
        settings.angle_type = kAngleDegrees;
        settings_changed = false;
        messages.clear();
        os_version = 0x0601;
    }
    void TearDown() override { form.reset(); }

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

    void click(uint32_t command) {
        const int cell = keypad_cell_of(command, w.engine.calc_type);
        ASSERT_GE(cell, 0) << command;
        QTest::mouseClick(w.panel->keys[cell], Qt::LeftButton);
    }
    void click_digits(const char* digits) {
        for (const char* d = digits; *d != 0; ++d) click(kCmdDigit0 + static_cast<uint32_t>(*d - '0'));
    }
    QString entry() const { return w.entry->toPlainText(); }
    bool key_enabled(uint32_t command) const {
        return w.panel->keys[keypad_cell_of(command, w.engine.calc_type)]->isEnabled();
    }
    // Keyboard steps on a slider end the slider operation at once.
    void step_slider(QSlider* slider, Qt::Key key) {
        slider->setFocus();
        QTest::keyClick(slider, key);
    }
    void type_into_entry(const char* text) {
        w.entry->setFocus();
        QTest::keyClicks(w.entry, text);
    }
};

// ---- Keypad per number type ----------------------------------------------------------------------------------

struct KeyCase {
    uint32_t number_type;
    uint32_t os;
    int cell;
    const char16_t* label;
    bool enabled;
    uint8_t category;
};
const KeyCase kKeyCases[] = {
    {kTypeReal, 0x0601, 26, u"", false, kKeyEmpty},
    {kTypeRational, 0x0601, 26, u"R\u2194F", true, kKeyFunction},
    {kTypeComplex, 0x0601, 26, u"i", true, kKeyComplex},
    {kTypeComplex, 0x0601, 44, u"rt+", false, kKeyComplex},  // enabled only while browsing roots
    {kTypeReal, 0x0601, 41, u"sin", true, kKeyFunction},
    {kTypeUnsigned, 0x0601, 41, u"gcd", true, kKeyFunction},
    {kTypeUnsigned, 0x0601, 56, u"A", false, kKeyArithmetic},
    {kTypeReal, 0x0501, 5, u"lg10", true, kKeyFunction},
    {kTypeUnsigned, 0x0501, 5, u"[lg10]", true, kKeyFunction},
    {kTypeReal, 0x0501, 6, u"log\u2082", true, kKeyFunction},
    {kTypeReal, 0x0601, 65, u"", false, kKeyEmpty},
};

TEST_F(CalculatorWindowTest, LabelsEnablesAndColoursTheKeysOfTheType) {
    for (const auto& c : kKeyCases) {
        os_version = c.os;
        open(c.number_type);
        const CalcKey* key = w.panel->keys[c.cell];
        EXPECT_EQ(key->text(), QString::fromUtf16(c.label)) << c.number_type << " cell " << c.cell;
        EXPECT_EQ(key->isEnabled(), c.enabled) << c.number_type << " cell " << c.cell;
        EXPECT_EQ(key->category, c.category) << c.number_type << " cell " << c.cell;
    }
}

// ---- Mode controls -------------------------------------------------------------------------------------------

TEST_F(CalculatorWindowTest, StartsWithTheModesOfTheSettings) {
    settings.angle_type = kAngleGon;
    open(kTypeComplex, 0);
    EXPECT_EQ(w.panel->type_slider->value(), 300003);
    EXPECT_EQ(w.panel->angle_slider->value(), 200002);
    EXPECT_EQ(w.panel->precision->edit->text(), "10");
    EXPECT_EQ(w.engine.calc_type, kTypeComplex);
    EXPECT_EQ(w.engine.digits, 10);
    EXPECT_EQ(w.panel->type_labels[3]->palette().color(QPalette::WindowText), kMarked);
    EXPECT_NE(w.panel->type_labels[2]->palette().color(QPalette::WindowText), kMarked);
    EXPECT_EQ(w.panel->angle_labels[2]->palette().color(QPalette::WindowText), kMarked);
    EXPECT_FALSE(settings_changed);
    EXPECT_EQ(entry(), "0");
    EXPECT_EQ(form->windowTitle(), "Scientific Calculator");
    EXPECT_EQ(w.panel->keys[40]->geometry(), QRect(10 + 39 * 4, 38 + 26 * 4, 38, 25));
    EXPECT_EQ(w.panel->keys[67]->font().families().value(0), "Consolas");  // the pi key
    EXPECT_EQ(w.panel->keys[66]->font().families().value(0), "Verdana");
    EXPECT_EQ(QApplication::focusWidget(), w.focus_sink);
    EXPECT_EQ(form->default_button, nullptr);
}

TEST_F(CalculatorWindowTest, SwitchingToUintRelabelsAndShowsTheIntegerControls) {
    open(kTypeReal);
    click_digits("75");
    step_slider(w.panel->type_slider, Qt::Key_Home);
    EXPECT_EQ(w.engine.calc_type, kTypeUnsigned);
    EXPECT_EQ(settings.number_type, kTypeUnsigned);
    EXPECT_TRUE(settings_changed);
    EXPECT_EQ(entry(), "0");
    EXPECT_EQ(w.panel->keys[41]->text(), "gcd");
    EXPECT_EQ(w.panel->keys[56]->text(), "A");
    for (uint32_t d = 10; d < 16; ++d) EXPECT_FALSE(key_enabled(kCmdDigit0 + d)) << d;
    for (uint32_t d = 0; d < 10; ++d) EXPECT_TRUE(key_enabled(kCmdDigit0 + d)) << d;
    EXPECT_TRUE(w.panel->precision->isHidden());
    EXPECT_TRUE(w.panel->precision_label->isHidden());
    EXPECT_TRUE(w.panel->angle_slider->isHidden());
    for (QLabel* label : w.panel->angle_labels) EXPECT_TRUE(label->isHidden());
    EXPECT_TRUE(w.panel->base_control->isVisible());
    EXPECT_EQ(w.panel->type_labels[0]->palette().color(QPalette::WindowText), kMarked);

    step_slider(w.panel->type_slider, Qt::Key_End);
    EXPECT_EQ(w.engine.calc_type, kTypeComplex);
    EXPECT_TRUE(w.panel->precision->isVisible());
    EXPECT_TRUE(w.panel->angle_slider->isVisible());
    EXPECT_TRUE(w.panel->base_control->isHidden());
}

TEST_F(CalculatorWindowTest, DraggingTheTypeSliderChangesTheTypeOnlyOnRelease) {
    open(kTypeReal);
    QSlider* slider = w.panel->type_slider;
    slider->setSliderDown(true);
    slider->setSliderPosition(300003);
    EXPECT_EQ(w.panel->type_labels[3]->palette().color(QPalette::WindowText), kMarked);
    EXPECT_NE(w.panel->type_labels[2]->palette().color(QPalette::WindowText), kMarked);
    EXPECT_EQ(w.engine.calc_type, kTypeReal);
    slider->setSliderDown(false);
    EXPECT_EQ(w.engine.calc_type, kTypeComplex);
    EXPECT_EQ(w.panel->keys[26]->text(), "i");
}

TEST_F(CalculatorWindowTest, BaseEnablesTheDigitKeysBelowIt) {
    open(kTypeUnsigned);
    QComboBox* bases = w.panel->base_control->base_list;
    click_digits("255");
    bases->setFocus();
    QTest::keyClick(bases, Qt::Key_End);
    EXPECT_EQ(w.engine.base, 16u);
    EXPECT_EQ(entry(), "FF");
    EXPECT_EQ(w.panel->base_control->digit_count->text(), "2 ");
    for (uint32_t d = 0; d < 16; ++d) EXPECT_TRUE(key_enabled(kCmdDigit0 + d)) << d;

    QTest::keyClick(bases, Qt::Key_Home);
    EXPECT_EQ(w.engine.base, 2u);
    EXPECT_EQ(entry(), "11111111");
    for (uint32_t d = 0; d < 16; ++d) EXPECT_EQ(key_enabled(kCmdDigit0 + d), d < 2) << d;
}

TEST_F(CalculatorWindowTest, PrecisionAndAngleControlsReachTheEngineAndTheSettings) {
    open(kTypeReal, 20);
    EXPECT_EQ(w.engine.calc_limbs, 2);
    w.panel->precision->edit->setFocus();
    w.panel->precision->edit->selectAll();
    QTest::keyClicks(w.panel->precision->edit, "19");
    w.entry->setFocus();
    EXPECT_EQ(w.engine.digits, 19);
    EXPECT_EQ(w.engine.calc_limbs, 1);
    EXPECT_EQ(settings.decimal_precision, 19);

    step_slider(w.panel->angle_slider, Qt::Key_End);
    EXPECT_EQ(w.engine.angle_unit, kAngleGon);
    EXPECT_EQ(settings.angle_type, kAngleGon);
    EXPECT_TRUE(settings_changed);
}

// ---- Resizing ------------------------------------------------------------------------------------------------

TEST_F(CalculatorWindowTest, ResizingGrowsOnlyTheEntryLine) {
    open(kTypeReal);
    EXPECT_EQ(w.entry->geometry(), QRect(10, 10, 350, 90));
    EXPECT_EQ(w.panel->geometry(), QRect(0, 104, 370, 250));
    const QRect key = w.panel->keys[30]->geometry();
    form->resize(600, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.entry->geometry(), QRect(10, 10, 580, 235));
    EXPECT_EQ(w.panel->geometry(), QRect(0, 249, 370, 250));
    EXPECT_EQ(w.panel->keys[30]->geometry(), key);
}

// ---- Computations --------------------------------------------------------------------------------------------

TEST_F(CalculatorWindowTest, TypedFormulaIsEvaluatedByTheEqualsKey) {
    open(kTypeRational);
    w.panel->precision->edit->setFocus();
    w.panel->precision->edit->selectAll();
    QTest::keyClicks(w.panel->precision->edit, "60");
    type_into_entry("2^100-1");
    EXPECT_EQ(w.engine.digits, 60);
    EXPECT_EQ(entry(), "2^100-1");
    click(kCmdEquals);
    EXPECT_EQ(entry(), "1267650600228229401496703205375");
    EXPECT_EQ(QApplication::focusWidget(), w.focus_sink);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CalculatorWindowTest, ClickedKeysFollowPrecedence) {
    open(kTypeReal);
    click_digits("2");
    click(kCmdAdd);
    click_digits("3");
    click(kCmdPow);
    EXPECT_EQ(entry(), "3");
    click_digits("2");
    click(kCmdEquals);
    EXPECT_EQ(entry(), "11");
    EXPECT_FALSE(QApplication::overrideCursor());
}

TEST_F(CalculatorWindowTest, UnreadableTextStaysForCorrection) {
    open(kTypeReal);
    type_into_entry("2+");
    click(kCmdEquals);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith("Invalid input:")) << messages[0].toStdString();
    EXPECT_EQ(entry(), "2+");
}

// ---- Entry line ----------------------------------------------------------------------------------------------

TEST_F(CalculatorWindowTest, EnterInTheEntryLineDoesNothing) {
    open(kTypeReal);
    type_into_entry("1+2");
    QTest::keyClick(w.entry, Qt::Key_Return);
    QTest::keyClick(w.entry, Qt::Key_Enter);
    EXPECT_EQ(entry(), "1+2");
    EXPECT_EQ(QApplication::focusWidget(), w.entry);
}

TEST_F(CalculatorWindowTest, PasteOverAResultStartsANewOperand) {
    open(kTypeReal);
    click_digits("5");
    click(kCmdSquare);
    QApplication::clipboard()->setText("7*3");
    w.entry->setFocus();
    EXPECT_EQ(w.entry->textCursor().selectedText(), "25");
    QTest::keyClick(w.entry, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(entry(), "7*3");
    click(kCmdEquals);
    EXPECT_EQ(entry(), "21");
}

// ---- Screenshots ---------------------------------------------------------------------------------------------

TEST_F(CalculatorWindowTest, Screenshots) {
    QDir().mkpath(CALCARIUM_SCREENSHOT_DIR);
    open(kTypeReal, 60);
    click_digits("1");
    click(kCmdDiv);
    click_digits("7");
    click(kCmdEquals);
    EXPECT_TRUE(entry().startsWith("0.142857142857"));
    EXPECT_TRUE(form->grab().save(QString(CALCARIUM_SCREENSHOT_DIR) + "/calculator_real.png"));

    step_slider(w.panel->type_slider, Qt::Key_Home);
    click_digits("2");
    click(kCmdPow);
    click_digits("100");
    click(kCmdSub);
    click_digits("1");
    click(kCmdEquals);
    w.panel->base_control->base_list->setFocus();
    QTest::keyClick(w.panel->base_control->base_list, Qt::Key_End);
    EXPECT_EQ(entry(), QString(25, 'F'));
    EXPECT_TRUE(form->grab().save(QString(CALCARIUM_SCREENSHOT_DIR) + "/calculator_uint.png"));
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
