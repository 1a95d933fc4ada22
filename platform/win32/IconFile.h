#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The bytes of an icon file (directory, then images), as the window
// definition holds its icon.
struct IconFileBytes {
    const unsigned char* data;
    size_t size;
};

// An icon made from the image the file's first directory entry points to,
// at the size its own bitmap header gives. Null for an empty or malformed
// file. The caller owns the handle.
HICON CreateIconFromIconFile(IconFileBytes file);
