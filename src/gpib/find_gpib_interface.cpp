// Interface selection: the first configured interface of the installed
// GPIB software, National Instruments boards first.
#include "ui/talmer_arb.h"

namespace talmer::ui {

void TALMER_ARB::find_gpib_interface(std::string &gpibcard, std::string &intfc, bool &error_active,
                                     std::string &error_text) {
  using gpib::card_none;
  using gpib::corvane_family;
  using gpib::ni_family;

  gpib_pending.clear();
  std::string problems;  // libraries that were found but cannot be used
  auto note_problem = [&problems](const std::string &p) {
    if (!problems.empty()) problems += NL;
    problems += p;
  };

  intfc = card_none;
  std::int16_t counter = 0;
  // One variable serves both families and keeps its value from one probe
  // to the next (a failed open delivers no new id).
  std::int16_t descriptor = 0;

  gpib_trace("find_gpib_interface: GPIBx (for NI card)");
  ni488::call_layer *ni = nullptr;
  if (ni_family(gpibcard)) {
    std::string problem;
    ni = ni488_layer(problem);
    if (ni == nullptr) note_problem(problem);
  }
  while (ni != nullptr && counter < 4 && intfc == card_none && ni_family(gpibcard)) {
    ni->ibfind("GPIB" + std::to_string(counter), descriptor);
    if (descriptor > -1) {
      intfc = std::to_string(counter);
      gpibcard = gpib::card_ni;
      ni->ibsic(descriptor);
      ni->ibonl(descriptor, 0);
    }
    ++counter;
  }

  gpib_trace("find_gpib_interface: corvaneib (for Corvane card)");
  gpib_pending.clear();
  ravlink::call_layer *rav = nullptr;
  if (intfc == card_none && corvane_family(gpibcard)) {
    std::string problem;
    rav = ravlink_layer(problem);
    if (rav == nullptr) note_problem(problem);
  }
  auto corvane_wanted = [&] { return rav != nullptr && intfc == card_none && corvane_family(gpibcard); };
  // A name counts as installed only when opening it, setting its time-out
  // and clearing it all succeed; it is closed again. A connection that
  // opened but failed the other steps is closed too, so none is left open.
  auto probe = [&](const std::string &name) {
    auto opened = rav->vb_iopen(name);
    if (opened) descriptor = *opened;
    auto timed = rav->vb_itimeout(descriptor, 100);
    auto cleared = rav->vb_iclear(descriptor);
    const bool all_succeeded = opened && *opened != 0 && timed && *timed == 0 && cleared && *cleared == 0;
    if (gpib_pending.number() == 0 && all_succeeded) {
      intfc = name;
      gpibcard = gpib::card_corvane;
      rav->vb_iclose(descriptor);
    } else if (opened && *opened != 0) {
      rav->vb_iclose(descriptor);
    }
  };

  if (corvane_wanted()) {
    probe("corvaneib");
    gpib_pending.clear();
  }
  gpib_trace("find_gpib_interface: gpib (for Corvane card)");
  if (corvane_wanted()) {
    probe("gpib");
    gpib_pending.clear();
  }
  gpib_trace("find_gpib_interface: corvaneibx (for Corvane card)");
  for (counter = 0; counter < 31 && corvane_wanted(); ++counter) {
    probe("corvaneib" + std::to_string(counter));
    gpib_pending.clear();
  }
  gpib_trace("find_gpib_interface: gpibx (for Corvane card)");
  for (counter = 0; counter < 31 && corvane_wanted(); ++counter) {
    probe("gpib" + std::to_string(counter));
    gpib_pending.clear();
  }

  if (intfc == card_none) {
    error_text = gpib::no_interface_text(gpibcard);
    if (!problems.empty()) error_text += NL + problems;
    error_active = true;
  }
}

}  // namespace talmer::ui
