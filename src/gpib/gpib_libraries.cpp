// The window's access to the two GPIB libraries: where card detection
// found them, loading them on first use, and the discovery's debug trace.
#include "gpib/library_status.h"
#include "ui/talmer_arb.h"

namespace talmer::ui {

using gpib::card_family;

void TALMER_ARB::gpib_trace(const std::string &step) {
  if (debug_active == vb_false) return;
  show_message(gpib::trace_text(step));
  repaint_panel();
}

std::optional<std::string> TALMER_ARB::gpib_probe_file(const gpib::card_probe &probe) {
  std::optional<std::string> env_value;
  if (probe.env_name != nullptr) env_value = os().env(probe.env_name);
  auto path = gpib::probe_path(probe, env_value);
  if (!path || path->empty()) return std::nullopt;
  // Present when its length can be read; the length itself does not matter.
  if (!os().file_length(*path)) return std::nullopt;
  return path;
}

std::string TALMER_ARB::gpib_library_file(card_family family) {
  if (gpib_found_.detected) return family == card_family::ni ? gpib_found_.ni : gpib_found_.ravlink;
  // No detection has run yet (an operation called on its own): look the
  // files up the same way, without a trace.
  for (const auto &probe : gpib_card_probes) {
    if (probe.family != family) continue;
    if (auto path = gpib_probe_file(probe)) return gpib::library_load_path(*path, probe);
  }
  return "";
}

ni488::call_layer *TALMER_ARB::ni488_layer(std::string &problem) {
  const std::string path = gpib_library_file(card_family::ni);
  if (path.empty()) {
    problem = gpib::library_problem_text(gpib::library_state::not_found, ni488::library_kind, "", "");
    return nullptr;
  }
  // The loaded driver stays loaded (its status cells stay registered) as
  // long as detection keeps finding the same file.
  if (gpib_ni488_ && gpib_ni488_->driver().path() == path) return gpib_ni488_.get();
  auto entries = ni488::driver_entries::load(os(), path, problem);
  if (!entries) return nullptr;
  gpib_ni488_ = std::make_unique<ni488::call_layer>(std::move(entries), os(), window_title);
  return gpib_ni488_.get();
}

ravlink::call_layer *TALMER_ARB::ravlink_layer(std::string &problem) {
  const std::string path = gpib_library_file(card_family::corvane);
  if (path.empty()) {
    problem = gpib::library_problem_text(gpib::library_state::not_found, ravlink::library_kind, "", "");
    return nullptr;
  }
  if (gpib_ravlink_ && gpib_ravlink_->library().path() == path) return gpib_ravlink_.get();
  auto entries = ravlink::library_entries::load(os(), path, problem);
  if (!entries) return nullptr;
  gpib_ravlink_ = std::make_unique<ravlink::call_layer>(std::move(entries), gpib_pending);
  return gpib_ravlink_.get();
}

}  // namespace talmer::ui
