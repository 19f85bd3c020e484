// The window framework under the offscreen platform: keyboard navigation, focus memory, the default button, the
// modal loop and the numeric up-down control.
#include <gtest/gtest.h>

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
#include "platform/modal.h"
#include "platform/numeric_up_down_control.h"
#include "platform/ui_globals.h"

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

// Presses one key per letter (t Tab, T Shift+Tab, c Ctrl+Tab) and expects the focus on the widget of the same index.
void expect_focus_steps(const char* keys, const std::vector<QWidget*>& focused) {
    const std::map<char, Qt::KeyboardModifiers> modifiers = {
        {'t', Qt::NoModifier}, {'T', Qt::ShiftModifier}, {'c', Qt::ControlModifier}};
    ASSERT_EQ(std::strlen(keys), focused.size());
    for (size_t i = 0; i < focused.size(); ++i) {
        press(Qt::Key_Tab, modifiers.at(keys[i]));
        EXPECT_EQ(QApplication::focusWidget(), focused[i]) << "step " << i;
    }
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

// Enter in the field commits without clicking the default button; a value is reported once, clamped to the range.
TEST(NumericUpDown, LeavingTheFieldOrEnterCommitsAndReportsOnceWithoutTheDefaultButton) {
    FormPtr form = make_form();
    NumericUpDownControl* spin = create_numeric_up_down(form.get(), 10, 10, 80, 22);
    QLineEdit* other = create_edit(form.get(), 10, 50, 100, 20);
    QPushButton* ok = create_button(form.get(), 10, 100, 75, 25, u"OK");
    set_default_button(form.get(), ok);
    std::vector<int32_t> reports;  // -1 for a click on OK
    spin->on_change = [&](int32_t v) { reports.push_back(v); };
    QObject::connect(ok, &QPushButton::clicked, [&] { reports.push_back(-1); });
    activate(form.get());
    const std::tuple<const char*, bool, const char*> steps[] = {
        {" 42", false, "42"}, {"42", false, "42"}, {"500", false, "100"}, {"abc", false, "100"}, {"7", true, "7"}};
    for (const auto& [typed, enter, shown] : steps) {
        spin->edit->setFocus();
        spin->edit->selectAll();
        QTest::keyClicks(spin->edit, typed);
        if (enter) press(Qt::Key_Return);
        other->setFocus();
        EXPECT_EQ(spin->edit->text(), shown) << typed;
    }
    EXPECT_EQ(reports, (std::vector<int32_t>{42, 100, 7}));
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
