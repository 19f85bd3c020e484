#include "integer/integer_text.h"

#include "numeric/num_context.h"
#include "numeric/real_text.h"

namespace {

constexpr char16_t kDigitChars[] = u"0123456789ABCDEF";

// Value of a digit character under the flags, or -1.
int digit_value(char16_t c, uint32_t flags) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if ((flags & kIntParseLowerDigits) && c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

// Digits are gathered into one word and folded into r as r = r * base^count + chunk; since every prefix of the
// digits gives a value no larger than the whole, this overflows exactly when a digit-by-digit fold would.
struct DigitChunk {
    uint64_t value;
    uint64_t scale;  // base^count
};

void chunk_flush(BigInt* r, DigitChunk* c) {
    if (c->scale == 1) return;
    bigint_mul_word(r, r, c->scale);
    if (num_ctx.error_code == 0) bigint_add_word(r, r, c->value);
    c->value = 0;
    c->scale = 1;
}

// The largest power of base that fits a word, and its exponent.
uint64_t word_power(int base, int* exponent) {
    uint64_t p = static_cast<uint64_t>(base);
    int k = 1;
    while (p <= UINT64_MAX / static_cast<uint64_t>(base)) {
        p *= static_cast<uint64_t>(base);
        ++k;
    }
    *exponent = k;
    return p;
}

// Fills buffer backwards from `pos`; a character that finds no room sets `full` and is dropped.
struct BackWriter {
    char16_t* buffer;
    int pos;
    bool full;
};

void back_put(BackWriter* w, char16_t c) {
    if (w->pos == 0) {
        w->full = true;
        return;
    }
    w->buffer[--w->pos] = c;
}

}  // namespace

int text_error_marker(char16_t* buffer, int capacity) {
    if (capacity < 3) return 0;
    buffer[0] = u'[';
    buffer[1] = u'!';
    buffer[2] = u']';
    return 3;
}

bool bigint_from_text(BigInt* r, const char16_t* text, int length, uint32_t flags, int base) {
    const uint32_t saved = num_ctx.error_code;
    num_ctx.error_code = 0;
    bigint_zero(r);
    if (base == 0) base = 10;
    if (base < 2 || base > 16) {
        raise_error(kErrDomain);
    } else {
        const TextRange range = trim_spaces(text, length);
        const char16_t* t = text + range.start;
        const int n = range.length;
        DigitChunk chunk{0, 1};
        const uint64_t chunk_limit = UINT64_MAX / static_cast<uint64_t>(base);
        bool any_digit = false;
        bool plus_seen = false;
        for (int i = 0; i < n && num_ctx.error_code == 0; ++i) {
            const char16_t c = t[i];
            const int d = digit_value(c, flags);
            bool valid;
            if (d >= 0) {
                valid = d < base;
            } else if (c == u'+') {
                valid = !plus_seen && !any_digit;
                plus_seen = true;
            } else if (char_in_set(c, num_ctx.group_chars)) {
                valid = (flags & kIntParseAllowGroups) && i > 0 && digit_value(t[i - 1], flags) >= 0 && i + 1 < n &&
                        digit_value(t[i + 1], flags) >= 0;
            } else {
                valid = false;
            }
            if (!valid) {
                chunk_flush(r, &chunk);  // an overflow among the digits before comes first
                raise_error(kErrNumberText);
                break;
            }
            if (d < 0) continue;
            any_digit = true;
            if (chunk.scale > chunk_limit) chunk_flush(r, &chunk);
            chunk.value = chunk.value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
            chunk.scale *= static_cast<uint64_t>(base);
        }
        if (num_ctx.error_code == 0) chunk_flush(r, &chunk);
        if (!any_digit) raise_error(kErrNumberText);
    }
    const bool ok = num_ctx.error_code == 0;
    if (!ok) bigint_zero(r);
    if (saved != 0) num_ctx.error_code = saved;
    return ok;
}

int bigint_to_text(char16_t* buffer, int capacity, const BigInt* value, uint32_t flags, int base) {
    if (base == 0) base = 10;
    if (base < 2 || base > 16) {
        raise_error(kErrDomain);
        return text_error_marker(buffer, capacity);
    }
    const bool pending = num_ctx.error_code != 0;
    const char16_t group = (flags & kIntFmtGroupDigits) ? num_ctx.group_chars[0] : char16_t{0};
    const int group_size = base == 10 ? 3 : 4;

    ScratchFrame frame;
    BigInt* t = scratch_take(static_cast<size_t>(num_ctx.int_limbs));
    bigint_copy(t, value);
    int chunk_digits;
    const uint64_t chunk = word_power(base, &chunk_digits);

    // Whole chunks of digits come off the low end; the last chunk loses its leading zeros.
    BackWriter w{buffer, capacity > 0 ? capacity : 0, false};
    int64_t digits = 0;
    bool more = true;
    while (more && !w.full) {
        uint64_t part = bigint_divmod_word(t, t, chunk);
        more = !bigint_is_zero(t);
        for (int k = 0; k < chunk_digits && !w.full; ++k) {
            if (!more && part == 0 && digits > 0) break;
            if (group != 0 && digits > 0 && digits % group_size == 0) back_put(&w, group);
            back_put(&w, kDigitChars[part % static_cast<uint64_t>(base)]);
            part /= static_cast<uint64_t>(base);
            ++digits;
        }
    }
    if (pending) back_put(&w, u'!');
    if (w.full) {
        raise_error(kErrTextBuffer);
        return text_error_marker(buffer, capacity);
    }
    const int count = capacity - w.pos;
    for (int i = 0; i < count; ++i) buffer[i] = buffer[w.pos + i];
    return count;
}

char16_t* bigint_to_ring(const BigInt* value, uint32_t flags, int base) {
    char16_t* buffer = text_ring_next_buffer();
    const int count = bigint_to_text(buffer, kRingTextCapacity, value, flags, base);
    buffer[count] = 0;
    return buffer;
}
