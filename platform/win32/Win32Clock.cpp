#include "platform/win32/Win32Clock.h"

Clock::SetResult Win32Clock::SetLocalTime(const SYSTEMTIME& time)
{
    SetLocalTimeFunction set = setLocalTime_.Get();
    if (!set)
        return {false, 0};
    return {true, set(&time)};
}

SYSTEMTIME Win32Clock::GetLocalTime()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return now;
}
