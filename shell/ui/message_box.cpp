#include "shell/ui/message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/ui_globals.h"

namespace {

void run_box(QMessageBox::Icon icon, QWidget* owner, std::u16string_view title, std::u16string_view text) {
    QMessageBox box(icon, to_qstring(title), to_qstring(text), QMessageBox::Ok, owner);
    box.setWindowIcon(app_icon());
    box.exec();
}

}  // namespace

void present_in_message_box(std::u16string_view title, std::u16string_view text) {
    run_box(QMessageBox::Critical, QApplication::activeWindow(), title, text);
}

void show_information_box(QWidget* owner, std::u16string_view title, std::u16string_view text) {
    run_box(QMessageBox::Information, owner, title, text);
}
