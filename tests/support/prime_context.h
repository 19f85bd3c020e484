// The numeric context and a job's output as the prime tests use them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numeric/num_context.h"
#include "primes/prime_job.h"
#include "shell/ini_file.h"
#include "shell/messages.h"
#include "shell/string_table.h"

// Sets the width and clears the error state; on exit checks that the scratch stack was given back.
struct PrimeContext {
    uint8_t* top;
    explicit PrimeContext(int width) {
        [[maybe_unused]] static const bool once = (init_numeric_context(), load_string_table(kLanguageEnglish), true);
        num_ctx.int_limbs = width;
        clear_error_state();
        top = num_ctx.scratch_top;
    }
    ~PrimeContext() {
        EXPECT_EQ(num_ctx.scratch_top, top) << "scratch stack not restored";
        clear_error_state();
    }
};

// A job's output: each piece, and all of it.
struct Pieces {
    std::vector<std::string> list;
    std::string text;
    static void append(void* target, const char16_t* piece) {
        Pieces& self = *static_cast<Pieces*>(target);
        self.list.push_back(utf16_to_utf8(piece));
        self.text += self.list.back();
    }
    JobSink sink() { return {append, nullptr, this}; }
};
