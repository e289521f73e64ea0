// What the window's GPIB link discovery works with: the pending error, the
// identity of the link found, the probe tables and the two call layers.
#pragma once

#include <string>

#include "gpib/card_probes.h"
#include "gpib/discovery_rules.h"
#include "gpib/ni488/ni488_layer.h"
#include "gpib/pending_error.h"
#include "gpib/ravlink/ravlink_layer.h"

namespace talmer::gpib {

// The link a download run uses, as discovery settles it.
struct link_identity {
  std::string gpibcard = card_none;  // "NI" or "Corvane" once an interface answered
  std::string intfc = card_none;     // NI board number ("0" to "3") or Corvane interface name
  int Talmeraddr = -1;               // instrument address 0 to 30, -1 when none was found
};

// The library files the last card detection found, as the call layers
// load them ("" for a family that was not found).
struct found_libraries {
  bool detected = false;
  std::string ni;
  std::string ravlink;
};

}  // namespace talmer::gpib
