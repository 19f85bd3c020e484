// The window framework under the offscreen platform: keyboard navigation, focus memory, the default button, the
// modal loop and the composite controls.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

#include "platform/control.h"
#include "platform/form.h"
#include "platform/group_box.h"
#include "platform/modal.h"
#include "platform/navigation.h"
#include "platform/number_base_control.h"
#include "platform/number_type_control.h"
#include "platform/numeric_up_down_control.h"
#include "platform/tab_control.h"
#include "platform/ui_globals.h"
#include "shell/string_table.h"

namespace {

using FormPtr = std::unique_ptr<Form>;

FormPtr make_form(int w = 300, int h = 200, EventHandler handler = {}) {
    return FormPtr(create_form(w, h, u"Test", std::move(handler)));
}

// Shows the form, makes it the active window and lets the queued focus restoration run.
void activate(QWidget* form) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    QCoreApplication::processEvents();
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key, modifiers);
}

// ---- Values without windows ----------------------------------------------------------------------------------

struct ReleaseCase {
    const char* release;
    uint32_t version;
};
const ReleaseCase kReleaseCases[] = {
    {"6.1.0-18-amd64", 0x0601},
    {"5.15", 0x050F},
    {"10.0.19045", 0x0A00},
    {"4.300", 0x04FF},
    {"", 0},
    {"abc", 0},
    {"6", 0},
    {"6.", 0},
    {".5", 0},
    {"3.2-rc1", 0x0302},
};

TEST(OsVersion, ReadsMajorAndMinorOfTheRelease) {
    for (const auto& c : kReleaseCases) EXPECT_EQ(os_version_from_release(c.release), c.version) << c.release;
}

struct PositionCase {
    const char16_t* text;
    int32_t current;
    int32_t position;
};
const PositionCase kPositionCases[] = {
    {u"42", 5, 42}, {u" 7 ", 5, 7}, {u"+8", 5, 8},    {u"-3", 5, 0},  {u"250", 5, 100},
    {u"abc", 5, 5}, {u"", 5, 5},    {u"12x", 5, 5},   {u"1 2", 5, 5}, {u"99999999999999999999", 5, 100},
    {u"-", 5, 5},   {u"0", 5, 0},   {u"100", 5, 100},
};

TEST(NumericUpDown, ReadsTheFieldIntoTheRange) {
    for (const auto& c : kPositionCases) {
        EXPECT_EQ(up_down_read_position(c.text, c.current, 0, 100), c.position)
            << std::string(QString::fromUtf16(c.text).toUtf8());
    }
}

// ---- Forms ---------------------------------------------------------------------------------------------------

TEST(Form, HasTheClientSizeAndIsCentredAndHidden) {
    FormPtr form = make_form(370, 355);
    EXPECT_EQ(form->size(), QSize(370, 355));
    EXPECT_FALSE(form->isVisible());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(form->pos(), QPoint((screen.width() - 370) / 2, (screen.height() - 355) / 2));
    EXPECT_EQ(form->windowTitle(), "Test");
    EXPECT_FALSE(form->windowIcon().isNull());

    FormPtr fixed(create_form(375, 250, u"About", {}, kFormCaptionOnly));
    EXPECT_EQ(fixed->minimumSize(), QSize(375, 250));
    EXPECT_EQ(fixed->maximumSize(), QSize(375, 250));
    EXPECT_FALSE(fixed->windowFlags().testFlag(Qt::WindowSystemMenuHint));
}

TEST(Form, HandlerConsumesEventsBeforeTheWindow) {
    int closes = 0;
    FormPtr form = make_form(200, 100, [&](QWidget*, QEvent* e, bool& proceed) {
        if (e->type() == QEvent::Close) {
            ++closes;
            proceed = false;
        }
    });
    activate(form.get());
    form->close();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(form->isVisible());
}

TEST(Control, HandlerConsumesEventsBeforeTheControl) {
    FormPtr form = make_form();
    QLineEdit* edit = create_edit(form.get(), 10, 10, 100, 20);
    attach_control(edit, [](QWidget*, QEvent* e, bool& proceed) {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_X) proceed = false;
    });
    activate(form.get());
    edit->setFocus();
    QTest::keyClicks(edit, "xyxz");
    EXPECT_EQ(edit->text(), "yz");
    EXPECT_NE(control_record(edit), nullptr);
    EXPECT_EQ(edit->font().pixelSize(), ui_font().pixelSize());
}

// ---- Tab order -----------------------------------------------------------------------------------------------

struct TabForm {
    FormPtr form = make_form();
    QLineEdit* first = create_edit(form.get(), 10, 10, 100, 20);
    QLabel* label = create_label(form.get(), 10, 35, 100, 20, u"label");
    QLineEdit* disabled = create_edit(form.get(), 10, 60, 100, 20);
    QPushButton* button = create_button(form.get(), 10, 85, 75, 25, u"Button");
    QLineEdit* hidden = create_edit(form.get(), 10, 115, 100, 20);
    QLineEdit* last = create_edit(form.get(), 10, 140, 100, 20);
    TabForm() {
        disabled->setEnabled(false);
        hidden->hide();
    }
};

TEST(TabOrder, WrapsBothWaysAndSkipsWhatCannotTakeTheFocus) {
    TabForm f;
    activate(f.form.get());
    f.first->setFocus();
    const std::vector<QWidget*> forward = {f.button, f.last, f.first, f.button};
    for (QWidget* expected : forward) {
        press(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected) << expected->metaObject()->className();
    }
    const std::vector<QWidget*> backward = {f.first, f.last, f.button, f.first};
    for (QWidget* expected : backward) {
        press(Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), expected) << expected->metaObject()->className();
    }
}

TEST(TabOrder, CtrlTabIsLeftToTheControl) {
    TabForm f;
    activate(f.form.get());
    f.first->setFocus();
    press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), f.first);
}

struct RadioForm {
    FormPtr form = make_form();
    QLineEdit* before = create_edit(form.get(), 10, 10, 100, 20);
    QGroupBox* group = create_group_box(form.get(), 10, 40, 150, 100, u"Group");
    QRadioButton* r1 = create_radio(group, 8, 20, 100, 20, u"One");
    QRadioButton* r2 = create_radio(group, 8, 40, 100, 20, u"Two");
    QRadioButton* r3 = create_radio(group, 8, 60, 100, 20, u"Three");
    QRadioButton* r4 = create_radio(group, 8, 80, 100, 20, u"Four");
    QPushButton* after = create_button(form.get(), 10, 150, 75, 25, u"After");
};

TEST(RadioGroup, TabEntersAtTheCheckedButtonAndLeavesTheGroupAsAWhole) {
    RadioForm f;
    f.r2->setChecked(true);
    activate(f.form.get());
    f.before->setFocus();
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.r2);
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.after);
    press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), f.r2);
    press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), f.before);
    EXPECT_TRUE(f.r2->isChecked());
}

TEST(RadioGroup, TabIntoAGroupWithoutCheckChecksTheFirstVisibleButton) {
    RadioForm f;
    f.r1->hide();
    activate(f.form.get());
    f.before->setFocus();
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.r2);
    EXPECT_TRUE(f.r2->isChecked());
}

TEST(RadioGroup, ArrowsMoveAndCheckAndStopAtTheEnds) {
    RadioForm f;
    f.r3->hide();
    f.r1->setChecked(true);
    activate(f.form.get());
    f.r1->setFocus();
    struct Step {
        Qt::Key key;
        QRadioButton* expected;
    };
    const Step steps[] = {
        {Qt::Key_Up, f.r1},   {Qt::Key_Left, f.r1},  {Qt::Key_Down, f.r2}, {Qt::Key_Right, f.r4},
        {Qt::Key_Down, f.r4}, {Qt::Key_Right, f.r4}, {Qt::Key_Up, f.r2},   {Qt::Key_Left, f.r1},
    };
    for (const Step& s : steps) {
        press(s.key);
        EXPECT_EQ(QApplication::focusWidget(), s.expected) << s.key;
        EXPECT_TRUE(s.expected->isChecked()) << s.key;
    }
    EXPECT_FALSE(f.r3->isChecked());
}

// ---- Enter and the default button ----------------------------------------------------------------------------

struct EnterForm {
    FormPtr form = make_form();
    QLineEdit* edit = create_edit(form.get(), 10, 10, 100, 20);
    QPlainTextEdit* text = new QPlainTextEdit(form.get());
    QPushButton* other = create_button(form.get(), 10, 150, 75, 25, u"Other");
    QPushButton* ok = create_button(form.get(), 100, 150, 75, 25, u"OK");
    int ok_clicks = 0;
    int other_clicks = 0;
    EnterForm() {
        text->setGeometry(10, 40, 200, 80);
        attach_control(text);
        text->show();
        set_default_button(form.get(), ok);
        QObject::connect(ok, &QPushButton::clicked, [this] { ++ok_clicks; });
        QObject::connect(other, &QPushButton::clicked, [this] { ++other_clicks; });
    }
};

TEST(DefaultButton, EnterInASingleLineFieldClicksIt) {
    EnterForm f;
    activate(f.form.get());
    f.edit->setFocus();
    press(Qt::Key_Return);
    press(Qt::Key_Enter);
    EXPECT_EQ(f.ok_clicks, 2);
    EXPECT_EQ(QApplication::focusWidget(), f.edit);
    EXPECT_EQ(f.form->last_focused, f.edit);
    press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(f.ok_clicks, 2);
}

TEST(DefaultButton, EnterInAMultiLineFieldBreaksTheLine) {
    EnterForm f;
    activate(f.form.get());
    f.text->setFocus();
    QTest::keyClicks(f.text, "ab");
    press(Qt::Key_Return);
    QTest::keyClicks(f.text, "c");
    EXPECT_EQ(f.text->toPlainText(), "ab\nc");
    EXPECT_EQ(f.ok_clicks, 0);
}

TEST(DefaultButton, EnterOnAButtonClicksThatButton) {
    EnterForm f;
    activate(f.form.get());
    f.other->setFocus();
    press(Qt::Key_Return);
    EXPECT_EQ(f.other_clicks, 1);
    EXPECT_EQ(f.ok_clicks, 0);
}

TEST(DefaultButton, TheFocusedButtonShowsAsDefaultUntilTheFocusLeavesIt) {
    EnterForm f;
    activate(f.form.get());
    f.edit->setFocus();
    EXPECT_TRUE(f.ok->isDefault());
    f.other->setFocus();
    EXPECT_TRUE(f.other->isDefault());
    EXPECT_FALSE(f.ok->isDefault());
    f.edit->setFocus();
    EXPECT_TRUE(f.ok->isDefault());
    EXPECT_FALSE(f.other->isDefault());
    set_default_button(f.form.get(), f.other);
    EXPECT_TRUE(f.other->isDefault());
    EXPECT_FALSE(f.ok->isDefault());
}

// ---- Focus memory --------------------------------------------------------------------------------------------

TEST(FocusMemory, ActivationReturnsToTheLastFocusedControl) {
    TabForm f;
    activate(f.form.get());
    EXPECT_EQ(QApplication::focusWidget(), f.first);  // no control had the focus: the first tab stop
    f.last->setFocus();
    FormPtr other = make_form(100, 100);
    create_edit(other.get(), 0, 0, 50, 20);
    activate(other.get());
    EXPECT_EQ(f.form->last_focused, f.last);
    activate(f.form.get());
    EXPECT_EQ(QApplication::focusWidget(), f.last);
}

// ---- Modal loop ----------------------------------------------------------------------------------------------

TEST(ModalLoop, DisablesTheOthersAndEnablesExactlyThoseAgain) {
    FormPtr enabled = make_form(100, 100);
    QLineEdit* edit = create_edit(enabled.get(), 0, 0, 80, 20);
    FormPtr disabled = make_form(100, 100);
    FormPtr hidden = make_form(100, 100);
    FormPtr modal = make_form(100, 100);
    disabled->show();
    disabled->setEnabled(false);
    activate(enabled.get());
    edit->setFocus();

    bool seen = false;
    QTimer::singleShot(0, [&] {
        seen = true;
        EXPECT_TRUE(modal_loop_running(modal.get()));
        EXPECT_TRUE(modal->isVisible());
        EXPECT_FALSE(enabled->isEnabled());
        EXPECT_FALSE(disabled->isEnabled());
        EXPECT_FALSE(hidden->isEnabled());
        EXPECT_TRUE(modal->isEnabled());
        EXPECT_EQ(modal->windowHandle()->transientParent(), enabled->windowHandle());
        modal->hide();
    });
    EXPECT_TRUE(run_modal(modal.get(), enabled.get()));
    EXPECT_TRUE(seen);
    EXPECT_FALSE(modal_loop_running(modal.get()));
    EXPECT_TRUE(enabled->isEnabled());
    EXPECT_FALSE(disabled->isEnabled());
    EXPECT_TRUE(hidden->isEnabled());
    EXPECT_EQ(modal->windowHandle()->transientParent(), nullptr);
    QTest::qWait(20);
    EXPECT_EQ(QApplication::focusWidget(), edit);
}

TEST(ModalLoop, EndsWhenTheWindowIsDestroyed) {
    FormPtr owner = make_form(100, 100);
    activate(owner.get());
    QPointer<Form> modal = create_form(100, 100, u"Modal", {});
    QTimer::singleShot(0, [&] { delete modal.data(); });
    EXPECT_TRUE(run_modal(modal, owner.get()));
    EXPECT_TRUE(modal.isNull());
    EXPECT_TRUE(owner->isEnabled());
}

TEST(ModalLoop, NestsAndUnwindsInOrder) {
    FormPtr owner = make_form(100, 100);
    FormPtr outer = make_form(100, 100);
    FormPtr inner = make_form(100, 100);
    activate(owner.get());
    std::vector<int> order;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            EXPECT_FALSE(outer->isEnabled());
            order.push_back(1);
            inner->hide();
        });
        run_modal(inner.get(), outer.get());
        EXPECT_TRUE(outer->isEnabled());
        EXPECT_FALSE(owner->isEnabled());
        order.push_back(2);
        outer->hide();
    });
    run_modal(outer.get(), owner.get());
    order.push_back(3);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(owner->isEnabled());
}

// ---- Tab control ---------------------------------------------------------------------------------------------

TEST(TabControl, ShowsOnlyTheSelectedPageAndFollowsPageTitles) {
    FormPtr form = make_form(362, 330);
    TabControl* tabs = create_tab_control(form.get(), 5, 8, 350, 280);
    QWidget* first = create_tab_page(tabs, u"First");
    QWidget* second = create_tab_page(tabs, u"Second");
    activate(form.get());
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(second->isVisible());
    EXPECT_EQ(first->objectName(), "cwl_TabPage");
    EXPECT_EQ(first->geometry(), tabs->display_area());
    tabs->tabs->setCurrentIndex(1);
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(find_tab_of_page(tabs, second), 1);
    EXPECT_EQ(find_tab_of_page(tabs, form.get()), -1);
    second->setWindowTitle("Renamed");
    EXPECT_EQ(tabs->tabs->tabText(1), "Renamed");
}

// ---- Composite controls --------------------------------------------------------------------------------------

struct UpDownForm {
    FormPtr form = make_form();
    NumericUpDownControl* spin = create_numeric_up_down(form.get(), 10, 10, 80, 22);
    QLineEdit* other = create_edit(form.get(), 10, 50, 100, 20);
    QPushButton* ok = create_button(form.get(), 10, 100, 75, 25, u"OK");
    std::vector<int32_t> reports;
    int ok_clicks = 0;
    UpDownForm() {
        spin->on_change = [this](int32_t v) { reports.push_back(v); };
        set_default_button(form.get(), ok);
        QObject::connect(ok, &QPushButton::clicked, [this] { ++ok_clicks; });
    }
    void type_and_leave(const char* text) {
        spin->edit->setFocus();
        spin->edit->selectAll();
        QTest::keyClicks(spin->edit, text);
        other->setFocus();
    }
};

TEST(NumericUpDown, StartsAtZeroInTheRangeZeroToHundred) {
    UpDownForm f;
    EXPECT_EQ(f.spin->edit->text(), "0");
    EXPECT_EQ(f.spin->minimum, 0);
    EXPECT_EQ(f.spin->maximum, 100);
    EXPECT_EQ(f.spin->objectName(), "NumericUpDownControl");
    EXPECT_EQ(f.spin->up->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(f.spin->edit->alignment() & Qt::AlignRight, Qt::AlignRight);
}

TEST(NumericUpDown, LeavingTheFieldCommitsAndReportsOnce) {
    UpDownForm f;
    activate(f.form.get());
    f.type_and_leave(" 42");
    EXPECT_EQ(f.spin->edit->text(), "42");
    EXPECT_EQ(f.reports, (std::vector<int32_t>{42}));
    f.spin->edit->setFocus();
    f.other->setFocus();
    EXPECT_EQ(f.reports, (std::vector<int32_t>{42}));
    f.type_and_leave("500");
    EXPECT_EQ(f.spin->edit->text(), "100");
    f.type_and_leave("abc");
    EXPECT_EQ(f.spin->edit->text(), "100");
    EXPECT_EQ(f.reports, (std::vector<int32_t>{42, 100}));
}

TEST(NumericUpDown, EnterCommitsWithoutClickingTheDefaultButton) {
    UpDownForm f;
    activate(f.form.get());
    f.spin->edit->setFocus();
    f.spin->edit->selectAll();
    QTest::keyClicks(f.spin->edit, "7");
    press(Qt::Key_Return);
    EXPECT_EQ(f.reports, (std::vector<int32_t>{7}));
    EXPECT_EQ(f.ok_clicks, 0);
    f.other->setFocus();
    EXPECT_EQ(f.reports, (std::vector<int32_t>{7}));
}

TEST(NumericUpDown, SpinButtonsStepWithinTheRangeAndReport) {
    UpDownForm f;
    activate(f.form.get());
    f.spin->up->click();
    f.spin->up->click();
    f.spin->down->click();
    EXPECT_EQ(f.spin->edit->text(), "1");
    f.spin->down->click();
    f.spin->down->click();
    EXPECT_EQ(f.spin->edit->text(), "0");
    EXPECT_EQ(f.reports, (std::vector<int32_t>{1, 2, 1, 0}));
    // The typed text is picked up before stepping.
    f.spin->edit->setText("50");
    f.spin->up->click();
    EXPECT_EQ(f.spin->edit->text(), "51");
    EXPECT_EQ(f.spin->edit->cursorPosition(), 2);
    f.spin->edit->setFocus();
    press(Qt::Key_Up);
    EXPECT_EQ(f.spin->edit->text(), "52");
    EXPECT_EQ(f.reports.back(), 52);
}

TEST(NumericUpDown, NewBoundsKeepTheOtherAndClampThePosition) {
    UpDownForm f;
    numeric_up_down_set_position(f.spin, 80);
    numeric_up_down_set_max(f.spin, 50);
    EXPECT_EQ(f.spin->minimum, 0);
    EXPECT_EQ(f.spin->edit->text(), "50");
    numeric_up_down_set_min(f.spin, 60);
    EXPECT_EQ(f.spin->maximum, 50);
    numeric_up_down_set_min(f.spin, 10);
    numeric_up_down_set_max(f.spin, 10000);
    EXPECT_EQ(f.spin->edit->text(), "50");
    EXPECT_TRUE(f.reports.empty());
    numeric_up_down_commit(f.spin, true, false);
    EXPECT_EQ(f.spin->last_reported, 50);
    EXPECT_TRUE(f.reports.empty());
}

struct BaseCase {
    uint32_t style;
    QSize size;
    QStringList bases;
    QPoint list_at;
};

TEST(NumberBase, OffersTheBasesOfItsStyleInItsLayout) {
    load_string_table(kLanguageEnglish);
    const BaseCase cases[] = {
        {0, {98, 85}, {"10", "16"}, {47, 29}},
        {kNumberBaseWide | kNumberBaseOffer2 | kNumberBaseOffer8, {180, 47}, {"2", "8", "10", "16"}, {134, 1}},
        {kNumberBaseOffer8, {98, 85}, {"8", "10", "16"}, {47, 29}},
    };
    for (const auto& c : cases) {
        FormPtr form = make_form();
        NumberBaseControl* control = create_number_base_control(form.get(), 10, 10, c.style);
        number_base_set_labels(control);
        EXPECT_EQ(control->size(), c.size) << c.style;
        EXPECT_EQ(control->base_list->pos(), c.list_at) << c.style;
        QStringList bases;
        for (int i = 0; i < control->base_list->count(); ++i) bases << control->base_list->itemText(i);
        EXPECT_EQ(bases, c.bases) << c.style;
        EXPECT_EQ(control->digit_count->text(), "0 ");
        EXPECT_EQ(control->digit_label->text(), "Digits");
        EXPECT_EQ(control->base_label->text(), "Base");
        number_base_select_10(control);
        EXPECT_EQ(number_base_selected(control), 10);
    }
}

TEST(NumberBase, ReportsEveryChoiceAlsoTheSameBaseAgain) {
    FormPtr form = make_form();
    NumberBaseControl* control =
        create_number_base_control(form.get(), 10, 10, kNumberBaseWide | kNumberBaseOffer2 | kNumberBaseOffer8);
    std::vector<int> reports;
    control->on_change = [&](int base) { reports.push_back(base); };
    number_base_select_10(control);
    activate(form.get());
    control->base_list->setFocus();
    press(Qt::Key_Down);  // a closed list steps to 16
    control->base_list->showPopup();
    QTest::keyClick(control->base_list->view(), Qt::Key_Return);  // chooses 16 again
    number_base_select_10(control);
    EXPECT_EQ(reports, (std::vector<int>{16, 16}));
    number_base_set_digit_count(control, 123);
    EXPECT_EQ(control->digit_count->text(), "123 ");
}

TEST(NumberType, ListsTheOfferedTypesWithTheirCodes) {
    load_string_table(kLanguageEnglish);
    FormPtr form = make_form();
    NumberTypeControl* all = create_number_type_control(form.get(), 12);
    EXPECT_EQ(all->geometry(), QRect(12, 29, 70, 23));
    ASSERT_EQ(all->type_list->count(), 3);
    const struct {
        const char* text;
        uint32_t code;
    } items[] = {{"rational", 2}, {"real", 1}, {"complex", 3}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(all->type_list->itemText(i), items[i].text);
        EXPECT_EQ(all->type_list->itemData(i).toUInt(), items[i].code);
    }
    number_type_select_real(all);
    EXPECT_EQ(number_type_selected(all), 1u);
    NumberTypeControl* some = create_number_type_control(form.get(), 100, kOfferReal | kOfferComplex);
    EXPECT_EQ(some->type_list->count(), 2);
    EXPECT_EQ(some->type_list->itemData(0).toUInt(), 1u);
}

TEST(CompositeControls, Screenshot) {
    load_string_table(kLanguageEnglish);
    FormPtr form = make_form(380, 200);
    NumberBaseControl* wide =
        create_number_base_control(form.get(), 5, 5, kNumberBaseWide | kNumberBaseOffer2 | kNumberBaseOffer8);
    number_base_set_labels(wide);
    number_base_select_10(wide);
    number_base_set_digit_count(wide, 1234);
    NumberBaseControl* narrow = create_number_base_control(form.get(), 5, 60, 0);
    number_base_set_labels(narrow);
    number_base_select_10(narrow);
    NumberTypeControl* type = create_number_type_control(form.get(), 200);
    number_type_select_real(type);
    NumericUpDownControl* spin = create_numeric_up_down(form.get(), 200, 70, 65, 19);
    numeric_up_down_set_max(spin, 10000);
    numeric_up_down_set_position(spin, 100);
    activate(form.get());
    QDir().mkpath(CALCARIUM_SCREENSHOT_DIR);
    EXPECT_TRUE(form->grab().save(QString(CALCARIUM_SCREENSHOT_DIR) + "/composite_controls.png"));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    init_ui_font();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
