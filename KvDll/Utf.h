#pragma once
// Conversions between the program's UTF-8 texts and the UTF-16 of automation strings.

#include <string>
#include <string_view>

// A null w gives "". A lone surrogate becomes U+FFFD.
std::string KvUtf16ToUtf8(const unsigned short* w);
// A byte that does not start a valid UTF-8 sequence is taken as Latin-1, so texts written by
// older builds (a lone 0xB5 for micro) keep their meaning.
std::u16string KvUtf8ToUtf16(std::string_view s);
