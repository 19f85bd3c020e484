#include "platform/form.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/navigation.h"
#include "platform/ui_globals.h"

Form::Form(EventHandler h) : handler(std::move(h)) {
    setObjectName("cwl_DialogForm");
}

QWidget* Form::focus_target() {
    QWidget* target = last_focused;
    if (target == nullptr || target->window() != this || !target->isVisible() || !target->isEnabled()) {
        target = first_tab_stop(this);
    }
    return target;
}

bool Form::event(QEvent* e) {
    bool proceed = true;
    if (handler) handler(this, e, proceed);
    if (!proceed) {
        // A consumed close request keeps the window.
        if (e->type() == QEvent::Close) e->ignore();
        return true;
    }
    switch (e->type()) {
        case QEvent::WindowActivate: {
            // Qt focuses a control of its own choice after this event, which also overwrites last_focused; the
            // control chosen now gets the focus right after that.
            QPointer<QWidget> target = focus_target();
            QMetaObject::invokeMethod(
                this,
                [this, target] {
                    if (target != nullptr && isActiveWindow()) {
                        target->setFocus(Qt::ActiveWindowFocusReason);
                        target->update();
                    }
                },
                Qt::QueuedConnection);
            break;
        }
        case QEvent::Hide:
            // A minimised window is hidden spontaneously; only an explicit hide ends a modal loop.
            if (!e->spontaneous()) emit hidden();
            break;
        default:
            break;
    }
    return QWidget::event(e);
}

Form* create_form(int client_width, int client_height, std::u16string_view title, EventHandler handler,
                  FormStyle style) {
    Form* form = new Form(std::move(handler));
    if (style == kFormCaptionOnly) {
        form->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        form->setFixedSize(client_width, client_height);
    } else {
        form->setWindowFlags(Qt::Window);
        form->resize(client_width, client_height);
    }
    form->setWindowTitle(to_qstring(title));
    form->setWindowIcon(app_icon());
    form->setFont(ui_font());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        form->move(area.x() + (area.width() - client_width) / 2, area.y() + (area.height() - client_height) / 2);
    }
    return form;
}

Form* form_of(QWidget* widget) {
    return widget != nullptr ? qobject_cast<Form*>(widget->window()) : nullptr;
}

void set_default_button(Form* form, QPushButton* button) {
    if (form == nullptr) return;
    if (form->default_button != nullptr && form->default_button != button) form->default_button->setDefault(false);
    form->default_button = button;
    if (button != nullptr) button->setDefault(true);
}
