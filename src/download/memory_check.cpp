#include "download/memory_check.h"

#include <cmath>

#include "download/download_rules.h"

namespace talmer::download {

namespace {

constexpr double block_size = 8192.0;

// Index of the first occurrence of `what` in `s` at or after `from`,
// ignoring letter case; npos when there is none.
std::size_t find_no_case(const std::string &s, std::string_view what, std::size_t from) {
  if (from > s.size()) return std::string::npos;
  const std::string_view rest = std::string_view(s).substr(from);
  for (std::size_t i = 0; i + what.size() <= rest.size(); ++i)
    if (contains_no_case(rest.substr(i, what.size()), what)) return from + i;
  return std::string::npos;
}

std::string trim_blanks(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return std::string(s.substr(first, last - first + 1));
}

}  // namespace

std::string not_enough_memory_text(std::string_view name) {
  return "Not enough memory to download '" + std::string(name) + "'.";
}

memory_check check_avail_memory(std::string &strbuf, std::string_view name,
                                std::string_view points_caption, bool &error_active,
                                std::string &error_text) {
  // The appended comma lets the free field be found when the reply has
  // only two fields.
  strbuf = trim_blanks(strbuf) + ",";
  const std::string &s = strbuf;

  // Second field: bytes free. With no comma in the reply the first comma
  // is the appended one and there is no second field.
  const std::size_t free_start = s.find(',') + 1;
  const std::size_t free_end = s.find(',', free_start);
  if (free_end == std::string::npos) return memory_check::unparsable;
  const double free_bytes =
      round_half_even(numeric_value(std::string_view(s).substr(free_start, free_end - free_start)));

  // The entry of a stored waveform of this name: "name,type,size". The
  // quote in front and the comma behind keep "wave1" from matching "wave".
  std::string key = "\"";
  key += name;
  key += ",";
  double size = 0.0;
  const std::size_t entry = find_no_case(s, key, 0);
  if (entry != std::string::npos && entry > 0) {
    const std::size_t type_comma = s.find(',', entry);
    const std::size_t size_comma = s.find(',', type_comma + 1);
    if (size_comma == std::string::npos) return memory_check::unparsable;
    const std::size_t size_start = size_comma + 1;
    const std::size_t size_end = s.find('"', size_start);
    if (size_end == std::string::npos) return memory_check::unparsable;
    size = round_half_even(numeric_value(std::string_view(s).substr(size_start, size_end - size_start)));
    // A stored waveform occupies whole blocks of 8192 bytes.
    if (std::fmod(size, block_size) != 0.0) size = (std::floor(size / block_size) + 1.0) * block_size;
  }

  const double available = free_bytes + size;
  if (available / 2.0 < numeric_value(points_caption)) {
    error_text = not_enough_memory_text(name);
    error_active = true;
    return memory_check::does_not_fit;
  }
  return memory_check::fits;
}

}  // namespace talmer::download
