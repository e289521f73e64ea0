// Card detection: which GPIB software is installed, told by its library
// files alone; no hardware is touched.
#include "ui/talmer_arb.h"

namespace talmer::ui {

void TALMER_ARB::find_gpibcard(std::string &gpibcard, bool &error_active, std::string &error_text) {
  gpib_pending.clear();
  show_now(panel_teal, gpib::searching_text);
  os().sleep_ms(500);

  gpibcard = gpib::card_none;
  gpib_found_ = gpib::found_libraries{};
  gpib_found_.detected = true;
  // Every probe runs, so the order of the table changes only the sequence
  // of the trace texts; the first present file of a family is the one its
  // call layer loads.
  for (const auto &probe : gpib_card_probes) {
    gpib_trace(probe.trace);
    gpib_pending.clear();
    auto path = gpib_probe_file(probe);
    if (!path) continue;
    gpibcard = gpib::after_card_found(gpibcard, probe.family);
    std::string &first = probe.family == gpib::card_family::ni ? gpib_found_.ni : gpib_found_.ravlink;
    if (first.empty()) first = gpib::library_load_path(*path, probe);
  }
  gpib_pending.clear();

  if (gpibcard == gpib::card_none) {
    error_text = gpib::no_card_text;
    error_active = true;
  }
}

}  // namespace talmer::ui
