// Helpers shared by the fuzz targets: turning fuzz bytes into UTF-16 text and checking invariants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Reads the bytes as text: ASCII as it is, every byte from 0x80 as one of the characters U+0391 .. U+0410 (the Greek
// letters with π among them), at most max_chars characters, cut at a zero byte.
std::u16string fuzz_text(const uint8_t* data, size_t size, size_t max_chars);

// Reports a broken invariant with its input text and aborts, so that libFuzzer keeps the input as a crash.
[[noreturn]] void fuzz_fail(const char* what, const std::u16string& text);

#define FUZZ_CHECK(condition, text)                    \
    do {                                               \
        if (!(condition)) fuzz_fail(#condition, text); \
    } while (0)
