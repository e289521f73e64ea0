// The download's plain rules: reading the Talmer's replies, the time-outs of
// both GPIB links, and every text the download shows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "download/commands.h"

namespace talmer::download {

// ---- Numbers in texts ---------------------------------------------------------

// The numeric value of the leading number of a text: leading blanks, tabs,
// line feeds and carriage returns are skipped; then an optional sign,
// digits, an optional fraction and an optional exponent are read; anything
// after them is ignored. A text that does not start with a number is 0.
double numeric_value(std::string_view text);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double round_half_even(double x);

// ---- Replies ------------------------------------------------------------------

// True when the ARB-state reply says the ARB is running: its first
// character is a digit 1 to 9. "0", a letter, a sign, a blank or an empty
// reply mean stopped.
bool arb_running(std::string_view reply);

// True when the selected-waveform reply names `name` as the waveform of
// the I memory: it contains "arbi:" + name + a double quote, ignoring
// letter case.
bool selected_waveform_is(std::string_view reply, std::string_view name);

// True when `text` contains `part`, ignoring letter case.
bool contains_no_case(std::string_view text, std::string_view part);

// ---- Time-outs ----------------------------------------------------------------

// The NI-488.2 data time-out code for the waveform blocks, from the
// download-time estimate (seconds) and the two source sizes (bytes):
// t = estimate / (I size + Q size) x 16384 seconds for one chunk, code =
// floor(12.42 + 0.869 ln t), kept within 12 (3 s) to 15 (100 s). Computed
// and bounded in floating point: a zero or negative t, empty sizes (a
// division by zero), NaN or infinity give a code within the bounds (12 when
// t has no logarithm, 15 for an infinite t).
int ni_data_timeout_code(double estimate_s, double i_length, double q_length);

// The longest data time-out of either GPIB link: the NI-488.2 code 15.
inline constexpr std::int32_t longest_data_timeout_ms = 100000;

// The Ravlink data time-out of a channel of `points` points, in
// milliseconds: twice the estimated time of one 8192-point chunk, taking
// the whole estimate as spent on this channel: 2000 x estimate x 8192 /
// points, halves to even. It is bounded above by the NI-488.2 link's
// longest time-out (100 s): for short waveforms the formula reaches hours
// (16 points with an estimate of 5 s give 5,120,000 ms), and an instrument
// that stops answering would freeze the window that long. Below, it is
// left as computed (it shrinks with the real transfer time of a chunk);
// a negative value is taken as 0.
std::int32_t ravlink_data_timeout_ms(double estimate_s, std::int64_t points);

// ---- Texts --------------------------------------------------------------------

// "Using NI gpib interface at 0 with an Talmer at address 19."
std::string using_interface_text(std::string_view gpibcard, std::string_view intfc, int address);

// "Downloading I waveform." / "Downloading Q waveform."
std::string downloading_text(channel c);

// The text of a waveform name that the running ARB plays.
std::string replace_blocked_text(std::string_view name);

inline constexpr std::string_view unknown_io_error_text =
    "Unknown I/O error while finding memory size.";

// The time-out messages of the two links for a failed chunk.
std::string ni_timeout_text(channel c);       // "... Check GPIB Cable and Talmer."
std::string ravlink_timeout_text(channel c);  // "... Check GPIB cable and Talmer."

// A channel whose source file could not be opened or read in full during
// the transfer (it vanished or shrank after it was checked).
std::string source_read_failed_text(channel c, std::string_view path);

// A waveform with more points than one block can announce.
std::string too_long_text();

// The Talmer did not answer the completion query after the last block.
std::string not_confirmed_text();

inline constexpr std::string_view done_text = "Done with download.";
inline constexpr std::string_view data_error_text =
    "One or more data points invalid or out-of-range.";

// The sample clock as shown after "to": a single-precision number with up
// to 7 significant digits and the blank of its sign position, a blank and
// the unit ("Hz"; "kHz" above 999 Hz; "MHz" above 999999 Hz).
// 11 -> " 11 Hz", 999999 -> " 999.999 kHz", 100000000 -> " 100 MHz".
std::string clock_text(std::int32_t awg_clock);

// The message of a download that succeeded: the sample clock to set when
// converted AWG2021 sources carried a clock above 10 Hz; otherwise "Done
// with download.", with the data-error line when a converted ASCII value
// was invalid (not shown together with the clock).
std::string success_text(bool convert_flg, std::int32_t awg_clock, bool dataerror);

}  // namespace talmer::download
