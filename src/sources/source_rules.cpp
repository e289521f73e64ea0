#include "sources/source_rules.h"

#include <charconv>

#include "sources/rounding.h"
#include "ui/messages.h"

namespace talmer::sources {

namespace {

bool contains_nocase(std::string_view text, std::string_view what) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  if (what.size() > text.size()) return false;
  for (std::size_t k = 0; k + what.size() <= text.size(); ++k) {
    std::size_t j = 0;
    while (j < what.size() && lower(text[k + j]) == lower(what[j])) ++j;
    if (j == what.size()) return true;
  }
  return false;
}

// Characters as the user sees them: bytes that do not continue a UTF-8
// sequence.
std::size_t character_count(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

}  // namespace

const char *source_type(std::string_view name, bool convert_on) {
  if (!convert_on) return type_binary;
  const char *type = type_binary;
  if (contains_nocase(name, ".wfm")) type = type_awg;
  for (const char *ext : {".txt", ".asc", ".csv", ".prn", ".dat"})
    if (contains_nocase(name, ext)) type = type_ascii;
  return type;
}

std::int64_t points_from_length(std::string_view type, std::int64_t length) {
  if (type == type_awg) {
    const std::int64_t words = length - 102;
    return words >= 0 ? words / 2 : -((-words + 1) / 2);  // floor
  }
  return length % 2 == 0 ? length / 2 : -1;
}

std::int64_t caption_number(std::string_view caption) {
  std::int64_t v = 0;
  auto [p, ec] = std::from_chars(caption.data(), caption.data() + caption.size(), v);
  if (ec != std::errc() || p != caption.data() + caption.size() || v < 0) return 0;
  return v;
}

std::optional<std::string> point_display(std::int64_t i, std::int64_t q, bool convert_on, std::string_view i_type,
                                         std::string_view q_type) {
  std::optional<std::string> r;
  if (i <= 0 && q <= 0) r = no_download;
  if (i == 0 && q > 0) r = std::to_string(q);
  if (i > 0 && q == 0) r = std::to_string(i);
  if (i > 0 && q > 0 && i != q) r = no_download;
  if (i > 0 && i == q) r = std::to_string(i);
  if (convert_on && i > 0 && i == q && i_type != q_type) r = no_download;
  if (i < 0 || q < 0) r = no_download;
  return r;
}

float download_seconds(const estimate_inputs &in) {
  const bool ascii = in.convert_on && (in.i_type == type_ascii || in.q_type == type_ascii);
  const double points = static_cast<double>(in.i_points) + static_cast<double>(in.q_points);
  const double bytes = static_cast<double>(in.i_length) + static_cast<double>(in.q_length);
  float t = 2;
  if (ascii) {
    if (in.i_points > 0) t = t + 2;
    if (in.q_points > 0) t = t + 2;
    t = static_cast<float>(t + bytes / 45000);
    if (in.rs232) t = static_cast<float>(t + points / 900);
  } else {
    if (in.i_points > 0) t = t + 3.25f;
    if (in.q_points > 0) t = t + 3.25f;
    t = static_cast<float>(t + points / 38000);
    if (in.rs232) t = static_cast<float>(t + bytes / 1820);
  }
  return t;
}

std::string time_display(std::string_view points_caption, const estimate_inputs &in) {
  if (points_caption == no_download) return no_download;
  return std::to_string(static_cast<std::int64_t>(round_half_even(download_seconds(in))));
}

std::string check_waveform_name(std::string_view name) {
  // The name travels between double quotes in the store command, one byte a
  // character, and comes back in the catalog between a double quote and a
  // comma: a quote, a comma, a control character or a character beyond
  // 7-bit ASCII would end the command early, split a catalog entry, or
  // change on the way.
  for (unsigned char c : name)
    if (c < 32 || c >= 127 || c == '"' || c == ',')
      return "Talmer Waveform Name must not contain double quotes, commas, control or non-ASCII characters.";
  return "";
}

validation_result validate_sources(const validation_inputs &in) {
  validation_result r;
  auto fail = [&r](std::string text) {
    r.text = std::move(text);
    return r;
  };
  if (in.i_points + in.q_points == 0) {
    r.no_download_displays = true;
    return fail("Source I and Q files not found.");
  }
  if (in.name.empty()) return fail("Talmer Waveform Name must be entered.");
  if (character_count(in.name) > 23) return fail("Talmer Waveform Name must be less than 24 characters.");
  if (std::string t = check_waveform_name(in.name); !t.empty()) return fail(t);

  bool convert = false;
  r.convert = false;
  auto converted = [](std::string_view t) { return t == type_awg || t == type_ascii; };
  if (in.convert_on) {
    if (in.i_points > 0 && in.q_points > 0) {
      if (in.i_type != in.q_type) return fail("I and Q files must be the same type for conversion.");
      if (converted(in.i_type)) convert = true;
    }
    if (in.i_points > 0 && in.q_points == 0 && converted(in.i_type)) convert = true;
    if (in.i_points == 0 && in.q_points > 0 && converted(in.q_type)) convert = true;
  }
  r.convert = convert;

  if (in.points_caption == no_download)
    return fail(std::string("Waveforms must be equal length or one of zero length,") + ui::NL +
                " and must have an even number of points.");
  const std::int64_t p = caption_number(in.points_caption);
  if (p < 16) return fail("Waveform must have at least 16 waveform points.");
  if (p % 2 != 0) return fail("Waveform must have an even number of waveform points.");
  if (p > max_points_per_channel) return fail("Waveform must have at most 499999999 waveform points.");
  r.error = false;
  return r;
}

}  // namespace talmer::sources
