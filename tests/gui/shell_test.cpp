// The shell under the offscreen platform: start-up and exit with and without a settings file, the main window's
// menu, the options dialog, the about box, help and the error box; screenshots of the main windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "numeric/num_context.h"
#include "platform/ui_globals.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/string_table.h"
#include "shell/ui/about_box.h"
#include "shell/ui/app_windows.h"
#include "shell/ui/help.h"
#include "shell/ui/main_window.h"
#include "shell/ui/options_dialog.h"
#include "shell/ui/startup.h"

// Failure messages show texts as text.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace fs = std::filesystem;

namespace {

void activate(QWidget* w) {
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    QCoreApplication::processEvents();
}

std::string read_file(const fs::path& p) {
    std::stringstream s;
    s << std::ifstream(p, std::ios::binary).rdbuf();
    return s.str();
}

QString first_menu_title() {
    return app_windows.main->findChild<QMenuBar*>()->actions().at(0)->text();
}

void save(const QPixmap& pixmap, const char* name) {
    QDir().mkpath(CALCARIUM_SCREENSHOT_DIR);
    EXPECT_TRUE(pixmap.save(QString(CALCARIUM_SCREENSHOT_DIR) + "/" + name)) << name;
}

int settings_writes = 0;
bool count_write(IniWriteStep step) {
    if (step == kIniStepCreate) ++settings_writes;
    return false;
}

class ShellTest : public ::testing::Test {
  protected:
    QTemporaryDir temp;
    fs::path dir = temp.path().toStdString();
    // Modal windows are answered from the event loop: each about box is counted, handed to on_about and hidden;
    // each message box is recorded and accepted.
    QTimer watch;
    int abouts = 0;
    std::function<void()> on_about;
    QStringList boxes;  // "title|text|icon" of each message box

    void SetUp() override {
        settings_path = dir / "UserSettings.ini";
        settings_writes = 0;
        ini_fault_hook = count_write;
        QObject::connect(&watch, &QTimer::timeout, [this] {
            watch.stop();  // the handlers may spin the event loop: no second call meanwhile
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes << box->windowTitle() + "|" + box->text() + "|" + QString::number(box->icon());
                box->accept();
            } else if (about_box.form != nullptr && about_box.form->isVisible()) {
                ++abouts;
                if (on_about) on_about();
                about_box.form->hide();
            }
            watch.start(5);
        });
        watch.start(5);
    }

    void TearDown() override {
        if (app_windows.main != nullptr) destroy_windows();
        ini_fault_hook = nullptr;
        set_message_presenter(nullptr);
        clear_error_state();
    }

    // Starts with a settings file that has the welcome hint off (plus the given lines of the options section).
    void start_quietly(const std::string& options = "") {
        std::ofstream(settings_path, std::ios::binary) << "[options]\n" + options + "[hints]\nshow_welcome_hint=0\n";
        start_application();
        ASSERT_EQ(abouts, 0);
        activate(app_windows.main);
    }
};

// ---- Start-up, menu and exit ---------------------------------------------------------------------------------

TEST_F(ShellTest, FirstStartShowsTheAboutBoxModallyOnceAndSavesTheHintAtExit) {
    bool main_disabled = false;
    on_about = [&] { main_disabled = !app_windows.main->isEnabled(); };
    start_application();
    EXPECT_EQ(abouts, 1);
    EXPECT_TRUE(main_disabled);
    EXPECT_TRUE(app_windows.main->isVisible() && app_windows.main->isEnabled());
    finish_application();
    EXPECT_EQ(settings_writes, 1);
    EXPECT_NE(read_file(settings_path).find("show_welcome_hint=0"), std::string::npos);

    // The second start finds the hint off: no about box, nothing changed, nothing written.
    start_application();
    finish_application();
    EXPECT_EQ(abouts, 1);
    EXPECT_EQ(settings_writes, 1);
}

TEST_F(ShellTest, StartUpAppliesDecimalPointAndLanguage) {
    start_quietly("decimal_point=comma\nlanguage=German\n");
    EXPECT_EQ(num_ctx.decimal_point_chars[0], u',');
    EXPECT_EQ(num_ctx.decimal_point_chars[1], u'.');
    EXPECT_EQ(effective_language, kLanguageGerman);
    EXPECT_EQ(help_path.filename(), "de");
    EXPECT_EQ(first_menu_title(), "Applikation");
    EXPECT_TRUE(options_dialog.comma->isChecked() && options_dialog.german->isChecked());
}

// Each module window opens from its menu item, keeps its contents when closed and comes back with them.
TEST_F(ShellTest, MenuItemsOpenTheirWindowsWhichKeepTheirContents) {
    start_quietly("language=English\n");
    QStringList items;
    for (QAction* title : app_windows.main->findChild<QMenuBar*>()->actions()) {
        for (QAction* item : title->menu()->actions()) items << title->text() + "/" + item->text();
    }
    EXPECT_EQ(items, QStringList({"Application/Options", "Application/Exit", "Algebra/Scientific Calculator",
                                  "Algebra/Algebraic Equations", "Algebra/Systems of Linear Equations",
                                  "Algebra/Polynomial Calculation", "Algebra/Prime Numbers",
                                  "Algebra/Prime Factors && Divisors", "Help/Show Help", "Help/Info ..."}));
    const char* titles[] = {
        "Scientific Calculator", "Solve algebraic equations", "Systems of linear equations", "Polynomial calculation",
        "Prime numbers",         "Prime factors and divisors"};
    const QList<QAction*> algebra = app_windows.main->findChild<QMenuBar*>()->actions().at(1)->menu()->actions();
    for (int i = 0; i < 6; ++i) {
        Form* w = module_window_for(kCmdCalculator + i);
        ASSERT_NE(w, nullptr) << titles[i];
        EXPECT_FALSE(w->isVisible()) << titles[i];
        algebra[i]->trigger();
        EXPECT_TRUE(w->isVisible()) << titles[i];
        EXPECT_EQ(w->windowTitle(), titles[i]);
        auto* note = new QLineEdit(titles[i], w);
        w->close();
        EXPECT_FALSE(w->isVisible()) << titles[i];
        algebra[i]->trigger();
        EXPECT_TRUE(w->isVisible()) << titles[i];
        EXPECT_EQ(note->text(), titles[i]);
        w->hide();
    }
}

// Exit closes the main window, which ends the loop with a module window still open.
TEST_F(ShellTest, ExitEndsTheLoopAndSavesChanges) {
    start_quietly();
    main_window_command(kCmdCalculator);
    settings.decimal_precision = 33;
    settings_changed = true;
    QTimer::singleShot(0, [] { main_window_command(kCmdExit); });
    EXPECT_EQ(QApplication::exec(), 0);
    finish_application();
    EXPECT_NE(read_file(settings_path).find("decimal_precision=33"), std::string::npos);
}

// ---- Options -------------------------------------------------------------------------------------------------

// The dialog shows the settings whenever it becomes active, so changes not confirmed are dropped; OK stores what
// differs and applies a new decimal point at once, while a new language waits for the next start behind a hint.
TEST_F(ShellTest, OptionsReloadWhenActivatedOkStoresChangesAndCancelDropsThem) {
    // Start, the clicks, then: changed, decimal point, grouping in algebra, language, a hint shown.
    const std::tuple<const char*, void (*)(), bool, uint32_t, int32_t, uint32_t, bool> cases[] = {
        {"decimal_point=comma\nthousands_sep_algebra=1\n", [] { options_dialog.ok->click(); }, false, 1, 1, 1, false},
        {"decimal_point=point\n",
         [] { options_dialog.comma->click(), options_dialog.sep_algebra->click(), options_dialog.ok->click(); }, true,
         1, 1, 1, false},
        {"language=English\n", [] { options_dialog.german->click(), options_dialog.ok->click(); }, true, 0, 0, 3, true},
        {"", [] { options_dialog.comma->click(), options_dialog.cancel->click(); }, false, 0, 0, 1, false},
        {"language=(automatic)\n",
         [] {
             options_dialog.comma->click();
             activate(app_windows.main);
             activate(options_dialog.form);
             options_dialog.ok->click();
         },
         false, 0, 0, 1, false}};
    for (const auto& [start, act, changed, decimal_point, sep_algebra, language, hinted] : cases) {
        start_quietly(start);
        const QString hint = "Hint|" + QString::fromUtf16(string_table.text[61]) + "|1";  // an information box
        main_window_command(kCmdOptions);
        activate(options_dialog.form);
        act();
        QTest::qWait(30);
        EXPECT_FALSE(options_dialog.form->isVisible()) << start;
        EXPECT_EQ(
            std::tuple(settings_changed, settings.decimal_point, settings.thousands_sep_algebra, settings.language),
            std::tuple(changed, decimal_point, sep_algebra, language))
            << start;
        EXPECT_EQ(num_ctx.decimal_point_chars[0], decimal_point == 1 ? u',' : u'.') << start;
        EXPECT_EQ(first_menu_title(), "Application") << start;
        EXPECT_EQ(boxes, hinted ? QStringList{hint} : QStringList{}) << start;
        boxes.clear();
        destroy_windows();
    }
}

// ---- Messages and help ---------------------------------------------------------------------------------------

TEST_F(ShellTest, MessagesAppearInAnErrorBoxAndHelpOpensAtTheOverview) {
    start_quietly("language=English\n");
    set_message(kMsgFileNotFound, u"x.csv");
    show_message();
    EXPECT_EQ(boxes, QStringList{"Error|The file \"x.csv\" was not found!|3"});  // a critical box
    EXPECT_EQ(message_state.message_code, 0u);
    main_window_command(kCmdShowHelp);
    auto* browser = app_windows.help->findChild<QTextBrowser*>();
    EXPECT_TRUE(app_windows.help->isVisible());
    EXPECT_TRUE(browser->source().path().endsWith("/en/Overview.html"));
    EXPECT_FALSE(browser->documentTitle().isEmpty());
    EXPECT_EQ(boxes.size(), 1) << "opening help showed a message";
}

TEST_F(ShellTest, Screenshots) {
    start_quietly("language=English\n");
    QWidget* main = app_windows.main;
    QMenuBar* bar = main->findChild<QMenuBar*>();
    QMenu* algebra = bar->actions().at(1)->menu();
    bar->setActiveAction(bar->actions().at(1));
    QTest::qWait(50);
    ASSERT_TRUE(algebra->isVisible());
    // The open menu is a window of its own: draw it below the main window as the screen shows it.
    const QPoint at = algebra->pos() - main->pos();
    QPixmap shot(std::max(main->width(), at.x() + algebra->width()) + 10, at.y() + algebra->height() + 10);
    shot.fill(Qt::darkGray);
    {
        QPainter painter(&shot);
        painter.drawPixmap(0, 0, main->grab());
        painter.drawPixmap(at, algebra->grab());
    }
    save(shot, "main_window_menu.png");
    algebra->hide();

    main_window_command(kCmdOptions);
    activate(options_dialog.form);
    save(options_dialog.form->grab(), "options_numbers.png");
    options_dialog.tabs->tabs->setCurrentIndex(1);
    save(options_dialog.form->grab(), "options_language.png");
    options_dialog.form->hide();

    on_about = [] {
        ASSERT_TRUE(QTest::qWaitForWindowActive(about_box.form));
        QTest::qWait(20);
        save(about_box.form->grab(), "about_box.png");
    };
    main_window_command(kCmdAbout);
    EXPECT_EQ(abouts, 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The automatic language is English unless a test asks otherwise.
    qputenv("LC_ALL", "C.UTF-8");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
