#pragma once

using CursorHandle = void*;

// The mouse pointer calls a calibration run makes.
class CursorApi {
public:
    virtual CursorHandle LoadWaitCursor() = 0;
    virtual CursorHandle SetCursor(CursorHandle cursor) = 0;  // returns the previous one
    virtual bool GetCursorPos(int& x, int& y) = 0;
    virtual void SetCursorPos(int x, int y) = 0;

protected:
    ~CursorApi() = default;
};
