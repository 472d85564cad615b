// The text boundary to Windows: UTF-8 inside, UTF-16 for the W APIs, and the ANSI code page
// (932 on a Japanese Windows) for the files and messages that are defined in it.
#pragma once

#include <string>
#include <string_view>

std::wstring ToWide(std::string_view utf8);
std::string ToUtf8(std::wstring_view wide);
std::string AnsiToUtf8(std::string_view ansi);
// `lossy` reports characters the ANSI code page cannot hold.
std::string Utf8ToAnsi(std::string_view utf8, bool* lossy = nullptr);
std::string WideToAnsi(std::wstring_view wide, bool* lossy = nullptr);

// The longest beginning of the text whose ANSI form takes at most `maxBytes` bytes, never cutting
// a character (a Shift-JIS character takes two bytes).
std::string TruncateForAnsi(const std::string& utf8, size_t maxBytes);

// Files the program keeps in the ANSI code page (settings, list files, the message file) hold
// UTF-8 after a byte-order mark when a value did not fit the code page. The text of such a
// file, in either form, or UTF-8 without the mark as other editors write it (see
// IsNonAsciiUtf8).
std::string FileTextToUtf8(std::string_view bytes);
// The bytes to write for a text: the ANSI code page when every character fits it (the file
// stays byte for byte as other tools and older copies read it), else UTF-8 after a byte-order
// mark, so that "café" or a Korean name survives a restart.
std::string Utf8ToFileText(std::string_view utf8);
