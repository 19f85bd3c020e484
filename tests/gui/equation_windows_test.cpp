// The algebraic-equations, linear-systems and polynomial windows under the offscreen platform: what the count and
// degree controls do to the grids, the precision maxima, "Divide" enabling, loading a file, and solves from the
// controls to the output box; screenshots of the three windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "equations/ui/algebraic_equations_window.h"
#include "equations/ui/grid_file_dialog.h"
#include "equations/ui/linear_systems_window.h"
#include "equations/ui/polynomials_window.h"
#include "numeric/num_context.h"
#include "platform/ui_globals.h"
#include "shell/messages.h"
#include "shell/string_table.h"

// Failure messages show texts as text.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using FormPtr = std::unique_ptr<Form>;

QStringList presented;

void capture_message(std::u16string_view, std::u16string_view text) {
    presented << to_qstring(text);
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

// "1" for each column of the grid that is shown (50 wide), "0" for each hidden one.
QString shown_columns(SimpleGridCtl* grid) {
    QString flags;
    for (int j = 0; j < grid->column_count(); ++j)
        flags += grid->column_width(j) == 50 ? '1' : grid->column_width(j) == 0 ? '0' : '?';
    return flags;
}

void save_screenshot(QWidget* form, const char* name) {
    form->show();
    QCoreApplication::processEvents();
    QDir().mkpath(CALCARIUM_SCREENSHOT_DIR);
    EXPECT_TRUE(form->grab().save(QString(CALCARIUM_SCREENSHOT_DIR) + "/" + name));
}

void write_file(const QString& name, const QByteArray& content) {
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

// ---- Algebraic equations ---------------------------------------------------------------------------------------

TEST_F(WindowTest, DegreeAddsAndDropsTopRowsKeepingTheOtherTextsAndCapsThePrecision) {
    FormPtr form(create_algebraic_equations_window());
    const AlgebraicEquationsWindow& w = algebraic_equations_window;
    EXPECT_TRUE(w.prompt->text().contains("a2*x^2 + a1*x + a0")) << w.prompt->text().toStdString();
    type_value(w.degree, 5);
    for (int r = 0; r < 6; ++r) w.grid->set_cell_text(0, r, to_u16(QString("c%1").arg(5 - r)));
    type_value(w.degree, 3);
    ASSERT_EQ(w.grid->row_count(), 4);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(row_header(w.grid, r) + cell(w.grid, 0, r), QString("a%1c%1").arg(3 - r));
    type_value(w.degree, 5);
    EXPECT_EQ(row_header(w.grid, 0) + cell(w.grid, 0, 1) + "|" + cell(w.grid, 0, 2), "a5|c3");
    EXPECT_TRUE(w.prompt->text().contains("a5*x^5"));

    type_value(w.precision, 1800);
    for (const auto& [degree, maximum] : {std::pair(4, 2000), {5, 1000}, {7, 1000}, {8, 750}, {10, 750}}) {
        type_value(w.degree, degree);
        EXPECT_EQ(w.precision->maximum, maximum) << degree;
    }
    EXPECT_EQ(w.precision->edit->text(), "750");
    type_value(w.degree, 11);
    EXPECT_EQ(w.degree->position, 10);
}

TEST_F(WindowTest, SolvesTheCubicExactlyFromTheControlsAndShowsMessagesInstead) {
    FormPtr form(create_algebraic_equations_window());
    const AlgebraicEquationsWindow& w = algebraic_equations_window;
    w.output->setPlainText("old result");
    w.grid->set_cell_text(0, 1, u"1");
    w.solve->click();
    EXPECT_EQ(presented, QStringList{"The highest coefficient \"a2\" must not be 0!"});
    EXPECT_EQ(w.output->toPlainText(), "");
    EXPECT_EQ(message_state.message_code, 0u);

    presented.clear();
    type_value(w.degree, 3);
    w.result_type->setCurrentIndex(1);
    // a3 is typed and still in the open editor when "Solve" is clicked; a2 stays empty.
    w.grid->set_cell_text(0, 2, u"-1");
    w.grid->set_cell_text(0, 3, u"0");
    w.grid->set_cursor(0, 0);
    QTest::keyClick(w.grid, Qt::Key_1);
    ASSERT_NE(w.grid->editor(), nullptr);
    w.solve->click();
    EXPECT_EQ(presented, QStringList{});
    EXPECT_EQ(cell(w.grid, 0, 0), "1");
    EXPECT_EQ(w.output->toPlainText(), "x1 = -1   [1]\nx2 = 0   [1]\nx3 = 1   [1]\n");
    save_screenshot(form.get(), "algebraic_equations_window.png");
}

// ---- Linear systems --------------------------------------------------------------------------------------------

// The count shows its coefficient columns and b; hidden columns keep their texts until a file is loaded.
TEST_F(WindowTest, LinearCountShowsItsColumnsAndALoadedFileSetsTheCountAndSolves) {
    FormPtr form(create_linear_systems_window());
    const LinearSystemsWindow& w = linear_systems_window;
    for (const auto& [count, shown] : {std::pair(25, 25), {1, 2}, {26, 25}, {5, 5}}) {
        type_value(w.count, count);
        EXPECT_EQ(shown_columns(w.grid), QString(shown, '1') + QString(25 - shown, '0') + "10") << count;
        EXPECT_EQ(w.grid->row_count(), shown) << count;
        EXPECT_EQ(row_header(w.grid, shown - 1), QString::number(shown));
    }
    w.grid->set_cell_text(4, 0, u"left over");
    type_value(w.count, 3);
    w.output->setPlainText("old result");
    QTemporaryDir dir;
    const QString file = dir.filePath("system.csv");
    write_file(file, "a1;a2;a3;b\r\n2;1;-1;8\r\n-3;-1;2;-11\r\n-2;1;2;-3\r\n");
    const QString missing = dir.filePath("missing.csv");
    linear_systems_load_file(missing);
    EXPECT_EQ(cell(w.grid, 4, 0), "left over");
    EXPECT_EQ(w.output->toPlainText(), "old result");
    EXPECT_EQ(presented, QStringList{"The file \"" + missing + "\" was not found!"});

    presented.clear();
    linear_systems_load_file(file);
    EXPECT_EQ(w.count->edit->text(), "3");
    EXPECT_EQ(cell(w.grid, 25, 2), "-3");
    EXPECT_EQ(cell(w.grid, 4, 0), "") << "loading empties every cell";
    EXPECT_EQ(w.output->toPlainText(), "");
    w.solve->click();
    EXPECT_EQ(presented, QStringList{});
    EXPECT_EQ(w.output->toPlainText(), "x1 = 2\nx2 = 3\nx3 = -1\n");
    save_screenshot(form.get(), "linear_systems_window.png");

    w.grid->set_cell_text(0, 0, u"2*");
    w.solve->click();
    ASSERT_EQ(presented.size(), 1);
    EXPECT_TRUE(presented[0].startsWith("Error evaluating coefficient in equation 1, column \"a1\":"))
        << presented[0].toStdString();
    EXPECT_EQ(w.output->toPlainText(), "");
}

TEST(CsvFileName, AppendsTheExtensionOnlyWhenTheNameHasNone) {
    const std::pair<std::u16string, std::u16string> cases[] = {{u"/home/u/system", u"/home/u/system.csv"},
                                                               {u"/home/u/system.txt", u"/home/u/system.txt"},
                                                               {u"/home/u.d/system", u"/home/u.d/system.csv"},
                                                               {u"/home/u/.hidden", u"/home/u/.hidden"}};
    for (const auto& [chosen, saved] : cases) EXPECT_EQ(csv_file_name(chosen), saved);
}

// ---- Polynomials -----------------------------------------------------------------------------------------------

TEST_F(WindowTest, CountAndMaxDegreeShapeThePolynomialGridAndDivideNeedsTwoPolynomials) {
    FormPtr form(create_polynomials_window());
    const PolynomialsWindow& w = polynomials_window;
    const std::tuple<int, int, bool> counts[] = {
        {3, 3, false}, {12, 12, false}, {2, 2, true}, {13, 12, false}, {1, 2, true}};  // typed, rows, divide
    for (const auto& [count, rows, divide] : counts) {
        type_value(w.count, count);
        EXPECT_EQ(w.grid->row_count(), rows) << count;
        EXPECT_EQ(w.divide->isEnabled(), divide) << count;
        EXPECT_EQ(row_header(w.grid, rows - 1), QString("P%1(x)").arg(rows - 1));
    }
    for (int degree : {20, 1, 7}) {
        type_value(w.max_degree, degree);
        EXPECT_EQ(shown_columns(w.grid), QString(20 - degree, '0') + QString(degree + 1, '1') + "0") << degree;
        EXPECT_EQ(std::pair(w.grid->cursor_column(), w.grid->cursor_row()), std::pair(20 - degree, 0));
        EXPECT_TRUE(w.prompt->text().contains(QString("Pi(x) = a%1*x").arg(degree))) << degree;
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
    EXPECT_EQ(w.output->toPlainText(),
              "P0(x) * P1(x) = b3*x^3 + b2*x^2 + b1*x + b0\n\nb3 = 1\nb2 = 1\nb1 = -1\nb0 = -1\n");
    w.divide->click();
    EXPECT_EQ(w.output->toPlainText(), "P0(x) / P1(x) = b1*x + b0    Remainder    r0\n\nb1 = 1\nb0 = -1\n\nr0 = 0\n");
    save_screenshot(form.get(), "polynomials_window.png");

    w.grid->set_cell_text(19, 1, u"");
    w.grid->set_cell_text(20, 1, u"0");
    w.divide->click();
    EXPECT_EQ(presented, QStringList{"Division by 0!"});
    EXPECT_EQ(w.output->toPlainText(), "");
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
