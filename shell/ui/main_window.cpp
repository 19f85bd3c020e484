#include "shell/ui/main_window.h"

#include <QCoreApplication>
#include <QMenuBar>
#include <QVBoxLayout>
#include <string>

#include "platform/modal.h"
#include "platform/ui_globals.h"
#include "shell/string_table.h"
#include "shell/ui/app_windows.h"
#include "shell/ui/help.h"

namespace {

struct MenuItem {
    int slot;
    int command;
};

struct MenuLayout {
    int slot;
    std::initializer_list<MenuItem> items;
};

void show_window(QWidget* window) {
    if (window == nullptr) return;
    if (window->isMinimized()) {
        window->showNormal();
    } else {
        window->show();
    }
    window->raise();
    window->activateWindow();
}

}  // namespace

Form* create_main_window() {
    const std::u16string title = std::u16string(kProgramName) + u" " + kProgramVersion;
    Form* form = create_form(370, 40, title, [](QWidget*, QEvent* event, bool&) {
        // Closing the main window (also from the menu) ends the program; nothing asks for confirmation.
        if (event->type() == QEvent::Close) QCoreApplication::quit();
    });
    auto* bar = new QMenuBar(form);
    bar->setNativeMenuBar(false);
    bar->setFont(ui_font());
    const MenuLayout menus[] = {
        {14, {{4, kCmdOptions}, {5, kCmdExit}}},
        {15,
         {{6, kCmdCalculator},
          {7, kCmdAlgebraicEquations},
          {8, kCmdLinearSystems},
          {9, kCmdPolynomials},
          {10, kCmdPrimeNumbers},
          {11, kCmdPrimeFactors}}},
        {16, {{12, kCmdShowHelp}, {13, kCmdAbout}}},
    };
    for (const MenuLayout& m : menus) {
        QMenu* menu = bar->addMenu(to_qstring(string_table.text[m.slot]));
        menu->setFont(ui_font());
        for (const MenuItem& item : m.items) {
            QAction* action = menu->addAction(to_qstring(string_table.text[item.slot]));
            action->setData(item.command);
            const int command = item.command;
            QObject::connect(action, &QAction::triggered, form, [command] { main_window_command(command); });
        }
    }
    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(bar);
    return form;
}

void main_window_command(int command) {
    switch (command) {
        case kCmdOptions:
            show_window(app_windows.options);
            break;
        case kCmdExit:
            if (app_windows.main != nullptr) app_windows.main->close();
            break;
        case kCmdCalculator:
        case kCmdAlgebraicEquations:
        case kCmdLinearSystems:
        case kCmdPolynomials:
        case kCmdPrimeNumbers:
        case kCmdPrimeFactors:
            show_window(module_window_for(command));
            break;
        case kCmdShowHelp:
            show_help(u"Overview.html");
            break;
        case kCmdAbout:
            if (app_windows.about != nullptr) run_modal(app_windows.about, app_windows.main);
            break;
        default:
            break;
    }
}
