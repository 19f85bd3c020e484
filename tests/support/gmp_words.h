// GMP views of BigInt words and the integer-width scope the integer tests share.
#pragma once

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "numeric/num_context.h"

using Words = std::vector<uint64_t>;

inline mpz_class Z(const Words& w) {
    mpz_class v;
    mpz_import(v.get_mpz_t(), w.size(), -1, 8, 0, 0, w.data());
    return v;
}

// x as n words, or an empty vector when x is negative or does not fit.
inline Words W(const mpz_class& x, size_t n) {
    if (x < 0 || (x != 0 && mpz_sizeinbase(x.get_mpz_t(), 2) > 64 * n)) return {};
    Words out(n, 0);
    mpz_export(out.data(), nullptr, -1, 8, 0, 0, x.get_mpz_t());
    return out;
}

inline std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// Sets the integer width and the pending error; at the end the scratch top must be back where it was.
struct IntScope {
    uint8_t* top;
    explicit IntScope(int w, uint32_t pending = 0) {
        static const bool initialised = (init_numeric_context(), true);  // computes the constant table: once
        (void)initialised;
        num_ctx.int_limbs = w;
        num_ctx.error_code = pending;
        top = num_ctx.scratch_top;
    }
    ~IntScope() {
        EXPECT_EQ(num_ctx.scratch_top, top) << "scratch stack not restored";
        num_ctx.error_code = 0;
    }
};
