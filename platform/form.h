// Forms: the top-level windows of the program. Every form and every framework control sees its events first
// through a handler; a handler that clears `proceed` consumes the event before the widget's own handling runs.
#pragma once

#include <QEvent>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string_view>

using EventHandler = std::function<void(QWidget* target, QEvent* event, bool& proceed)>;

enum FormStyle : uint32_t {
    // Title bar with system menu, sizable frame, minimise and maximise boxes.
    kFormOverlapped = 0,
    // Title bar only: no system menu, not sizable.
    kFormCaptionOnly = 1,
};

class Form : public QWidget {
    Q_OBJECT
  public:
    explicit Form(EventHandler handler);

    EventHandler handler;
    // The control that had the focus last; it gets the focus back when the form is activated.
    QPointer<QWidget> last_focused;
    // The push button that Enter clicks when the focused control does not take Enter itself.
    QPointer<QPushButton> default_button;

    // The last focused control, or the first tab stop when there is none or it cannot take the focus now.
    QWidget* focus_target();

  signals:
    // The form was hidden (or closed): ends a modal loop running for it.
    void hidden();

  protected:
    bool event(QEvent* event) override;
};

// A top-level form with the given client size, centred on the primary screen, hidden.
Form* create_form(int client_width, int client_height, std::u16string_view title, EventHandler handler,
                  FormStyle style = kFormOverlapped);

// The form that contains the widget (the widget itself when it is one); null outside forms.
Form* form_of(QWidget* widget);

// Makes the button the form's default button and shows it so; the previous default button loses the display.
void set_default_button(Form* form, QPushButton* button);
