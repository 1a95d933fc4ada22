#pragma once
#include <stddef.h>

// A byte string in the ANSI code page (GBK): any bytes, zero bytes included,
// counted in bytes. A zero byte always follows the last byte so the data can
// go straight to the C-string functions of Windows.
//
// The program links no C++ runtime beyond the C library (it must stay a few
// dozen KiB), so this stands in for std::string. Move-only: a text has one
// owner, and every copy is spelled out with Copy().
class Text {
public:
    Text() = default;
    Text(const char* zeroTerminated);
    Text(const char* bytes, size_t length);
    Text(Text&& other) noexcept;
    Text& operator=(Text&& other) noexcept;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text();

    const char* Data() const { return data_ ? data_ : ""; }
    size_t Length() const { return length_; }
    bool Empty() const { return length_ == 0; }
    unsigned char Byte(size_t index) const { return static_cast<unsigned char>(data_[index]); }

    Text Copy() const { return Text(Data(), length_); }

    // Growing fails only when memory runs out. The Try forms report that to
    // the caller; the others hand it to the out-of-memory handler.
    bool TryAppend(const void* bytes, size_t length);
    bool TryReserve(size_t capacity);
    void Append(const void* bytes, size_t length);
    void Append(const char* zeroTerminated);
    void Append(const Text& other) { Append(other.Data(), other.Length()); }
    void AppendNumber(long value);

    // Gives up the buffer's spare capacity, so a large body holds no more
    // memory than its bytes once it is complete.
    void ShrinkToFit();

    bool operator==(const Text& other) const;
    bool operator!=(const Text& other) const { return !(*this == other); }

private:
    char* data_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;  // bytes usable for text, the terminating zero not counted
};

// A run of bytes inside a text that outlives it: slicing and searching a
// page of any size copies nothing.
struct TextView {
    TextView() = default;
    TextView(const char* bytes, size_t count) : data(bytes), length(count) {}
    TextView(const Text& text) : data(text.Data()), length(text.Length()) {}  // NOLINT: a text is a view of itself
    const char* data = "";
    size_t length = 0;
    unsigned char Byte(size_t index) const { return static_cast<unsigned char>(data[index]); }
};

// Called when a request for memory fails in one of the non-Try operations;
// it must not return. The program shows its fatal error box here.
using OutOfMemoryHandler = void (*)(size_t bytesRequested);
void SetOutOfMemoryHandler(OutOfMemoryHandler handler);
