#pragma once
#include "platform/Text.h"

// Index of the last backslash in a GBK text, or -1. A byte of 0x80 or above
// starts a two-byte character whose second byte may be 0x5C; it is never
// taken for a backslash.
long LastBackslash(const char* text);

// The program's directory, up to and with the last backslash of its path, so
// that a program in the root of a drive gives "C:\", not the drive's current
// directory "C:". Empty without a backslash.
Text DirectoryOf(const Text& path);
