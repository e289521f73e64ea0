// "Start Download": lock the inputs, run the download, unlock them.
#include "ui/talmer_arb.h"

namespace talmer::ui {

void TALMER_ARB::Start_dwnld_Click() {
  disable_controls();
  show_now(panel_teal, "Downloading is not available yet.");
  enable_controls();
}

}  // namespace talmer::ui
