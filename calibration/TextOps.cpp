#include "calibration/TextOps.h"

#include <string.h>

namespace {

bool IsLeadByte(unsigned char byte) { return byte >= 0x80; }

// One two-byte character of code page 936 as the ASCII byte it stands for,
// or 0 when it is not one of the folded forms.
char FoldFullWidth(unsigned char first, unsigned char second)
{
    if (first == 0xA1) {
        if (second == 0xA1) return ' ';   // ideographic space
        if (second == 0xAB) return '~';   // full-width tilde
        if (second == 0xEE || second == 0xEF) return '*';  // star signs
    }
    if (first == 0xA3 && second >= 0xA1 && second <= 0xFE)
        return static_cast<char>(second - 0x80);  // full-width printable ASCII
    return 0;
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

Text BodyToText(const Text& body)
{
    const void* zero = memchr(body.Data(), 0, body.Length());
    size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - body.Data())
                         : body.Length();
    return Text(body.Data(), length);
}

int FindText(const Text& text, const char* needle)
{
    const int textLength = static_cast<int>(text.Length());
    const int needleLength = static_cast<int>(strlen(needle));
    if (textLength == 0)
        return -1;
    int i = 1;
    int remaining = textLength;
    while (remaining >= needleLength) {
        if (memcmp(text.Data() + i - 1, needle, needleLength) == 0)
            return i;
        if (IsLeadByte(text.Byte(i - 1))) {
            if (i == textLength)
                return -1;
            ++i;
            --remaining;
        }
        ++i;
        --remaining;
    }
    return -1;
}

Text TextLeft(const Text& text, int n)
{
    if (n <= 0)
        return Text();
    size_t count = static_cast<size_t>(n) < text.Length() ? static_cast<size_t>(n) : text.Length();
    return Text(text.Data(), count);
}

Text TextRight(const Text& text, int n)
{
    if (n <= 0)
        return Text();
    size_t count = static_cast<size_t>(n) < text.Length() ? static_cast<size_t>(n) : text.Length();
    return Text(text.Data() + text.Length() - count, count);
}

Text TextMid(const Text& text, int start, int n)
{
    if (start < 1 || static_cast<size_t>(start) > text.Length() || n <= 0)
        return Text();
    size_t from = static_cast<size_t>(start) - 1;
    size_t rest = text.Length() - from;
    size_t count = static_cast<size_t>(n) < rest ? static_cast<size_t>(n) : rest;
    return Text(text.Data() + from, count);
}

uint16_t TextToShort(const Text& text)
{
    // Fold first: the observatory may print full-width digits.
    Text folded;
    for (size_t i = 0; i < text.Length();) {
        unsigned char byte = text.Byte(i);
        if (!IsLeadByte(byte)) {
            folded.Append(text.Data() + i, 1);
            i += 1;
            continue;
        }
        if (i + 1 >= text.Length())
            break;  // a lone lead byte at the end is dropped
        char ascii = FoldFullWidth(byte, text.Byte(i + 1));
        if (ascii)
            folded.Append(&ascii, 1);
        else
            folded.Append(text.Data() + i, 2);
        i += 2;
    }

    // atoi in the "C" locale, with 32-bit wrap-around.
    const char* p = folded.Data();
    while (IsBlank(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + static_cast<uint32_t>(*p - '0');
    if (negative)
        value = 0u - value;
    return static_cast<uint16_t>(value & 0xFFFFu);
}
