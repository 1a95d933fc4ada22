#pragma once
#include "platform/Clock.h"
#include "platform/win32/LateBinding.h"

class Win32Clock final : public Clock {
public:
    SetResult SetLocalTime(const SYSTEMTIME& time) override;
    SYSTEMTIME GetLocalTime() override;
    void Release() { setLocalTime_.Release(); }

private:
    using SetLocalTimeFunction = BOOL(WINAPI*)(const SYSTEMTIME*);
    LateBound<SetLocalTimeFunction> setLocalTime_{"kernel32", "SetLocalTime"};
};
