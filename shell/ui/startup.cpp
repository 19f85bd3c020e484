#include "shell/ui/startup.h"

#include <QStyleFactory>

#include "numeric/num_context.h"
#include "platform/modal.h"
#include "platform/ui_globals.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/string_table.h"
#include "shell/ui/app_windows.h"
#include "shell/ui/help.h"
#include "shell/ui/message_box.h"
#include "shell/ui/options_model.h"

uint32_t effective_language = kLanguageEnglish;

void start_application() {
    os_version = query_os_version();
    init_ui_font();
    init_numeric_context();
    // Qt needs no registration of control classes (the common controls, the grid's class) before use.
    load_settings();
    apply_decimal_point(settings.decimal_point);
    effective_language = select_language(settings.language);
    load_string_table(effective_language);
    init_help_path(effective_language, QCoreApplication::applicationDirPath().toStdString());
    set_message_presenter(present_in_message_box);
    create_windows();
    app_windows.main->show();
    if (settings.show_welcome_hint == 1) {
        run_modal(app_windows.about, app_windows.main);
        if (settings.show_welcome_hint == 1) {
            settings.show_welcome_hint = 0;
            settings_changed = true;
        }
    }
}

void finish_application() {
    // A settings file that cannot be written is not reported: the program is ending and has no window left.
    (void)save_settings();
    destroy_windows();
    set_message_presenter(nullptr);
}

int run_application(QApplication& app) {
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(app_icon());
    start_application();
    const int code = app.exec();
    finish_application();
    return code;
}
