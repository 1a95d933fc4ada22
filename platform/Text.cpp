#include "platform/Text.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

[[noreturn]] void AbortOnOutOfMemory(size_t) { abort(); }

OutOfMemoryHandler outOfMemoryHandler = AbortOnOutOfMemory;

[[noreturn]] void OutOfMemory(size_t bytes)
{
    outOfMemoryHandler(bytes);
    abort();  // a handler must not return
}

}  // namespace

void SetOutOfMemoryHandler(OutOfMemoryHandler handler)
{
    outOfMemoryHandler = handler ? handler : AbortOnOutOfMemory;
}

Text::Text(const char* zeroTerminated) { Append(zeroTerminated); }

Text::Text(const char* bytes, size_t length) { Append(bytes, length); }

Text::Text(Text&& other) noexcept
    : data_(other.data_), length_(other.length_), capacity_(other.capacity_)
{
    other.data_ = nullptr;
    other.length_ = other.capacity_ = 0;
}

Text& Text::operator=(Text&& other) noexcept
{
    if (this != &other) {
        free(data_);
        data_ = other.data_;
        length_ = other.length_;
        capacity_ = other.capacity_;
        other.data_ = nullptr;
        other.length_ = other.capacity_ = 0;
    }
    return *this;
}

Text::~Text() { free(data_); }

bool Text::TryReserve(size_t capacity)
{
    if (capacity <= capacity_ && data_)
        return true;
    if (capacity >= SIZE_MAX - 1)
        return false;
    char* grown = static_cast<char*>(realloc(data_, capacity + 1));
    if (!grown)
        return false;
    data_ = grown;
    capacity_ = capacity;
    data_[length_] = 0;
    return true;
}

bool Text::TryAppend(const void* bytes, size_t length)
{
    if (length > SIZE_MAX / 2 - length_)
        return false;
    size_t needed = length_ + length;
    if (needed > capacity_ || !data_) {
        // Doubling keeps a long run of appends linear in the bytes appended.
        size_t wanted = capacity_ * 2 > needed ? capacity_ * 2 : needed;
        if (!TryReserve(wanted) && !TryReserve(needed))
            return false;
    }
    if (length)
        memcpy(data_ + length_, bytes, length);
    length_ = needed;
    data_[length_] = 0;
    return true;
}

void Text::Append(const void* bytes, size_t length)
{
    if (!TryAppend(bytes, length))
        OutOfMemory(length_ + length + 1);
}

void Text::Append(const char* zeroTerminated)
{
    Append(zeroTerminated, zeroTerminated ? strlen(zeroTerminated) : 0);
}

void Text::AppendNumber(long value)
{
    char digits[24];
    char* end = digits + sizeof digits;
    char* p = end;
    unsigned long magnitude = value < 0 ? 0UL - static_cast<unsigned long>(value)
                                        : static_cast<unsigned long>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *--p = '-';
    Append(p, static_cast<size_t>(end - p));
}

void Text::ShrinkToFit()
{
    if (!data_ || capacity_ == length_)
        return;
    char* shrunk = static_cast<char*>(realloc(data_, length_ + 1));
    if (shrunk) {
        data_ = shrunk;
        capacity_ = length_;
    }
}

bool Text::operator==(const Text& other) const
{
    return length_ == other.length_ && memcmp(Data(), other.Data(), length_) == 0;
}
