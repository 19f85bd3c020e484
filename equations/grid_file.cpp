#include "equations/grid_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "equations/linear_system.h"
#include "numeric/num_context.h"
#include "shell/atomic_file.h"
#include "shell/ini_file.h"
#include "shell/messages.h"

GridFileFaultHook grid_file_fault_hook = nullptr;

namespace {

constexpr size_t kReadChunkBytes = 65536;
constexpr int kClearedColumns = 26;  // a1..a25 and b

bool fault(GridFileStep step) {
    return grid_file_fault_hook != nullptr && grid_file_fault_hook(step);
}

// The file name as the messages show it: UTF-8 names decoded, other bytes taken one by one.
std::u16string display_name(const std::filesystem::path& path) {
    const std::string& bytes = path.native();
    std::u16string name;
    if (utf8_to_utf16(bytes, name)) return name;
    name.clear();
    for (const char c : bytes) name.push_back(static_cast<unsigned char>(c));
    return name;
}

uint32_t fail(uint32_t code, const std::filesystem::path& path) {
    set_message(code, display_name(path));
    return code;
}

bool is_high_surrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Appends a cell text as bytes: decimal points unified, one "?" for each character of code 128 or more and for the
// separators the format cannot escape.
void append_field(std::string* out, const std::u16string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (char_in_set(c, num_ctx.decimal_point_chars)) c = num_ctx.decimal_point_chars[0];
        if (c >= 128 || c == u';' || c == u'\r' || c == u'\n') {
            out->push_back('?');
            if (is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) ++i;
        } else {
            out->push_back(static_cast<char>(c));
        }
    }
}

std::string file_content(const GridCells& grid, int n) {
    std::string out;
    for (int j = 0; j <= n; ++j) {
        if (j == n) {
            out += 'b';
        } else {
            out += 'a';
            out += std::to_string(j + 1);
        }
        out += j == n ? "\r\n" : ";";
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j <= n; ++j) {
            append_field(&out, grid.cell_text(j == n ? kLinearBColumn : j, i));
            out += j == n ? "\r\n" : ";";
        }
    }
    return out;
}

// The reader's state: the header phase counts ";" up to the first LF, then each field goes to its cell.
struct LoadState {
    GridCells* grid = nullptr;
    SetEquationCount set_equation_count = nullptr;
    void* owner = nullptr;
    bool in_header = true;
    uint64_t semicolons = 0;
    int n = 0;
    int row = 0;
    int field = 0;
    std::u16string cell;
    uint32_t message = 0;
    bool done = false;
};

void store_cell(LoadState* s) {
    const int column = s->field == s->n ? kLinearBColumn : s->field;
    if (column < kLinearGridColumns) s->grid->set_cell_text(column, s->row, s->cell);
    s->cell.clear();
}

void load_byte(LoadState* s, unsigned char byte) {
    if (s->in_header) {
        if (byte == ';') {
            ++s->semicolons;
        } else if (byte == '\n') {
            if (s->semicolons < 2 || s->semicolons > kGridFileMaxEquations) {
                set_message(kMsgGridVariableCount, u"25");
                s->message = kMsgGridVariableCount;
                s->done = true;
                return;
            }
            s->n = static_cast<int>(s->semicolons);
            if (s->set_equation_count != nullptr) s->set_equation_count(s->owner, s->n);
            s->in_header = false;
        }
        return;
    }
    if (byte == ';') {
        store_cell(s);
        if (s->field < kLinearGridColumns) ++s->field;  // every field from column 27 on is refused alike
    } else if (byte == '\n') {
        store_cell(s);
        s->field = 0;
        // The lines after the n-th data line are ignored.
        if (++s->row >= s->n) s->done = true;
    } else if (byte != '\r') {
        if (s->cell.size() < kGridFileCellChars) {
            s->cell.push_back(byte);
        } else {
            s->cell.back() = u'\u2026';
        }
    }
}

}  // namespace

uint32_t save_grid_file(const std::filesystem::path& path, const GridCells& grid, int equation_count) {
    int n = equation_count;
    if (n > kGridFileMaxEquations) n = kGridFileMaxEquations;
    if (n < 1) n = 1;
    const std::string content = file_content(grid, n);

    const AtomicWriteFault fails = [](AtomicWriteStep step) { return fault(static_cast<GridFileStep>(step)); };
    if (!write_file_atomically(path, content, false, fails)) return fail(kMsgFileAccess, path);
    return kMsgNone;
}

uint32_t load_grid_file(const std::filesystem::path& path, GridCells& grid, SetEquationCount set_equation_count,
                        void* owner) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return fail(errno == ENOENT || errno == ENOTDIR ? kMsgFileNotFound : kMsgFileAccess, path);
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return fail(kMsgFileAccess, path);
    }

    for (int row = 0; row < kGridFileMaxEquations; ++row) {
        for (int column = 0; column < kClearedColumns; ++column) grid.set_cell_text(column, row, u"");
    }

    LoadState state;
    state.grid = &grid;
    state.set_equation_count = set_equation_count;
    state.owner = owner;
    std::string chunk(kReadChunkBytes, '\0');
    while (!state.done) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            fail(kMsgFileAccess, path);
            state.message = kMsgFileAccess;
            break;
        }
        if (got == 0) break;  // a field without ";" or LF after it is dropped
        for (ssize_t i = 0; i < got && !state.done; ++i) load_byte(&state, static_cast<unsigned char>(chunk[i]));
    }
    ::close(fd);
    return state.message;
}
