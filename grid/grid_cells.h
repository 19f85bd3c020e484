// The table of text cells that the equation engines read their coefficient formulas from and write back into. The
// grid control implements it; the engines and their tests see only this interface and stay free of the window system.
#pragma once

#include <string>
#include <string_view>

class GridCells {
  public:
    virtual ~GridCells() = default;

    // Data rows and data columns; the header row and the row-header column are not counted.
    virtual int row_count() const = 0;
    virtual int column_count() const = 0;
    // The text of the data cell (0-based column and row); empty for an invalid cell.
    virtual std::u16string cell_text(int column, int row) const = 0;
    // Replaces the text of the data cell with a copy; 0, or -1 for an invalid cell (nothing changes).
    virtual int set_cell_text(int column, int row, std::u16string_view text) = 0;
};
