// Text handed to the GPIB libraries: one byte per character.
#pragma once

#include <string>
#include <string_view>

namespace talmer::gpib {

// The 8-bit copy of a text the program composed (a command, a board or
// interface name, an address). The window's texts are UTF-8; every character
// up to U+00FF becomes its one byte (ISO 8859-1), a character beyond it
// becomes '?'. Bytes that are not part of a valid UTF-8 sequence are taken
// as 8-bit characters already and pass unchanged. Reply buffers are never
// converted: they hold one character per byte as the library wrote them.
std::string to_8bit(std::string_view text);

}  // namespace talmer::gpib
