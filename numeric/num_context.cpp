#include "numeric/num_context.h"

#include "numeric/limb_kernels.h"
#include "numeric/real_arith.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

NumContext num_ctx;
bool has_wide_moves;

namespace {

// The large regions live in static storage: allocated once with the process, zero-initialised, never released.
alignas(64) uint8_t scratch_region[kScratchBytes];
alignas(64) uint8_t scratch_spill[kScratchBytes];  // handed out instead of memory past the region's end
alignas(64) char16_t text_ring_region[kTextRingBuffers * kTextRingUnits];
alignas(64) uint64_t factorial_region[kFactorialCacheBytes / 8];

constexpr uint64_t kHalfLimb = kLimbBase / 2;         // 5 * 10^18
constexpr uint64_t kFirstLimbOfOne = kLimbBase / 10;  // 10^18

// AVX reported by the processor, OSXSAVE enabled, and the operating system saving the SSE and AVX register state
// (XCR0 bits 1 and 2).
bool detect_wide_moves() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    constexpr unsigned kOsxsave = 1u << 27;
    constexpr unsigned kAvx = 1u << 28;
    if ((ecx & (kOsxsave | kAvx)) != (kOsxsave | kAvx)) return false;
    uint32_t xcr0_low = 0, xcr0_high = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
    return (xcr0_low & 0x6u) == 0x6u;
#else
    return false;
#endif
}

void set_start_values() {
    num_ctx.init_marker = kInitMarker;
    num_ctx.error_code = kErrNone;
    num_ctx.real_limbs = 1;
    num_ctx.int_limbs = 1;
    num_ctx.number_type = kTypeNone;
    num_ctx.guard_digit_reduction = 0;
    num_ctx.guard_limbs = 0;
    num_ctx.no_rounding = 0;
    num_ctx.underflow_is_error = 0;
    num_ctx.decimal_point_chars[0] = u'.';
    num_ctx.decimal_point_chars[1] = u',';
    num_ctx.decimal_point_chars[2] = 0;
    num_ctx.group_chars[0] = u'\'';
    num_ctx.group_chars[1] = 0;
    num_ctx.group_chars[2] = 0;
    num_ctx.exponent_chars[0] = u'e';
    num_ctx.exponent_chars[1] = u'E';
    num_ctx.exponent_chars[2] = 0;
    num_ctx.imaginary_chars[0] = u'i';
    num_ctx.imaginary_chars[1] = u'j';
    num_ctx.imaginary_chars[2] = 0;
    num_ctx.min_plain_exponent = -4;
    num_ctx.display_digits = 10;
    num_ctx.scratch_base = scratch_region;
    num_ctx.scratch_top = scratch_region;
    num_ctx.text_ring = nullptr;
    num_ctx.text_ring_next = 0;
    num_ctx.factorial_cache = nullptr;
}

RealNum* derived_slot(int index) {
    return num_ctx.constants[index - kStoredConstantCount];
}

void copy_record(RealNum* dst, const RealNum* src, int limbs) {
    dst[0] = src[0];
    limbs_copy(dst + 1, src + 1, limbs);
}

}  // namespace

void init_numeric_context() {
    has_wide_moves = detect_wide_moves();
    if (num_ctx.init_marker != kInitMarker) set_start_values();

    // Slots 10..14 are computed at the full 528 limbs of the stored constants; slot 15 stays zero.
    const int32_t remembered_limbs = num_ctx.real_limbs;
    num_ctx.real_limbs = kConstantLimbs;
    {
        ScratchFrame frame;
        RealNum* t = scratch_real();
        real_reciprocal(t, kStoredConstants[kConstLn10]);
        copy_record(derived_slot(kConstInvLn10), t, kConstantLimbs);
        real_mul(t, kStoredConstants[kConstLn2], derived_slot(kConstInvLn10));
        copy_record(derived_slot(kConstLog10Of2), t, kConstantLimbs);
        real_reciprocal(t, kStoredConstants[kConstLn2]);
        copy_record(derived_slot(kConstInvLn2), t, kConstantLimbs);
        real_reciprocal(t, kStoredConstants[kConstPiDiv4]);
        copy_record(derived_slot(kConst4DivPi), t, kConstantLimbs);
        real_mul_word(t, kStoredConstants[kConstPiDiv4], 2);
        copy_record(derived_slot(kConstPiDiv2), t, kConstantLimbs);
    }
    if (remembered_limbs == 0 || remembered_limbs > kMaxUserLimbs) {
        raise_error(kErrLimbCount);
    } else {
        num_ctx.real_limbs = remembered_limbs;
    }
}

void get_constant(RealNum* dst, int index) {
    const int n = num_ctx.real_limbs;
    if (index < 0 || index > kConstZero) {
        raise_error(kErrConstantIndex);
        dst[0] = 0;
        limbs_zero(dst + 1, n);
        return;
    }
    const RealNum* src = index < kStoredConstantCount ? kStoredConstants[index] : derived_slot(index);
    // Beyond 528 limbs (a guard limb on top of the constants' own precision) the constant has no more digits.
    const int copied = n <= kConstantLimbs ? n : kConstantLimbs;
    copy_record(dst, src, copied);
    if (copied < n) limbs_zero(dst + 1 + copied, n - copied);
}

void begin_guard(int extra_digits) {
    if (num_ctx.guard_limbs != 0 || num_ctx.guard_digit_reduction != 0 || extra_digits < 1) {
        raise_error(kErrInternal);
        return;
    }
    if (extra_digits >= 20) {
        raise_error(kErrDomain);
        return;
    }
    num_ctx.guard_limbs = 1;
    num_ctx.real_limbs += 1;
    num_ctx.guard_digit_reduction = static_cast<uint32_t>(19 - extra_digits);
}

void end_guard() {
    num_ctx.real_limbs -= static_cast<int32_t>(num_ctx.guard_limbs);
    num_ctx.guard_limbs = 0;
    num_ctx.guard_digit_reduction = 0;
}

bool limbs_round_half_up(uint64_t* limbs, int n, uint64_t guard) {
    if (guard < kHalfLimb) return false;
    for (int i = n - 1; i >= 0; --i) {
        if (++limbs[i] < kLimbBase) return false;
        limbs[i] = 0;
    }
    limbs[0] = kFirstLimbOfOne;
    return true;
}

void guard_narrow(RealNum* dst, const RealNum* src) {
    const int guard = static_cast<int>(num_ctx.guard_limbs);
    const int n = num_ctx.real_limbs - guard;
    copy_record(dst, src, n);
    if (guard == 0 || num_ctx.no_rounding != 0) return;
    if (!limbs_round_half_up(dst + 1, n, src[1 + n])) return;
    // The carry left limb 0: the mantissa became 1 and the exponent grows by one.
    const int64_t e = real_exponent(dst);
    if (e >= kMaxExponent) {
        raise_error(kErrOverflow);
        dst[0] = 0;
        limbs_zero(dst + 1, n);
        return;
    }
    dst[0] = (static_cast<uint64_t>(e + 1) << 1) | (dst[0] & 1);
}

void guard_widen(RealNum* dst, const RealNum* src) {
    const int guard = static_cast<int>(num_ctx.guard_limbs);
    const int n = num_ctx.real_limbs - guard;
    copy_record(dst, src, n);
    limbs_zero(dst + 1 + n, guard);
}

uint64_t* scratch_take(size_t words) {
    if (words > kScratchWords) {
        raise_error(kErrScratchExhausted);
        return nullptr;
    }
    const size_t bytes = words * 8;
    uint8_t* top = num_ctx.scratch_top;
    const size_t left =
        num_ctx.scratch_base == nullptr ? 0 : static_cast<size_t>(num_ctx.scratch_base + kScratchBytes - top);
    if (bytes > left) {
        raise_error(kErrScratchExhausted);
        uint64_t* spill = reinterpret_cast<uint64_t*>(scratch_spill);
        for (size_t i = 0; i < words; ++i) spill[i] = 0;
        return spill;
    }
    num_ctx.scratch_top = top + bytes;
    return reinterpret_cast<uint64_t*>(top);
}

char16_t* text_ring_next_buffer() {
    constexpr uint32_t kBuffers = kTextRingBuffers;
    if (num_ctx.text_ring == nullptr) num_ctx.text_ring = text_ring_region;
    if (num_ctx.text_ring_next >= kBuffers) num_ctx.text_ring_next = 0;
    char16_t* buffer = num_ctx.text_ring + num_ctx.text_ring_next * kTextRingUnits;
    num_ctx.text_ring_next = num_ctx.text_ring_next + 1 < kBuffers ? num_ctx.text_ring_next + 1 : 0;
    return buffer;
}

uint64_t* factorial_cache_region() {
    if (num_ctx.factorial_cache == nullptr) num_ctx.factorial_cache = factorial_region;
    return num_ctx.factorial_cache;
}
