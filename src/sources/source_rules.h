// The rules of the source waveform files as plain functions: file type and
// point count of a source, the point display, the download-time estimate
// and the checks before a download. The window's reactions are thin glue
// over these (src/sources/source_reactions.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talmer::sources {

inline constexpr const char *type_binary = "BINARY";
inline constexpr const char *type_ascii = "ASCII";
inline constexpr const char *type_awg = "AWG";

inline constexpr const char *no_download = "No Download";

// A definite-length block names its byte count with at most 9 digits, so
// one channel holds at most 499999999 points (999999998 bytes).
inline constexpr std::int64_t max_points_per_channel = 499999999;

// The file type a source gets from its name: with conversion on, a name
// containing ".wfm" is "AWG", and one containing ".txt", ".asc", ".csv",
// ".prn" or ".dat" is "ASCII" (this wins over ".wfm"); letter case is
// ignored and the whole path counts. Otherwise, and with conversion off,
// "BINARY".
const char *source_type(std::string_view name, bool convert_on);

// The point count of a BINARY or AWG source from its byte length: a BINARY
// file holds length / 2 points, -1 when the length is odd; an AWG file holds
// the whole words after its 102-byte header, floor((length - 102) / 2),
// negative when it is shorter than the header.
std::int64_t points_from_length(std::string_view type, std::int64_t length);

// A size caption read as a number: plain decimal digits; empty or anything
// else counts as 0.
std::int64_t caption_number(std::string_view caption);

// The point display for the two counts, or nullopt when it keeps its text.
// Any negative count (an odd BINARY file, an AWG file shorter than its
// header) shows "No Download", so a pair that cannot be sent never shows
// a stale number.
std::optional<std::string> point_display(std::int64_t i_points, std::int64_t q_points, bool convert_on,
                                         std::string_view i_type, std::string_view q_type);

struct estimate_inputs {
  std::int64_t i_points = 0, q_points = 0;
  std::int64_t i_length = 0, q_length = 0;  // byte lengths
  std::string_view i_type, q_type;
  bool convert_on = false;
  bool rs232 = false;
};

// The estimated download time in seconds before rounding, accumulated in
// single precision.
float download_seconds(const estimate_inputs &in);

// The time display: "No Download" when the point display shows it,
// otherwise the estimate rounded half to even.
std::string time_display(std::string_view points_caption, const estimate_inputs &in);

// Checks of the waveform name before it goes into the instrument's command
// between double quotes: "" when it may be sent, else the message.
std::string check_waveform_name(std::string_view name);

struct validation_inputs {
  std::int64_t i_points = 0, q_points = 0;
  std::string_view i_type, q_type;
  bool convert_on = false;
  std::string_view name;             // the waveform name
  std::string_view points_caption;   // the point display
};

struct validation_result {
  bool error = true;
  std::string text;                  // the message of the failed check
  std::optional<bool> convert;       // set once the conversion is decided
  bool no_download_displays = false; // both displays must show "No Download"
};

// The checks before a download, in their order; the first failing check
// gives the message.
validation_result validate_sources(const validation_inputs &in);

}  // namespace talmer::sources
