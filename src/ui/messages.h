// The message panel's colours and every help text of the window. A line
// break inside a message is LF followed by CR, in that order.
#pragma once

#include <string>

#include "ui/controls.h"

namespace talmer::ui {

inline constexpr rgb panel_teal{0, 192, 208};     // normal
inline constexpr rgb panel_green{0, 192, 16};     // a waveform is being sent
inline constexpr rgb panel_red{255, 0, 0};        // the last operation failed
inline constexpr rgb panel_yellow{255, 255, 128}; // counting ASCII points

// "teal", "green", "red", "yellow", or "r,g,b" for any other colour.
std::string colour_name(rgb c);

inline constexpr const char *NL = "\n\r";

inline constexpr const char *initial_text = "(Click on labels to see help.)";
inline constexpr const char *neutral_text = "(Messages show here.)";

// The numbered help texts. Help 3 ends with the caption of `Version`, which
// the caller appends (see help_3).
extern const std::string help_1, help_2, help_4, help_5, help_6, help_7, help_8, help_9, help_10,
    help_11, help_12;
std::string help_3(const std::string &version_caption);

}  // namespace talmer::ui
