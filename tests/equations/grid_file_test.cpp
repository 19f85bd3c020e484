// CSV files of the linear-systems grid: the bytes written, the layouts read, refused files, and the atomic
// replacement of the previous file.
#include "equations/grid_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "equations/linear_system.h"
#include "grid/text_grid.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/string_table.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards.
class GridFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool initialised = (init_numeric_context(), true);
        (void)initialised;
        load_string_table(kLanguageEnglish);
        set_decimal_points(u'.', u',');
        clear_error_state();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ =
            fs::temp_directory_path() / ("calcarium_grid_file_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        grid_file_fault_hook = nullptr;
        set_decimal_points(u'.', u',');
        clear_error_state();
        fs::remove_all(folder_);
    }

    static void set_decimal_points(char16_t first, char16_t second) {
        num_ctx.decimal_point_chars[0] = first;
        num_ctx.decimal_point_chars[1] = second;
        num_ctx.decimal_point_chars[2] = 0;
    }
    fs::path file(const char* name) const { return folder_ / name; }
    static void write_bytes(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    static std::string read_bytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Loads into a grid that, as the window does, takes the equation count of the header as its row count.
    static uint32_t load(const fs::path& path, TextGrid* grid) {
        return load_grid_file(
            path, *grid, [](void* owner, int n) { static_cast<TextGrid*>(owner)->resize(n); }, grid);
    }
    static std::string message() { return utf16_to_utf8(compose_message(message_state, string_table)); }

    fs::path folder_;
};

TextGrid window_grid(int rows) {
    return TextGrid(kLinearGridColumns, rows);
}

struct ByteCase {
    char16_t first_point;
    const char16_t* cell;
    const char* bytes;
};

// How cell texts become bytes: decimal points as the first of the context's, every character of code 128 or more
// as "?", and so the separators ";", CR and LF inside a cell, which the format cannot hold.
const ByteCase kByteCases[] = {
    {u'.', u"1,5", "1.5"},  {u',', u"1,5", "1,5"},        {u',', u"1.5", "1,5"},         {u'.', u"2*\u03C0", "2*?"},
    {u'.', u"\u00E9", "?"}, {u'.', u"\U0001F600x", "?x"}, {u'.', u"1;2\r\n3", "1?2??3"},
};

TEST_F(GridFileTest, SavesHeaderAndRowsAsBytesWithCrLf) {
    for (const auto& c : kByteCases) {
        set_decimal_points(c.first_point, c.first_point == u'.' ? u',' : u'.');
        TextGrid grid = window_grid(3);
        grid.set_cell_text(0, 0, c.cell);
        grid.set_cell_text(kLinearBColumn, 2, u"b3");
        grid.set_cell_text(3, 1, u"hidden");  // a4 is not part of a 3-equation file
        ASSERT_EQ(save_grid_file(file("b.csv"), grid, 3), 0u);
        EXPECT_EQ(read_bytes(file("b.csv")), std::string("a1;a2;a3;b\r\n") + c.bytes + ";;;\r\n;;;\r\n;;;b3\r\n")
            << utf16_to_utf8(c.cell);
    }
}

struct Cell {
    int row;
    int column;
    std::u16string text;
};

struct LoadCase {
    std::string bytes;
    int count;                // equation count afterwards (the grid starts with 2)
    std::vector<Cell> cells;  // every other cell is empty
};

// clang-format off
const LoadCase kLoadCases[] = {
    {"a1;a2;b\r\n1;1;3\r\n1;-1;1\r\n", 2, {{0, 0, u"1"}, {0, 1, u"1"}, {0, 25, u"3"}, {1, 0, u"1"}, {1, 1, u"-1"}, {1, 25, u"1"}}},
    // LF alone ends lines, CR anywhere is dropped, header texts do not count.
    {"x;y;z;b\n1\r;2;3;\r4\n", 3, {{0, 0, u"1"}, {0, 1, u"2"}, {0, 2, u"3"}, {0, 25, u"4"}}},
    // A short line leaves cells empty; the last line without line end loses its last field; later lines are ignored.
    {"a1;a2;b\r\n1\r\n4;5;6", 2, {{0, 0, u"1"}, {1, 0, u"4"}, {1, 1, u"5"}}},
    {"a1;a2;b\n1;1;1\n2;2;2\n3;3;3\n", 2, {{0, 0, u"1"}, {0, 1, u"1"}, {0, 25, u"1"}, {1, 0, u"2"}, {1, 1, u"2"}, {1, 25, u"2"}}},
    // The field after the n-th semicolon goes to b, later ones to hidden columns.
    {"a1;a2;b\n1;2;3;4;5\n", 2, {{0, 0, u"1"}, {0, 1, u"2"}, {0, 25, u"3"}, {0, 3, u"4"}, {0, 4, u"5"}}},
    {"a1;a2;b\n\xE9;\x01;\xFF\n", 2, {{0, 0, u"\u00E9"}, {0, 1, u"\u0001"}, {0, 25, u"\u00FF"}}},  // Latin-1 bytes
    // A field of 1030 characters is kept whole, a longer one is cut with an ellipsis and the rest still loads.
    {"a1;a2;b\n" + std::string(1030, 'x') + ";" + std::string(3 << 20, 'y') + ";\n4;5;6\n", 2,
     {{0, 0, std::u16string(1030, u'x')}, {0, 1, std::u16string(1029, u'y') + u"\u2026"}, {1, 0, u"4"}, {1, 1, u"5"}, {1, 25, u"6"}}},
    {"a1;a2;a3;b 1;2;3;4", 2, {}},  // without LF the file only empties the grid
    {std::string(25, ';') + "\n", 25, {}},  // the largest header
};
// clang-format on

TEST_F(GridFileTest, LoadsTheDocumentedLayouts) {
    for (const auto& c : kLoadCases) {
        write_bytes(file("l.csv"), c.bytes);
        TextGrid grid = window_grid(2);
        grid.set_cell_text(0, 0, u"old");
        grid.set_cell_text(kLinearBColumn, 1, u"old");
        const std::string what = c.bytes.substr(0, 30);
        ASSERT_EQ(load(file("l.csv"), &grid), 0u) << what << ": " << message();
        ASSERT_EQ(grid.row_count(), c.count) << what;
        TextGrid expected = window_grid(c.count);
        for (const Cell& cell : c.cells) expected.set_cell_text(cell.column, cell.row, cell.text);
        for (int i = 0; i < c.count; ++i) {
            for (int j = 0; j < kLinearGridColumns; ++j) {
                EXPECT_EQ(grid.cell_text(j, i), expected.cell_text(j, i)) << what << ": row " << i << " column " << j;
            }
        }
    }
}

TEST_F(GridFileTest, RefusesHeadersOutsideTwoTo25VariablesAndFilesThatCannotBeOpened) {
    const std::string many(26, ';');
    for (const std::string& b : {std::string("a1;b\r\n1;2\r\n"), std::string("\n"), many + "\n" + many + "\n"}) {
        write_bytes(file("h.csv"), b);
        TextGrid grid = window_grid(2);
        grid.set_cell_text(0, 0, u"old");
        EXPECT_EQ(load(file("h.csv"), &grid), kMsgGridVariableCount) << b;
        EXPECT_EQ(message(), "The number of equation variables has to be between 2 und 25!");
        EXPECT_EQ(grid.row_count(), 2);
        EXPECT_EQ(grid.cell_text(0, 0), u"");  // emptied before the header was read
        clear_error_state();
    }
    // Files that cannot be opened leave the grid as it was.
    TextGrid grid = window_grid(2);
    grid.set_cell_text(0, 0, u"keep");
    EXPECT_EQ(load(folder_ / "no_folder" / "x.csv", &grid), kMsgFileNotFound);
    clear_error_state();
    EXPECT_EQ(load(folder_, &grid), kMsgFileAccess);
    EXPECT_EQ(grid.cell_text(0, 0), u"keep");
}

TEST_F(GridFileTest, AFailedSaveLeavesThePreviousFile) {
    TextGrid grid = window_grid(2);
    grid.set_cell_text(0, 0, u"new");
    for (const GridFileStep step : {kGridFileStepCreate, kGridFileStepWrite, kGridFileStepSync, kGridFileStepRename}) {
        write_bytes(file("keep.csv"), "previous content");
        static GridFileStep failing;
        failing = step;
        grid_file_fault_hook = [](GridFileStep s) { return s == failing; };
        EXPECT_EQ(save_grid_file(file("keep.csv"), grid, 2), kMsgFileAccess) << step;
        EXPECT_EQ(message().rfind("Error when accessing file \"" + file("keep.csv").string() + "\" ! Possibly", 0), 0u);
        clear_error_state();
        EXPECT_EQ(read_bytes(file("keep.csv")), "previous content") << step;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1)
            << "a temporary file was left behind at step " << step;
    }
    grid_file_fault_hook = nullptr;
    EXPECT_EQ(save_grid_file(folder_ / "no_folder" / "x.csv", grid, 2), kMsgFileAccess);
    clear_error_state();
    ASSERT_EQ(save_grid_file(file("keep.csv"), grid, 2), 0u);
    EXPECT_EQ(read_bytes(file("keep.csv")), "a1;a2;b\r\nnew;;\r\n;;\r\n");
}

TEST_F(GridFileTest, SurvivesArbitraryBytes) {
    // Files come from anywhere: random bytes (half of them behind a valid header, some full of separators) load or
    // are refused, never leaving a cell longer than the cut or a count outside 2..25.
    std::mt19937_64 rng(31337);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 6000);
    for (int trial = 0; trial < 40; ++trial) {
        std::string bytes = trial % 2 == 0 ? "a1;a2;a3;b\r\n" : "";
        for (int k = length(rng); k > 0; --k) {
            const int b = byte(rng);
            bytes.push_back(trial % 4 == 0 && b < 16 ? "\n;"[b & 1] : static_cast<char>(b));
        }
        write_bytes(file("r.csv"), bytes);
        TextGrid grid = window_grid(2);
        const uint32_t code = load(file("r.csv"), &grid);
        EXPECT_TRUE(code == 0 || code == kMsgGridVariableCount) << "trial " << trial;
        EXPECT_GE(grid.row_count(), 2);
        EXPECT_LE(grid.row_count(), 25);
        for (int i = 0; i < grid.row_count(); ++i)
            for (int j = 0; j < kLinearGridColumns; ++j) EXPECT_LE(grid.cell_text(j, i).size(), kGridFileCellChars);
        clear_error_state();
    }
}

}  // namespace
