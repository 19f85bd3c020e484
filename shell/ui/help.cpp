#include "shell/ui/help.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "platform/ui_globals.h"
#include "shell/messages.h"
#include "shell/string_table.h"

std::filesystem::path help_path;

namespace {

Form* help_window = nullptr;
QTextBrowser* help_browser = nullptr;

bool is_folder(const std::filesystem::path& p) {
    std::error_code ec;
    return !p.empty() && std::filesystem::is_directory(p, ec);
}

}  // namespace

std::filesystem::path find_help_folder(uint32_t language, const std::filesystem::path& program_folder) {
    const char* lang = language == kLanguageGerman ? "de" : (language == kLanguageEnglish ? "en" : nullptr);
    if (lang == nullptr) return {};
    const std::filesystem::path installed = program_folder / ".." / "share" / "calcarium" / "help" / lang;
    std::filesystem::path candidates[4];
    if (const char* dir = std::getenv("CALCARIUM_HELP_DIR"); dir != nullptr && *dir != '\0') {
        candidates[0] = std::filesystem::path(dir) / lang;
    }
    candidates[1] = installed;
    candidates[2] = program_folder / "help" / lang;
    // A program run from its build folder finds the pages in the source tree it was built from.
    candidates[3] = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "docs" / "help" / lang;
    for (const auto& c : candidates) {
        if (is_folder(c)) return c.lexically_normal();
    }
    return installed.lexically_normal();
}

void init_help_path(uint32_t language, const std::filesystem::path& program_folder) {
    help_path = find_help_folder(language, program_folder);
}

Form* create_help_window() {
    const std::u16string title = std::u16string(u"Calcarium \u2013 ") + string_table.text[16];
    help_window = create_form(640, 520, title, {});
    help_browser = new QTextBrowser(help_window);
    help_browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(help_window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(help_browser);
    QObject::connect(help_window, &QObject::destroyed, [] {
        help_window = nullptr;
        help_browser = nullptr;
    });
    return help_window;
}

void show_help(std::u16string_view topic) {
    const std::filesystem::path page = help_path.empty() ? std::filesystem::path() : help_path / topic;
    std::error_code ec;
    if (page.empty() || !std::filesystem::is_regular_file(page, ec)) {
        set_message(kMsgFileNotFound, page.u16string());
    } else if (!std::ifstream(page).good() || help_browser == nullptr) {
        set_message(kMsgFileAccess, page.u16string());
    } else {
        help_browser->setSource(QUrl::fromLocalFile(QString::fromStdString(page.string())));
        // The viewer stays usable while a modal window (the about box) has disabled the others.
        help_window->setEnabled(true);
        if (help_window->isMinimized()) help_window->showNormal();
        help_window->show();
        help_window->raise();
        help_window->activateWindow();
    }
    show_message();
}
