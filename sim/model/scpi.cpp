#include "model/scpi.h"

#include <array>
#include <cctype>
#include <vector>

namespace talmer::sim {

namespace {

// A keyword written as in the manuals: the capitals are its short form, the
// whole word its long form. `optional` nodes may be left out.
struct node {
  std::string_view mnemonic;
  bool optional = false;
};

struct command_form {
  command_id id;
  std::vector<node> nodes;
  std::string_view canonical;
};

const std::vector<command_form> &forms() {
  static const std::vector<command_form> table = {
      {command_id::idn, {{"*IDN"}}, "*IDN"},
      {command_id::opc, {{"*OPC"}}, "*OPC"},
      {command_id::rst, {{"*RST"}}, "*RST"},
      {command_id::cls, {{"*CLS"}}, "*CLS"},
      {command_id::options, {{"DIAGnostic"}, {"INFOrmation"}, {"OPTions"}}, "DIAG:INFO:OPT"},
      {command_id::arb_state, {{"RADio"}, {"ARB"}, {"STATe"}}, "RAD:ARB:STAT"},
      {command_id::arb_waveform, {{"RADio"}, {"ARB"}, {"WAVeform"}}, "RAD:ARB:WAV"},
      {command_id::catalog, {{"MMEMory"}, {"CATalog"}}, "MMEM:CAT"},
      {command_id::data, {{"MMEMory"}, {"DATA"}}, "MMEM:DATA"},
      {command_id::remove, {{"MMEMory"}, {"DELete"}}, "MMEM:DEL"},
      {command_id::error, {{"SYSTem"}, {"ERRor"}, {"NEXT", true}}, "SYST:ERR"},
  };
  return table;
}

bool keyword_matches(std::string_view word, std::string_view mnemonic) {
  if (iequals(word, mnemonic)) return true;
  std::size_t caps = 0;
  while (caps < mnemonic.size() && !std::islower(static_cast<unsigned char>(mnemonic[caps]))) ++caps;
  return iequals(word, mnemonic.substr(0, caps));
}

bool nodes_match(const std::vector<std::string_view> &words, std::size_t w, const std::vector<node> &nodes,
                 std::size_t n) {
  if (n == nodes.size()) return w == words.size();
  if (w < words.size() && keyword_matches(words[w], nodes[n].mnemonic) && nodes_match(words, w + 1, nodes, n + 1))
    return true;
  return nodes[n].optional && nodes_match(words, w, nodes, n + 1);
}

}  // namespace

std::string_view trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (std::toupper(static_cast<unsigned char>(a[k])) != std::toupper(static_cast<unsigned char>(b[k]))) return false;
  return true;
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::optional<command_header> resolve_header(std::string_view text) {
  text = trim(text);
  bool query = false;
  if (!text.empty() && text.back() == '?') {
    query = true;
    text.remove_suffix(1);
  }
  if (!text.empty() && text.front() == ':') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::vector<std::string_view> words;
  for (;;) {
    const auto colon = text.find(':');
    words.push_back(text.substr(0, colon));
    if (words.back().empty()) return std::nullopt;
    if (colon == std::string_view::npos) break;
    text.remove_prefix(colon + 1);
  }
  for (const auto &f : forms())
    if (nodes_match(words, 0, f.nodes, 0)) return command_header{f.id, query};
  return std::nullopt;
}

std::string canonical_name(command_header h) {
  for (const auto &f : forms())
    if (f.id == h.id) return std::string(f.canonical) + (h.query ? "?" : "");
  return {};
}

std::optional<std::string> parse_string(std::string_view &text) {
  std::string_view t = text;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  if (t.empty() || (t.front() != '"' && t.front() != '\'')) return std::nullopt;
  const char q = t.front();
  std::string out;
  std::size_t k = 1;
  for (;;) {
    if (k >= t.size()) return std::nullopt;
    if (t[k] == q) {
      if (k + 1 < t.size() && t[k + 1] == q) {
        out.push_back(q);
        k += 2;
        continue;
      }
      text = t.substr(k + 1);
      return out;
    }
    out.push_back(t[k++]);
  }
}

}  // namespace talmer::sim
