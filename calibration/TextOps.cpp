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

bool IsBlank(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The text's bytes with the full-width forms folded, one by one. A character
// that is not folded comes as its two bytes; a lone lead byte at the end is
// dropped. -1 at the end.
class FoldedBytes {
public:
    explicit FoldedBytes(TextView text) : text_(text) {}

    int Next()
    {
        if (pendingSecond_ >= 0) {
            int byte = pendingSecond_;
            pendingSecond_ = -1;
            return byte;
        }
        if (at_ >= text_.length)
            return -1;
        unsigned char byte = text_.Byte(at_);
        if (!IsLeadByte(byte)) {
            ++at_;
            return byte;
        }
        if (at_ + 1 >= text_.length) {
            at_ = text_.length;
            return -1;
        }
        unsigned char second = text_.Byte(at_ + 1);
        at_ += 2;
        if (char ascii = FoldFullWidth(byte, second))
            return static_cast<unsigned char>(ascii);
        pendingSecond_ = second;
        return byte;
    }

private:
    TextView text_;
    size_t at_ = 0;
    int pendingSecond_ = -1;
};

}  // namespace

TextView BodyToText(TextView body)
{
    const void* zero = memchr(body.data, 0, body.length);
    return TextView(body.data, zero ? static_cast<size_t>(static_cast<const char*>(zero) - body.data) : body.length);
}

int FindText(TextView text, const char* needle)
{
    const long textLength = static_cast<long>(text.length);
    const long needleLength = static_cast<long>(strlen(needle));
    if (textLength == 0)
        return -1;
    long i = 1;
    long remaining = textLength;
    while (remaining >= needleLength) {
        if (memcmp(text.data + i - 1, needle, static_cast<size_t>(needleLength)) == 0)
            return static_cast<int>(i);
        if (IsLeadByte(text.Byte(static_cast<size_t>(i - 1)))) {
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

TextView TextLeft(TextView text, int n)
{
    if (n <= 0)
        return TextView();
    return TextView(text.data, static_cast<size_t>(n) < text.length ? static_cast<size_t>(n) : text.length);
}

TextView TextRight(TextView text, int n)
{
    if (n <= 0)
        return TextView();
    size_t count = static_cast<size_t>(n) < text.length ? static_cast<size_t>(n) : text.length;
    return TextView(text.data + text.length - count, count);
}

TextView TextMid(TextView text, int start, int n)
{
    if (start < 1 || static_cast<size_t>(start) > text.length || n <= 0)
        return TextView();
    size_t from = static_cast<size_t>(start) - 1;
    size_t rest = text.length - from;
    return TextView(text.data + from, static_cast<size_t>(n) < rest ? static_cast<size_t>(n) : rest);
}

uint16_t TextToShort(TextView text)
{
    // Folded first: the observatory may print full-width digits. Then read
    // like atoi in the "C" locale, with 32-bit wrap-around.
    FoldedBytes bytes(text);
    int c = bytes.Next();
    while (IsBlank(c))
        c = bytes.Next();
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = bytes.Next();
    }
    uint32_t value = 0;
    for (; c >= '0' && c <= '9'; c = bytes.Next())
        value = value * 10u + static_cast<uint32_t>(c - '0');
    if (negative)
        value = 0u - value;
    return static_cast<uint16_t>(value & 0xFFFFu);
}
