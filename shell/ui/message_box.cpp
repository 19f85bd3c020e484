#include "shell/ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <string>

#include "platform/ui_globals.h"

namespace {

void run_box(QMessageBox::Icon icon, QWidget* owner, std::u16string_view title, std::u16string_view text) {
    QMessageBox box(icon, to_qstring(title), to_qstring(text), QMessageBox::Ok, owner);
    box.setWindowIcon(app_icon());
    box.exec();
}

}  // namespace

void present_in_message_box(std::u16string_view title, std::u16string_view text) {
    if (QThread::currentThread() != qApp->thread()) {
        // A worker thread shows its message through the GUI thread and waits until the box is closed.
        const std::u16string title_copy(title), text_copy(text);
        QMetaObject::invokeMethod(
            qApp, [&] { run_box(QMessageBox::Critical, QApplication::activeWindow(), title_copy, text_copy); },
            Qt::BlockingQueuedConnection);
        return;
    }
    run_box(QMessageBox::Critical, QApplication::activeWindow(), title, text);
}

void show_information_box(QWidget* owner, std::u16string_view title, std::u16string_view text) {
    run_box(QMessageBox::Information, owner, title, text);
}
