#include "fuzz/fuzz_input.h"

#include <cstdio>
#include <cstdlib>

std::u16string fuzz_text(const uint8_t* data, size_t size, size_t max_chars) {
    std::u16string text;
    for (size_t i = 0; i < size && text.size() < max_chars; ++i) {
        uint8_t b = data[i];
        if (b == 0) break;
        text += b < 0x80 ? static_cast<char16_t>(b) : static_cast<char16_t>(0x0391 + (b - 0x80));
    }
    return text;
}

void fuzz_fail(const char* what, const std::u16string& text) {
    std::fprintf(stderr, "invariant broken: %s\ninput:", what);
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            std::fputc(static_cast<int>(c), stderr);
        } else {
            std::fprintf(stderr, "\\u%04X", static_cast<unsigned>(c));
        }
    }
    std::fputc('\n', stderr);
    std::abort();
}
