// The headless front end: drives the window model exactly as a user would,
// in a fixed order of actions, printing the message panel as it changes.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "ui/talmer_arb.h"

namespace talmer::ui {

struct headless_options {
  std::optional<bool> auto_q, auto_name;
  std::optional<std::string> convert, swap, link, address, i_path, q_path, name;
  bool debug = false;
  bool download = false;
  bool show = false;
};

// Checks the values that the option parser cannot check alone (the address
// against the link); returns an error text naming the option, or "".
std::string check_headless_options(const headless_options &o);

// The text of `Talmerid` that an --address value selects on the given link
// ("auto" is "Auto Detect"); nullopt when the value is not valid there.
std::optional<std::string> address_entry(const std::string &value, bool rs232);

// Escapes a message for one `key=value` line: LF as \n, CR as \r, a
// backslash as \\.
std::string escape_message(const std::string &text);

// The panel text as printed on standard error: each LF CR pair as one newline.
std::string printable_message(const std::string &text);

// Prints every change of the message panel to `err` as "[colour] text".
class panel_printer {
 public:
  panel_printer(TALMER_ARB &w, std::ostream &err);
  ~panel_printer();
  panel_printer(const panel_printer &) = delete;
  panel_printer &operator=(const panel_printer &) = delete;
  // Prints the final state when it differs from the last line printed (a
  // colour change that came without a new text).
  void flush();

 private:
  void print();
  TALMER_ARB &w_;
  std::ostream &err_;
  int token_;
  std::string last_;
};

// Writes the final state, one key=value per line.
void show_state(TALMER_ARB &w, std::ostream &out);

// Runs the actions of `o` on a loaded window; returns the exit status
// (0 when the panel is not red at the end, 1 when it is red).
int run_headless(TALMER_ARB &w, const headless_options &o, std::ostream &out, std::ostream &err);

}  // namespace talmer::ui
