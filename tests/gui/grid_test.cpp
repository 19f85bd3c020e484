// Drives the real grid widget under the offscreen platform: structure and index checks, keyboard navigation over
// hidden columns, the in-place editor, mouse selection and resizing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <functional>
#include <utility>
#include <vector>

#include "grid/simple_grid.h"

namespace {

class GridTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host.resize(420, 260);
        grid = new SimpleGridCtl(&host);
        grid->setGeometry(10, 10, 340, 200);
        other = new QLineEdit(&host);
        other->setGeometry(10, 220, 100, 24);
        QObject::connect(grid, &SimpleGridCtl::notified,
                         [this](const GridNotification& n) { notes.push_back(n.code); });
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
        grid->setFocus();
        ASSERT_TRUE(grid->hasFocus());
    }

    void fill(int columns, int rows) {
        for (int c = 0; c < columns; ++c) grid->add_column(kGridTextColumn, u"");
        for (int r = 0; r < rows; ++r) grid->add_row(u"");
        notes.clear();
    }
    // Keys go where the user's keyboard would send them: to the focused widget.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }
    void type(const char* text) {
        for (const char* c = text; *c != 0; ++c) QTest::keyClick(QApplication::focusWidget(), *c);
    }
    // Sent directly: moves through the platform were not always delivered when a test ran again in one process.
    void move_mouse(QPoint point, Qt::MouseButtons buttons) {
        QMouseEvent event(QEvent::MouseMove, point, grid->viewport()->mapToGlobal(point), Qt::NoButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(grid->viewport(), &event);
    }
    void drag(QPoint from, QPoint to) {
        QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, from);
        move_mouse(to, Qt::LeftButton);
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, to);
    }
    int count(GridNotifyCode code) const { return static_cast<int>(std::count(notes.begin(), notes.end(), code)); }
    std::pair<int, int> cursor() const { return {grid->cursor_column(), grid->cursor_row()}; }
    QPoint cell_centre(int x_from_left, int row) const {
        return {x_from_left, grid->header_height() + row * grid->row_height() + grid->row_height() / 2};
    }

    // Declared before the host: the grid reports its focus loss while the host is being destroyed.
    std::vector<GridNotifyCode> notes;
    QWidget host;
    SimpleGridCtl* grid = nullptr;
    QLineEdit* other = nullptr;
};

TEST(GridLetters, CountBijectiveBase26) {
    const std::pair<int, const char16_t*> cases[] = {{0, u""},    {1, u"A"},    {26, u"Z"},    {27, u"AA"},
                                                     {52, u"AZ"}, {702, u"ZZ"}, {703, u"AAA"}, {475254, u"ZZZZ"}};
    for (const auto& [number, letters] : cases) EXPECT_EQ(grid_column_letters(number), letters) << number;
}

TEST_F(GridTest, InvalidIndexesGiveMinusOneAndChangeNothing) {
    EXPECT_EQ(grid->set_cell_text(0, 0, u"1"), -1);  // a new grid has no data columns
    EXPECT_EQ(grid->add_row(u"r"), 0);               // the row-header column alone takes rows
    grid->reset();
    fill(2, 3);
    grid->set_cell_text(1, 2, u"keep");
    std::u16string out = u"untouched";
    const std::tuple<const char*, std::function<int()>, int> cases[] = {
        {"set_cell_text column", [&] { return grid->set_cell_text(2, 0, u"x"); }, kGridErrorInvalidIndex},
        {"set_cell_text row", [&] { return grid->set_cell_text(0, 3, u"x"); }, kGridErrorInvalidIndex},
        {"get_cell_text", [&] { return grid->get_cell_text(0, -1, out); }, kGridErrorInvalidIndex},
        {"column_width", [&] { return grid->column_width(2); }, kGridErrorInvalidIndex},
        {"set_column_width index", [&] { return grid->set_column_width(5, 10); }, kGridErrorInvalidIndex},
        {"set_column_width negative", [&] { return grid->set_column_width(0, -1); }, kGridErrorInvalidData},
        {"set_cursor", [&] { return grid->set_cursor(0, 3); }, kGridErrorInvalidIndex},
        {"delete_row", [&] { return grid->delete_row(3); }, kGridErrorInvalidIndex},
        {"insert_row", [&] { return grid->insert_row(4, u""); }, kGridErrorInvalidIndex},
        {"set_row_header_text", [&] { return grid->set_row_header_text(3, u"x"); }, kGridErrorInvalidIndex},
        {"set_column_header_text", [&] { return grid->set_column_header_text(-1, u""); }, kGridErrorInvalidIndex},
        {"set_row_height", [&] { return grid->set_row_height(0); }, kGridErrorInvalidData},
        {"set_header_height", [&] { return grid->set_header_height(-1); }, kGridErrorInvalidData},
    };
    for (const auto& [name, call, error] : cases) {
        EXPECT_EQ(call(), -1) << name;
        EXPECT_EQ(grid->last_error(), error) << name;
    }
    EXPECT_EQ(grid->cell_text_length(7, 7) + grid->cell_text(2, -1).size(), 0u);
    EXPECT_EQ(out + grid->cell_text(1, 2), u"untouchedkeep");
    EXPECT_EQ(std::tuple(grid->row_count(), grid->column_width(0), cursor()), std::tuple(3, 50, std::pair(0, 0)));
    EXPECT_TRUE(notes.empty());
}

TEST_F(GridTest, KeyboardSkipsHiddenColumnsAndStaysInside) {
    fill(5, 3);
    grid->set_column_width(1, 0);
    grid->set_column_width(2, 0);
    grid->set_column_width(4, 0);
    const std::pair<int, std::pair<int, int>> steps[] = {
        {Qt::Key_Right, {3, 0}},    {Qt::Key_Right, {3, 0}},  // the last column is hidden: stay
        {Qt::Key_Left, {0, 0}},     {Qt::Key_Left, {0, 0}},  {Qt::Key_Up, {0, 0}},    {Qt::Key_Down, {0, 1}},
        {Qt::Key_PageDown, {0, 2}}, {Qt::Key_Down, {0, 2}},  {Qt::Key_PageUp, {0, 0}}};
    for (const auto& [key, position] : steps) {
        press(key);
        EXPECT_EQ(cursor(), position) << "key " << std::hex << key;
    }
    EXPECT_EQ(grid->editor(), nullptr);
}

TEST_F(GridTest, EditorCommitsOnEnterFocusLossAndTabAndEscapeKeepsTheOldText) {
    fill(2, 2);
    grid->set_cell_text(0, 0, u"old");
    press(Qt::Key_5);
    ASSERT_NE(grid->editor(), nullptr);
    EXPECT_EQ(grid->editor()->text(), "5");  // the typed character replaces the text
    type("+x");
    press(Qt::Key_Return);
    EXPECT_EQ(grid->editor(), nullptr);
    EXPECT_EQ(grid->cell_text(0, 0), u"5+x");
    EXPECT_TRUE(grid->hasFocus());

    type("new");
    press(Qt::Key_Escape);
    EXPECT_EQ(grid->editor(), nullptr);
    EXPECT_EQ(grid->cell_text(0, 0), u"5+x");
    EXPECT_TRUE(grid->hasFocus());

    type("7");
    other->setFocus();
    EXPECT_EQ(grid->editor(), nullptr);
    EXPECT_EQ(grid->cell_text(0, 0), u"7");
    grid->setFocus();
    type("8");
    press(Qt::Key_Tab);  // commits and leaves the grid
    EXPECT_EQ(grid->cell_text(0, 0), u"8");
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(count(kGridEditBegan), 4);
    EXPECT_EQ(count(kGridEditEnded), 3);
}

TEST_F(GridTest, MouseSelectsCellsAndResizesColumns) {
    fill(3, 3);
    grid->set_stretch_last_column(false);
    type("9");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell_centre(50 + 50 + 25, 2));
    EXPECT_EQ(grid->cell_text(0, 0), u"9");  // the click committed the edit first
    EXPECT_EQ(cursor(), std::make_pair(1, 2));

    const QPoint border(50 + 50, 10);  // header row, right border of the first data column
    grid->set_column_resizing(true);
    move_mouse(border + QPoint(2, 0), Qt::NoButton);
    EXPECT_EQ(grid->viewport()->cursor().shape(), Qt::SplitHCursor);
    drag(border + QPoint(2, 0), border + QPoint(40, 0));
    EXPECT_EQ(grid->column_width(0), 90);
    drag(QPoint(50 + 90, 10), QPoint(10, 10));
    EXPECT_EQ(grid->column_width(0), 0);  // dragged past its left edge: hidden, not negative
}

TEST_F(GridTest, Screenshot) {
    fill(5, 8);
    grid->set_header_height(21);
    grid->set_column_width(2, 0);
    grid->set_column_header_text(0, u"a1");
    const char16_t* texts[] = {u"1", u"-2/3", u"sqrt(2)", u"pi", u"1e-5", u"0", u"12345678901234567890", u"x"};
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 5; ++c) grid->set_cell_text(c, r, texts[(r + c) % 8]);
    }
    grid->set_cursor(3, 2);
    QDir().mkpath(CALCARIUM_SCREENSHOT_DIR);
    EXPECT_TRUE(grid->grab().save(QStringLiteral(CALCARIUM_SCREENSHOT_DIR "/grid.png")));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
