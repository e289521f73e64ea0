// The instrument's command headers and parameter syntax: keywords in short
// or long form without regard to letter case ("mmem:cat?" and
// "MMEMory:CATalog?" are the same query), string parameters in single or
// double quotes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talmer::sim {

enum class command_id {
  idn,           // *IDN
  opc,           // *OPC
  rst,           // *RST
  cls,           // *CLS
  options,       // DIAGnostic:INFOrmation:OPTions
  arb_state,     // RADio:ARB:STATe
  arb_waveform,  // RADio:ARB:WAVeform
  catalog,       // MMEMory:CATalog
  data,          // MMEMory:DATA
  remove,        // MMEMory:DELete
  error,         // SYSTem:ERRor[:NEXT]
};

struct command_header {
  command_id id;
  bool query;
};

// The header of a program message ("rad:arb:stat?"), or nullopt when the
// instrument has no such command.
std::optional<command_header> resolve_header(std::string_view text);

// "*IDN?", "DIAG:INFO:OPT?", "RAD:ARB:STAT?", "MMEM:DATA" ...
std::string canonical_name(command_header h);

// Reads a string parameter at the start of `text` (after blanks): "..." or
// '...', a doubled quote standing for one. On success `text` is left after
// the closing quote; nullopt when there is no complete string.
std::optional<std::string> parse_string(std::string_view &text);

std::string_view trim(std::string_view s);
bool iequals(std::string_view a, std::string_view b);
std::string upper(std::string_view s);

}  // namespace talmer::sim
