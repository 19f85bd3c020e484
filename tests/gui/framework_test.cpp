// The window framework under the offscreen platform: keyboard navigation, focus memory, the default button, the
// modal loop and the composite controls.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/control.h"
#include "platform/form.h"
#include "platform/group_box.h"
#include "platform/modal.h"
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
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

// Presses one key per letter (t Tab, T Shift+Tab, c Ctrl+Tab, u d l r the arrows) and expects the focus on the
// widget of the same index; a radio button that gets the focus is checked.
void expect_focus_steps(const char* keys, const std::vector<QWidget*>& focused) {
    const std::map<char, std::pair<Qt::Key, Qt::KeyboardModifiers>> codes = {
        {'t', {Qt::Key_Tab, Qt::NoModifier}},      {'T', {Qt::Key_Tab, Qt::ShiftModifier}},
        {'c', {Qt::Key_Tab, Qt::ControlModifier}}, {'u', {Qt::Key_Up, Qt::NoModifier}},
        {'d', {Qt::Key_Down, Qt::NoModifier}},     {'l', {Qt::Key_Left, Qt::NoModifier}},
        {'r', {Qt::Key_Right, Qt::NoModifier}}};
    ASSERT_EQ(std::strlen(keys), focused.size());
    for (size_t i = 0; i < focused.size(); ++i) {
        press(codes.at(keys[i]).first, codes.at(keys[i]).second);
        EXPECT_EQ(QApplication::focusWidget(), focused[i]) << "step " << i;
        if (auto* radio = qobject_cast<QRadioButton*>(focused[i])) {
            EXPECT_TRUE(radio->isChecked()) << "step " << i;
        }
    }
}

TEST(TextReaders, OsVersionAndUpDownPositionReadWhatTheyCanAndFallBack) {
    const std::pair<const char*, uint32_t> releases[] = {
        {"6.1.0-18-amd64", 0x0601}, {"10.0.19045", 0x0A00}, {"4.300", 0x04FF}, {"3.2-rc1", 0x0302}};
    for (const auto& [release, version] : releases) EXPECT_EQ(os_version_from_release(release), version) << release;
    for (const char* release : {"", "6", "6.", ".5"}) EXPECT_EQ(os_version_from_release(release), 0u) << release;
    // Clamped into 0..100; a text that is no decimal integer keeps the current position 5.
    const std::pair<const char16_t*, int32_t> fields[] = {
        {u" 7 ", 7}, {u"+8", 8}, {u"-3", 0},  {u"250", 100}, {u"99999999999999999999", 100},
        {u"abc", 5}, {u"", 5},   {u"12x", 5}, {u"1 2", 5},   {u"-", 5}};
    for (const auto& [text, position] : fields) {
        EXPECT_EQ(up_down_read_position(text, 5, 0, 100), position) << QString::fromUtf16(text).toStdString();
    }
}

TEST(Form, StartsHiddenAndItsHandlersConsumeEventsBeforeTheFormAndTheControls) {
    int closes = 0;
    FormPtr form = make_form(370, 355, [&](QWidget*, QEvent* e, bool& proceed) {
        if (e->type() == QEvent::Close) ++closes, proceed = false;
    });
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->size(), QSize(370, 355));
    QLineEdit* edit = create_edit(form.get(), 10, 10, 100, 20);
    attach_control(edit, [](QWidget*, QEvent* e, bool& proceed) {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_X) proceed = false;
    });
    activate(form.get());
    edit->setFocus();
    QTest::keyClicks(edit, "xyxz");
    EXPECT_EQ(edit->text(), "yz");
    form->close();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(form->isVisible());
}

// ---- Keyboard navigation and focus memory --------------------------------------------------------------------

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

// Activation returns the focus to the control that had it last, else to the first tab stop.
TEST(TabOrder, WrapsBothWaysSkipsWhatCannotTakeTheFocusAndActivationReturnsToTheLastFocused) {
    TabForm f;
    activate(f.form.get());
    EXPECT_EQ(QApplication::focusWidget(), f.first);
    expect_focus_steps("tttTTc", {f.button, f.last, f.first, f.last, f.button, f.button});
    FormPtr other = make_form(100, 100);
    create_edit(other.get(), 0, 0, 50, 20);
    activate(other.get());
    activate(f.form.get());
    EXPECT_EQ(QApplication::focusWidget(), f.button);
}

TEST(RadioGroup, TabEntersAtTheCheckedButtonArrowsMoveAndCheckAndTabLeavesTheGroup) {
    FormPtr form = make_form();
    QLineEdit* before = create_edit(form.get(), 10, 10, 100, 20);
    QGroupBox* group = create_group_box(form.get(), 10, 40, 150, 100, u"Group");
    QRadioButton* r[4];
    for (int i = 0; i < 4; ++i) r[i] = create_radio(group, 8, 20 + 20 * i, 100, 20, u"Radio");
    QPushButton* after = create_button(form.get(), 10, 150, 75, 25, u"After");
    r[0]->hide();
    r[2]->hide();
    activate(form.get());
    before->setFocus();
    // Nothing checked: Tab lands on the first visible button and checks it; Shift+Tab comes back to the checked one.
    expect_focus_steps("tdrtTulT", {r[1], r[3], r[3], after, r[3], r[1], r[1], before});
    EXPECT_FALSE(r[0]->isChecked() || r[2]->isChecked() || r[3]->isChecked());
}

// Enter clicks the default button from a single-line field, breaks the line in a multi-line one and clicks the
// focused button, which shows as default while it has the focus.
TEST(DefaultButton, EnterAndTheDefaultDisplayFollowTheFocus) {
    FormPtr form = make_form();
    QLineEdit* edit = create_edit(form.get(), 10, 10, 100, 20);
    auto* text = new QPlainTextEdit(form.get());
    text->setGeometry(10, 40, 200, 80);
    attach_control(text);
    QPushButton* other = create_button(form.get(), 10, 150, 75, 25, u"Other");
    QPushButton* ok = create_button(form.get(), 100, 150, 75, 25, u"OK");
    set_default_button(form.get(), ok);
    QStringList clicks;
    for (QPushButton* b : {ok, other})
        QObject::connect(b, &QPushButton::clicked, [&clicks, b] { clicks << b->text(); });
    activate(form.get());
    edit->setFocus();
    press(Qt::Key_Return);
    press(Qt::Key_Enter);
    press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), edit);
    text->setFocus();
    QTest::keyClicks(text, "ab");
    press(Qt::Key_Return);
    QTest::keyClicks(text, "c");
    EXPECT_EQ(text->toPlainText(), "ab\nc");
    EXPECT_TRUE(ok->isDefault());
    other->setFocus();
    EXPECT_TRUE(other->isDefault() && !ok->isDefault());
    press(Qt::Key_Return);
    EXPECT_EQ(clicks.join(' '), "OK OK Other");
    edit->setFocus();
    EXPECT_TRUE(ok->isDefault() && !other->isDefault());
    set_default_button(form.get(), other);
    EXPECT_TRUE(other->isDefault() && !ok->isDefault());
}

// ---- Modal loop ----------------------------------------------------------------------------------------------

// A window disabled before the loop must stay disabled after it: the loop enables only what it disabled.
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
        EXPECT_FALSE(enabled->isEnabled() || disabled->isEnabled() || hidden->isEnabled());
        EXPECT_TRUE(modal->isVisible() && modal->isEnabled());
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
    QPointer<Form> doomed = create_form(100, 100, u"Modal", {});
    QTimer::singleShot(0, [&] { delete doomed.data(); });
    EXPECT_TRUE(run_modal(doomed, owner.get()));
    EXPECT_TRUE(doomed.isNull());
    EXPECT_TRUE(owner->isEnabled());
}

// ---- Composite controls --------------------------------------------------------------------------------------

TEST(TabControl, ShowsOnlyTheSelectedPage) {
    FormPtr form = make_form(362, 330);
    TabControl* tabs = create_tab_control(form.get(), 5, 8, 350, 280);
    QWidget* first = create_tab_page(tabs, u"First");
    QWidget* second = create_tab_page(tabs, u"Second");
    activate(form.get());
    EXPECT_TRUE(first->isVisible() && !second->isVisible());
    EXPECT_EQ(first->geometry(), tabs->display_area());
    tabs->tabs->setCurrentIndex(1);
    EXPECT_TRUE(!first->isVisible() && second->isVisible());
    EXPECT_EQ(std::pair(find_tab_of_page(tabs, second), find_tab_of_page(tabs, form.get())), std::pair(1, -1));
}

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
        activate(form.get());
    }
    void type(const char* text, bool enter = false) {
        spin->edit->setFocus();
        spin->edit->selectAll();
        QTest::keyClicks(spin->edit, text);
        if (enter) press(Qt::Key_Return);
        other->setFocus();
    }
};

TEST(NumericUpDown, LeavingTheFieldOrEnterCommitsAndReportsOnceWithoutTheDefaultButton) {
    UpDownForm f;
    const std::tuple<const char*, bool, const char*> steps[] = {
        {" 42", false, "42"}, {"42", false, "42"}, {"500", false, "100"}, {"abc", false, "100"}, {"7", true, "7"}};
    for (const auto& [typed, enter, shown] : steps) {
        f.type(typed, enter);
        EXPECT_EQ(f.spin->edit->text(), shown) << typed;
    }
    EXPECT_EQ(f.reports, (std::vector<int32_t>{42, 100, 7}));
    EXPECT_EQ(f.ok_clicks, 0);
}

TEST(NumericUpDown, SpinButtonsAndArrowsStepFromTheTypedTextWithinTheRange) {
    UpDownForm f;
    for (QToolButton* b : {f.spin->up, f.spin->up, f.spin->down, f.spin->down, f.spin->down}) b->click();
    EXPECT_EQ(f.spin->edit->text(), "0");
    f.spin->edit->setText("50");
    f.spin->up->click();
    EXPECT_EQ(f.spin->edit->cursorPosition(), 2);
    f.spin->edit->setFocus();
    press(Qt::Key_Up);
    EXPECT_EQ(f.spin->edit->text(), "52");
    EXPECT_EQ(f.reports, (std::vector<int32_t>{1, 2, 1, 0, 51, 52}));
}

TEST(NumberBase, ReportsEveryChoiceAlsoTheSameBaseAgain) {
    load_string_table(kLanguageEnglish);
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
    NumberTypeControl* some = create_number_type_control(form.get(), 100, kOfferReal | kOfferComplex);
    for (const auto& [control, items] : {std::pair(all, "rational=2 real=1 complex=3"), {some, "real=1 complex=3"}}) {
        QStringList list;
        for (int i = 0; i < control->type_list->count(); ++i) {
            list << control->type_list->itemText(i) + "=" + control->type_list->itemData(i).toString();
        }
        EXPECT_EQ(list.join(' '), items);
    }
    number_type_select_real(all);
    EXPECT_EQ(number_type_selected(all), 1u);
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
