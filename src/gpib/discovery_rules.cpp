#include "gpib/discovery_rules.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>

namespace talmer::gpib {

bool ni_family(std::string_view gpibcard) { return gpibcard == card_ni || gpibcard == card_both; }

bool corvane_family(std::string_view gpibcard) {
  return gpibcard == card_corvane || gpibcard == card_both;
}

std::string after_card_found(std::string_view gpibcard, card_family found) {
  if (found == card_family::ni) return card_ni;
  return ni_family(gpibcard) ? card_both : card_corvane;
}

std::string trace_text(std::string_view step) {
  std::string s = "Starting step:  \n\r";
  s += step;
  return s;
}

std::string no_interface_text(std::string_view gpibcard) {
  if (gpibcard == card_both) return "Found both Corvane and NI gpib cards, but no installed interface. ";
  std::string s = "Found a ";
  s += gpibcard;
  s += " gpib card, but no installed interface. ";
  return s;
}

std::string no_talmer_text(std::string_view prefix, std::string_view intfc, bool automatic,
                           std::string_view list_text) {
  std::string s(prefix);
  s += intfc;
  if (automatic) {
    s += ", but no (Digital) Talmer attached.\n\rCheck cable or cycle power  on the Talmer. ";
  } else {
    s += ", but no (Digital) Talmer at address ";
    s += list_text;
    s += ".\n\rTry using Auto Detect.";
  }
  return s;
}

std::string testing_address_text(std::int32_t address) {
  std::string s = "Testing address: ";
  if (address >= 0) s += ' ';
  s += std::to_string(address);
  return s;
}

bool contains_ignoring_case(std::string_view text, std::string_view word) {
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  auto it = std::search(text.begin(), text.end(), word.begin(), word.end(),
                        [&](char a, char b) { return lower(a) == lower(b); });
  return word.empty() || it != text.end();
}

bool identifies_talmer(std::string_view idn_reply) {
  return contains_ignoring_case(idn_reply, "Talmer-D") || contains_ignoring_case(idn_reply, "K902");
}

bool has_arb_option(std::string_view option_reply) { return contains_ignoring_case(option_reply, "QVX"); }

double numeric_value(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::string num;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) num += text[i++];
  bool digits = false;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    num += text[i++];
    digits = true;
  }
  if (i < text.size() && text[i] == '.') {
    num += text[i++];
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      num += text[i++];
      digits = true;
    }
  }
  if (!digits) return 0.0;
  // An exponent counts only when digits follow it.
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    std::size_t j = i + 1;
    std::string ex = "e";
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ex += text[j++];
    bool exp_digits = false;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
      ex += text[j++];
      exp_digits = true;
    }
    if (exp_digits) num += ex;
  }
  // from_chars does not accept a leading '+' and, unlike strtod, ignores
  // the locale's decimal separator.
  const char *b = num.data();
  const char *e = num.data() + num.size();
  if (*b == '+') ++b;
  double v = 0.0;
  auto [p, ec] = std::from_chars(b, e, v);
  if (ec == std::errc::result_out_of_range) return (*b == '-') ? -HUGE_VAL : HUGE_VAL;
  if (ec != std::errc()) return 0.0;
  return v;
}

std::int16_t round_to_int16(double v) {
  if (std::isnan(v)) return 0;
  const double r = std::nearbyint(std::clamp(v, -32768.0, 32767.0));
  return static_cast<std::int16_t>(r);
}

address_choice address_from_list(std::string_view list_text) {
  if (list_text.size() == 11 && contains_ignoring_case(list_text, "Auto Detect"))
    return {first_auto_address, true};
  return {round_to_int16(numeric_value(list_text)), false};
}

std::int16_t next_address(std::int16_t current, bool automatic, bool &first_pass, bool corvane) {
  int next = current + 1;
  if (!automatic) return static_cast<std::int16_t>(address_limit + 1);
  if (first_pass && next > 30) {
    first_pass = false;
    next = 0;
  }
  if (corvane && !first_pass && next > first_auto_address) next = address_limit + 1;
  return static_cast<std::int16_t>(std::min(next, 32767));
}

}  // namespace talmer::gpib
