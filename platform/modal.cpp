#include "platform/modal.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QWindow>
#include <algorithm>
#include <vector>

namespace {

std::vector<const Form*> running;

bool is_application_window(const QWidget* w) {
    const Qt::WindowType type = w->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

}  // namespace

bool modal_loop_running(const Form* window) {
    return std::find(running.begin(), running.end(), window) != running.end();
}

bool run_modal(Form* window, QWidget* owner) {
    QPointer<Form> modal = window;
    // The owner keeps the window above itself. A transient parent rather than a parent widget, because disabling a
    // parent widget would disable the modal window with it.
    window->winId();
    QWindow* handle = window->windowHandle();
    QPointer<QWindow> old_owner = handle->transientParent();
    if (owner != nullptr) {
        owner->winId();
        handle->setTransientParent(owner->window()->windowHandle());
    }
    QPointer<QWidget> had_focus = QApplication::focusWidget();
    window->show();

    bool ran = false;
    if (window->isVisible()) {
        window->activateWindow();
        window->raise();
        std::vector<QPointer<QWidget>> disabled;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != window && is_application_window(w) && w->isEnabled()) disabled.emplace_back(w);
        }
        for (auto& w : disabled) w->setEnabled(false);

        QEventLoop loop;
        QObject::connect(window, &Form::hidden, &loop, &QEventLoop::quit);
        QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
        running.push_back(window);
        loop.exec();
        running.erase(std::find(running.begin(), running.end(), window));
        ran = true;

        for (auto& w : disabled) {
            if (w != nullptr) w->setEnabled(true);
        }
        if (had_focus != nullptr) {
            had_focus->activateWindow();
            had_focus->setFocus(Qt::ActiveWindowFocusReason);
        }
    }
    if (modal != nullptr && modal->windowHandle() != nullptr) modal->windowHandle()->setTransientParent(old_owner);
    return ran;
}
