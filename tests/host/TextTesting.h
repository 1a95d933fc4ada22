#pragma once
#include <string>

#include "platform/Text.h"

// Texts hold bytes; tests build and compare them as std::string.
inline Text T(const std::string& bytes) { return Text(bytes.data(), bytes.size()); }
inline std::string S(const Text& text) { return std::string(text.Data(), text.Length()); }
inline std::string S(TextView text) { return std::string(text.data, text.length); }
