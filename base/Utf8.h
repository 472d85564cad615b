// Telling UTF-8 text from Shift-JIS in files that carry no byte-order mark.
#pragma once

#include <string_view>

// Whether the bytes read as UTF-8 text that is not plain ASCII: every sequence well formed
// (shortest form, no surrogates, nothing above U+10FFFF) and at least one beyond ASCII. A
// sequence cut short by the very end counts as well formed: a file read up to a size limit may
// end inside a character.
bool IsNonAsciiUtf8(std::string_view bytes);
