#include "equations/grid_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

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
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    static std::string read_bytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Loads into a window-like grid that starts with `count` rows; returns the message code.
    uint32_t load(const fs::path& path, TextGrid* grid, int* count) {
        struct Window {
            TextGrid* grid;
            int* count;
        } window{grid, count};
        auto set_count = [](void* owner, int n) {
            auto* w = static_cast<Window*>(owner);
            *w->count = n;
            w->grid->resize(n);
        };
        return load_grid_file(path, *grid, set_count, &window);
    }

    std::string message() const { return utf16_to_utf8(compose_message(message_state, string_table)); }

    fs::path folder_;
};

TextGrid window_grid(int rows) {
    return TextGrid(kLinearGridColumns, rows);
}

TEST_F(GridFileTest, SavesHeaderAndRowsWithCrLf) {
    TextGrid grid = window_grid(3);
    const char* cells[3][4] = {{"1", "2", "3", "4"}, {"", "x", "", "b2"}, {"sqrt(2)", "-1", "0", ""}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j)
            grid.set_cell_text(j == 3 ? kLinearBColumn : j, i,
                               std::u16string(cells[i][j], cells[i][j] + std::strlen(cells[i][j])));
    }
    grid.set_cell_text(3, 0, u"hidden");  // a4 is not part of a 3-equation file
    ASSERT_EQ(save_grid_file(file("s.csv"), grid, 3), 0u);
    EXPECT_EQ(read_bytes(file("s.csv")), "a1;a2;a3;b\r\n1;2;3;4\r\n;x;;b2\r\nsqrt(2);-1;0;\r\n");
}

struct ByteCase {
    const char* what;
    char16_t first_point;
    const char16_t* cell;
    const char* bytes;
};

const ByteCase kByteCases[] = {
    {"comma becomes the first decimal point", u'.', u"1,5", "1.5"},
    {"point kept when it comes first", u'.', u"1.5", "1.5"},
    {"comma kept when it comes first", u',', u"1,5", "1,5"},
    {"point becomes comma", u',', u"1.5", "1,5"},
    {"pi is not a byte", u'.', u"2*\u03C0", "2*?"},
    {"Latin-1 letters are above 127 too", u'.', u"\u00E9", "?"},
    {"a surrogate pair is one character", u'.', u"\U0001F600x", "?x"},
    {"separators inside a cell cannot be written", u'.', u"1;2\r\n3", "1?2??3"},
    {"plain ASCII unchanged", u'.', u" a+b*(c-d)/e^2 ", " a+b*(c-d)/e^2 "},
};

TEST_F(GridFileTest, ConvertsCellTextsToBytes) {
    for (const auto& c : kByteCases) {
        set_decimal_points(c.first_point, c.first_point == u'.' ? u',' : u'.');
        TextGrid grid = window_grid(2);
        grid.set_cell_text(0, 0, c.cell);
        ASSERT_EQ(save_grid_file(file("b.csv"), grid, 2), 0u) << c.what;
        EXPECT_EQ(read_bytes(file("b.csv")), std::string("a1;a2;b\r\n") + c.bytes + ";;\r\n;;\r\n") << c.what;
    }
}

TEST_F(GridFileTest, RoundTripsAFull25EquationGrid) {
    std::mt19937_64 rng(5150);
    std::uniform_int_distribution<int> length(0, 40), byte(32, 126);
    TextGrid grid = window_grid(25);
    for (int i = 0; i < 25; ++i) {
        for (int j = 0; j < 26; ++j) {
            std::u16string text;
            for (int k = length(rng); k > 0; --k) {
                char16_t c = static_cast<char16_t>(byte(rng));
                text.push_back(c == u';' || c == u',' ? u'.' : c);
            }
            grid.set_cell_text(j, i, text);
        }
    }
    grid.set_cell_text(3, 4, std::u16string(1030, u'7'));
    ASSERT_EQ(save_grid_file(file("full.csv"), grid, 25), 0u);
    TextGrid loaded = window_grid(2);
    int count = 2;
    ASSERT_EQ(load(file("full.csv"), &loaded, &count), 0u) << message();
    EXPECT_EQ(count, 25);
    for (int i = 0; i < 25; ++i) {
        for (int j = 0; j < 26; ++j) {
            EXPECT_EQ(loaded.cell_text(j, i), grid.cell_text(j, i)) << "row " << i << " column " << j;
        }
    }
}

struct LoadCase {
    const char* what;
    std::string bytes;
    int count;  // equation count afterwards (the grid starts with 2)
    // Expected cells as "row,column=text" entries; every other cell is empty.
    std::vector<std::pair<std::pair<int, int>, std::u16string>> cells;
};

// "0;1;...;count-1"
std::string many_fields(int count) {
    std::string line;
    for (int k = 0; k < count; ++k) {
        if (k > 0) line += ';';
        line += std::to_string(k);
    }
    return line;
}

// Where the fields of many_fields(30) land in a grid of two equations.
std::vector<std::pair<std::pair<int, int>, std::u16string>> many_fields_cells() {
    std::vector<std::pair<std::pair<int, int>, std::u16string>> cells;
    for (int k = 0; k <= 26; ++k) {
        if (k == 2) continue;  // went to b, and field 25 replaced it there
        const std::string text = std::to_string(k);
        cells.push_back({{0, k}, std::u16string(text.begin(), text.end())});
    }
    return cells;
}

const std::u16string k1030(1030, u'x');
const std::u16string k1029Cut = std::u16string(1029, u'y') + u"\u2026";

const LoadCase kLoadCases[] = {
    {"the example file",
     "a1;a2;b\r\n1;1;3\r\n1;-1;1\r\n",
     2,
     {{{0, 0}, u"1"}, {{0, 1}, u"1"}, {{0, 25}, u"3"}, {{1, 0}, u"1"}, {{1, 1}, u"-1"}, {{1, 25}, u"1"}}},
    {"LF alone ends lines, CR anywhere is dropped",
     "x;y;z;b\n1\r;2;3;\r4\n",
     3,
     {{{0, 0}, u"1"}, {{0, 1}, u"2"}, {{0, 2}, u"3"}, {{0, 25}, u"4"}}},
    {"header texts are ignored", ";;\n5;6;7\n", 2, {{{0, 0}, u"5"}, {{0, 1}, u"6"}, {{0, 25}, u"7"}}},
    {"last line without line end loses its last field",
     "a1;a2;b\r\n1;2;3\r\n4;5;6",
     2,
     {{{0, 0}, u"1"}, {{0, 1}, u"2"}, {{0, 25}, u"3"}, {{1, 0}, u"4"}, {{1, 1}, u"5"}}},
    {"short line leaves its other cells empty", "a1;a2;a3;b\n1\n;;;9\n", 3, {{{0, 0}, u"1"}, {{1, 25}, u"9"}}},
    {"lines after the n-th are ignored",
     "a1;a2;b\n1;1;1\n2;2;2\n3;3;3\n",
     2,
     {{{0, 0}, u"1"}, {{0, 1}, u"1"}, {{0, 25}, u"1"}, {{1, 0}, u"2"}, {{1, 1}, u"2"}, {{1, 25}, u"2"}}},
    {"the field after the n-th semicolon goes to b, later ones to hidden columns",
     "a1;a2;b\n1;2;3;4;5\n",
     2,
     {{{0, 0}, u"1"}, {{0, 1}, u"2"}, {{0, 25}, u"3"}, {{0, 3}, u"4"}, {{0, 4}, u"5"}}},
    {"field 25 goes to b as well, 26 to the filler column, later ones nowhere", "a1;a2;b\n" + many_fields(30) + "\n", 2,
     many_fields_cells()},
    {"bytes are Latin-1 characters",
     "a1;a2;b\n\xE9;\x01;\xFF\n",
     2,
     {{{0, 0}, u"\u00E9"}, {{0, 1}, u"\u0001"}, {{0, 25}, u"\u00FF"}}},
    {"a field of 1030 characters is kept whole", "a1;a2;b\n" + std::string(1030, 'x') + ";;\n", 2, {{{0, 0}, k1030}}},
    {"a field of 1040 characters is cut with an ellipsis",
     "a1;a2;b\n;" + std::string(1040, 'y') + ";\n",
     2,
     {{{0, 1}, k1029Cut}}},
    {"a file without LF only empties the grid", "a1;a2;a3;b 1;2;3;4", 2, {}},
    {"an empty file only empties the grid", "", 2, {}},
};

TEST_F(GridFileTest, LoadsTheDocumentedLayouts) {
    for (const auto& c : kLoadCases) {
        write_bytes(file("l.csv"), c.bytes);
        TextGrid grid = window_grid(2);
        grid.set_cell_text(0, 0, u"old");
        grid.set_cell_text(kLinearBColumn, 1, u"old");
        int count = 2;
        ASSERT_EQ(load(file("l.csv"), &grid, &count), 0u) << c.what << ": " << message();
        EXPECT_EQ(count, c.count) << c.what;
        ASSERT_EQ(grid.row_count(), c.count) << c.what;
        for (int i = 0; i < grid.row_count(); ++i) {
            for (int j = 0; j < kLinearGridColumns; ++j) {
                std::u16string expected;
                for (const auto& cell : c.cells) {
                    if (cell.first == std::make_pair(i, j)) expected = cell.second;
                }
                EXPECT_EQ(grid.cell_text(j, i), expected) << c.what << ": row " << i << " column " << j;
            }
        }
    }
}

TEST_F(GridFileTest, RefusesHeadersOutsideTwoTo25Variables) {
    const std::string bytes[] = {"a1;b\r\n1;2\r\n", "\n", std::string(26, ';') + "\n" + std::string(26, ';') + "\n"};
    for (const auto& b : bytes) {
        write_bytes(file("h.csv"), b);
        TextGrid grid = window_grid(2);
        grid.set_cell_text(0, 0, u"old");
        int count = 2;
        EXPECT_EQ(load(file("h.csv"), &grid, &count), kMsgGridVariableCount) << b;
        EXPECT_EQ(message(), "The number of equation variables has to be between 2 und 25!");
        EXPECT_EQ(count, 2);
        EXPECT_EQ(grid.cell_text(0, 0), u"");  // emptied before the header was read
        clear_error_state();
    }
}

TEST_F(GridFileTest, ReportsFilesThatCannotBeOpened) {
    TextGrid grid = window_grid(2);
    grid.set_cell_text(0, 0, u"keep");
    int count = 2;
    EXPECT_EQ(load(file("missing.csv"), &grid, &count), kMsgFileNotFound);
    EXPECT_EQ(message(), "The file \"" + file("missing.csv").string() + "\" was not found!");
    clear_error_state();
    EXPECT_EQ(load(folder_ / "no_folder" / "x.csv", &grid, &count), kMsgFileNotFound);
    clear_error_state();
    EXPECT_EQ(load(folder_, &grid, &count), kMsgFileAccess);
    EXPECT_EQ(message().rfind("Error when accessing file \"" + folder_.string() + "\" ! Possibly", 0), 0u) << message();
    clear_error_state();
    EXPECT_EQ(grid.cell_text(0, 0), u"keep");
    EXPECT_EQ(count, 2);
}

TEST_F(GridFileTest, SurvivesArbitraryBytes) {
    std::mt19937_64 rng(31337);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 6000);
    for (int trial = 0; trial < 40; ++trial) {
        std::string bytes;
        if (trial % 2 == 0) bytes = "a1;a2;a3;b\r\n";  // half the files get past the header
        for (int k = length(rng); k > 0; --k) {
            int b = byte(rng);
            if (trial % 4 == 0 && b < 16) b = "\n;"[b & 1];  // many separators
            bytes.push_back(static_cast<char>(b));
        }
        write_bytes(file("r.csv"), bytes);
        TextGrid grid = window_grid(2);
        int count = 2;
        const uint32_t code = load(file("r.csv"), &grid, &count);
        EXPECT_TRUE(code == 0 || code == kMsgGridVariableCount) << "trial " << trial;
        EXPECT_GE(count, 2);
        EXPECT_LE(count, 25);
        for (int i = 0; i < grid.row_count(); ++i) {
            for (int j = 0; j < kLinearGridColumns; ++j) EXPECT_LE(grid.cell_text(j, i).size(), kGridFileCellChars);
        }
        clear_error_state();
    }
}

TEST_F(GridFileTest, ReadsAHugeFileWithoutLineEnds) {
    {
        std::ofstream out(file("huge.csv"), std::ios::binary);
        const std::string block(1 << 20, 'z');
        for (int i = 0; i < 16; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    TextGrid grid = window_grid(2);
    grid.set_cell_text(1, 1, u"old");
    int count = 2;
    EXPECT_EQ(load(file("huge.csv"), &grid, &count), 0u);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(grid.cell_text(1, 1), u"");
}

TEST_F(GridFileTest, AHugeCellIsCutAndTheRestStillLoads) {
    std::string bytes = "a1;a2;b\n" + std::string(3 << 20, '9') + ";2;3\n4;5;6\n";
    write_bytes(file("cell.csv"), bytes);
    TextGrid grid = window_grid(2);
    int count = 2;
    ASSERT_EQ(load(file("cell.csv"), &grid, &count), 0u);
    EXPECT_EQ(grid.cell_text(0, 0), std::u16string(1029, u'9') + u"\u2026");
    EXPECT_EQ(grid.cell_text(kLinearBColumn, 1), u"6");
}

TEST_F(GridFileTest, AFailedSaveLeavesThePreviousFile) {
    TextGrid grid = window_grid(2);
    grid.set_cell_text(0, 0, u"new");
    const GridFileStep steps[] = {kGridFileStepCreate, kGridFileStepWrite, kGridFileStepSync, kGridFileStepRename};
    for (const GridFileStep step : steps) {
        write_bytes(file("keep.csv"), "previous content");
        static GridFileStep failing;
        failing = step;
        grid_file_fault_hook = [](GridFileStep s) { return s == failing; };
        EXPECT_EQ(save_grid_file(file("keep.csv"), grid, 2), kMsgFileAccess) << step;
        EXPECT_EQ(message().rfind("Error when accessing file \"" + file("keep.csv").string() + "\"", 0), 0u);
        clear_error_state();
        EXPECT_EQ(read_bytes(file("keep.csv")), "previous content") << step;
        size_t files = 0;
        for (const auto& entry : fs::directory_iterator(folder_)) files += entry.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, 1u) << "a temporary file was left behind at step " << step;
    }
    grid_file_fault_hook = nullptr;
    ASSERT_EQ(save_grid_file(file("keep.csv"), grid, 2), 0u);
    EXPECT_EQ(read_bytes(file("keep.csv")), "a1;a2;b\r\nnew;;\r\n;;\r\n");
}

TEST_F(GridFileTest, SavingIntoAMissingFolderFails) {
    TextGrid grid = window_grid(2);
    EXPECT_EQ(save_grid_file(folder_ / "no_folder" / "x.csv", grid, 2), kMsgFileAccess);
}

TEST_F(GridFileTest, ALoadedFileSolvesAsTyped) {
    write_bytes(file("solve.csv"), "a1;a2;b\r\n1;1;3\r\n1;-1;1\r\n");
    TextGrid grid = window_grid(2);
    int count = 2;
    ASSERT_EQ(load(file("solve.csv"), &grid, &count), 0u);
    std::u16string output;
    ASSERT_EQ(solve_linear_command(grid, LinearControls{count, kTypeReal, 10}, &output), 0u);
    EXPECT_EQ(output, u"x1 = 2\r\nx2 = 1\r\n");
}

}  // namespace
