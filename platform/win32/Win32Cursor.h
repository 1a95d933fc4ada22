#pragma once
#include "platform/Cursor.h"

class Win32Cursor final : public CursorApi {
public:
    CursorHandle LoadWaitCursor() override;
    CursorHandle SetCursor(CursorHandle cursor) override;
    bool GetCursorPos(int& x, int& y) override;
    void SetCursorPos(int x, int y) override;
};
