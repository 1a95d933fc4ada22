#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// How one label looks. Labels paint themselves, opaque on the button face
// colour, and take mouse input themselves (the credit line is clicked).
struct LabelStyle {
    bool wordWrap;     // breaks at CR LF and at the right edge, from the top
    bool raised;       // a white copy 1 pixel right and down behind the text
    bool handCursor;   // the pointer shows a hand over the label
};

extern const wchar_t LabelClassName[];

// Registers the label class once per process.
bool RegisterLabelClass(HINSTANCE instance);

// The style is read at creation from the creation parameter and must
// outlive the label. The font comes with WM_SETFONT.
HWND CreateLabel(HWND parent, int id, const LabelStyle* style, int left, int top, int width, int height,
                 HINSTANCE instance);
