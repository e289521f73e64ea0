// Locking the inputs during long operations, and the choice of link (GPIB
// or RS-232) with the address or port list that goes with it.
#include <string>

#include "ui/talmer_arb.h"

namespace talmer::ui {

void TALMER_ARB::disable_controls() {
  const std::string chosen = Talmerid.text();
  for (control *c : std::initializer_list<control *>{
           &PgmExit, &I_source, &Q_source, &destination, &Start_dwnld, &clearsrc, &Swap,
           &convert_wfm, &Select_I, &Select_Q, &Refresh_files, &Auto_name, &auto_find_q, &Talmerid})
    c->set_enabled(false);
  const bool gpib = corvaneib.selected();
  const bool rs = serial.selected();
  corvaneib.set_enabled(false);
  serial.set_enabled(false);
  // Put the selection back without firing the option's click: only one of
  // the two can be selected, so restore the selected one last.
  if (!gpib) corvaneib.set_selected(false);
  if (!rs) serial.set_selected(false);
  if (gpib) corvaneib.set_selected(true);
  if (rs) serial.set_selected(true);
  Talmerid.set_text(chosen);
}

void TALMER_ARB::enable_controls() {
  for (control *c : std::initializer_list<control *>{
           &PgmExit, &I_source, &Q_source, &Talmerid, &destination, &Start_dwnld, &clearsrc, &Swap,
           &convert_wfm, &Select_I, &Select_Q, &Refresh_files, &corvaneib, &serial, &Auto_name,
           &auto_find_q})
    c->set_enabled(true);
}

void TALMER_ARB::corvaneib_Click() {
  corvaneib.set_selected(true);
  set_panel_colour(panel_teal);
  lblCOMM.set_caption("GPIB Address");
  Talmerid.clear();
  Talmerid.add_item("Auto Detect");
  for (int a = 0; a <= 30; ++a) Talmerid.add_item(std::to_string(a));
  Talmerid.set_list_index(0);
  set_download_time();
}

void TALMER_ARB::serial_MouseDown() {
  serial.set_selected(true);
  lblCOMM.set_caption("Serial Port");
  Talmerid.clear();
  for (const char *e : {"Auto Detect", "Comm 1", "Comm 2", "Comm 3", "Comm 4"}) Talmerid.add_item(e);
  Talmerid.set_list_index(0);
  set_panel_colour(panel_teal);
  show_message(help_12);
  set_download_time();
}

void TALMER_ARB::corvaneib_MouseDown() {
  set_panel_colour(panel_teal);
  show_message(help_4);
  corvaneib.set_selected(true);
}

}  // namespace talmer::ui
