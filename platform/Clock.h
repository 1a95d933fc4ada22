#pragma once
#include "platform/SystemTime.h"

// The local clock. SetLocalTime is bound by name at its first use, so a
// system without it is told apart from a refused time.
class Clock {
public:
    struct SetResult {
        bool bound;  // false: "SetLocalTime" could not be found in "kernel32"
        int value;   // what SetLocalTime returned; 1 is success
    };
    virtual SetResult SetLocalTime(const SYSTEMTIME& time) = 0;
    virtual SYSTEMTIME GetLocalTime() = 0;

protected:
    ~Clock() = default;
};
