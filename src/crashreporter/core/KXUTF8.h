#pragma once

#include <cstddef>

// Well-formed UTF-8 by the Unicode standard's table: no overlong forms, no surrogates, nothing past
// U+10FFFF. Plain functions on bytes, safe in a signal handler.
namespace kestrix {

// The length of the sequence a lead byte begins, or 0 for a byte that cannot begin one.
constexpr size_t kxutf8SequenceLength(unsigned char lead)
{
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    return lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
}

// Whether `byte` may stand at `position` (1 to 3) of the sequence begun by `lead`.
constexpr bool kxutf8Continues(unsigned char lead, size_t position, unsigned char byte)
{
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (position == 1) {
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        } else if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    }
    return byte >= low && byte <= high;
}

} // namespace kestrix
