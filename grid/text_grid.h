// A plain table of text cells: the grid as the engines see it, without a window (command line and tests).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "grid/grid_cells.h"

class TextGrid : public GridCells {
  public:
    TextGrid(int columns, int rows) : columns_(columns) { resize(rows); }
    void resize(int rows) { cells_.resize(static_cast<size_t>(rows) * columns_); }
    int row_count() const override { return static_cast<int>(cells_.size()) / columns_; }
    int column_count() const override { return columns_; }
    std::u16string cell_text(int column, int row) const override {
        return valid(column, row) ? cells_[index(column, row)] : std::u16string();
    }
    int set_cell_text(int column, int row, std::u16string_view text) override {
        if (!valid(column, row)) return -1;
        cells_[index(column, row)] = text;
        return 0;
    }

  private:
    bool valid(int column, int row) const { return column >= 0 && column < columns_ && row >= 0 && row < row_count(); }
    size_t index(int column, int row) const { return static_cast<size_t>(row) * columns_ + column; }
    int columns_;
    std::vector<std::u16string> cells_;
};
