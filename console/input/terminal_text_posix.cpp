// The terminal's text: the POSIX side of terminal_text_posix.h.

#include "console/input/terminal_text_posix.h"

#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

namespace {

// In a character set that decodes bytes, one that is not part of a
// character travels through the editor as U+DC80..U+DCFF, which libedit
// shows as an escape.
constexpr wchar_t kFirstUndecodedByte = 0xdc80;
// Where every byte is a character, those above 0x7f are shown as the
// Latin-1 characters of their values, except the ones that would be
// control characters there, which are shown as private-use characters
// U+E080..U+E09F: one column each.
constexpr unsigned char kFirstLatin1Byte = 0xa0;
constexpr wchar_t kFirstPrivateByte = 0xe000;

// Whether the locale leaves bytes above 0x7f without a meaning.
bool LocaleDecodesNoHighBytes() {
  if (MB_CUR_MAX != 1) {
    return false;
  }
  const char byte = '\x80';
  wchar_t character = 0;
  std::mbstate_t state{};
  return std::mbrtowc(&character, &byte, 1, &state) == static_cast<std::size_t>(-1);
}

// libedit shows a control character as ^X and one that cannot be printed
// as \U+XXXX.
int ShownWidth(wchar_t c) {
  if (c < 0x100 && std::iswcntrl(static_cast<wint_t>(c))) {
    return 2;
  }
  if (!std::iswprint(static_cast<wint_t>(c))) {
    return c > 0xffff ? 8 : 7;
  }
  return std::max(0, wcwidth(c));
}

}  // namespace

TerminalText::TerminalText() {
  bytes_are_characters_ =
      LocaleDecodesNoHighBytes() && std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
}

wchar_t TerminalText::ByteCharacter(unsigned char byte) const {
  if (byte < 0x80) {
    return static_cast<wchar_t>(byte);
  }
  if (!bytes_are_characters_) {
    return kFirstUndecodedByte + (byte - 0x80);
  }
  return byte >= kFirstLatin1Byte ? static_cast<wchar_t>(byte) : kFirstPrivateByte + byte;
}

int TerminalText::ByteOf(wchar_t c) const {
  if (!bytes_are_characters_) {
    return c >= kFirstUndecodedByte && c < kFirstUndecodedByte + 0x80
               ? static_cast<int>(c - kFirstUndecodedByte) + 0x80
               : -1;
  }
  if (c >= kFirstLatin1Byte && c <= 0xff) {
    return static_cast<int>(c);
  }
  return c >= kFirstPrivateByte + 0x80 && c < kFirstPrivateByte + kFirstLatin1Byte
             ? static_cast<int>(c - kFirstPrivateByte)
             : -1;
}

std::size_t TerminalText::DecodeCharacter(std::string_view bytes, wchar_t& character) const {
  if (bytes_are_characters_) {
    character = ByteCharacter(static_cast<unsigned char>(bytes[0]));
    return 1;
  }
  std::mbstate_t state{};
  const std::size_t used = std::mbrtowc(&character, bytes.data(), bytes.size(), &state);
  if (used == static_cast<std::size_t>(-2)) {
    return 0;
  }
  if (used == static_cast<std::size_t>(-1) || used == 0) {
    character = ByteCharacter(static_cast<unsigned char>(bytes[0]));
    return 1;
  }
  return used;
}

std::wstring TerminalText::ToWide(std::string_view bytes) const {
  std::wstring text;
  while (!bytes.empty()) {
    wchar_t c = 0;
    std::size_t used = DecodeCharacter(bytes, c);
    if (used == 0) {  // cut off in the middle of a character
      c = ByteCharacter(static_cast<unsigned char>(bytes[0]));
      used = 1;
    }
    text += c;
    bytes.remove_prefix(used);
  }
  return text;
}

std::string TerminalText::ToBytes(std::wstring_view text) const {
  std::string bytes;
  for (const wchar_t c : text) {
    if (const int byte = ByteOf(c); byte >= 0) {
      bytes += static_cast<char>(byte);
      continue;
    }
    char encoded[MB_LEN_MAX];
    std::mbstate_t state{};
    const std::size_t length = std::wcrtomb(encoded, c, &state);
    if (length != static_cast<std::size_t>(-1)) {
      bytes.append(encoded, length);
    }
  }
  return bytes;
}

void TerminalText::Advance(ScreenPosition& at, wchar_t c, int columns) const {
  const auto put = [&at, columns](int width) {
    while (at.column + width > columns && at.column > 0) {
      ++at.row;
      at.column = 0;
    }
    at.column += width;
    if (at.column >= columns) {
      ++at.row;
      at.column = 0;
    }
  };
  if (c == L'\t') {
    do {
      put(1);
    } while ((at.column & 7) != 0);
    return;
  }
  const bool single_cells = (c < 0x100 && std::iswcntrl(static_cast<wint_t>(c))) ||
                            !std::iswprint(static_cast<wint_t>(c));
  if (single_cells) {
    for (int i = ShownWidth(c); i > 0; --i) {
      put(1);
    }
  } else {
    put(ShownWidth(c));
  }
}
