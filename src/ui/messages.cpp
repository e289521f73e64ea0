#include "ui/messages.h"

namespace talmer::ui {

namespace {
std::string lines(std::initializer_list<const char *> ls) {
  std::string s;
  bool first = true;
  for (const char *l : ls) {
    if (!first) s += NL;
    s += l;
    first = false;
  }
  return s;
}
}  // namespace

std::string colour_name(rgb c) {
  if (c == panel_teal) return "teal";
  if (c == panel_green) return "green";
  if (c == panel_red) return "red";
  if (c == panel_yellow) return "yellow";
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

const std::string help_1 = lines({
    "This is an ESTIMATE of the total time to download the specified files.",
    "This estimate is based on a 200 MHz CPU.",
});
const std::string help_2 = lines({
    "This is the name that the waveform will have once it resides in the Talmer's ARB.",
    "Both source files will be combined into this one waveform name.",
});
std::string help_3(const std::string &version_caption) {
  return lines({
      "This program downloads waveform files to the Corvane Talmer using .",
      "an GPIB card (Corvane or National Instruments), or RS232 port.",
      version_caption.c_str(),
  });
}
const std::string help_4 = lines({
    "Use GPIB to download files to the Talmer ARB.  ",
    "AutoDetect will try to find the GPIB address of the Talmer,",
    "or a particular address may be specified.",
});
const std::string help_5 = lines({
    "A waveform point is an integer consisting of two bytes. ",
    "There will be half as many waveform points",
    "as there are bytes of each source file (except for ASCII files).",
});
const std::string help_6 = lines({
    "There must be at least one source file, and normally two: I and Q.",
    "They must have an even number of waveform points.",
    "Each source file specified must have at least 16 waveform points.",
});
const std::string help_7 = lines({
    "Converts files named *.txt, *.asc, *.dat, *.prn, *.csv from ASCII format ",
    "with spaces, commas, tabs, carriage returns, and line feeds as delimiters.",
    "Also converts files named *.wfm from AWG2021 format. ",
});
const std::string help_8 = lines({
    "If there is a check in the checkbox, the Talmer Waveform Name will be set to the ",
    "I filename. A waveform name can also be typed in.",
    "With no checkmark, the waveform name must be typed in. ",
});
const std::string help_9 = lines({
    "Set SWAP Bytes depending on the origin of the source files.",
    "Use YES if the files were made and saved on a PC (Little Endien).",
    "Use NO if the files were made and saved on UNIX (Big Endien). ",
});
const std::string help_10 = lines({
    "Set SWAP Bytes depending on the origin of binary source files.",
    "Use YES if the files were made and saved on a PC (Little Endien).",
    "Use NO if the files were made and saved on UNIX (Big Endien). ",
});
const std::string help_11 = lines({
    "With 'Auto Find Q' checked, when a new I Waveform is entered, an attempt ",
    "will be made to find a matching Q file with an 'I' or 'i' replaced by a 'Q' or 'q'.  If ",
    "such a file is found, it will be automatically entered into Q Waveform box. ",
});
const std::string help_12 = lines({
    "Use a NULL MODEM Cable.   Set Talmer to:",
    "19200 Baud,   Transmit Pace None,     Receive Pace Xon,",
    "RTS/CTS Off,    RS232 Echo Off,    RS232 Timeout = 60 Seconds.",
});

}  // namespace talmer::ui
