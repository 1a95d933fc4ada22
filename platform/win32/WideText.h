#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/Text.h"

// Texts are GBK bytes inside the program; the window shows them through the
// Unicode functions, so they read right whatever the system's ANSI code page.
// This is the one place they are converted.
constexpr UINT ProgramCodePage = 936;

class WideText {
public:
    explicit WideText(const char* gbk) : WideText(gbk, -1) {}
    explicit WideText(const Text& gbk) : WideText(gbk.Data(), static_cast<int>(gbk.Length())) {}
    WideText(const char* gbk, int length);
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;
    ~WideText();

    const wchar_t* Get() const { return data_ ? data_ : L""; }

private:
    wchar_t* data_ = nullptr;
};
