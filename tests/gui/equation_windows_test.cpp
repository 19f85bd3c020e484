// The algebraic-equations, linear-systems and polynomial windows under the offscreen platform: what the count and
// degree controls do to the grids, the precision maxima, "Divide" enabling, loading, saving and the file dialogs,
// the layout on resizing, and solves from the controls to the output box; screenshots of the three windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "equations/ui/algebraic_equations_window.h"
#include "equations/ui/grid_file_dialog.h"
#include "equations/ui/linear_systems_window.h"
#include "equations/ui/polynomials_window.h"
#include "numeric/num_context.h"
#include "platform/ui_globals.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace {

using FormPtr = std::unique_ptr<Form>;

std::vector<QString> presented;

void capture_message(std::u16string_view, std::u16string_view text) {
    presented.push_back(to_qstring(text));
}

// Each test starts with no pending message and collects the messages shown.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        presented.clear();
        set_message_presenter(capture_message);
        clear_error_state();
    }
    void TearDown() override { set_message_presenter(nullptr); }
};

// Types the value into the spin field and commits it with Enter, as the user does.
void type_value(NumericUpDownControl* spin, int value) {
    spin->edit->selectAll();
    QTest::keyClicks(spin->edit, QString::number(value));
    QTest::keyClick(spin->edit, Qt::Key_Return);
}

QString row_header(SimpleGridCtl* grid, int row) {
    std::u16string text;
    grid->get_row_header_text(row, text);
    return to_qstring(text);
}

QString cell(SimpleGridCtl* grid, int column, int row) {
    return to_qstring(grid->cell_text(column, row));
}

void save_screenshot(QWidget* form, const char* name) {
    form->show();
    QCoreApplication::processEvents();
    QDir().mkpath(CALCARIUM_SCREENSHOT_DIR);
    EXPECT_TRUE(form->grab().save(QString(CALCARIUM_SCREENSHOT_DIR) + "/" + name));
}

// Runs `action` on the next modal file dialog as soon as it is open.
void on_next_file_dialog(std::function<void(QFileDialog*)> action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        timer->stop();
        timer->deleteLater();
        action(dialog);
    });
    timer->start(5);
}

std::string read_file(const QString& name) {
    std::ifstream in(std::filesystem::path(name.toStdU16String()), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void write_file(const QString& name, const std::string& content) {
    std::ofstream(std::filesystem::path(name.toStdU16String()), std::ios::binary) << content;
}

// ---- Algebraic equations ---------------------------------------------------------------------------------------

TEST_F(WindowTest, EquationWindowStartsWithDegreeTwoAndItsPrompt) {
    FormPtr form(create_algebraic_equations_window());
    const AlgebraicEquationsWindow& w = algebraic_equations_window;
    EXPECT_EQ(form->windowTitle(), "Solve algebraic equations");
    EXPECT_EQ(form->size(), QSize(505, 390));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(w.prompt->text(), QString::fromUtf16(u"Enter the coefficients of the equation  a2*x^2 + a1*x + a0 "
                                                   u"=\u00A00\u00A0\u00A0."));
    EXPECT_EQ(w.degree->edit->text(), "2");
    EXPECT_EQ(w.precision->edit->text(), "10");
    EXPECT_EQ(w.precision->minimum, 5);
    EXPECT_EQ(w.mode->currentText(), "real");
    EXPECT_EQ(w.result_type->currentText(), "Approximation");
    EXPECT_TRUE(w.multiplicity->isChecked());
    EXPECT_EQ(w.grid->header_height(), 0);
    EXPECT_EQ(w.grid->column_count(), 1);
    ASSERT_EQ(w.grid->row_count(), 3);
    for (int r = 0; r < 3; ++r) EXPECT_EQ(row_header(w.grid, r), QString("a%1").arg(2 - r));
}

TEST_F(WindowTest, LoweringTheDegreeDropsTheTopRowsWithTheirTexts) {
    FormPtr form(create_algebraic_equations_window());
    const AlgebraicEquationsWindow& w = algebraic_equations_window;
    type_value(w.degree, 5);
    ASSERT_EQ(w.grid->row_count(), 6);
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(row_header(w.grid, r), QString("a%1").arg(5 - r));
        w.grid->set_cell_text(0, r, to_u16(QString("c%1").arg(5 - r)));
    }
    type_value(w.degree, 3);
    ASSERT_EQ(w.grid->row_count(), 4);
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(row_header(w.grid, r), QString("a%1").arg(3 - r));
        EXPECT_EQ(cell(w.grid, 0, r), QString("c%1").arg(3 - r));
    }
    type_value(w.degree, 5);
    ASSERT_EQ(w.grid->row_count(), 6);
    EXPECT_EQ(cell(w.grid, 0, 0), "");
    EXPECT_EQ(cell(w.grid, 0, 1), "");
    EXPECT_EQ(cell(w.grid, 0, 2), "c3");
    EXPECT_EQ(row_header(w.grid, 0), "a5");
    EXPECT_TRUE(w.prompt->text().contains("a5*x^5"));
}

TEST_F(WindowTest, PrecisionMaximumFollowsTheDegree) {
    FormPtr form(create_algebraic_equations_window());
    const AlgebraicEquationsWindow& w = algebraic_equations_window;
    const struct {
        int degree;
        int maximum;
    } cases[] = {{8, 750}, {4, 2000}, {1, 2000}, {5, 1000}, {7, 1000}, {10, 750}, {3, 2000}};
    for (const auto& c : cases) {
        type_value(w.degree, c.degree);
        EXPECT_EQ(w.precision->maximum, c.maximum) << c.degree;
        EXPECT_EQ(w.grid->row_count(), c.degree + 1) << c.degree;
    }
    type_value(w.precision, 1800);
    type_value(w.degree, 8);
    EXPECT_EQ(w.precision->position, 750);
    EXPECT_EQ(w.precision->edit->text(), "750");
    type_value(w.degree, 11);
    EXPECT_EQ(w.degree->position, 10);
}

TEST_F(WindowTest, SolvesTheCubicExactlyFromTheControls) {
    FormPtr form(create_algebraic_equations_window());
    const AlgebraicEquationsWindow& w = algebraic_equations_window;
    type_value(w.degree, 3);
    w.result_type->setCurrentIndex(1);
    // a3 is typed and still in the open editor when "Solve" is clicked; a2 stays empty.
    w.grid->set_cell_text(0, 2, u"-1");
    w.grid->set_cell_text(0, 3, u"0");
    w.grid->set_cursor(0, 0);
    QTest::keyClick(w.grid, Qt::Key_1);
    ASSERT_NE(w.grid->editor(), nullptr);
    w.solve->click();
    EXPECT_TRUE(presented.empty()) << presented.front().toStdString();
    EXPECT_EQ(cell(w.grid, 0, 0), "1");
    EXPECT_EQ(w.output->toPlainText(), "x1 = -1   [1]\nx2 = 0   [1]\nx3 = 1   [1]\n");
    save_screenshot(form.get(), "algebraic_equations_window.png");
}

TEST_F(WindowTest, EquationMessageIsShownAndTheOutputStaysEmpty) {
    FormPtr form(create_algebraic_equations_window());
    const AlgebraicEquationsWindow& w = algebraic_equations_window;
    w.output->setPlainText("old result");
    w.grid->set_cell_text(0, 1, u"1");
    w.solve->click();
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_EQ(presented[0], "The highest coefficient \"a2\" must not be 0!");
    EXPECT_EQ(w.output->toPlainText(), "");
    EXPECT_EQ(message_state.message_code, 0u);
}

TEST_F(WindowTest, EquationWindowLayoutFollowsTheClientSize) {
    FormPtr form(create_algebraic_equations_window());
    const AlgebraicEquationsWindow& w = algebraic_equations_window;
    form->show();
    const struct {
        int width, height;
        QRect grid, output;
    } cases[] = {
        {505, 390, {200, 48, 295, 105}, {10, 166, 485, 177}},
        {505, 419, {200, 48, 295, 105}, {10, 166, 485, 206}},
        {600, 450, {200, 48, 390, 155}, {10, 216, 580, 187}},
        {700, 700, {200, 48, 490, 230}, {10, 291, 680, 362}},
    };
    for (const auto& c : cases) {
        form->resize(c.width, c.height);
        EXPECT_EQ(w.grid->geometry(), c.grid) << c.width << "x" << c.height;
        EXPECT_EQ(w.output->geometry(), c.output) << c.width << "x" << c.height;
        EXPECT_EQ(w.prompt->width(), c.grid.width());
        EXPECT_EQ(w.solve->pos(), QPoint(10, c.height - 33));
        EXPECT_EQ(w.cancel->pos(), QPoint(c.width - 85, c.height - 33));
    }
}

// ---- Linear systems --------------------------------------------------------------------------------------------

TEST_F(WindowTest, LinearWindowShowsTheColumnsOfTheEquationCount) {
    FormPtr form(create_linear_systems_window());
    const LinearSystemsWindow& w = linear_systems_window;
    EXPECT_EQ(form->windowTitle(), "Systems of linear equations");
    EXPECT_EQ(form->size(), QSize(505, 420));
    EXPECT_EQ(number_type_selected(w.number_type), 1u);
    EXPECT_EQ(w.precision->maximum, 1000);
    ASSERT_EQ(w.grid->column_count(), 27);
    std::u16string header;
    w.grid->get_column_header_text(25, header);
    EXPECT_EQ(header, u"b");
    const struct {
        int count;
        int shown;  // coefficient columns a1..a(shown) have width 50
    } cases[] = {{2, 2}, {5, 5}, {3, 3}, {25, 25}, {1, 2}, {26, 25}};
    for (const auto& c : cases) {
        type_value(w.count, c.count);
        EXPECT_EQ(w.grid->row_count(), c.shown) << c.count;
        for (int j = 0; j < 25; ++j) EXPECT_EQ(w.grid->column_width(j), j < c.shown ? 50 : 0) << c.count << " " << j;
        EXPECT_EQ(w.grid->column_width(25), 50) << c.count;
        EXPECT_EQ(w.grid->column_width(26), 0) << c.count;
        EXPECT_EQ(row_header(w.grid, c.shown - 1), QString::number(c.shown));
        EXPECT_EQ(w.grid->cursor_column(), 0);
        EXPECT_EQ(w.grid->cursor_row(), 0);
    }
}

TEST_F(WindowTest, HiddenLinearColumnsKeepTheirTexts) {
    FormPtr form(create_linear_systems_window());
    const LinearSystemsWindow& w = linear_systems_window;
    type_value(w.count, 5);
    w.grid->set_cell_text(4, 0, u"7");
    type_value(w.count, 3);
    EXPECT_EQ(cell(w.grid, 4, 0), "7");
}

constexpr const char* kThreeEquations = "a1;a2;a3;b\r\n2;1;-1;8\r\n-3;-1;2;-11\r\n-2;1;2;-3\r\n";

TEST_F(WindowTest, LoadedCsvFileSetsTheCountAndSolves) {
    QTemporaryDir dir;
    const QString file = dir.filePath("system.csv");
    write_file(file, kThreeEquations);
    FormPtr form(create_linear_systems_window());
    const LinearSystemsWindow& w = linear_systems_window;
    type_value(w.count, 5);
    w.grid->set_cell_text(4, 0, u"left over");
    w.output->setPlainText("old result");

    linear_systems_load_file(file);
    EXPECT_TRUE(presented.empty());
    EXPECT_EQ(w.count->edit->text(), "3");
    EXPECT_EQ(w.grid->row_count(), 3);
    EXPECT_EQ(w.grid->column_width(2), 50);
    EXPECT_EQ(w.grid->column_width(3), 0);
    EXPECT_EQ(cell(w.grid, 1, 1), "-1");
    EXPECT_EQ(cell(w.grid, 25, 2), "-3");
    EXPECT_EQ(w.output->toPlainText(), "");
    EXPECT_EQ(cell(w.grid, 4, 0), "") << "loading empties every cell";

    w.solve->click();
    EXPECT_TRUE(presented.empty());
    EXPECT_EQ(w.output->toPlainText(), "x1 = 2\nx2 = 3\nx3 = -1\n");
    save_screenshot(form.get(), "linear_systems_window.png");

    w.grid->set_cell_text(0, 0, u"2*");
    w.solve->click();
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_TRUE(presented[0].startsWith("Error evaluating coefficient in equation 1, column \"a1\":"))
        << presented[0].toStdString();
    EXPECT_EQ(w.output->toPlainText(), "");
}

TEST_F(WindowTest, FailedLoadsShowTheirMessage) {
    QTemporaryDir dir;
    FormPtr form(create_linear_systems_window());
    const LinearSystemsWindow& w = linear_systems_window;
    w.grid->set_cell_text(0, 0, u"1");
    w.output->setPlainText("old result");
    const QString missing = dir.filePath("missing.csv");
    linear_systems_load_file(missing);
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_EQ(presented[0], "The file \"" + missing + "\" was not found!");
    EXPECT_EQ(cell(w.grid, 0, 0), "1");
    EXPECT_EQ(w.output->toPlainText(), "old result");

    const QString one_column = dir.filePath("one.csv");
    write_file(one_column, "a1;b\r\n1;2\r\n");
    linear_systems_load_file(one_column);
    ASSERT_EQ(presented.size(), 2u);
    EXPECT_EQ(presented[1], "The number of equation variables has to be between 2 und 25!");
    EXPECT_EQ(w.count->position, 2);
    EXPECT_EQ(w.output->toPlainText(), "");
}

TEST_F(WindowTest, ClearEmptiesEveryCellAndTheOutput) {
    FormPtr form(create_linear_systems_window());
    const LinearSystemsWindow& w = linear_systems_window;
    type_value(w.count, 25);
    for (int j = 0; j < 26; ++j) w.grid->set_cell_text(j, 24 - j % 25, u"x");
    type_value(w.count, 2);
    w.output->setPlainText("result");
    w.clear->click();
    type_value(w.count, 25);
    for (int j = 0; j < 26; ++j) {
        for (int r = 0; r < 25; ++r) EXPECT_EQ(cell(w.grid, j, r), "") << j << " " << r;
    }
    EXPECT_EQ(w.output->toPlainText(), "");
}

struct CsvNameCase {
    const char16_t* chosen;
    const char16_t* saved;
};
const CsvNameCase kCsvNameCases[] = {
    {u"/home/u/system", u"/home/u/system.csv"},
    {u"/home/u/system.txt", u"/home/u/system.txt"},
    {u"/home/u.d/system", u"/home/u.d/system.csv"},
    {u"/home/u/.hidden", u"/home/u/.hidden"},
    {u"system", u"system.csv"},
};

TEST(CsvFileName, AppendsTheExtensionOnlyWhenTheNameHasNone) {
    for (const auto& c : kCsvNameCases) EXPECT_EQ(csv_file_name(c.chosen), c.saved);
    const std::u16string fits(255, u'n');
    EXPECT_EQ(csv_file_name(fits), fits + u".csv");
    const std::u16string too_long(256, u'n');
    EXPECT_EQ(csv_file_name(too_long), too_long);
}

TEST_F(WindowTest, SaveAsRemembersNameAndFilterAndLoadKeepsItsOwnFilter) {
    QTemporaryDir dir;
    FormPtr form(create_linear_systems_window());
    const LinearSystemsWindow& w = linear_systems_window;
    type_value(w.count, 3);
    w.grid->set_cell_text(0, 0, u"1,5");
    w.grid->set_cell_text(25, 2, u"π");
    const QStringList filters = grid_file_filters();
    EXPECT_EQ(filters, QStringList({"CSV files (*.csv)", "All files (*)"}));

    on_next_file_dialog([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->selectedNameFilter(), filters[0]);
        dialog->selectNameFilter(filters[1]);
        dialog->selectFile(dir.filePath("system"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    w.save_as->click();
    EXPECT_TRUE(presented.empty());
    EXPECT_EQ(read_file(dir.filePath("system.csv")), "a1;a2;a3;b\r\n1.5;;;\r\n;;;\r\n;;;?\r\n");

    QString offered_name;
    QString offered_filter;
    on_next_file_dialog([&](QFileDialog* dialog) {
        offered_name = dialog->selectedFiles().value(0);
        offered_filter = dialog->selectedNameFilter();
        dialog->reject();
    });
    w.save_as->click();
    EXPECT_EQ(offered_name, dir.filePath("system.csv"));
    EXPECT_EQ(offered_filter, filters[1]);

    on_next_file_dialog([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        offered_filter = dialog->selectedNameFilter();
        dialog->selectFile(dir.filePath("system.csv"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    type_value(w.count, 2);
    w.load->click();
    EXPECT_EQ(offered_filter, filters[0]);
    EXPECT_EQ(w.count->position, 3);
    EXPECT_EQ(cell(w.grid, 0, 0), "1.5");
    EXPECT_TRUE(presented.empty());
}

TEST_F(WindowTest, GridWindowsLayoutFollowsTheClientSize) {
    FormPtr linear(create_linear_systems_window());
    FormPtr polynomials(create_polynomials_window());
    const LinearSystemsWindow& l = linear_systems_window;
    const PolynomialsWindow& p = polynomials_window;
    linear->show();
    polynomials->show();
    const struct {
        int width, height;
        QRect grid, output;
    } cases[] = {
        {505, 420, {10, 102, 485, 134}, {10, 241, 485, 134}},
        {800, 600, {10, 102, 780, 224}, {10, 331, 780, 224}},
        {505, 421, {10, 102, 485, 134}, {10, 241, 485, 134}},
    };
    for (const auto& c : cases) {
        linear->resize(c.width, c.height);
        polynomials->resize(c.width, c.height);
        EXPECT_EQ(l.grid->geometry(), c.grid) << c.width << "x" << c.height;
        EXPECT_EQ(l.output->geometry(), c.output) << c.width << "x" << c.height;
        EXPECT_EQ(l.help->width(), c.width - 20);
        EXPECT_EQ(p.grid->geometry(), c.grid) << c.width << "x" << c.height;
        EXPECT_EQ(p.output->geometry(), c.output) << c.width << "x" << c.height;
        EXPECT_EQ(p.prompt->width(), c.width - 20);
        const int y = c.height - 33;
        const struct {
            QPushButton* button;
            int x;
        } buttons[] = {{l.solve, 10},    {l.clear, 100},           {l.load, 190},
                       {l.save_as, 280}, {l.cancel, c.width - 85}, {p.multiply, 10},
                       {p.divide, 100},  {p.cancel, c.width - 85}};
        for (const auto& b : buttons) EXPECT_EQ(b.button->pos(), QPoint(b.x, y)) << b.button->text().toStdString();
    }
}

// ---- Polynomials -----------------------------------------------------------------------------------------------

TEST_F(WindowTest, DivideIsEnabledForTwoPolynomialsOnly) {
    FormPtr form(create_polynomials_window());
    const PolynomialsWindow& w = polynomials_window;
    EXPECT_EQ(form->windowTitle(), "Polynomial calculation");
    EXPECT_TRUE(w.divide->isEnabled());
    const struct {
        int count;
        int rows;
        bool divide;
    } cases[] = {{3, 3, false}, {12, 12, false}, {2, 2, true}, {13, 12, false}, {1, 2, true}};
    for (const auto& c : cases) {
        type_value(w.count, c.count);
        EXPECT_EQ(w.grid->row_count(), c.rows) << c.count;
        EXPECT_EQ(w.divide->isEnabled(), c.divide) << c.count;
        EXPECT_EQ(row_header(w.grid, c.rows - 1), QString("P%1(x)").arg(c.rows - 1));
    }
}

TEST_F(WindowTest, MaxDegreeShowsItsColumnsAndMovesTheCursorToTheTopCoefficient) {
    FormPtr form(create_polynomials_window());
    const PolynomialsWindow& w = polynomials_window;
    ASSERT_EQ(w.grid->column_count(), 22);
    EXPECT_EQ(w.prompt->text(),
              "Enter the coefficients of the polynomials Pi(x) = a2*x^2 + a1*x + a0 into the data "
              "grid. Empty text cells are read as 0.");
    for (int degree : {2, 20, 1, 7}) {
        type_value(w.max_degree, degree);
        for (int j = 0; j <= 20; ++j) {
            const int k = 20 - j;
            EXPECT_EQ(w.grid->column_width(j), k <= degree ? 50 : 0) << degree << " a" << k;
        }
        EXPECT_EQ(w.grid->column_width(21), 0);
        EXPECT_EQ(w.grid->cursor_column(), 20 - degree);
        EXPECT_EQ(w.grid->cursor_row(), 0);
        EXPECT_TRUE(w.prompt->text().contains(QString("a%1*x").arg(degree))) << degree;
    }
}

TEST_F(WindowTest, MultiplyAndDivideWriteTheirResults) {
    FormPtr form(create_polynomials_window());
    const PolynomialsWindow& w = polynomials_window;
    // P0 = x^2 - 1 (a2, a1, a0 in columns 18..20), P1 = x + 1.
    w.grid->set_cell_text(18, 0, u"1");
    w.grid->set_cell_text(20, 0, u"-1");
    w.grid->set_cell_text(19, 1, u"1");
    w.grid->set_cell_text(20, 1, u"1");
    w.multiply->click();
    EXPECT_TRUE(presented.empty());
    const QString product = w.output->toPlainText();
    EXPECT_EQ(product, "P0(x) * P1(x) = b3*x^3 + b2*x^2 + b1*x + b0\n\nb3 = 1\nb2 = 1\nb1 = -1\nb0 = -1\n");
    w.divide->click();
    EXPECT_TRUE(presented.empty());
    EXPECT_EQ(w.output->toPlainText(), "P0(x) / P1(x) = b1*x + b0    Remainder    r0\n\nb1 = 1\nb0 = -1\n\nr0 = 0\n");
    save_screenshot(form.get(), "polynomials_window.png");

    w.grid->set_cell_text(19, 1, u"");
    w.grid->set_cell_text(20, 1, u"0");
    w.divide->click();
    ASSERT_EQ(presented.size(), 1u);
    EXPECT_EQ(presented[0], "Division by 0!");
    EXPECT_EQ(w.output->toPlainText(), "");
}

// ---- All three -------------------------------------------------------------------------------------------------

TEST_F(WindowTest, CancelHidesTheWindowWhichKeepsItsContents) {
    const struct {
        Form* (*create)();
        std::function<QPushButton*()> cancel;
        std::function<SimpleGridCtl*()> grid;
    } windows[] = {
        {create_algebraic_equations_window, [] { return algebraic_equations_window.cancel; },
         [] { return algebraic_equations_window.grid; }},
        {create_linear_systems_window, [] { return linear_systems_window.cancel; },
         [] { return linear_systems_window.grid; }},
        {create_polynomials_window, [] { return polynomials_window.cancel; }, [] { return polynomials_window.grid; }},
    };
    for (const auto& window : windows) {
        FormPtr form(window.create());
        form->show();
        window.grid()->set_cell_text(0, 0, u"42");
        EXPECT_EQ(window.cancel()->text(), "Cancel");
        QTest::mouseClick(window.cancel(), Qt::LeftButton);
        EXPECT_FALSE(form->isVisible()) << form->windowTitle().toStdString();
        form->show();
        form->close();
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(cell(window.grid(), 0, 0), "42");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings go to a folder of the test's own, never to the user's.
    QTemporaryDir config;
    qputenv("CALCARIUM_CONFIG_DIR", config.path().toUtf8());
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setQuitOnLastWindowClosed(false);
    init_ui_font();
    init_numeric_context();
    load_string_table(kLanguageEnglish);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
