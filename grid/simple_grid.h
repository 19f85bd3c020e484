// SimpleGridCtl: the editable data grid of the equation and polynomial windows. A table of text cells with a header
// row on top and a row-header column on the left, scroll bars that follow the first visible row and column, keyboard
// navigation, column resizing with the mouse and an in-place editor.
//
// Data cells are addressed by 0-based column and row numbers that skip the header row and the row-header column.
// Operations on an invalid index return -1 and change nothing; `last_error` then tells why.
#pragma once

#include <QAbstractScrollArea>
#include <QPointer>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "grid/grid_cells.h"

class QLineEdit;

// Codes of `last_error`.
enum GridError : int {
    kGridErrorInvalidData = 13,
    kGridErrorNoMemory = 14,
    kGridErrorInvalidIndex = 1413,
};

// Codes of the notifications to the parent.
enum GridNotifyCode : int {
    kGridCursorMoved = 3,
    kGridEditBegan = 4,
    kGridEditEnded = 5,
    kGridKeyPressed = 6,
    kGridFocusIn = 18,
    kGridFocusOut = 19,
};

// Column type of a text column edited with the in-place editor; the only type the windows use.
inline constexpr int32_t kGridTextColumn = 1;

// Columns in all, the row-header column included, stay below this count ("ZZZZ" is the last lettered header).
inline constexpr int kGridColumnLimit = 475255;

struct GridNotification {
    class SimpleGridCtl* control;
    int control_id;
    GridNotifyCode code;
    // The cell cursor, 0-based data column and row, and the type of its column (0 when there is no such column).
    int column;
    int row;
    int32_t column_type;
    // The Qt key code of a key press (kGridKeyPressed), else 0.
    int key;
};

// The lettered header of the 1-based column number: A..Z, AA, AB, … (bijective base 26). Empty below 1.
std::u16string grid_column_letters(int number);

class SimpleGridCtl : public QAbstractScrollArea, public GridCells {
    Q_OBJECT
  public:
    explicit SimpleGridCtl(QWidget* parent = nullptr);
    ~SimpleGridCtl() override;

    // Identifies the control in its notifications.
    void set_control_id(int id) { control_id_ = id; }
    int control_id() const { return control_id_; }

    // Failure code of the last operation that failed (GridError), 0 when none failed yet.
    int last_error() const { return last_error_; }

    // --- Structure ---
    // Appends a data column of width 50 with an empty cell for each row; its index, or -2 at the column limit.
    int add_column(int32_t type, std::u16string_view header);
    // Appends a row with the header text and empty cells; its index.
    int add_row(std::u16string_view header);
    // Inserts a row before `row` (row_count() appends); the new row's index.
    int insert_row(int row, std::u16string_view header);
    // Deletes the row and its cells in all columns; the remaining row count.
    int delete_row(int row);
    // Removes all data columns and rows; cursor and scrolling return to the start.
    void reset();

    int row_count() const override;
    int column_count() const override;
    int32_t column_type(int column) const;

    // --- Cells ---
    std::u16string cell_text(int column, int row) const override;
    int set_cell_text(int column, int row, std::u16string_view text) override;
    // Copies the cell text; its length.
    int get_cell_text(int column, int row, std::u16string& text) const;
    // 0 for an invalid cell.
    int cell_text_length(int column, int row) const;
    // The cell's user field (starts at 1) and its protection flag (1 keeps the keyboard from opening the editor).
    int set_cell_data(int column, int row, int32_t value);
    int cell_data(int column, int row) const;
    int set_cell_protection(int column, int row, int32_t flag);
    int cell_protection(int column, int row) const;

    // --- Headers ---
    int get_column_header_text(int column, std::u16string& text) const;
    int column_header_text_length(int column) const;
    int set_column_header_text(int column, std::u16string_view text);
    int get_row_header_text(int row, std::u16string& text) const;
    int row_header_text_length(int row) const;
    int set_row_header_text(int row, std::u16string_view text);
    // Column headers show A, B, … (true) or their stored texts; row headers show 1, 2, … (true) or their texts.
    void set_lettered_column_headers(bool on);
    void set_numbered_row_headers(bool on);

    // --- Sizes ---
    int column_width(int column) const;
    // Width 0 hides the column.
    int set_column_width(int column, int width);
    int row_header_width() const;
    int set_row_header_width(int width);
    int row_height() const { return row_height_; }
    int set_row_height(int height);
    int header_height() const { return header_height_; }
    // Height 0 hides the header row.
    int set_header_height(int height);
    // The last visible column fills the width left over on the right.
    void set_stretch_last_column(bool on);

    // --- Cursor and behaviour ---
    int cursor_column() const { return cursor_col_ - 1; }
    int cursor_row() const { return cursor_row_ - 1; }
    // Moves the cell cursor and scrolls it into view.
    int set_cursor(int column, int row);
    // Moves the cell cursor without scrolling.
    int select_cell(int column, int row);
    void set_editing_enabled(bool on);
    void set_column_resizing(bool on);
    // Repaints the whole control at once.
    void repaint_grid();

    // The in-place editor while it is open, else null.
    QLineEdit* editor() const;
    // Stores the editor's text into its cell and closes it; false when no editor is open.
    bool commit_edit();
    // Closes the editor without storing its text; false when no editor is open.
    bool cancel_edit();

    // First visible data row and column (0-based).
    int first_visible_row() const { return first_row_ - 1; }
    int first_visible_column() const { return first_col_ - 1; }

  signals:
    void notified(const GridNotification& notification);

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

  private:
    struct Cell {
        std::u16string text;
        int32_t data = 1;
        int32_t protection = 0;
    };
    struct Column {
        int32_t type = kGridTextColumn;
        int width = 50;
        // Row 0 is the header cell.
        std::vector<Cell> cells;
    };

    // Index checks on the 0-based data numbers; on failure they record kGridErrorInvalidIndex.
    bool valid_column(int column) const;
    bool valid_row(int row) const;
    bool valid_cell(int column, int row) const { return valid_column(column) && valid_row(row); }
    int fail(int error) const;

    // Geometry in viewport pixels; columns and rows are internal indexes (0 = headers).
    int rows_that_fit() const;
    int last_visible_column() const;
    int display_width(int col) const;
    int column_left(int col) const;
    QRect cell_rect(int col, int row) const;
    // The cell under the point: internal column and row, -1 outside.
    void hit_test(QPoint point, int& col, int& row) const;
    // The visible data column whose right border is within reach of x in the header row, else -1.
    int border_at(QPoint point) const;
    QString header_label(int col) const;
    QString row_label(int row) const;

    // Scrolling.
    void update_scroll_ranges();
    void ensure_cursor_visible();
    int visible_ordinal(int col) const;
    int column_at_ordinal(int ordinal) const;
    void relayout();

    // Cursor moves by internal index; notify when the position changed.
    void move_cursor(int col, int row, bool scroll);
    int next_visible_column(int col, int step) const;

    void open_editor(const QString& start_text);
    void place_editor();
    void close_editor();
    bool editor_key(QKeyEvent* key);
    void notify(GridNotifyCode code, int key = 0);

    std::vector<Column> columns_;
    int cursor_col_ = 1;
    int cursor_row_ = 1;
    int first_col_ = 1;
    int first_row_ = 1;
    // The last data column with a width, -1 when none; the one that stretches.
    int last_visible_ = -1;
    int row_height_ = 21;
    int header_height_ = 21;
    bool editing_enabled_ = true;
    bool numbered_rows_ = true;
    bool lettered_columns_ = true;
    bool stretch_last_ = true;
    bool resizing_allowed_ = false;

    QLineEdit* editor_ = nullptr;
    bool editing_ = false;
    int edit_col_ = 0;
    int edit_row_ = 0;

    int resize_col_ = -1;
    int wheel_rest_ = 0;
    bool syncing_scroll_ = false;
    int control_id_ = 0;
    mutable int last_error_ = 0;
};
