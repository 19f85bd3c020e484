#include "platform/control.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "platform/navigation.h"
#include "platform/ui_globals.h"

namespace {

constexpr const char* kRecordProperty = "cwl_ControlData";

bool wants_enter(QWidget* control) {
    if (control->property(kWantsEnterProperty).toBool()) return true;
    if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) return !edit->isReadOnly();
    if (auto* edit = qobject_cast<QTextEdit*>(control)) return !edit->isReadOnly();
    if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->view() != nullptr && combo->view()->isVisible();
    return false;
}

void show_focus_in_default_display(Form* form, QWidget* control) {
    QWidget* previous = form->last_focused;
    form->last_focused = control;
    auto* previous_button = qobject_cast<QPushButton*>(previous);
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        if (previous_button != nullptr && previous_button != button) previous_button->setDefault(false);
        if (form->default_button != nullptr && form->default_button != button) form->default_button->setDefault(false);
        button->setDefault(true);
    } else {
        if (previous_button != nullptr && previous_button != form->default_button) previous_button->setDefault(false);
        if (form->default_button != nullptr) form->default_button->setDefault(true);
    }
}

// Returns true when the key event is consumed.
bool route_key_press(QWidget* control, QKeyEvent* key) {
    const bool ctrl = (key->modifiers() & Qt::ControlModifier) != 0;
    switch (key->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (ctrl) return false;
            move_to_next_tab_stop(control, key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier) == 0);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            if (ctrl || wants_enter(control)) return false;
            if (auto* button = qobject_cast<QPushButton*>(control)) {
                button->click();
                return true;
            }
            Form* form = form_of(control);
            if (form != nullptr && form->default_button != nullptr && form->default_button->isEnabled()) {
                QPointer<QWidget> had_focus = control;
                form->default_button->click();
                if (had_focus != nullptr && QApplication::focusWidget() != form->default_button) {
                    form->last_focused = had_focus;
                }
            }
            return true;
        }
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down: {
            auto* radio = qobject_cast<QRadioButton*>(control);
            if (radio == nullptr) return false;
            const bool forward = key->key() == Qt::Key_Right || key->key() == Qt::Key_Down;
            if (QRadioButton* next = neighbour_in_radio_group(radio, forward)) {
                next->click();
                next->setFocus(Qt::TabFocusReason);
            }
            return true;
        }
        default:
            return false;
    }
}

// One filter for all attached controls: the handler first, then the framework's keyboard and focus rules.
class ControlRouter : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* control = qobject_cast<QWidget*>(watched);
        ControlRecord* record = control != nullptr ? control_record(control) : nullptr;
        if (record == nullptr) return false;
        if (record->handler) {
            bool proceed = true;
            record->handler(control, event, proceed);
            if (!proceed) return true;
        }
        switch (event->type()) {
            case QEvent::FocusIn:
                if (Form* form = form_of(control)) show_focus_in_default_display(form, control);
                return false;
            case QEvent::KeyPress:
                return route_key_press(control, static_cast<QKeyEvent*>(event));
            case QEvent::KeyRelease: {
                const int k = static_cast<QKeyEvent*>(event)->key();
                return k == Qt::Key_Tab || k == Qt::Key_Backtab;
            }
            default:
                return false;
        }
    }
};

ControlRouter& router() {
    static ControlRouter instance;
    return instance;
}

template <typename T>
T* place(T* control, int x, int y, int width, int height) {
    control->setGeometry(x, y, width, height);
    attach_control(control);
    control->show();
    return control;
}

}  // namespace

ControlRecord::ControlRecord(QWidget* control, EventHandler h) : QObject(control), handler(std::move(h)) {}

ControlRecord::~ControlRecord() {
    if (QObject* control = parent()) {
        control->removeEventFilter(&router());
        control->setProperty(kRecordProperty, QVariant());
    }
}

ControlRecord* attach_control(QWidget* control, EventHandler handler) {
    if (ControlRecord* existing = control_record(control)) {
        existing->handler = std::move(handler);
        return existing;
    }
    auto* record = new ControlRecord(control, std::move(handler));
    control->setProperty(kRecordProperty, QVariant::fromValue(static_cast<QObject*>(record)));
    control->installEventFilter(&router());
    control->setFont(ui_font());
    return record;
}

ControlRecord* control_record(const QWidget* control) {
    return qobject_cast<ControlRecord*>(control->property(kRecordProperty).value<QObject*>());
}

QPushButton* create_button(QWidget* parent, int x, int y, int width, int height, std::u16string_view text) {
    auto* button = new QPushButton(to_qstring(text), parent);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return place(button, x, y, width, height);
}

QComboBox* create_combo(QWidget* parent, int x, int y, int width, int height) {
    auto* combo = new QComboBox(parent);
    combo->setFocusPolicy(Qt::StrongFocus);
    place(combo, x, y, width, height);
    if (QLineEdit* edit = combo->lineEdit()) attach_control(edit);
    return combo;
}

QLabel* create_label(QWidget* parent, int x, int y, int width, int height, std::u16string_view text) {
    auto* label = new QLabel(to_qstring(text), parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return place(label, x, y, width, height);
}

QLineEdit* create_edit(QWidget* parent, int x, int y, int width, int height) {
    auto* edit = new QLineEdit(parent);
    return place(edit, x, y, width, height);
}

QRadioButton* create_radio(QWidget* parent, int x, int y, int width, int height, std::u16string_view text) {
    auto* radio = new QRadioButton(to_qstring(text), parent);
    radio->setFocusPolicy(Qt::StrongFocus);
    return place(radio, x, y, width, height);
}

QCheckBox* create_check(QWidget* parent, int x, int y, int width, int height, std::u16string_view text) {
    auto* check = new QCheckBox(to_qstring(text), parent);
    check->setFocusPolicy(Qt::StrongFocus);
    return place(check, x, y, width, height);
}
