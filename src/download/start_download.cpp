// "Start Download": lock the inputs, validate the sources, run the download,
// show the outcome, unlock the inputs.
#include <string>

#include "ui/talmer_arb.h"

namespace talmer::ui {

void TALMER_ARB::Start_dwnld_Click() {
  set_panel_colour(panel_teal);
  disable_controls();
  bool error_active = false;
  bool convert_flg = false;
  std::string error_text;

  check_source_files(convert_flg, error_active, error_text);
  if (!error_active) show_now(panel_teal, "Downloading is not available yet.");

  if (error_active) {
    set_panel_colour(panel_red);
    show_message(error_text);
  } else {
    set_panel_colour(panel_teal);
  }
  repaint_panel();
  enable_controls();
}

}  // namespace talmer::ui
