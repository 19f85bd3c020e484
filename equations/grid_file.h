// CSV files of the linear-systems grid: one byte per character, ";" between fields, CR LF line ends, a header line
// a1;a2;...;an;b and one line per equation with the raw formula texts of its n coefficient cells and its b cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "grid/grid_cells.h"

// Characters kept of a loaded field; further bytes turn the last one into "…".
inline constexpr size_t kGridFileCellChars = 1030;
inline constexpr int kGridFileMaxEquations = 25;

// Writes the header and the first equation_count rows (coefficient columns 0..n-1 and the b column) of the grid.
// Every decimal-point character of the context becomes the first of them, every character of code 128 or more
// becomes "?", and so do ";", CR and LF inside a cell, which the format cannot hold. The content goes to a temporary
// file beside the target that then replaces it, so a failure leaves the previous file as it was. Returns 0, or
// message 1006 (also set as the pending message).
uint32_t save_grid_file(const std::filesystem::path& path, const GridCells& grid, int equation_count);

// The window's answer to a new equation count read from a file header: it resizes the grid to `count` rows.
using SetEquationCount = void (*)(void* owner, int count);

// Replaces the grid contents with the file's: empties rows 0..24 of the 26 named columns, reads the header's ";"
// count n (2..25) and calls set_equation_count, then stores the fields of the next n lines (the field after the
// n-th ";" always into the b column). The file may hold any bytes; a last line without LF loses its last field,
// a file without any LF only empties the grid. Returns 0 or the message code it set: 1005 (no such file; the grid
// is untouched), 1006 (cannot open or read; untouched when opening failed), 3402 (header count out of range).
// Emptying the output box is the caller's part.
uint32_t load_grid_file(const std::filesystem::path& path, GridCells& grid, SetEquationCount set_equation_count,
                        void* owner);

// Steps of save_grid_file at which a test can make the save fail as the system would.
enum GridFileStep : int {
    kGridFileStepCreate = 0,  // creating the temporary file
    kGridFileStepWrite = 1,   // writing the content (fails after half of it has been written)
    kGridFileStepSync = 2,    // flushing the temporary file to disk
    kGridFileStepRename = 3,  // replacing the target
};
using GridFileFaultHook = bool (*)(GridFileStep step);
// When set and returning true for a step, that step fails. Null in the program.
extern GridFileFaultHook grid_file_fault_hook;
