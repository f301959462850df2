#pragma once

// The value of one hexadecimal digit of a JSON "\u" escape. A plain function on a byte, safe in a signal
// handler; the application's JSON reader uses it too.
namespace kestrix {

// 0 to 15, or -1 for a byte that is not a hexadecimal digit.
constexpr int kxhexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace kestrix
