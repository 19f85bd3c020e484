#include "grid/simple_grid.h"

#include <qdrawutil.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>

#include "platform/ui_globals.h"

namespace {

// Distance in pixels from a column border within which the header row offers resizing.
constexpr int kBorderReach = 3;
constexpr int kWheelStep = 120;
constexpr int kTextPadding = 3;

// Keys that neither move the cursor nor open the editor.
bool is_inert_key(int key) {
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Pause:
        case Qt::Key_CapsLock:
        case Qt::Key_Insert:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Menu:
        case Qt::Key_NumLock:
        // A character key arrives with its modifiers, so a modifier alone has nothing to type yet.
        case Qt::Key_Shift:
        case Qt::Key_Control:
            return true;
        default:
            return key >= Qt::Key_F1 && key <= Qt::Key_F24;
    }
}

// What the key types: its text unless that is empty or a control character.
QString typed_text(const QKeyEvent* key) {
    const QString text = key->text();
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return {};
    }
    return text;
}

}  // namespace

std::u16string grid_column_letters(int number) {
    std::u16string letters;
    while (number > 0) {
        --number;
        letters.insert(letters.begin(), static_cast<char16_t>(u'A' + number % 26));
        number /= 26;
    }
    return letters;
}

SimpleGridCtl::SimpleGridCtl(QWidget* parent) : QAbstractScrollArea(parent) {
    columns_.push_back(Column{-1, 50, {Cell{}}});
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(1);
    relayout();
}

SimpleGridCtl::~SimpleGridCtl() {
    editing_ = false;
    if (editor_ != nullptr) editor_->removeEventFilter(this);
}

// ---------------------------------------------------------------------------------------------------------------
// Index checks

bool SimpleGridCtl::valid_column(int column) const {
    if (column >= 0 && column < column_count()) return true;
    last_error_ = kGridErrorInvalidIndex;
    return false;
}

bool SimpleGridCtl::valid_row(int row) const {
    if (row >= 0 && row < row_count()) return true;
    last_error_ = kGridErrorInvalidIndex;
    return false;
}

int SimpleGridCtl::fail(int error) const {
    last_error_ = error;
    return -1;
}

// ---------------------------------------------------------------------------------------------------------------
// Structure

int SimpleGridCtl::add_column(int32_t type, std::u16string_view header) {
    if (columns_.size() + 1 >= static_cast<size_t>(kGridColumnLimit)) {
        last_error_ = kGridErrorNoMemory;
        return -2;
    }
    try {
        Column column;
        column.type = type;
        column.cells.resize(columns_[0].cells.size());
        column.cells[0].text = header;
        columns_.push_back(std::move(column));
    } catch (const std::bad_alloc&) {
        last_error_ = kGridErrorNoMemory;
        return -2;
    }
    relayout();
    return column_count() - 1;
}

int SimpleGridCtl::add_row(std::u16string_view header) {
    return insert_row(row_count(), header);
}

int SimpleGridCtl::insert_row(int row, std::u16string_view header) {
    if (row < 0 || row > row_count()) return fail(kGridErrorInvalidIndex);
    commit_edit();
    // Reserve everywhere first so that the inserts below cannot fail half-way and leave columns of unequal length.
    Cell header_cell;
    try {
        header_cell.text = header;
        for (Column& column : columns_) column.cells.reserve(column.cells.size() + 1);
    } catch (const std::bad_alloc&) {
        last_error_ = kGridErrorNoMemory;
        return -2;
    }
    const auto at = static_cast<std::ptrdiff_t>(row) + 1;
    columns_[0].cells.insert(columns_[0].cells.begin() + at, std::move(header_cell));
    for (size_t c = 1; c < columns_.size(); ++c) columns_[c].cells.insert(columns_[c].cells.begin() + at, Cell{});
    relayout();
    return row;
}

int SimpleGridCtl::delete_row(int row) {
    if (!valid_row(row)) return -1;
    commit_edit();
    const auto at = static_cast<std::ptrdiff_t>(row) + 1;
    for (Column& column : columns_) column.cells.erase(column.cells.begin() + at);
    cursor_row_ = std::clamp(cursor_row_, 1, std::max(1, row_count()));
    relayout();
    return row_count();
}

void SimpleGridCtl::reset() {
    cancel_edit();
    columns_.resize(1);
    columns_[0].cells.resize(1);
    cursor_col_ = cursor_row_ = 1;
    first_col_ = first_row_ = 1;
    relayout();
}

int SimpleGridCtl::row_count() const {
    return static_cast<int>(columns_[0].cells.size()) - 1;
}

int SimpleGridCtl::column_count() const {
    return static_cast<int>(columns_.size()) - 1;
}

int32_t SimpleGridCtl::column_type(int column) const {
    return valid_column(column) ? columns_[column + 1].type : -1;
}

// ---------------------------------------------------------------------------------------------------------------
// Cells

std::u16string SimpleGridCtl::cell_text(int column, int row) const {
    return valid_cell(column, row) ? columns_[column + 1].cells[row + 1].text : std::u16string();
}

int SimpleGridCtl::set_cell_text(int column, int row, std::u16string_view text) {
    if (!valid_cell(column, row)) return -1;
    try {
        columns_[column + 1].cells[row + 1].text = text;
    } catch (const std::bad_alloc&) {
        last_error_ = kGridErrorNoMemory;
        return -2;
    }
    viewport()->update(cell_rect(column + 1, row + 1));
    return 0;
}

int SimpleGridCtl::get_cell_text(int column, int row, std::u16string& text) const {
    if (!valid_cell(column, row)) return -1;
    text = columns_[column + 1].cells[row + 1].text;
    return static_cast<int>(text.size());
}

int SimpleGridCtl::cell_text_length(int column, int row) const {
    return valid_cell(column, row) ? static_cast<int>(columns_[column + 1].cells[row + 1].text.size()) : 0;
}

int SimpleGridCtl::set_cell_data(int column, int row, int32_t value) {
    if (!valid_cell(column, row)) return -1;
    columns_[column + 1].cells[row + 1].data = value;
    return 0;
}

int SimpleGridCtl::cell_data(int column, int row) const {
    return valid_cell(column, row) ? columns_[column + 1].cells[row + 1].data : -1;
}

int SimpleGridCtl::set_cell_protection(int column, int row, int32_t flag) {
    if (!valid_cell(column, row)) return -1;
    columns_[column + 1].cells[row + 1].protection = flag;
    return 0;
}

int SimpleGridCtl::cell_protection(int column, int row) const {
    return valid_cell(column, row) ? columns_[column + 1].cells[row + 1].protection : -1;
}

// ---------------------------------------------------------------------------------------------------------------
// Headers

int SimpleGridCtl::get_column_header_text(int column, std::u16string& text) const {
    if (!valid_column(column)) return -1;
    text = columns_[column + 1].cells[0].text;
    return static_cast<int>(text.size());
}

int SimpleGridCtl::column_header_text_length(int column) const {
    return valid_column(column) ? static_cast<int>(columns_[column + 1].cells[0].text.size()) : -1;
}

int SimpleGridCtl::set_column_header_text(int column, std::u16string_view text) {
    if (!valid_column(column)) return -1;
    columns_[column + 1].cells[0].text = text;
    viewport()->update();
    return 0;
}

int SimpleGridCtl::get_row_header_text(int row, std::u16string& text) const {
    if (!valid_row(row)) return -1;
    text = columns_[0].cells[row + 1].text;
    return static_cast<int>(text.size());
}

int SimpleGridCtl::row_header_text_length(int row) const {
    return valid_row(row) ? static_cast<int>(columns_[0].cells[row + 1].text.size()) : -1;
}

int SimpleGridCtl::set_row_header_text(int row, std::u16string_view text) {
    if (!valid_row(row)) return -1;
    columns_[0].cells[row + 1].text = text;
    viewport()->update();
    return 0;
}

void SimpleGridCtl::set_lettered_column_headers(bool on) {
    lettered_columns_ = on;
    viewport()->update();
}

void SimpleGridCtl::set_numbered_row_headers(bool on) {
    numbered_rows_ = on;
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------------------------
// Sizes and options

int SimpleGridCtl::column_width(int column) const {
    return valid_column(column) ? columns_[column + 1].width : -1;
}

int SimpleGridCtl::set_column_width(int column, int width) {
    if (!valid_column(column)) return -1;
    if (width < 0) return fail(kGridErrorInvalidData);
    columns_[column + 1].width = width;
    relayout();
    return 0;
}

int SimpleGridCtl::row_header_width() const {
    return columns_[0].width;
}

int SimpleGridCtl::set_row_header_width(int width) {
    if (width < 0) return fail(kGridErrorInvalidData);
    columns_[0].width = width;
    relayout();
    return 0;
}

int SimpleGridCtl::set_row_height(int height) {
    if (height < 1) return fail(kGridErrorInvalidData);
    row_height_ = height;
    relayout();
    return 0;
}

int SimpleGridCtl::set_header_height(int height) {
    if (height < 0) return fail(kGridErrorInvalidData);
    header_height_ = height;
    relayout();
    return 0;
}

void SimpleGridCtl::set_stretch_last_column(bool on) {
    stretch_last_ = on;
    relayout();
}

void SimpleGridCtl::set_editing_enabled(bool on) {
    if (!on) commit_edit();
    editing_enabled_ = on;
}

void SimpleGridCtl::set_column_resizing(bool on) {
    resizing_allowed_ = on;
    if (!on) {
        resize_col_ = -1;
        viewport()->unsetCursor();
    }
}

void SimpleGridCtl::repaint_grid() {
    viewport()->repaint();
}

// ---------------------------------------------------------------------------------------------------------------
// Cursor

int SimpleGridCtl::set_cursor(int column, int row) {
    if (!valid_cell(column, row)) return -1;
    move_cursor(column + 1, row + 1, true);
    return 0;
}

int SimpleGridCtl::select_cell(int column, int row) {
    if (!valid_cell(column, row)) return -1;
    move_cursor(column + 1, row + 1, false);
    return 0;
}

void SimpleGridCtl::move_cursor(int col, int row, bool scroll) {
    const bool moved = col != cursor_col_ || row != cursor_row_;
    cursor_col_ = col;
    cursor_row_ = row;
    if (scroll) ensure_cursor_visible();
    viewport()->update();
    if (moved) notify(kGridCursorMoved);
}

int SimpleGridCtl::next_visible_column(int col, int step) const {
    for (int c = col + step; c >= 1 && c < static_cast<int>(columns_.size()); c += step) {
        if (columns_[c].width > 0) return c;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------------------------
// Geometry

int SimpleGridCtl::rows_that_fit() const {
    return std::max(1, (viewport()->height() - header_height_) / row_height_);
}

int SimpleGridCtl::display_width(int col) const {
    const int width = columns_[col].width;
    if (!stretch_last_ || col != last_visible_ || col < first_col_) return width;
    return std::max(width, viewport()->width() - column_left(col));
}

int SimpleGridCtl::column_left(int col) const {
    if (col == 0) return 0;
    int x = columns_[0].width;
    if (col >= first_col_) {
        for (int c = first_col_; c < col; ++c) x += columns_[c].width;
    } else {
        for (int c = col; c < first_col_; ++c) x -= columns_[c].width;
    }
    return x;
}

QRect SimpleGridCtl::cell_rect(int col, int row) const {
    const int x = column_left(col);
    const int width = col == 0 ? columns_[0].width : display_width(col);
    if (row == 0) return QRect(x, 0, width, header_height_);
    return QRect(x, header_height_ + (row - first_row_) * row_height_, width, row_height_);
}

void SimpleGridCtl::hit_test(QPoint point, int& col, int& row) const {
    col = row = -1;
    if (point.y() < 0 || point.x() < 0) return;
    if (point.y() < header_height_) {
        row = 0;
    } else {
        const int r = first_row_ + (point.y() - header_height_) / row_height_;
        if (r <= row_count()) row = r;
    }
    if (point.x() < columns_[0].width) {
        col = 0;
        return;
    }
    int x = columns_[0].width;
    for (int c = first_col_; c < static_cast<int>(columns_.size()) && x < viewport()->width(); ++c) {
        const int width = display_width(c);
        if (width > 0 && point.x() < x + width) {
            col = c;
            return;
        }
        x += width;
    }
}

int SimpleGridCtl::border_at(QPoint point) const {
    if (!resizing_allowed_ || point.y() < 0 || point.y() >= header_height_) return -1;
    int best = -1;
    int best_distance = kBorderReach + 1;
    int x = columns_[0].width;
    for (int c = first_col_; c < static_cast<int>(columns_.size()) && x <= viewport()->width() + kBorderReach; ++c) {
        const int width = display_width(c);
        if (width == 0) continue;
        x += width;
        const int distance = std::abs(point.x() - x);
        if (distance < best_distance) {
            best = c;
            best_distance = distance;
        }
    }
    return best;
}

QString SimpleGridCtl::header_label(int col) const {
    if (col == 0) return {};
    return to_qstring(lettered_columns_ ? grid_column_letters(col) : columns_[col].cells[0].text);
}

QString SimpleGridCtl::row_label(int row) const {
    return numbered_rows_ ? QString::number(row) : to_qstring(columns_[0].cells[row].text);
}

// ---------------------------------------------------------------------------------------------------------------
// Scrolling: the vertical bar counts rows, the horizontal bar counts visible data columns.

int SimpleGridCtl::visible_ordinal(int col) const {
    int ordinal = 0;
    for (int c = 1; c < col && c < static_cast<int>(columns_.size()); ++c) {
        if (columns_[c].width > 0) ++ordinal;
    }
    return ordinal;
}

int SimpleGridCtl::column_at_ordinal(int ordinal) const {
    for (int c = 1; c < static_cast<int>(columns_.size()); ++c) {
        if (columns_[c].width > 0 && ordinal-- == 0) return c;
    }
    return 1;
}

void SimpleGridCtl::update_scroll_ranges() {
    syncing_scroll_ = true;
    const int fit = rows_that_fit();
    const int vertical_max = std::max(0, row_count() - fit);
    first_row_ = std::clamp(first_row_, 1, vertical_max + 1);
    verticalScrollBar()->setRange(0, vertical_max);
    verticalScrollBar()->setPageStep(fit);
    verticalScrollBar()->setValue(first_row_ - 1);

    // The largest run of visible columns at the end that fits decides how far the view can scroll.
    const int room = viewport()->width() - columns_[0].width;
    int visible = 0;
    int fitting = 0;
    int used = 0;
    bool full = false;
    for (int c = static_cast<int>(columns_.size()) - 1; c >= 1; --c) {
        const int width = columns_[c].width;
        if (width == 0) continue;
        ++visible;
        if (!full && used + width <= room) {
            used += width;
            ++fitting;
        } else {
            full = true;
        }
    }
    const int horizontal_max = visible == 0 ? 0 : visible - std::max(1, fitting);
    first_col_ = column_at_ordinal(std::min(visible_ordinal(first_col_), horizontal_max));
    horizontalScrollBar()->setRange(0, horizontal_max);
    horizontalScrollBar()->setPageStep(std::max(1, fitting));
    horizontalScrollBar()->setValue(visible_ordinal(first_col_));
    syncing_scroll_ = false;
}

void SimpleGridCtl::ensure_cursor_visible() {
    if (row_count() == 0 || cursor_row_ > row_count()) return;
    const int fit = rows_that_fit();
    if (cursor_row_ < first_row_) {
        first_row_ = cursor_row_;
    } else if (cursor_row_ >= first_row_ + fit) {
        first_row_ = cursor_row_ - fit + 1;
    }
    if (cursor_col_ < static_cast<int>(columns_.size()) && columns_[cursor_col_].width > 0) {
        if (cursor_col_ < first_col_) {
            first_col_ = cursor_col_;
        } else {
            while (first_col_ < cursor_col_ &&
                   column_left(cursor_col_) + columns_[cursor_col_].width > viewport()->width()) {
                const int next = next_visible_column(first_col_, 1);
                if (next < 0) break;
                first_col_ = next;
            }
        }
    }
    update_scroll_ranges();
    place_editor();
}

void SimpleGridCtl::scrollContentsBy(int, int) {
    if (syncing_scroll_) return;
    first_row_ = verticalScrollBar()->value() + 1;
    first_col_ = column_at_ordinal(horizontalScrollBar()->value());
    place_editor();
    viewport()->update();
}

void SimpleGridCtl::relayout() {
    last_visible_ = next_visible_column(static_cast<int>(columns_.size()), -1);
    update_scroll_ranges();
    place_editor();
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------------------------
// In-place editor

QLineEdit* SimpleGridCtl::editor() const {
    return editing_ ? editor_ : nullptr;
}

void SimpleGridCtl::open_editor(const QString& start_text) {
    if (editor_ == nullptr) {
        editor_ = new QLineEdit(viewport());
        editor_->setObjectName(QStringLiteral("Edit"));
        editor_->setFrame(false);
        editor_->setMaxLength(INT_MAX);
        editor_->installEventFilter(this);
    }
    editor_->setFont(font());
    edit_col_ = cursor_col_;
    edit_row_ = cursor_row_;
    editor_->setText(start_text);
    editor_->setCursorPosition(static_cast<int>(start_text.size()));
    editing_ = true;
    place_editor();
    editor_->show();
    editor_->setFocus(Qt::OtherFocusReason);
    notify(kGridEditBegan);
}

void SimpleGridCtl::place_editor() {
    if (editing_) editor_->setGeometry(cell_rect(edit_col_, edit_row_).adjusted(1, 1, -1, -1));
}

void SimpleGridCtl::close_editor() {
    // Cleared first: the focus change below must not commit a second time.
    editing_ = false;
    if (editor_->hasFocus()) setFocus(Qt::OtherFocusReason);
    editor_->hide();
}

bool SimpleGridCtl::commit_edit() {
    if (!editing_) return false;
    std::u16string text = to_u16(editor_->text());
    close_editor();
    if (edit_col_ < static_cast<int>(columns_.size()) && edit_row_ <= row_count()) {
        columns_[edit_col_].cells[edit_row_].text = std::move(text);
    }
    viewport()->update();
    notify(kGridEditEnded);
    return true;
}

bool SimpleGridCtl::cancel_edit() {
    if (!editing_) return false;
    close_editor();
    viewport()->update();
    return true;
}

// Returns true when the editor must not see the key.
bool SimpleGridCtl::editor_key(QKeyEvent* key) {
    const auto pass_to_grid = [&] {
        commit_edit();
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
        QCoreApplication::sendEvent(this, &copy);
        return true;
    };
    switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            commit_edit();
            return true;
        case Qt::Key_Escape:
            cancel_edit();
            return true;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            // Committed first, so that the grid, not the editor, is where the focus moves on from.
            return pass_to_grid();
        case Qt::Key_Up:
        case Qt::Key_PageUp:
            return edit_row_ <= 1 ? true : pass_to_grid();
        case Qt::Key_Down:
        case Qt::Key_PageDown:
            return edit_row_ >= row_count() ? true : pass_to_grid();
        case Qt::Key_Left:
            if (editor_->cursorPosition() == 0 && next_visible_column(edit_col_, -1) > 0) return pass_to_grid();
            return false;
        case Qt::Key_Right:
            if (editor_->cursorPosition() == editor_->text().size() && next_visible_column(edit_col_, 1) > 0) {
                return pass_to_grid();
            }
            return false;
        default:
            return false;
    }
}

bool SimpleGridCtl::eventFilter(QObject* watched, QEvent* event) {
    if (watched != editor_ || !editing_) return QAbstractScrollArea::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::ShortcutOverride: {
            // Keys the editor acts on must reach it even when a window shortcut uses them.
            const int k = static_cast<QKeyEvent*>(event)->key();
            if (k == Qt::Key_Escape || k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Up ||
                k == Qt::Key_Down || k == Qt::Key_PageUp || k == Qt::Key_PageDown) {
                event->accept();
                return true;
            }
            return false;
        }
        case QEvent::KeyPress:
            return editor_key(static_cast<QKeyEvent*>(event));
        case QEvent::FocusOut:
            // A context menu of the editor takes the focus only for a moment.
            if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) commit_edit();
            return false;
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Events

bool SimpleGridCtl::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) notify(kGridKeyPressed, static_cast<QKeyEvent*>(event)->key());
    return QAbstractScrollArea::event(event);
}

void SimpleGridCtl::keyPressEvent(QKeyEvent* event) {
    const int rows = row_count();
    const bool has_cell = cursor_col_ < static_cast<int>(columns_.size()) && cursor_row_ <= rows;
    if (!has_cell) return;
    switch (event->key()) {
        case Qt::Key_Up:
            if (cursor_row_ > 1) move_cursor(cursor_col_, cursor_row_ - 1, true);
            return;
        case Qt::Key_Down:
            if (cursor_row_ < rows) move_cursor(cursor_col_, cursor_row_ + 1, true);
            return;
        case Qt::Key_PageUp:
            move_cursor(cursor_col_, std::max(1, cursor_row_ - rows_that_fit()), true);
            return;
        case Qt::Key_PageDown:
            move_cursor(cursor_col_, std::min(rows, cursor_row_ + rows_that_fit()), true);
            return;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            const int col = next_visible_column(cursor_col_, event->key() == Qt::Key_Left ? -1 : 1);
            if (col > 0) move_cursor(col, cursor_row_, true);
            return;
        }
        default:
            break;
    }
    if (is_inert_key(event->key())) return;
    commit_edit();
    const Column& column = columns_[cursor_col_];
    if (!editing_enabled_ || column.type != kGridTextColumn || column.width == 0 ||
        column.cells[cursor_row_].protection != 0) {
        return;
    }
    ensure_cursor_visible();
    open_editor(typed_text(event));
}

void SimpleGridCtl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint point = event->position().toPoint();
    commit_edit();
    const int border = border_at(point);
    if (border > 0) {
        resize_col_ = border;
        return;
    }
    int col = 0;
    int row = 0;
    hit_test(point, col, row);
    if (col >= 1 && row >= 1) move_cursor(col, row, true);
}

void SimpleGridCtl::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (resize_col_ > 0) {
        columns_[resize_col_].width = std::max(0, point.x() - column_left(resize_col_));
        relayout();
        return;
    }
    if (border_at(point) > 0) {
        viewport()->setCursor(Qt::SplitHCursor);
    } else {
        viewport()->unsetCursor();
    }
}

void SimpleGridCtl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) resize_col_ = -1;
}

void SimpleGridCtl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || editing_) return;
    int col = 0;
    int row = 0;
    hit_test(event->position().toPoint(), col, row);
    if (col != cursor_col_ || row != cursor_row_ || row < 1) return;
    const Cell& cell = columns_[col].cells[row];
    if (editing_enabled_ && columns_[col].type == kGridTextColumn && cell.protection == 0) {
        open_editor(to_qstring(cell.text));
    }
}

void SimpleGridCtl::wheelEvent(QWheelEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    if (bar->maximum() == 0) {
        event->ignore();
        return;
    }
    wheel_rest_ += event->angleDelta().y();
    const int steps = wheel_rest_ / kWheelStep;
    wheel_rest_ -= steps * kWheelStep;
    if (steps != 0) bar->setValue(bar->value() - steps);
    event->accept();
}

void SimpleGridCtl::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
    notify(kGridFocusIn);
}

void SimpleGridCtl::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
    notify(kGridFocusOut);
}

void SimpleGridCtl::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void SimpleGridCtl::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled()) commit_edit();
    if (event->type() == QEvent::FontChange && editor_ != nullptr) editor_->setFont(font());
    viewport()->update();
}

void SimpleGridCtl::notify(GridNotifyCode code, int key) {
    const bool has_column = cursor_col_ < static_cast<int>(columns_.size());
    emit notified(GridNotification{this, control_id_, code, cursor_col_ - 1, cursor_row_ - 1,
                                   has_column ? columns_[cursor_col_].type : 0, key});
}

// ---------------------------------------------------------------------------------------------------------------
// Painting

void SimpleGridCtl::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette::ColorGroup group =
        !isEnabled() ? QPalette::Disabled : (hasFocus() || editing_ ? QPalette::Active : QPalette::Inactive);
    const QPalette& pal = palette();
    const QColor line = pal.color(group, QPalette::Midlight).darker(115);
    const int view_width = viewport()->width();
    const int view_height = viewport()->height();
    const int last_row = std::min(row_count(), first_row_ + (view_height - header_height_) / row_height_);
    const QFontMetrics metrics(font());

    const auto draw_text = [&](const QRect& rect, const QString& text, Qt::Alignment align, const QColor& color) {
        const QRect inner = rect.adjusted(kTextPadding, 0, -kTextPadding, 0);
        painter.setPen(color);
        painter.drawText(inner, static_cast<int>(align | Qt::AlignVCenter),
                         metrics.elidedText(text, Qt::ElideRight, inner.width()));
    };
    const auto draw_header = [&](const QRect& rect, const QString& text, Qt::Alignment align) {
        if (rect.width() <= 0 || rect.height() <= 0) return;
        painter.fillRect(rect, pal.color(group, QPalette::Button));
        qDrawShadeRect(&painter, rect, pal, true, 1);
        draw_text(rect, text, align, pal.color(group, QPalette::ButtonText));
    };

    // Data cells, column by column from the first visible one.
    int x = columns_[0].width;
    for (int c = first_col_; c < static_cast<int>(columns_.size()) && x < view_width; ++c) {
        const int width = display_width(c);
        if (width == 0) continue;
        for (int r = first_row_; r <= last_row; ++r) {
            const QRect rect(x, header_height_ + (r - first_row_) * row_height_, width, row_height_);
            const bool cursor = c == cursor_col_ && r == cursor_row_;
            if (cursor) painter.fillRect(rect.adjusted(0, 0, -1, -1), pal.color(group, QPalette::Highlight));
            painter.setPen(line);
            painter.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
            painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
            draw_text(rect, to_qstring(columns_[c].cells[r].text), Qt::AlignLeft,
                      pal.color(group, cursor ? QPalette::HighlightedText : QPalette::Text));
        }
        if (header_height_ > 0) draw_header(QRect(x, 0, width, header_height_), header_label(c), Qt::AlignHCenter);
        x += width;
    }

    // Row headers and the corner on top of everything scrolled under them.
    if (columns_[0].width > 0) {
        for (int r = first_row_; r <= last_row; ++r) {
            draw_header(QRect(0, header_height_ + (r - first_row_) * row_height_, columns_[0].width, row_height_),
                        row_label(r), numbered_rows_ ? Qt::AlignHCenter : Qt::AlignLeft);
        }
        if (header_height_ > 0) draw_header(QRect(0, 0, columns_[0].width, header_height_), QString(), {});
    }
}
