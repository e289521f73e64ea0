// Automatic names: the Q file that matches an I file (one letter i
// replaced by q), and the waveform name derived from the I file name.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace talmer::sources {

struct matching_q {
  std::string name;
  std::int64_t i_position;  // 1-based position of the replaced letter
};

// Tries the letters i (either case) of `i_name` from left to right, the
// whole path included: the first whose replacement by q (I by Q) names a
// file for which `exists` answers true gives the Q file.
std::optional<matching_q> find_matching_q(std::string_view i_name,
                                          const std::function<bool(const std::string &)> &exists);

// The waveform name for the I file `i_name` whose letter at `i_position`
// (1-based; 0 or less: none) was replaced to find the Q file: the file name
// without its folder and extension, and without that letter and a "_" or
// "-" next to it. The folder ends at the last ":", "\" or "/" before the
// first "."; "" when nothing is left (the name then stays as it was).
std::string waveform_name_from(std::string_view i_name, std::int64_t i_position);

}  // namespace talmer::sources
