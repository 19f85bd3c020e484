#include "numeric/real_text.h"

#include <cstring>

#include "numeric/limb_kernels.h"
#include "numeric/real_arith.h"

namespace {

constexpr int kDigitsPerLimb = 19;
constexpr uint64_t kMaxExponentDigitsValue = 9000000000000000000ull;  // larger exponent texts saturate

bool is_digit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

char16_t first_or(const char16_t (&set)[3], char16_t fallback) {
    return set[0] != 0 ? set[0] : fallback;
}

// A value is proper when it is a normalised RealNum or a zero with exponent 0 and all limbs 0.
bool real_is_proper(const RealNum* x, int limb_count) {
    const int64_t e = real_exponent(x);
    if (e == -kMaxExponent - 1) return false;
    const uint64_t* limbs = real_limbs_of(x);
    for (int i = 0; i < limb_count; ++i)
        if (limbs[i] >= kLimbBase) return false;
    if (limbs[0] == 0) {
        if (e != 0) return false;
        for (int i = 1; i < limb_count; ++i)
            if (limbs[i] != 0) return false;
        return true;
    }
    return limbs[0] >= kLimbBase / 10;
}

// The fractional part of a mantissa: zeros are held back until a nonzero digit follows, so that trailing zeros
// and a decimal point with nothing behind it can be dropped without taking back written characters.
struct FractionWriter {
    TextWriter* w;
    char16_t point;
    bool point_written;
    int64_t pending_zeros;
};

void fraction_flush(FractionWriter* f) {
    if (f->pending_zeros == 0) return;
    if (!f->point_written) {
        text_writer_put(f->w, f->point);
        f->point_written = true;
    }
    for (; f->pending_zeros > 0 && f->w->length <= f->w->capacity; --f->pending_zeros) text_writer_put(f->w, u'0');
    f->pending_zeros = 0;
}

void fraction_digit(FractionWriter* f, int digit) {
    if (digit == 0) {
        ++f->pending_zeros;
        return;
    }
    fraction_flush(f);
    if (!f->point_written) {
        text_writer_put(f->w, f->point);
        f->point_written = true;
    }
    text_writer_put(f->w, static_cast<char16_t>(u'0' + digit));
}

// Writes sign, mantissa and exponent of x; the caller adds the "!" and checks the capacity. Loops stop early once
// the text has outgrown the buffer, since it is then replaced as a whole.
void format_real_body(TextWriter* w, const RealNum* x, uint32_t flags, int default_digits) {
    const int limb_count = num_ctx.real_limbs;
    const int64_t total = int64_t{kDigitsPerLimb} * limb_count;
    if (!real_is_proper(x, limb_count)) {
        if (flags & kFmtAlwaysSign) text_writer_put(w, u'+');
        text_writer_put_ascii(w, "???");
        return;
    }
    const uint64_t* limbs = real_limbs_of(x);
    const bool negative = real_is_negative(x) && limbs[0] != 0;
    int64_t e = real_exponent(x);

    ScratchFrame frame;
    uint8_t* digits = reinterpret_cast<uint8_t*>(scratch_take(static_cast<size_t>(total + 7) / 8));
    for (int i = 0; i < limb_count; ++i) {
        uint64_t v = limbs[i];
        for (int j = kDigitsPerLimb - 1; j >= 0; --j) {
            digits[i * kDigitsPerLimb + j] = static_cast<uint8_t>(v % 10);
            v /= 10;
        }
    }

    // s = digits shown; pad = zeros beyond the precision (written only when trailing zeros are kept).
    const bool fixed = (flags & kFmtFixed) != 0;
    const int64_t n = flags & kFmtDigitMask;
    int64_t s;
    int64_t pad = 0;
    if (fixed) {
        if (e < -(n + 1))
            s = 0;
        else if (e <= total - (n + 1))
            s = e + n + 1;
        else
            s = total;
    } else {
        int64_t k = n != 0 ? n : default_digits;
        if (k < 1) k = 1;
        s = k < total ? k : total;
        if (k > total) pad = k - total;
    }

    // Half up on the single next digit; a carry out of the first digit turns 99..9 into 10..0.
    if (s >= 1 && s < total && digits[s] >= 5 && num_ctx.no_rounding == 0) {
        int64_t i = s - 1;
        while (i >= 0 && digits[i] == 9) digits[i--] = 0;
        if (i >= 0) {
            ++digits[i];
        } else {
            digits[0] = 1;  // digits 1..s-1 are already 0; later ones are never shown
            ++e;
        }
    }

    bool scientific;
    if (flags & kFmtScientific)
        scientific = true;
    else if (fixed)
        scientific = e >= total;
    else
        scientific = e <= num_ctx.min_plain_exponent || e >= num_ctx.display_digits;

    if (flags & kFmtAlwaysSign)
        text_writer_put(w, negative ? u'-' : u'+');
    else if (negative)
        text_writer_put(w, u'-');

    FractionWriter frac{w, first_or(num_ctx.decimal_point_chars, u'.'), false, 0};
    if (scientific) {
        text_writer_put_digit(w, digits[0]);
        for (int64_t i = 1; i < s && w->length <= w->capacity; ++i) fraction_digit(&frac, digits[i]);
    } else if (e >= 0) {
        const int64_t int_len = e + 1;
        if ((flags & kFmtGroupDigits) && num_ctx.group_chars[0] != 0) {
            w->group_char = num_ctx.group_chars[0];
            w->group_counter = int_len % 3 == 0 ? 3 : static_cast<int>(int_len % 3);
        }
        for (int64_t i = 0; i < int_len && w->length <= w->capacity; ++i)
            text_writer_put_digit(w, i < s ? digits[i] : 0);
        w->group_counter = -1;
        for (int64_t i = int_len; i < s && w->length <= w->capacity; ++i) fraction_digit(&frac, digits[i]);
        if (fixed) {
            const int64_t written = s > int_len ? s - int_len : 0;
            frac.pending_zeros += n > written ? n - written : 0;
        }
    } else {
        text_writer_put(w, u'0');
        int64_t zeros = -e - 1;
        int64_t count = s;
        if (fixed) {
            count = n > zeros ? n - zeros : 0;
            if (zeros > n) zeros = n;
        }
        frac.pending_zeros += zeros;
        for (int64_t i = 0; i < count && w->length <= w->capacity; ++i) fraction_digit(&frac, i < s ? digits[i] : 0);
    }
    if (flags & kFmtKeepZeros) {
        frac.pending_zeros += pad;
        fraction_flush(&frac);
    }
    if (!frac.point_written && (flags & kFmtPointZero)) {
        text_writer_put(w, frac.point);
        text_writer_put(w, u'0');
    }

    if (scientific) {
        text_writer_put(w, first_or(num_ctx.exponent_chars, u'e'));
        if (e >= 0 && !(flags & kFmtNoExponentPlus)) text_writer_put(w, u'+');
        text_writer_put_i64(w, e);
    }
}

// Reads the number grammar at the working precision: the first 19*L - guard_digit_reduction significant digits
// are kept, the rest only counted. Returns false when the text breaks the grammar.
bool parse_at_working_precision(RealNum* dst, const char16_t* text, int length, uint32_t flags) {
    const int limb_count = num_ctx.real_limbs;
    int64_t capacity = int64_t{kDigitsPerLimb} * limb_count - num_ctx.guard_digit_reduction;
    if (capacity < 1) capacity = 1;
    if (capacity > int64_t{kDigitsPerLimb} * limb_count) capacity = int64_t{kDigitsPerLimb} * limb_count;
    uint64_t* limbs = real_limbs_of(dst);
    limbs_zero(limbs, limb_count);

    const TextRange range = trim_spaces(text, length);
    const char16_t* t = text + range.start;
    const int count = range.length;

    int state = 0;  // 0 start, 1 mantissa, 2 just after the exponent mark, 3 exponent digits
    bool negative = false;
    bool exp_negative = false;
    bool any_digit = false;
    bool seen_nonzero = false;
    bool has_point = false;
    int64_t significant = 0;  // significant digits, kept and dropped
    int64_t point = 0;        // position of the point among the significant digits
    int64_t kept = 0;
    uint64_t acc = 0;
    int acc_digits = 0;
    int limb_index = 0;
    uint64_t exp_value = 0;
    bool exp_too_big = false;
    int exp_digits = 0;

    for (int i = 0; i < count; ++i) {
        const char16_t c = t[i];
        const bool after_digit = i > 0 && is_digit(t[i - 1]);
        const bool before_digit = i + 1 < count && is_digit(t[i + 1]);
        if (c == u'-' || c == u'+') {
            if (state == 0) {
                negative = c == u'-';
                state = 1;
            } else if (state == 2) {
                exp_negative = c == u'-';
                state = 3;
            } else {
                return false;
            }
        } else if (is_digit(c)) {
            const int d = c - u'0';
            if (state <= 1) {
                state = 1;
                any_digit = true;
                if (d == 0 && !seen_nonzero) {
                    if (has_point) --point;
                    continue;
                }
                seen_nonzero = true;
                ++significant;
                if (kept < capacity) {
                    ++kept;
                    acc = acc * 10 + static_cast<uint64_t>(d);
                    if (++acc_digits == kDigitsPerLimb) {
                        limbs[limb_index++] = acc;
                        acc = 0;
                        acc_digits = 0;
                    }
                }
            } else {
                state = 3;
                ++exp_digits;
                if (exp_value > (UINT64_MAX - static_cast<uint64_t>(d)) / 10)
                    exp_too_big = true;
                else if (!exp_too_big)
                    exp_value = exp_value * 10 + static_cast<uint64_t>(d);
            }
        } else if (char_in_set(c, num_ctx.decimal_point_chars)) {
            if (state != 1 || has_point || !after_digit || !before_digit) return false;
            has_point = true;
            point = significant;
        } else if (char_in_set(c, num_ctx.group_chars)) {
            if (!(flags & kParseAllowGroups) || state != 1 || !after_digit || !before_digit) return false;
        } else if (char_in_set(c, num_ctx.exponent_chars)) {
            if (state != 1) return false;
            state = 2;
        } else {
            return false;
        }
    }
    if (!any_digit || state == 2 || (state == 3 && exp_digits == 0)) return false;
    if (acc_digits > 0) limbs[limb_index] = acc * kPow10[kDigitsPerLimb - acc_digits];

    if (exp_too_big || exp_value > kMaxExponentDigitsValue) {
        if (!exp_negative) {
            raise_error(kErrOverflow);
            real_set_zero(dst);
        } else if (num_ctx.underflow_is_error) {
            raise_error(kErrUnderflow);
            real_set_zero(dst);
        } else {
            real_set_signed_zero(dst, negative);
        }
        return true;
    }
    if (!seen_nonzero) {
        dst[0] = negative ? 1 : 0;
        return true;
    }
    const int64_t exponent = exp_negative ? -static_cast<int64_t>(exp_value) : static_cast<int64_t>(exp_value);
    real_set_exponent(dst, (has_point ? point : significant) - 1 + exponent, negative);
    return true;
}

bool ends_with_imaginary(const char16_t* t, int start, int length) {
    return length > 0 && char_in_set(t[start + length - 1], num_ctx.imaginary_chars);
}

// Splits "a+bi", "bi+a", "bi" or "a" and reads the parts; false on a grammar error of the complex form.
bool complex_parse_parts(RealNum* re, RealNum* im, const char16_t* text, int length, uint32_t flags) {
    const TextRange range = trim_spaces(text, length);
    if (range.length == 0) return false;
    const char16_t* t = text + range.start;
    const int count = range.length;
    int split = -1;
    for (int i = 0; i < count; ++i) {
        if (t[i] == u' ') return false;
        if (i > 0 && (t[i] == u'+' || t[i] == u'-') && !char_in_set(t[i - 1], num_ctx.exponent_chars)) {
            if (split >= 0) return false;
            split = i;
        }
    }
    int real_start = 0, real_length = 0, imag_start = 0, imag_length = 0;
    if (split < 0) {
        if (ends_with_imaginary(t, 0, count))
            imag_length = count;
        else
            real_length = count;
    } else {
        const bool first_imag = ends_with_imaginary(t, 0, split);
        const bool second_imag = ends_with_imaginary(t, split, count - split);
        if (first_imag == second_imag) return false;
        if (first_imag) {
            imag_length = split;
            real_start = split;
            real_length = count - split;
        } else {
            real_length = split;
            imag_start = split;
            imag_length = count - split;
        }
    }

    if (real_length > 0)
        real_parse(re, t + real_start, real_length, flags);
    else
        real_set_zero(re);

    if (imag_length == 0) {
        real_set_zero(im);
        return true;
    }
    int p = imag_start;
    int len = imag_length - 1;  // without the imaginary character
    bool negative = false;
    if (t[p] == u'+' || t[p] == u'-') {
        negative = t[p] == u'-';
        ++p;
        --len;
    }
    if (len == 0) {
        real_set_one(im);
    } else {
        if (len >= 3 && t[p] == u'(' && t[p + len - 1] == u')') {
            ++p;
            len -= 2;
        }
        real_parse(im, t + p, len, flags);
    }
    if (negative) real_negate(im);
    return true;
}

}  // namespace

// ---- Output writer ---------------------------------------------------------------------------------------------

void text_writer_put(TextWriter* w, char16_t c) {
    if (w->length < w->capacity) w->buffer[w->length] = c;
    ++w->length;
}

void text_writer_put_ascii(TextWriter* w, const char* text) {
    for (; *text != 0; ++text) text_writer_put(w, static_cast<char16_t>(*text));
}

void text_writer_put_digit(TextWriter* w, int digit) {
    if (w->group_counter == 0) {
        text_writer_put(w, w->group_char);
        w->group_counter = 3;
    }
    text_writer_put(w, static_cast<char16_t>(u'0' + digit));
    if (w->group_counter > 0) --w->group_counter;
}

void text_writer_put_i64(TextWriter* w, int64_t value) {
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) {
        text_writer_put(w, u'-');
        magnitude = 0 - magnitude;
    }
    char16_t reversed[20];
    int n = 0;
    do {
        reversed[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0) text_writer_put(w, reversed[--n]);
}

int text_writer_finish(TextWriter* w) {
    if (w->length <= w->capacity) return w->length;
    raise_error(kErrTextBuffer);
    w->length = 0;
    if (w->capacity >= 3) text_writer_put_ascii(w, "[!]");
    return w->length;
}

// ---- Spaces ----------------------------------------------------------------------------------------------------

int text_length(const char16_t* text) {
    int n = 0;
    if (text != nullptr)
        while (text[n] != 0) ++n;
    return n;
}

TextRange trim_spaces(const char16_t* text, int length) {
    if (length < 0) length = text_length(text);
    int start = 0;
    while (start < length && text[start] == u' ') ++start;
    int end = length;
    while (end > start && text[end - 1] == u' ') --end;
    return TextRange{start, end - start};
}

// ---- Real numbers ----------------------------------------------------------------------------------------------

void real_parse(RealNum* dst, const char16_t* text, int length, uint32_t parse_flags) {
    if (length < 0) length = text_length(text);
    if (text == nullptr) length = 0;
    bool ok;
    if (num_ctx.guard_limbs != 0 || num_ctx.guard_digit_reduction != 0) {
        // The caller's guard is active: read at its precision and leave the narrowing to it.
        ok = parse_at_working_precision(dst, text, length, parse_flags);
    } else {
        // One extra digit in a guard limb, rounded half up on the way back.
        ScratchFrame frame;
        begin_guard(1);
        RealNum* wide = scratch_real();
        ok = parse_at_working_precision(wide, text, length, parse_flags);
        if (ok) guard_narrow(dst, wide);
        end_guard();
    }
    if (!ok) {
        raise_error(kErrNumberText);
        real_set_zero(dst);
    }
}

int real_format(char16_t* buffer, int capacity, const RealNum* x, uint32_t format_flags, int default_digits) {
    TextWriter w = text_writer_make(buffer, capacity > 0 ? capacity : 0);
    if (num_ctx.error_code != 0) text_writer_put(&w, u'!');
    format_real_body(&w, x, format_flags, default_digits);
    return text_writer_finish(&w);
}

char16_t* format_to_ring(const RealNum* x, uint32_t format_flags) {
    char16_t* buffer = text_ring_next_buffer();
    const int length = real_format(buffer, kRingTextCapacity, x, format_flags, kDigitsPerLimb * num_ctx.real_limbs);
    buffer[length] = 0;
    return buffer;
}

// ---- Complex numbers -------------------------------------------------------------------------------------------

void complex_parse(RealNum* dst, const char16_t* text, int length, uint32_t parse_flags) {
    if (length < 0) length = text_length(text);
    if (text == nullptr) length = 0;
    // Start with a clear code so that a failure of either part is seen; the older code wins afterwards.
    const uint32_t pending = num_ctx.error_code;
    num_ctx.error_code = 0;
    RealNum* im = complex_imag(dst);
    const bool ok = complex_parse_parts(dst, im, text, length, parse_flags);
    if (!ok || num_ctx.error_code != 0) {
        real_set_zero(dst);
        real_set_zero(im);
        num_ctx.error_code = pending != 0 ? pending : kErrNumberText;
    } else {
        num_ctx.error_code = pending;
    }
}

int complex_format(char16_t* buffer, int capacity, const RealNum* z, uint32_t format_flags) {
    const int default_digits = kDigitsPerLimb * num_ctx.real_limbs;
    TextWriter w = text_writer_make(buffer, capacity > 0 ? capacity : 0);
    if (num_ctx.error_code != 0) text_writer_put(&w, u'!');
    const RealNum* re = z;
    const RealNum* im = complex_imag(z);
    if (real_limbs_of(im)[0] == 0) {
        format_real_body(&w, re, format_flags, default_digits);
        return text_writer_finish(&w);
    }
    uint32_t imag_flags = format_flags;
    if (real_limbs_of(re)[0] != 0) {
        format_real_body(&w, re, format_flags, default_digits);
        imag_flags |= kFmtAlwaysSign;
    }
    // The imaginary coefficient is written in place and then adjusted: a bare 1 is dropped, a coefficient with an
    // exponent is put in parentheses.
    const int start = w.length;
    format_real_body(&w, im, imag_flags, default_digits);
    if (w.length <= w.capacity) {
        int p = start;
        if (p < w.length && (buffer[p] == u'+' || buffer[p] == u'-')) ++p;
        const char16_t exponent_mark = first_or(num_ctx.exponent_chars, u'e');
        bool has_exponent = false;
        for (int i = p; i < w.length; ++i) has_exponent = has_exponent || buffer[i] == exponent_mark;
        if (w.length - p == 1 && buffer[p] == u'1') {
            w.length = p;
        } else if (has_exponent) {
            if (w.length + 2 > w.capacity) {
                w.length += 2;
            } else {
                std::memmove(buffer + p + 1, buffer + p, static_cast<size_t>(w.length - p) * sizeof(char16_t));
                buffer[p] = u'(';
                ++w.length;
                text_writer_put(&w, u')');
            }
        }
    }
    text_writer_put(&w, first_or(num_ctx.imaginary_chars, u'i'));
    return text_writer_finish(&w);
}
