// "Start Download": lock the inputs, validate the sources, hand over to the
// serial download or find the GPIB card, interface and instrument and send
// both channels over the link of that card's family, show the outcome,
// unlock the inputs.
#include <exception>
#include <string>

#include "download/driver.h"
#include "download/gpib_layers.h"
#include "ui/talmer_arb.h"

namespace talmer::ui {

void TALMER_ARB::gpib_download_run(bool convert_flg, bool &error_active, std::string &error_text) {
  gpib::link_identity link;
  discover_gpib_link(link, error_active, error_text);
  if (error_active) return;

  download::standard_opener sources(os());
  const download::link_timing timing = download::timing_from_window(*this);
  std::string problem;
  if (link.gpibcard == "NI") {
    ni488::call_layer *layer = ni488_layer(problem);
    if (layer == nullptr) {
      error_active = true;
      error_text = problem;
      return;
    }
    download::ni488_layer_calls calls(*layer);
    download::ni488_link nl(calls, timing);
    download::gpib_download(*this, nl, sources, link.gpibcard, link.intfc, link.Talmeraddr, convert_flg,
                            error_active, error_text);
  } else {
    ravlink::call_layer *layer = ravlink_layer(problem);
    if (layer == nullptr) {
      error_active = true;
      error_text = problem;
      return;
    }
    download::ravlink_layer_calls calls(*layer, gpib_pending);
    download::ravlink_link rl(calls, os(), timing);
    download::gpib_download(*this, rl, sources, link.gpibcard, link.intfc, link.Talmeraddr, convert_flg,
                            error_active, error_text);
  }
}

void TALMER_ARB::Start_dwnld_Click() {
  set_panel_colour(panel_teal);
  disable_controls();
  bool error_active = false;
  bool convert_flg = false;
  std::string error_text;

  try {
    check_source_files(convert_flg, error_active, error_text);
    if (!error_active) {
      if (serial.selected())
        download_RS232(convert_flg, error_active, error_text);
      else
        gpib_download_run(convert_flg, error_active, error_text);
    }
  } catch (const platform::program_ended &) {
    throw;  // the program is ending: nothing more to show
  } catch (const std::exception &e) {
    error_active = true;
    error_text = std::string("The download stopped: ") + e.what();
  } catch (...) {
    error_active = true;
    error_text = "The download stopped because of an unexpected error.";
  }

  download_progress.finish();
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
