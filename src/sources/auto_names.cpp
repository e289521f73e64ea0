#include "sources/auto_names.h"

namespace talmer::sources {

std::optional<matching_q> find_matching_q(std::string_view i_name,
                                          const std::function<bool(const std::string &)> &exists) {
  for (std::size_t k = 0; k < i_name.size(); ++k) {
    const char c = i_name[k];
    if (c != 'i' && c != 'I') continue;
    std::string candidate(i_name);
    candidate[k] = c == 'I' ? 'Q' : 'q';
    if (exists(candidate)) return matching_q{std::move(candidate), static_cast<std::int64_t>(k) + 1};
  }
  return std::nullopt;
}

namespace {

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// 1-based position of the first `sep` at or after position `from`; 0 when
// there is none.
std::int64_t find_from(std::string_view t, std::int64_t from, char sep) {
  if (from < 1) from = 1;
  for (std::int64_t k = from; k <= static_cast<std::int64_t>(t.size()); ++k)
    if (t[static_cast<std::size_t>(k - 1)] == sep) return k;
  return 0;
}

}  // namespace

std::string waveform_name_from(std::string_view t, std::int64_t i_position) {
  const auto len = static_cast<std::int64_t>(t.size());
  std::string base;
  if (i_position > 0 && i_position <= len) {
    std::int64_t p1 = 0, p2 = 0;
    for (char sep : {'_', '-'}) {
      bool found = false;
      p1 = i_position - 1 < 1 ? 1 : i_position - 1;
      p2 = find_from(t, p1, sep);
      if (p2 != p1 && p2 != i_position + 1) p1 = p2 = i_position;
      if (p2 == i_position + 1) {
        p1 = i_position;
        found = true;
      }
      if (p2 == i_position - 1) {
        p2 = i_position;
        found = true;
      }
      if (found) break;
    }
    base = std::string(t.substr(0, static_cast<std::size_t>(p1 - 1))) +
           std::string(t.substr(static_cast<std::size_t>(p2)));
    base = std::string(trim_blanks(base));
  } else {
    base = std::string(trim_blanks(t));
  }
  std::string result;
  for (char c : base) {
    if (c == '.') break;
    if (c == ':' || c == '\\' || c == '/') result.clear();
    else result += c;
  }
  return result;
}

}  // namespace talmer::sources
