// The shell under the offscreen platform: start-up and exit with and without a settings file, the main window's
// menu, the options dialog, the about box, help and the error box; screenshots of the main windows.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

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
#include "shell/ui/options_model.h"
#include "shell/ui/startup.h"

namespace fs = std::filesystem;

namespace {

// Runs `action` once from the event loop as soon as `ready` holds, as long as the watch lives.
class Watch {
  public:
    Watch(std::function<bool()> ready, std::function<void()> action) : timer_(new QTimer) {
        QObject::connect(timer_, &QTimer::timeout, [this, ready, action] {
            if (!ready()) return;
            timer_->stop();
            action();
        });
        timer_->start(5);
    }
    ~Watch() { delete timer_; }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

  private:
    QTimer* timer_;
};

bool visible(QWidget* w) {
    return w != nullptr && w->isVisible();
}

// The title, text and icon of the next modal message box, which is then closed.
struct BoxCapture {
    int count = 0;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Watch watch{[] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
                [this] {
                    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                    ++count;
                    title = box->windowTitle();
                    text = box->text();
                    icon = box->icon();
                    box->accept();
                }};
};

void activate(QWidget* w) {
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    QCoreApplication::processEvents();
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int settings_writes = 0;
bool count_write(IniWriteStep step) {
    if (step == kIniStepCreate) ++settings_writes;
    return false;
}

class ShellTest : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        static int serial = 0;
        dir = fs::temp_directory_path() /
              ("calcarium_shell_test_" + std::to_string(getpid()) + "_" + std::to_string(++serial));
        fs::remove_all(dir);
        fs::create_directories(dir);
        settings_path = dir / "UserSettings.ini";
        settings_writes = 0;
        ini_fault_hook = count_write;
    }

    void TearDown() override {
        if (app_windows.main != nullptr) destroy_windows();
        ini_fault_hook = nullptr;
        set_message_presenter(nullptr);
        clear_error_state();
        fs::remove_all(dir);
    }

    void write_settings(const std::string& content) { std::ofstream(settings_path, std::ios::binary) << content; }

    // Starts with a settings file that has the welcome hint off (plus the given lines of the options section).
    void start_quietly(const std::string& options = "") {
        write_settings("[options]\n" + options + "[hints]\nshow_welcome_hint=0\n");
        int about_opened = 0;
        Watch watch1([] { return visible(about_box.form); },
                     [&] {
                         ++about_opened;
                         about_box.form->hide();
                     });
        start_application();
        ASSERT_EQ(about_opened, 0);
        activate(app_windows.main);
    }
};

// ---- Start-up and exit ---------------------------------------------------------------------------------------

TEST_F(ShellTest, FirstStartShowsTheAboutBoxOnceAndSavesTheHintAtExit) {
    int about_opened = 0;
    bool main_disabled = false;
    Watch watch2([] { return visible(about_box.form); },
                 [&] {
                     ++about_opened;
                     main_disabled = !app_windows.main->isEnabled();
                     about_box.ok->click();
                 });
    start_application();
    EXPECT_EQ(about_opened, 1);
    EXPECT_TRUE(main_disabled);
    EXPECT_TRUE(app_windows.main->isVisible());
    EXPECT_TRUE(app_windows.main->isEnabled());
    EXPECT_FALSE(app_windows.about->isVisible());
    EXPECT_EQ(settings.show_welcome_hint, 0);
    EXPECT_TRUE(settings_changed);
    finish_application();
    EXPECT_EQ(settings_writes, 1);
    EXPECT_NE(read_file(settings_path).find("show_welcome_hint=0"), std::string::npos);

    // The second start finds the hint off: no about box, nothing changed, nothing written.
    Watch watch3([] { return visible(about_box.form); },
                 [&] {
                     ++about_opened;
                     about_box.form->hide();
                 });
    start_application();
    EXPECT_EQ(about_opened, 1);
    EXPECT_FALSE(settings_changed);
    finish_application();
    EXPECT_EQ(settings_writes, 1);
}

TEST_F(ShellTest, StartUpAppliesDecimalPointAndLanguage) {
    start_quietly("decimal_point=comma\nlanguage=German\n");
    EXPECT_EQ(num_ctx.decimal_point_chars[0], u',');
    EXPECT_EQ(num_ctx.decimal_point_chars[1], u'.');
    EXPECT_EQ(effective_language, kLanguageGerman);
    EXPECT_EQ(help_path.filename(), "de");
    QMenuBar* bar = app_windows.main->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->actions().at(0)->text(), "Applikation");
    EXPECT_TRUE(options_dialog.comma->isChecked());
    EXPECT_TRUE(options_dialog.german->isChecked());
    EXPECT_GT(os_version, 0u);
}

struct WindowCase {
    Form* AppWindows::*window;
    QSize size;
    const char* title;
};

TEST_F(ShellTest, EveryWindowIsCreatedHiddenWithItsSizeAndTitle) {
    load_string_table(kLanguageEnglish);
    start_quietly("language=English\n");
    const WindowCase cases[] = {
        {&AppWindows::main, {370, 40}, "Calcarium 3.00"},
        {&AppWindows::calculator, {370, 355}, "Scientific Calculator"},
        {&AppWindows::algebraic_equations, {505, 390}, "Solve algebraic equations"},
        {&AppWindows::linear_systems, {505, 420}, "Systems of linear equations"},
        {&AppWindows::polynomials, {505, 420}, "Polynomial calculation"},
        {&AppWindows::prime_numbers, {650, 368}, "Prime numbers"},
        {&AppWindows::prime_factors, {562, 316}, "Prime factors and divisors"},
        {&AppWindows::options, {362, 330}, "Options"},
        {&AppWindows::about, {375, 250}, "About Calcarium"},
    };
    for (const auto& c : cases) {
        Form* w = app_windows.*c.window;
        ASSERT_NE(w, nullptr) << c.title;
        EXPECT_EQ(w->size(), c.size) << c.title;
        EXPECT_EQ(w->windowTitle(), c.title);
        EXPECT_EQ(w->isVisible(), w == app_windows.main) << c.title;
    }
    EXPECT_FALSE(app_windows.about->windowFlags().testFlag(Qt::WindowSystemMenuHint));
}

TEST_F(ShellTest, MenuOffersEveryCommandWithTheTableTexts) {
    start_quietly("language=English\n");
    QMenuBar* bar = app_windows.main->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    struct Item {
        const char* text;
        int command;
    };
    const std::vector<std::pair<const char*, std::vector<Item>>> menus = {
        {"Application", {{"Options", 101}, {"Exit", 102}}},
        {"Algebra",
         {{"Scientific Calculator", 201},
          {"Algebraic Equations", 202},
          {"Systems of Linear Equations", 203},
          {"Polynomial Calculation", 204},
          {"Prime Numbers", 205},
          {"Prime Factors && Divisors", 206}}},
        {"Help", {{"Show Help", 301}, {"Info ...", 302}}},
    };
    ASSERT_EQ(bar->actions().size(), 3);
    for (size_t m = 0; m < menus.size(); ++m) {
        QAction* title = bar->actions().at(static_cast<qsizetype>(m));
        EXPECT_EQ(title->text(), menus[m].first);
        ASSERT_NE(title->menu(), nullptr);
        const QList<QAction*> items = title->menu()->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(menus[m].second.size()));
        for (qsizetype i = 0; i < items.size(); ++i) {
            const Item& expected = menus[m].second[static_cast<size_t>(i)];
            EXPECT_EQ(items[i]->text(), expected.text);
            EXPECT_EQ(items[i]->data().toInt(), expected.command);
        }
    }
}

TEST_F(ShellTest, ModuleWindowsKeepTheirContentsWhenClosedAndShownAgain) {
    start_quietly();
    for (int command : {201, 202, 203, 204, 205, 206}) {
        Form* w = module_window_for(command);
        ASSERT_NE(w, nullptr) << command;
        main_window_command(command);
        EXPECT_TRUE(w->isVisible()) << command;
        auto* note = new QLineEdit(w);
        note->setText(QString::number(command));
        w->close();
        EXPECT_FALSE(w->isVisible()) << command;
        main_window_command(command);
        EXPECT_TRUE(w->isVisible()) << command;
        ASSERT_TRUE(w->findChildren<QLineEdit*>().contains(note)) << command;
        EXPECT_EQ(note->text(), QString::number(command));
    }
}

TEST_F(ShellTest, CommandsOutsideTheMenuAreIgnored) {
    start_quietly();
    for (int command : {0, 100, 103, 200, 207, 300, 303, -1}) main_window_command(command);
    QCoreApplication::processEvents();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != app_windows.main) {
            EXPECT_FALSE(w->isVisible()) << w->windowTitle().toStdString();
        }
    }
}

TEST_F(ShellTest, ExitAndClosingTheMainWindowBothEndTheLoopAndSaveChanges) {
    for (bool from_menu : {true, false}) {
        start_quietly();
        main_window_command(kCmdCalculator);
        main_window_command(kCmdPrimeNumbers);
        settings.decimal_precision = from_menu ? 33 : 44;
        settings_changed = true;
        QTimer::singleShot(0, [from_menu] {
            if (from_menu) {
                main_window_command(kCmdExit);
            } else {
                app_windows.main->close();
            }
        });
        EXPECT_EQ(QApplication::exec(), 0) << from_menu;
        finish_application();
        const std::string expected = from_menu ? "decimal_precision=33" : "decimal_precision=44";
        EXPECT_NE(read_file(settings_path).find(expected), std::string::npos) << from_menu;
    }
}

TEST_F(ShellTest, AboutFromTheMenuIsModalAndItsButtonsOpenHelp) {
    start_quietly("language=English\n");
    main_window_command(kCmdCalculator);
    bool others_disabled = false;
    bool help_usable = false;
    QUrl contact_page;
    Watch watch4([] { return visible(about_box.form); },
                 [&] {
                     others_disabled = !app_windows.main->isEnabled() && !app_windows.calculator->isEnabled();
                     about_box.contact->click();
                     help_usable = app_windows.help->isVisible() && app_windows.help->isEnabled();
                     contact_page = app_windows.help->findChild<QTextBrowser*>()->source();
                     about_box.ok->click();
                 });
    main_window_command(kCmdAbout);
    EXPECT_TRUE(others_disabled);
    EXPECT_TRUE(help_usable);
    EXPECT_TRUE(contact_page.path().endsWith("/en/ContactDetails.html")) << contact_page.path().toStdString();
    EXPECT_TRUE(app_windows.main->isEnabled());
    EXPECT_TRUE(app_windows.calculator->isEnabled());
    EXPECT_FALSE(app_windows.about->isVisible());
}

TEST_F(ShellTest, AboutOpensWithTheFocusOnOkAndEnterClosesIt) {
    start_quietly();
    QWidget* focused = nullptr;
    Watch watch([] { return visible(about_box.form) && about_box.form->isActiveWindow(); },
                [&] {
                    QTest::qWait(20);
                    focused = QApplication::focusWidget();
                    if (focused != nullptr) QTest::keyClick(focused, Qt::Key_Return);
                });
    QTimer::singleShot(3000, [] { about_box.form->hide(); });  // ends the loop should Enter fail
    main_window_command(kCmdAbout);
    EXPECT_EQ(focused, about_box.ok);
    EXPECT_TRUE(about_box.ok->isDefault());
    EXPECT_FALSE(about_box.form->isVisible());
}

// ---- Options -------------------------------------------------------------------------------------------------

struct StoreCase {
    OptionsChoice choice;
    bool changed;
    bool decimal_point_changed;
    bool language_changed;
    uint32_t decimal_point;
    uint32_t language;
};

TEST(OptionsModel, StoresWhatDiffers) {
    // Start: point, no grouping, automatic language.
    const StoreCase cases[] = {
        {{true, false, false, false, false, true, false, false}, false, false, false, 0, 1},
        {{false, true, false, false, false, true, false, false}, true, true, false, 1, 1},
        {{false, false, false, false, false, true, false, false}, false, false, false, 0, 1},
        {{true, false, false, false, true, true, false, false}, true, false, false, 0, 1},
        {{true, false, false, false, false, false, false, true}, true, false, true, 0, 3},
        {{true, false, false, false, false, false, true, false}, true, false, true, 0, 2},
        {{true, false, false, false, false, false, false, false}, false, false, false, 0, 1},
    };
    int row = 0;
    for (const auto& c : cases) {
        Settings s{};
        s.language = 1;
        const OptionsOutcome out = options_store(c.choice, s);
        EXPECT_EQ(out.changed, c.changed) << row;
        EXPECT_EQ(out.decimal_point_changed, c.decimal_point_changed) << row;
        EXPECT_EQ(out.language_changed, c.language_changed) << row;
        EXPECT_EQ(s.decimal_point, c.decimal_point) << row;
        EXPECT_EQ(s.language, c.language) << row;
        ++row;
    }
}

TEST(OptionsModel, ShowsNoRadioButtonForAValueOutOfRange) {
    Settings s{};
    s.decimal_point = 7;
    s.language = 9;
    s.thousands_sep_equations = 1;
    const OptionsChoice c = options_choice_from(s);
    EXPECT_FALSE(c.point || c.comma || c.automatic || c.english || c.german);
    EXPECT_TRUE(c.sep_equations);
    EXPECT_FALSE(c.sep_sci_calc || c.sep_algebra);
}

TEST_F(ShellTest, OptionsReloadTheSettingsWheneverTheyBecomeActive) {
    start_quietly("decimal_point=point\nlanguage=(automatic)\n");
    main_window_command(kCmdOptions);
    activate(options_dialog.form);
    options_dialog.comma->click();
    options_dialog.sep_sci_calc->click();
    options_dialog.german->click();
    EXPECT_TRUE(options_dialog.comma->isChecked());
    activate(app_windows.main);
    activate(options_dialog.form);
    EXPECT_TRUE(options_dialog.point->isChecked());
    EXPECT_FALSE(options_dialog.comma->isChecked());
    EXPECT_FALSE(options_dialog.sep_sci_calc->isChecked());
    EXPECT_TRUE(options_dialog.automatic->isChecked());
    EXPECT_FALSE(options_dialog.german->isChecked());
}

TEST_F(ShellTest, OptionsOkWithoutChangeStoresNothing) {
    start_quietly("decimal_point=comma\nthousands_sep_algebra=1\n");
    main_window_command(kCmdOptions);
    activate(options_dialog.form);
    const Settings before = settings;
    options_dialog.ok->click();
    EXPECT_FALSE(options_dialog.form->isVisible());
    EXPECT_FALSE(settings_changed);
    EXPECT_EQ(settings.decimal_point, before.decimal_point);
    EXPECT_EQ(settings.thousands_sep_algebra, 1);
}

TEST_F(ShellTest, OptionsOkStoresChangesAndAppliesTheDecimalPointAtOnce) {
    start_quietly("decimal_point=point\n");
    BoxCapture hint;
    main_window_command(kCmdOptions);
    activate(options_dialog.form);
    options_dialog.comma->click();
    options_dialog.sep_algebra->click();
    options_dialog.ok->click();
    QTest::qWait(30);
    EXPECT_EQ(hint.count, 0);
    EXPECT_FALSE(options_dialog.form->isVisible());
    EXPECT_TRUE(settings_changed);
    EXPECT_EQ(settings.decimal_point, 1u);
    EXPECT_EQ(settings.thousands_sep_algebra, 1);
    EXPECT_EQ(settings.thousands_sep_sci_calc, 0);
    EXPECT_EQ(num_ctx.decimal_point_chars[0], u',');
    EXPECT_EQ(num_ctx.decimal_point_chars[1], u'.');
}

TEST_F(ShellTest, OptionsLanguageChangeShowsTheHintOnceAndKeepsTheRunningLanguage) {
    start_quietly("language=English\n");
    BoxCapture hint;
    main_window_command(kCmdOptions);
    activate(options_dialog.form);
    options_dialog.german->click();
    options_dialog.ok->click();
    EXPECT_EQ(hint.count, 1);
    EXPECT_EQ(hint.title, "Hint");
    EXPECT_EQ(hint.text, QString::fromUtf16(string_table.text[61]));
    EXPECT_EQ(hint.icon, QMessageBox::Information);
    EXPECT_EQ(settings.language, 3u);
    EXPECT_TRUE(settings_changed);
    EXPECT_EQ(app_windows.main->findChild<QMenuBar*>()->actions().at(0)->text(), "Application");
}

TEST_F(ShellTest, OptionsCancelDropsTheChanges) {
    start_quietly();
    main_window_command(kCmdOptions);
    activate(options_dialog.form);
    options_dialog.comma->click();
    options_dialog.cancel->click();
    EXPECT_FALSE(options_dialog.form->isVisible());
    EXPECT_FALSE(settings_changed);
    EXPECT_EQ(settings.decimal_point, 0u);
    EXPECT_EQ(num_ctx.decimal_point_chars[0], u'.');
}

// ---- Messages and help ---------------------------------------------------------------------------------------

TEST_F(ShellTest, MessagesAppearInAnErrorBoxTitledError) {
    start_quietly("language=English\n");
    BoxCapture box;
    set_message(kMsgFileNotFound, u"x.csv");
    show_message();
    EXPECT_EQ(box.count, 1);
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.text, "The file \"x.csv\" was not found!");
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(message_state.message_code, 0u);
}

std::u16string captured;
void capture(std::u16string_view, std::u16string_view text) {
    captured = text;
}

TEST_F(ShellTest, HelpShowsTheTopicOrReportsTheMissingFileWithItsPath) {
    start_quietly("language=English\n");
    set_message_presenter(capture);
    captured.clear();
    main_window_command(kCmdShowHelp);
    EXPECT_TRUE(captured.empty()) << to_qstring(captured).toStdString();
    auto* browser = app_windows.help->findChild<QTextBrowser*>();
    EXPECT_TRUE(app_windows.help->isVisible());
    EXPECT_TRUE(browser->source().path().endsWith("/en/Overview.html"));
    EXPECT_FALSE(browser->documentTitle().isEmpty());

    help_path = dir / "en";
    main_window_command(kCmdShowHelp);
    const std::u16string expected = u"The file \"" + (dir / "en" / "Overview.html").u16string() + u"\" was not found!";
    EXPECT_EQ(captured, expected);

    help_path.clear();
    show_help(u"Overview.html");
    EXPECT_EQ(captured, u"The file \"\" was not found!");
}

// Every page of the documentation exists in both languages, and every link between pages leads to a page.
TEST(HelpPages, BothLanguagesHaveTheTopicsAndNoBrokenLinks) {
    const fs::path en = find_help_folder(kLanguageEnglish, QCoreApplication::applicationDirPath().toStdString());
    const fs::path de = find_help_folder(kLanguageGerman, QCoreApplication::applicationDirPath().toStdString());
    ASSERT_TRUE(fs::is_directory(en)) << en;
    ASSERT_TRUE(fs::is_directory(de)) << de;
    EXPECT_TRUE(find_help_folder(0, "/").empty());
    for (const char* topic : {"Overview.html", "ContactDetails.html", "AuthorDonation.html"}) {
        EXPECT_TRUE(fs::is_regular_file(en / topic)) << topic;
        EXPECT_TRUE(fs::is_regular_file(de / topic)) << topic;
    }
    const QRegularExpression link(R"(href="([^"#:]+)(#[^"]*)?")");
    for (const fs::path& folder : {en, de}) {
        int pages = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() != ".html") continue;
            ++pages;
            const fs::path other = (folder == en ? de : en) / entry.path().filename();
            EXPECT_TRUE(fs::is_regular_file(other)) << other;
            const QString html = QString::fromStdString(read_file(entry.path()));
            EXPECT_TRUE(html.contains("<title>")) << entry.path();
            for (auto it = link.globalMatch(html); it.hasNext();) {
                const std::string target = it.next().captured(1).toStdString();
                EXPECT_TRUE(fs::exists(folder / target)) << entry.path() << " -> " << target;
            }
        }
        EXPECT_GE(pages, 9) << folder;
    }
}

// ---- Screenshots ---------------------------------------------------------------------------------------------

void save(const QPixmap& pixmap, const char* name) {
    QDir().mkpath(CALCARIUM_SCREENSHOT_DIR);
    const QString path = QString(CALCARIUM_SCREENSHOT_DIR) + "/" + name;
    EXPECT_TRUE(pixmap.save(path)) << path.toStdString();
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

    Watch watch5([] { return visible(about_box.form) && about_box.form->isActiveWindow(); },
                 [] {
                     QTest::qWait(20);
                     save(about_box.form->grab(), "about_box.png");
                     about_box.form->hide();
                 });
    main_window_command(kCmdAbout);
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
