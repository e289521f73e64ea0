#include "ui/talmer_arb.h"

#include <string>

namespace talmer::ui {

TALMER_ARB::TALMER_ARB(platform::os &os) : os_(os) {
  const rgb white{255, 255, 255};
  const rgb heading{0, 160, 192};

  for (int a = 0; a <= 30; ++a) {
    if (a == 0) Talmerid.add_item("Auto Detect");
    Talmerid.add_item(std::to_string(a));
  }

  serial.join({&serial, &corvaneib});
  corvaneib.join({&serial, &corvaneib});

  clearsrc.set_back_color(rgb{0, 192, 192});
  PgmExit.set_back_color(rgb{0, 192, 0});
  for (text_box *t : {&destination, &I_source, &Q_source}) t->set_back_color(white);
  I_source.set_enabled(false);
  Q_source.set_enabled(false);

  for (control *c : std::initializer_list<control *>{&auto_find_q, &Auto_name, &serial, &corvaneib})
    c->set_back_color(panel_teal);
  for (label *l : {&Auto_Find_Q_Lbl, &Auto_Name_Lbl, &Label2, &Cvrt_wfm, &Version, &ByteSwap,
                   &lbl_dwnldtime, &lbl_dwnld, &dwnldtime, &lbl_points, &points, &lblDestination,
                   &Q_length, &I_length, &lblSource_I, &lbl_Q_length, &lbl_I_length, &lblSource_Q,
                   &lblCOMM})
    l->set_back_color(panel_teal);
  for (label *l : {&lbl_dwnldtime, &dwnldtime, &lbl_points, &points, &Q_length, &I_length, &title,
                   &Label1, &lbl_Q_length, &lbl_I_length})
    l->set_bordered(true);
  for (label *l : {&title, &Label1}) {
    l->set_back_color(heading);
    l->set_font({9.75, true});
  }
  Label2.set_font({6.75, true});
  Version.set_font({6.75, false});
  Messages.centred = true;
  Messages.word_wrap = true;
  dest_bkgd.border = rgb{64, 0, 64};

  wire_reactions();
}

TALMER_ARB::~TALMER_ARB() = default;

void TALMER_ARB::wire_reactions() {
  PgmExit.on_click = [this] { PgmExit_Click(); };
  clearsrc.on_click = [this] { clearsrc_Click(); };
  Refresh_files.on_click = [this] { Refresh_files_Click(); };
  Select_I.on_click = [this] { Select_I_Click(); };
  Select_Q.on_click = [this] { Select_Q_Click(); };
  I_source.on_dbl_click = [this] { I_source_DblClick(); };
  I_source.on_change = [this] { I_source_Change(); };
  convert_wfm.on_click = [this] { convert_wfm_Click(); };
  corvaneib.on_click = [this] { corvaneib_Click(); };
  corvaneib.on_mouse_down = [this] { corvaneib_MouseDown(); };
  serial.on_mouse_down = [this] { serial_MouseDown(); };
  Swap.on_got_focus = [this] { Swap_GotFocus(); };
  Swap.on_lost_focus = [this] { Swap_LostFocus(); };
  destination.on_change = [this] { destination_Change(); };
  Auto_Find_Q_Lbl.on_click = [this] { Auto_Find_Q_Lbl_Click(); };
  Auto_Name_Lbl.on_click = [this] { Auto_Name_Lbl_Click(); };
  Cvrt_wfm.on_mouse_down = [this] { Cvrt_wfm_MouseDown(); };
  Version.on_mouse_down = [this] { Version_MouseDown(); };
  ByteSwap.on_mouse_down = [this] { ByteSwap_MouseDown(); };
  lbl_dwnld.on_mouse_down = [this] { lbl_dwnld_MouseDown(); };
  lbl_points.on_mouse_down = [this] { lbl_points_MouseDown(); };
  lblDestination.on_mouse_down = [this] { lblDestination_MouseDown(); };
  title.on_mouse_down = [this] { title_MouseDown(); };
  Label1.on_mouse_down = [this] { Label1_MouseDown(); };
  I_length.on_change = [this] { I_length_Change(); };
  Q_length.on_change = [this] { Q_length_Change(); };
  Start_dwnld.on_click = [this] { Start_dwnld_Click(); };
}

std::vector<control *> TALMER_ARB::controls() {
  return {&auto_find_q, &serial,        &corvaneib,      &convert_wfm, &Refresh_files, &Swap,
          &Select_Q,    &Select_I,      &Talmerid,       &clearsrc,    &destination,   &I_source,
          &Q_source,    &PgmExit,       &Start_dwnld,    &Auto_name,   &Auto_Find_Q_Lbl,
          &Auto_Name_Lbl, &rs232,       &Label2,         &Cvrt_wfm,    &Shape4,        &Version,
          &ByteSwap,    &Messages,      &msgsbkgd,       &lbl_dwnldtime, &lbl_dwnld,   &dwnldtime,
          &Shape2,      &lbl_points,    &points,         &lblDestination, &Shape1,     &Q_length,
          &I_length,    &title,         &lblSource_I,    &Label1,      &lbl_Q_length,  &lbl_I_length,
          &lblSource_Q, &dest_bkgd,     &lblCOMM,        &Shape3};
}

std::vector<control *> TALMER_ARB::focus_order() {
  return {&Q_source, &I_source,      &destination, &Start_dwnld, &PgmExit,   &clearsrc,
          &Talmerid, &Select_I,      &Select_Q,    &Swap,        &Refresh_files, &convert_wfm,
          &corvaneib, &serial,       &Auto_name,   &auto_find_q};
}

void TALMER_ARB::read_source_size(text_box &box, label &size) {
  // Errors are suppressed here: a file that cannot be sized empties its
  // path box and its size caption, and nothing is reported.
  auto len = os_.file_length(box.text());
  if (len) {
    size.set_caption(std::to_string(*len));
  } else {
    box.set_text("");
    size.set_caption("");
  }
}

void TALMER_ARB::Form_Load() {
  debug_active = vb_false;
  i_points = 0;
  q_points = 0;
  i_filetype = "BINARY";
  q_filetype = "BINARY";
  Talmerid.set_text("AUTO DETECT");
  Swap.set_text("Yes");
  convert_wfm.set_text("Yes");
  read_source_size(I_source, I_length);
  read_source_size(Q_source, Q_length);
}

void TALMER_ARB::Form_Unload() {
  if (on_unload) on_unload();
  os_.end_program(0);
}

void TALMER_ARB::PgmExit_Click() { Form_Unload(); }

void TALMER_ARB::clearsrc_Click() {
  set_panel_colour(panel_teal);
  I_source.set_text("");
  Q_source.set_text("");
  I_length.set_caption("0");
  i_points = 0;
  q_points = 0;
  Q_length.set_caption("0");
  points.set_caption("No Download");
  dwnldtime.set_caption("No Download");
}

void TALMER_ARB::Refresh_files_Click() {
  set_panel_colour(panel_teal);
  read_source_size(I_source, I_length);
  read_source_size(Q_source, Q_length);
}

void TALMER_ARB::show_now(rgb c, const std::string &text) {
  set_panel_colour(c);
  show_message(text);
  repaint_panel();
}

void TALMER_ARB::repaint_panel() {
  msgsbkgd.refresh();
  Messages.refresh();
}

}  // namespace talmer::ui
