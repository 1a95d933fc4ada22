#pragma once
#include <stdint.h>

#include "platform/Text.h"

// Byte-string operations for reading the time page. Positions are 1-based
// and lengths count bytes; slices cut wherever the count says, even inside a
// two-byte character.

// The bytes before the first zero byte.
Text BodyToText(const Text& body);

// Position of the first occurrence of needle, never starting on the second
// byte of a two-byte character; -1 when there is none.
int FindText(const Text& text, const char* needle);

Text TextLeft(const Text& text, int n);
Text TextRight(const Text& text, int n);
Text TextMid(const Text& text, int start, int n);

// Full-width forms folded to ASCII, then read like atoi, kept to 16 bits.
uint16_t TextToShort(const Text& text);
