#include "platform/win32/Win32Cursor.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

CursorHandle Win32Cursor::LoadWaitCursor() { return LoadCursorA(nullptr, IDC_WAIT); }

CursorHandle Win32Cursor::SetCursor(CursorHandle cursor)
{
    return ::SetCursor(static_cast<HCURSOR>(cursor));
}

bool Win32Cursor::GetCursorPos(int& x, int& y)
{
    POINT point;
    if (!::GetCursorPos(&point))
        return false;
    x = point.x;
    y = point.y;
    return true;
}

void Win32Cursor::SetCursorPos(int x, int y) { ::SetCursorPos(x, y); }
