#include "ui/headless.h"

#include "download/progress_printer.h"

#include <charconv>
#include <exception>
#include <initializer_list>
#include <ostream>

namespace talmer::ui {

namespace {
std::optional<int> small_number(const std::string &s) {
  int v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}
}  // namespace

std::optional<std::string> address_entry(const std::string &value, bool rs232) {
  if (value == "auto" || value == "Auto Detect") return std::string("Auto Detect");
  if (!rs232) {
    auto n = small_number(value);
    if (n && *n >= 0 && *n <= 30) return std::to_string(*n);
    return std::nullopt;
  }
  std::string digits = value;
  if (digits.rfind("Comm ", 0) == 0) digits = digits.substr(5);
  auto n = small_number(digits);
  if (n && *n >= 1 && *n <= 4) return "Comm " + std::to_string(*n);
  return std::nullopt;
}

std::string check_headless_options(const headless_options &o) {
  if (o.address) {
    const bool rs232 = o.link && *o.link == "rs232";
    if (!address_entry(*o.address, rs232))
      return rs232 ? "--address: on rs232 the port is auto, 1 to 4 or \"Comm N\""
                   : "--address: on gpib the address is auto or a number from 0 to 30";
  }
  return "";
}

std::string escape_message(const std::string &text) {
  std::string r;
  r.reserve(text.size());
  for (char c : text) {
    if (c == '\n') r += "\\n";
    else if (c == '\r') r += "\\r";
    else if (c == '\\') r += "\\\\";
    else r += c;
  }
  return r;
}

std::string printable_message(const std::string &text) {
  std::string r;
  r.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == '\r') {
      r += '\n';
      ++i;
    } else {
      r += text[i];
    }
  }
  return r;
}

panel_printer::panel_printer(TALMER_ARB &w, std::ostream &err) : w_(w), err_(err) {
  token_ = w_.Messages.observe([this](control &, change c) {
    if (c == change::content) print();
  });
}

panel_printer::~panel_printer() { w_.Messages.unobserve(token_); }

void panel_printer::print() {
  std::string line = "[" + colour_name(w_.msgsbkgd.fill()) + "] " + printable_message(w_.Messages.caption());
  err_ << line << '\n' << std::flush;
  last_ = std::move(line);
}

void panel_printer::flush() {
  std::string line = "[" + colour_name(w_.msgsbkgd.fill()) + "] " + printable_message(w_.Messages.caption());
  if (line != last_) print();
}

void show_state(TALMER_ARB &w, std::ostream &out) {
  out << "I_source=" << w.I_source.text() << '\n'
      << "I_length=" << w.I_length.caption() << '\n'
      << "i_filetype=" << w.i_filetype << '\n'
      << "i_points=" << w.i_points << '\n'
      << "Q_source=" << w.Q_source.text() << '\n'
      << "Q_length=" << w.Q_length.caption() << '\n'
      << "q_filetype=" << w.q_filetype << '\n'
      << "q_points=" << w.q_points << '\n'
      << "points=" << w.points.caption() << '\n'
      << "dwnldtime=" << w.dwnldtime.caption() << '\n'
      << "destination=" << w.destination.text() << '\n'
      << "Swap=" << w.Swap.text() << '\n'
      << "convert_wfm=" << w.convert_wfm.text() << '\n'
      << "link=" << (w.serial.selected() ? "rs232" : "gpib") << '\n'
      << "lblCOMM=" << w.lblCOMM.caption() << '\n'
      << "Talmerid=" << w.Talmerid.text() << '\n'
      << "msgsbkgd=" << colour_name(w.msgsbkgd.fill()) << '\n'
      << "Messages=" << escape_message(w.Messages.caption()) << '\n';
  // Whether every input that Start Download locks is unlocked again (the
  // two source path boxes are not counted: they start read-only).
  bool unlocked = true;
  for (const control *c : std::initializer_list<const control *>{
           &w.PgmExit, &w.Talmerid, &w.destination, &w.Start_dwnld,
           &w.clearsrc, &w.Swap, &w.convert_wfm, &w.Select_I, &w.Select_Q, &w.Refresh_files,
           &w.corvaneib, &w.serial, &w.Auto_name, &w.auto_find_q})
    unlocked = unlocked && c->enabled();
  out << "inputs=" << (unlocked ? "enabled" : "locked") << '\n';
}

namespace {
// The user's actions of `o`, in their fixed order.
void run_actions(TALMER_ARB &w, const headless_options &o, std::ostream &err) {
  if (o.auto_q) w.auto_find_q.set_checked(*o.auto_q);
  if (o.auto_name) w.Auto_name.set_checked(*o.auto_name);
  if (o.convert) w.convert_wfm.choose_text(*o.convert);
  if (o.swap) w.Swap.choose_text(*o.swap);
  if (o.link) {
    if (*o.link == "rs232") w.serial.mouse_down();
    else w.corvaneib.mouse_down();
  }
  if (o.address) w.Talmerid.set_text(address_entry(*o.address, w.serial.selected()).value_or(""));
  auto choose_file = [&w](const std::string &path, command_button &button) {
    auto saved = w.show_file_chooser;
    w.show_file_chooser = [&w, &path] { w.getfile = path; };
    button.click();
    w.show_file_chooser = saved;
  };
  if (o.i_path) choose_file(*o.i_path, w.Select_I);
  if (o.q_path) choose_file(*o.q_path, w.Select_Q);
  if (o.name) w.destination.set_text(*o.name);
  if (o.debug) w.debug_active = vb_true;
  if (o.download) {
    download::progress_printer progress(w, err);
    w.Start_dwnld.click();
  }
}
}  // namespace

int run_headless(TALMER_ARB &w, const headless_options &o, std::ostream &out, std::ostream &err) {
  panel_printer printer(w, err);
  // An exception out of a reaction must not end the program unseen: it is
  // shown on the red panel like a failed download, and the state is still
  // printed. The end of the program (tests) passes through.
  try {
    run_actions(w, o, err);
  } catch (const platform::program_ended &) {
    throw;
  } catch (const std::exception &e) {
    w.show_now(panel_red, std::string("The action stopped: ") + e.what());
  } catch (...) {
    w.show_now(panel_red, "The action stopped because of an unexpected error.");
  }
  printer.flush();
  if (o.show) show_state(w, out);
  out << std::flush;
  return w.msgsbkgd.fill() == panel_red ? 1 : 0;
}

}  // namespace talmer::ui
