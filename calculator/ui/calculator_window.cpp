#include "calculator/ui/calculator_window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTextCursor>
#include <algorithm>

#include "platform/control.h"
#include "platform/ui_globals.h"
#include "shell/settings.h"
#include "shell/string_table.h"

CalculatorWindow calculator_window{};

namespace {

// The entry line: wraps anywhere, not at word boundaries, and reports every paste (keyboard, menu, drop) before
// the text changes.
class EntryLine : public QPlainTextEdit {
  public:
    explicit EntryLine(QWidget* parent) : QPlainTextEdit(parent) {
        setLineWrapMode(QPlainTextEdit::WidgetWidth);
        setWordWrapMode(QTextOption::WrapAnywhere);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setTabChangesFocus(true);
    }

  protected:
    void insertFromMimeData(const QMimeData* source) override {
        entry_key(calculator_window.engine);
        QPlainTextEdit::insertFromMimeData(source);
    }
};

QFont entry_font() {
    QFont font;
    font.setFamilies({"Verdana", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(16);
    font.setWeight(QFont::Normal);
    return font;
}

CalculatorWindow& window_of(void* owner) {
    return *static_cast<CalculatorWindow*>(owner);
}

// Text the engine writes into the entry line; the caret ends behind an appended or deleted character.
class EngineWrite {
  public:
    explicit EngineWrite(CalculatorWindow& w) : w_(w) { w_.engine_writes = true; }
    ~EngineWrite() { w_.engine_writes = false; }

  private:
    CalculatorWindow& w_;
};

void view_get_entry(void* owner, std::u16string* text) {
    *text = to_u16(window_of(owner).entry->toPlainText());
}

void view_set_entry(void* owner, std::u16string_view text) {
    CalculatorWindow& w = window_of(owner);
    EngineWrite write(w);
    w.entry->setPlainText(to_qstring(text));
    // A cleared line is shown at once, before a long computation fills it again.
    if (text.empty()) w.entry->repaint();
}

void view_append_entry(void* owner, std::u16string_view text) {
    CalculatorWindow& w = window_of(owner);
    EngineWrite write(w);
    QTextCursor cursor = w.entry->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(to_qstring(text));
    w.entry->setTextCursor(cursor);
}

void view_delete_last_char(void* owner) {
    CalculatorWindow& w = window_of(owner);
    EngineWrite write(w);
    QTextCursor cursor = w.entry->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.deletePreviousChar();
    w.entry->setTextCursor(cursor);
}

void view_set_paren_indicator(void* owner, std::u16string_view text) {
    window_of(owner).panel->paren_indicator->setText(to_qstring(text));
}

void view_set_register_indicator(void* owner, std::u16string_view text) {
    window_of(owner).panel->register_indicator->setText(to_qstring(text));
}

void view_set_digit_counter(void* owner, std::u16string_view text) {
    window_of(owner).panel->base_control->digit_count->setText(to_qstring(text));
}

void view_show_inexact(void* owner, bool shown) {
    window_of(owner).panel->inexact_indicator->setVisible(shown);
}

void view_enable_key(void* owner, int cell, bool enabled) {
    if (cell >= 0 && cell < kKeypadCells) window_of(owner).panel->keys[cell]->setEnabled(enabled);
}

void view_label_keys(void* owner, uint32_t number_type) {
    sci_calc_label_keys(window_of(owner).panel, number_type, os_version);
}

void view_set_wait_cursor(void* owner, bool busy) {
    CalculatorWindow& w = window_of(owner);
    if (busy == w.busy) return;
    w.busy = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

CalculatorView make_view(CalculatorWindow& w) {
    CalculatorView v{};
    v.owner = &w;
    v.get_entry = view_get_entry;
    v.set_entry = view_set_entry;
    v.append_entry = view_append_entry;
    v.delete_last_char = view_delete_last_char;
    v.set_paren_indicator = view_set_paren_indicator;
    v.set_register_indicator = view_set_register_indicator;
    v.set_digit_counter = view_set_digit_counter;
    v.show_inexact = view_show_inexact;
    v.enable_key = view_enable_key;
    v.label_keys = view_label_keys;
    v.set_wait_cursor = view_set_wait_cursor;
    return v;
}

// The entry line keeps its top-left corner and takes the room above the panel; the panel stays at the bottom.
void place_children(CalculatorWindow& w, int width, int height) {
    w.entry->setGeometry(10, 10, std::max(0, width - 20), std::max(0, height - 15 - kPanelHeight));
    w.panel->move(0, height - 1 - kPanelHeight);
}

// A key press that is about to change the text: a printable character, Backspace, Delete or cut. Pastes are
// reported by the entry line itself.
bool edits_text(const QKeyEvent* key) {
    switch (key->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            return true;
        default:
            break;
    }
    if (key->matches(QKeySequence::Cut)) return true;
    // Control shortcuts carry a letter as text on some platforms; AltGr arrives as Control+Alt on others.
    const Qt::KeyboardModifiers modifiers = key->modifiers();
    if ((modifiers & Qt::ControlModifier) != 0 && (modifiers & Qt::AltModifier) == 0) return false;
    const QString text = key->text();
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar ch) { return ch.isPrint(); });
}

void entry_event(QWidget*, QEvent* event, bool& proceed) {
    CalculatorWindow& w = calculator_window;
    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            // Enter is no text here, and the form has no default button: a formula is evaluated by a key only.
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                proceed = false;
            } else if (edits_text(key)) {
                entry_key(w.engine);
            }
            break;
        }
        case QEvent::FocusIn:
            if (w.engine.entry_state != kEditing) w.entry->selectAll();
            break;
        default:
            break;
    }
}

// A slider operation ends on release of the thumb or on a keyboard or page step; while the thumb is dragged only
// the labels follow it.
void connect_slider(QSlider* slider, SciCalcGridControl* panel, void (*done)(int position)) {
    QObject::connect(slider, &QSlider::sliderMoved, panel, [panel] { sci_calc_mark_slider_labels(panel); });
    QObject::connect(slider, &QSlider::valueChanged, panel, [slider, panel, done](int position) {
        sci_calc_mark_slider_labels(panel);
        if (!slider->isSliderDown()) done(position);
    });
    QObject::connect(slider, &QSlider::sliderReleased, panel, [slider, done] { done(slider->value()); });
}

void number_type_chosen(int position) {
    Calculator& c = calculator_window.engine;
    const uint32_t type = number_type_at(position);
    if (type != c.calc_type) set_number_type(c, type);
}

void angle_unit_chosen(int position) {
    set_angle_unit(calculator_window.engine, angle_unit_at(position));
}

}  // namespace

Form* create_calculator_window() {
    CalculatorWindow& w = calculator_window;
    w.engine_writes = false;
    w.busy = false;
    w.form = create_form(kCalculatorWidth, kCalculatorHeight, string_table.text[17],
                         [](QWidget* form, QEvent* event, bool&) {
                             if (event->type() == QEvent::Resize && calculator_window.panel != nullptr) {
                                 place_children(calculator_window, form->width(), form->height());
                             }
                         });
    QObject::connect(w.form, &QObject::destroyed, [form = w.form] {
        if (calculator_window.form != form) return;
        calculator_window.form = nullptr;
        calculator_window.focus_sink = nullptr;
        calculator_window.entry = nullptr;
        calculator_window.panel = nullptr;
    });

    w.focus_sink = create_button(w.form, 0, 0, 0, 0, u"");
    w.focus_sink->setFocusPolicy(Qt::ClickFocus);

    w.entry = new EntryLine(w.form);
    attach_control(w.entry, entry_event);
    w.entry->setFont(entry_font());
    w.entry->show();

    SciCalcGridControl* panel = create_sci_calc_grid(w.form, 0, 0);
    w.panel = panel;
    place_children(w, w.form->width(), w.form->height());

    panel->type_slider->setValue(number_type_position(settings.number_type));
    panel->angle_slider->setValue(angle_unit_position(settings.angle_type));
    sci_calc_mark_slider_labels(panel);
    numeric_up_down_set_position(panel->precision, settings.decimal_precision == 0 ? 10 : settings.decimal_precision);
    numeric_up_down_commit(panel->precision, true, false);

    calculator_create(w.engine, make_view(w), number_type_at(panel->type_slider->value()),
                      angle_unit_at(panel->angle_slider->value()), panel->precision->position);

    for (int cell = 0; cell < kKeypadCells; ++cell) {
        QObject::connect(panel->keys[cell], &QPushButton::clicked, panel, [cell] {
            calculator_window.focus_sink->setFocus(Qt::OtherFocusReason);
            press_key(calculator_window.engine, cell);
        });
    }
    QObject::connect(w.entry, &QPlainTextEdit::textChanged, w.entry, [] {
        if (!calculator_window.engine_writes) entry_changed(calculator_window.engine);
    });
    connect_slider(panel->type_slider, panel, number_type_chosen);
    connect_slider(panel->angle_slider, panel, angle_unit_chosen);
    panel->precision->on_change = [](int32_t digits) { set_digits(calculator_window.engine, digits); };
    panel->base_control->on_change = [](int base) { set_base(calculator_window.engine, static_cast<uint32_t>(base)); };

    w.form->last_focused = w.focus_sink;
    return w.form;
}
