#include "platform/win32/WideText.h"

#include <stdlib.h>

WideText::WideText(const char* gbk, int length)
{
    if (!gbk || length == 0)
        return;
    int wide = MultiByteToWideChar(ProgramCodePage, 0, gbk, length, nullptr, 0);
    if (wide <= 0)
        return;
    // With length -1 the count includes the terminating zero already.
    data_ = static_cast<wchar_t*>(malloc((static_cast<size_t>(wide) + 1) * sizeof(wchar_t)));
    if (!data_)
        return;
    MultiByteToWideChar(ProgramCodePage, 0, gbk, length, data_, wide);
    data_[wide] = 0;
}

WideText::~WideText() { free(data_); }
