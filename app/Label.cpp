#include "app/Label.h"

const wchar_t LabelClassName[] = L"VesmorLabel";

namespace {

struct LabelState {
    const LabelStyle* style;
    HFONT font;
};

LabelState* StateOf(HWND label) { return reinterpret_cast<LabelState*>(GetWindowLongPtrW(label, 0)); }

void Paint(HWND label, const LabelState& state)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(label, &paint);
    RECT client;
    GetClientRect(label, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));

    wchar_t caption[512];
    int length = GetWindowTextW(label, caption, sizeof caption / sizeof caption[0]);
    if (length > 0) {
        HGDIOBJ oldFont = SelectObject(dc, state.font ? state.font : GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        // Without DT_SINGLELINE, DT_VCENTER does nothing: wrapped text starts at the top.
        UINT format = DT_NOCLIP | DT_LEFT | (state.style->wordWrap ? DT_WORDBREAK | DT_VCENTER
                                                                      : DT_SINGLELINE | DT_VCENTER);
        if (state.style->raised) {
            RECT shadow = client;
            OffsetRect(&shadow, 1, 1);
            SetTextColor(dc, RGB(255, 255, 255));
            DrawTextW(dc, caption, length, &shadow, format);
        }
        SetTextColor(dc, RGB(0, 0, 0));
        DrawTextW(dc, caption, length, &client, format);
        SelectObject(dc, oldFont);
    }
    EndPaint(label, &paint);
}

LRESULT CALLBACK LabelProcedure(HWND label, UINT message, WPARAM wParam, LPARAM lParam)
{
    LabelState* state = StateOf(label);
    switch (message) {
    case WM_NCCREATE: {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* fresh = static_cast<LabelState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(LabelState)));
        if (!fresh)
            return FALSE;
        fresh->style = static_cast<const LabelStyle*>(create->lpCreateParams);
        SetWindowLongPtrW(label, 0, reinterpret_cast<LONG_PTR>(fresh));
        break;
    }
    case WM_NCDESTROY:
        if (state) {
            SetWindowLongPtrW(label, 0, 0);
            HeapFree(GetProcessHeap(), 0, state);
        }
        break;
    case WM_SETFONT:
        if (state) {
            state->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam))
                InvalidateRect(label, nullptr, TRUE);
        }
        return 0;
    case WM_GETFONT:
        return state ? reinterpret_cast<LRESULT>(state->font) : 0;
    case WM_ERASEBKGND:
        return 1;  // painted whole in WM_PAINT
    case WM_PAINT:
        if (state) {
            Paint(label, *state);
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (state && state->style->handCursor && LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorA(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    return DefWindowProcW(label, message, wParam, lParam);
}

}  // namespace

bool RegisterLabelClass(HINSTANCE instance)
{
    WNDCLASSEXW labelClass = {};
    if (GetClassInfoExW(instance, LabelClassName, &labelClass))
        return true;
    labelClass.cbSize = sizeof labelClass;
    labelClass.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    labelClass.lpfnWndProc = LabelProcedure;
    labelClass.cbWndExtra = sizeof(LabelState*);
    labelClass.hInstance = instance;
    labelClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    labelClass.lpszClassName = LabelClassName;
    return RegisterClassExW(&labelClass) != 0;
}

HWND CreateLabel(HWND parent, int id, const LabelStyle* style, int left, int top, int width, int height,
                 HINSTANCE instance)
{
    return CreateWindowExW(0, LabelClassName, L"", WS_CHILD | WS_CLIPSIBLINGS, left, top, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                           const_cast<LabelStyle*>(style));
}
