// UTF-8, the console's text inside, and the UTF-16 of Windows' file names,
// command lines and console.
#pragma once

#include <string>

// False, leaving `wide` empty, when `text` is not valid UTF-8.
bool WideFromUtf8(const std::string& text, std::wstring& wide);
// Unpaired surrogates become U+FFFD.
std::string Utf8FromWide(const wchar_t* wide, std::size_t length);
