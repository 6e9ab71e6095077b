// Conversions between UTF-8 and the UTF-16 of Windows.
#include "console/platform/wide_text_windows.h"

#include <windows.h>

#include <climits>

bool WideFromUtf8(const std::string& text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) {
    return true;
  }
  if (text.size() > INT_MAX) {
    return false;
  }
  const int length = static_cast<int>(text.size());
  const int needed =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (needed <= 0) {
    return false;
  }
  wide.resize(static_cast<std::size_t>(needed));
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, &wide[0], needed) !=
      needed) {
    wide.clear();
    return false;
  }
  return true;
}

std::string Utf8FromWide(const wchar_t* wide, std::size_t length) {
  std::string text;
  if (length == 0 || length > INT_MAX) {
    return text;
  }
  const int count = static_cast<int>(length);
  const int needed = WideCharToMultiByte(CP_UTF8, 0, wide, count, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) {
    return text;
  }
  text.resize(static_cast<std::size_t>(needed));
  if (WideCharToMultiByte(CP_UTF8, 0, wide, count, &text[0], needed, nullptr, nullptr) != needed) {
    text.clear();
  }
  return text;
}
