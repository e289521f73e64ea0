#include "download/download_rules.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace talmer::download {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

double numeric_value(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
    ++i;
  const std::size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && is_digit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && is_digit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  std::size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && is_digit(text[j])) {
      while (j < text.size() && is_digit(text[j])) ++j;
      end = j;
    }
  }
  std::string number(text.substr(start, end - start));
  std::replace(number.begin(), number.end(), 'd', 'e');
  std::replace(number.begin(), number.end(), 'D', 'e');
  // strtod of the C locale: the decimal separator is always a point.
  return std::strtod(number.c_str(), nullptr);
}

double round_half_even(double x) {
  if (!std::isfinite(x)) return x;
  const double f = std::floor(x);
  const double diff = x - f;
  if (diff < 0.5) return f;
  if (diff > 0.5) return f + 1.0;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

bool arb_running(std::string_view reply) {
  return !reply.empty() && reply[0] >= '1' && reply[0] <= '9';
}

bool contains_no_case(std::string_view text, std::string_view part) {
  if (part.empty()) return true;
  auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
                        [](char a, char b) { return lower(a) == lower(b); });
  return it != text.end();
}

bool selected_waveform_is(std::string_view reply, std::string_view name) {
  std::string wanted = "arbi:";
  wanted += name;
  wanted += '"';
  return contains_no_case(reply, wanted);
}

int ni_data_timeout_code(double estimate_s, double i_length, double q_length) {
  const double t = estimate_s / (i_length + q_length) * 2.0 * 8192.0;
  // ln of 0 is -inf and of a negative t or NaN is NaN; both end at the
  // lower bound, as does any code that is not above it.
  double code = std::floor(12.42 + 0.869 * std::log(t));
  if (code > 15.0) code = 15.0;
  if (!(code >= 12.0)) code = 12.0;
  return static_cast<int>(code);
}

std::int32_t ravlink_data_timeout_ms(double estimate_s, std::int64_t points) {
  const double ms = round_half_even(2000.0 * estimate_s * 8192.0 / static_cast<double>(points));
  if (!(ms < static_cast<double>(longest_data_timeout_ms))) return longest_data_timeout_ms;
  if (!(ms > 0.0)) return 0;
  return static_cast<std::int32_t>(ms);
}

std::string using_interface_text(std::string_view gpibcard, std::string_view intfc, int address) {
  std::string s = "Using ";
  s += gpibcard;
  s += " gpib interface at ";
  s += intfc;
  s += " with an Talmer at address ";
  s += std::to_string(address);
  s += ".";
  return s;
}

std::string downloading_text(channel c) {
  return std::string("Downloading ") + channel_letter(c) + " waveform.";
}

std::string replace_blocked_text(std::string_view name) {
  const std::string n(name);
  return "In order to replace '" + n + "', the ARB must be off, or '" + n +
         "' must not be the selected waveform in the ARB.";
}

std::string ni_timeout_text(channel c) {
  return std::string(" ") + channel_letter(c) +
         " Waveform download timeout.  Check GPIB Cable and Talmer.";
}

std::string ravlink_timeout_text(channel c) {
  return std::string(" ") + channel_letter(c) +
         " Waveform download timeout.  Check GPIB cable and Talmer.";
}

std::string source_read_failed_text(channel c, std::string_view path) {
  const char l = channel_letter(c);
  return std::string("Could not read the ") + l + " waveform file " + std::string(path) +
         " in full; it was moved or changed after it was checked.  The " + l +
         " waveform download was stopped.";
}

std::string too_long_text() {
  return "Waveform too long to download: at most " + std::to_string(max_block_points) +
         " points.";
}

std::string not_confirmed_text() {
  return "The Talmer did not answer after the last waveform block; the waveform may not be "
         "stored.  Check GPIB cable and Talmer.";
}

std::string clock_text(std::int32_t awg_clock) {
  float f = static_cast<float>(awg_clock);
  const char *unit = "Hz";
  if (awg_clock > 999) {
    f = static_cast<float>(awg_clock / 1000.0);
    unit = "kHz";
  }
  if (awg_clock > 999999) {
    f = static_cast<float>(awg_clock / 1000000.0);
    unit = "MHz";
  }
  char number[32];
  std::snprintf(number, sizeof number, "%.7g", static_cast<double>(f));
  std::string s = f < 0 ? "" : " ";
  s += number;
  s += " ";
  s += unit;
  return s;
}

std::string success_text(bool convert_flg, std::int32_t awg_clock, bool dataerror) {
  if (convert_flg && awg_clock > 10)
    return std::string(done_text) + "  Set ARB Sample Clock Frequency to " + clock_text(awg_clock) +
           ".";
  std::string s(done_text);
  if (dataerror) {
    s += "\n\r";
    s += data_error_text;
  }
  return s;
}

}  // namespace talmer::download
