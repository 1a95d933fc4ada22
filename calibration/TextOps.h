#pragma once
#include <stdint.h>

#include "platform/Text.h"

// Byte-string operations for reading the time page. Positions are 1-based
// and lengths count bytes; slices cut wherever the count says, even inside a
// two-byte character. Results are views into the text they were cut from.

// The bytes before the first zero byte.
TextView BodyToText(TextView body);

// Position of the first occurrence of needle, never starting on the second
// byte of a two-byte character; -1 when there is none.
int FindText(TextView text, const char* needle);

TextView TextLeft(TextView text, int n);
TextView TextRight(TextView text, int n);
TextView TextMid(TextView text, int start, int n);

// Full-width forms folded to ASCII, then read like atoi, kept to 16 bits.
uint16_t TextToShort(TextView text);
