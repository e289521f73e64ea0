#include "gpib/text8.h"

namespace talmer::gpib {

namespace {

// Length of the UTF-8 sequence starting at s[i] and its code point; 0 when
// the bytes there do not form a valid sequence.
std::size_t utf8_sequence(std::string_view s, std::size_t i, char32_t &cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t n = 0;
  char32_t v = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
    v = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    v = b0 & 0x0Fu;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    v = b0 & 0x07u;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0u) != 0x80u) return 0;
    v = (v << 6) | (b & 0x3Fu);
  }
  // Reject overlong forms, surrogates and values beyond U+10FFFF.
  if ((n == 3 && v < 0x800) || (n == 4 && (v < 0x10000 || v > 0x10FFFF)) ||
      (v >= 0xD800 && v <= 0xDFFF))
    return 0;
  cp = v;
  return n;
}

}  // namespace

std::string to_8bit(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    char32_t cp = 0;
    std::size_t n = b < 0x80 ? 0 : utf8_sequence(text, i, cp);
    if (n == 0) {
      out += text[i];
      ++i;
      continue;
    }
    out += cp <= 0xFF ? static_cast<char>(static_cast<unsigned char>(cp)) : '?';
    i += n;
  }
  return out;
}

}  // namespace talmer::gpib
