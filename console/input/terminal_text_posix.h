// The terminal's text as the key editor handles it: the bytes typed, the
// wide characters of libedit's line, and where each one shows on the
// screen.
#pragma once

#include <string>
#include <string_view>

// Where libedit puts a character on the screen, counted from the start of
// the prompt.
struct ScreenPosition {
  int row = 0;
  int column = 0;
};

class TerminalText {
 public:
  // Reads the terminal's character set from LC_CTYPE, which must be set by
  // now. Where it cannot tell what the bytes above 0x7f are (the C and
  // POSIX locales), each byte is one character: shown in one column and
  // taken back by one Backspace. LC_CTYPE becomes C.UTF-8 then, in which
  // libedit shows them.
  TerminalText();

  // Decodes the start of `bytes`: the character and how many bytes it took,
  // or 0 bytes when the character is not complete yet. A byte that starts
  // no character of the terminal's set becomes a character of its own,
  // which ToBytes turns back into the byte.
  std::size_t DecodeCharacter(std::string_view bytes, wchar_t& character) const;
  std::wstring ToWide(std::string_view bytes) const;
  std::string ToBytes(std::wstring_view text) const;

  // Follows libedit's layout on a screen of `columns`: a character that
  // does not fit on the screen line goes to the next one, and a full line
  // moves the cursor to the next.
  void Advance(ScreenPosition& at, wchar_t c, int columns) const;

 private:
  wchar_t ByteCharacter(unsigned char byte) const;
  // The byte that ByteCharacter turned into `c`, or -1.
  int ByteOf(wchar_t c) const;

  bool bytes_are_characters_ = false;
};
