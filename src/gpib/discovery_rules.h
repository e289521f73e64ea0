// The rules of the GPIB link discovery, free of any I/O: card families,
// instrument identification, the address list and the order of the address
// search, and the discovery's messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "gpib/card_probes.h"

namespace talmer::gpib {

// ---- Card family (gpibcard) --------------------------------------------
inline constexpr const char *card_none = "NONE";
inline constexpr const char *card_ni = "NI";
inline constexpr const char *card_corvane = "Corvane";
inline constexpr const char *card_both = "BOTH";

bool ni_family(std::string_view gpibcard);       // "NI" or "BOTH"
bool corvane_family(std::string_view gpibcard);  // "Corvane" or "BOTH"
// The family after a present library file of `found`: "NI" for an NI file;
// for a Corvane file "BOTH" when NI was found before, else "Corvane".
std::string after_card_found(std::string_view gpibcard, card_family found);

// ---- Texts -------------------------------------------------------------
inline constexpr const char *searching_text = "Searching for GPIB card and interface.";
inline constexpr const char *no_card_text = "Could not find a Corvane or National Instruments GPIB card.";
inline constexpr const char *no_arb_option_text =
    "Found GPIB interface and Talmer, but ARB option is not enabled.";
inline constexpr const char *ni_interface_prefix = "Found NI gpib interface at ";
inline constexpr const char *corvane_interface_prefix = "Found GPIB interface at ";

// "Starting step:  ", LF, CR, then the step.
std::string trace_text(std::string_view step);
// No interface answered, for the family in gpibcard.
std::string no_interface_text(std::string_view gpibcard);
// No instrument identified: after the automatic search, or at the one
// address chosen in the list (list_text is the list's text).
std::string no_talmer_text(std::string_view prefix, std::string_view intfc, bool automatic,
                           std::string_view list_text);
// "Testing address: " and the address as the number's text with its sign
// position: a blank for 0 and above, the minus sign below.
std::string testing_address_text(std::int32_t address);

// ---- Replies -----------------------------------------------------------
bool contains_ignoring_case(std::string_view text, std::string_view word);
// "Talmer-D" or "K902" anywhere in the reply, in any letter case.
bool identifies_talmer(std::string_view idn_reply);
// "QVX" anywhere in the option reply, in any letter case.
bool has_arb_option(std::string_view option_reply);

// ---- Numbers -------------------------------------------------------------
// The numeric value of a text: the number it starts with (after leading
// blanks and tabs), 0 when it starts with none.
double numeric_value(std::string_view text);
// Rounded to the nearest integer, halves to the even one, held to 16 bits.
std::int16_t round_to_int16(double v);

// ---- Address search ------------------------------------------------------
inline constexpr std::int16_t first_auto_address = 19;
inline constexpr std::int16_t address_limit = 31;  // addresses are 0 to 30

struct address_choice {
  std::int16_t first;  // the first address probed
  bool automatic;      // the list shows "Auto Detect"
};
// What the address list's text asks for: "Auto Detect" (any letter case)
// starts at 19; any other text is one address, its rounded numeric value.
address_choice address_from_list(std::string_view list_text);

// The address probed after `current`; address_limit or more ends the
// search. The automatic search wraps once from 30 to 0 (first_pass turns
// false); the Corvane search then stops after 19, the NI search after 30.
std::int16_t next_address(std::int16_t current, bool automatic, bool &first_pass, bool corvane);

}  // namespace talmer::gpib
