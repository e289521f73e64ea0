// Help texts shown in the message panel when the captions of the window are
// pressed or clicked, and when the byte-swap list takes or leaves the focus.
#include "ui/talmer_arb.h"

namespace talmer::ui {

namespace {
void help(TALMER_ARB &w, const std::string &text) {
  w.set_panel_colour(panel_teal);
  w.show_message(text);
}
}  // namespace

void TALMER_ARB::lbl_dwnld_MouseDown() { help(*this, help_1); }
void TALMER_ARB::lblDestination_MouseDown() { help(*this, help_2); }
void TALMER_ARB::title_MouseDown() { help(*this, help_3(Version.caption())); }
void TALMER_ARB::Version_MouseDown() { help(*this, help_3(Version.caption())); }
void TALMER_ARB::lbl_points_MouseDown() { help(*this, help_5); }
void TALMER_ARB::Label1_MouseDown() { help(*this, help_6); }
void TALMER_ARB::Cvrt_wfm_MouseDown() { help(*this, help_7); }
void TALMER_ARB::Auto_Name_Lbl_Click() { help(*this, help_8); }
void TALMER_ARB::Swap_GotFocus() { help(*this, help_9); }
void TALMER_ARB::ByteSwap_MouseDown() { help(*this, help_10); }
void TALMER_ARB::Auto_Find_Q_Lbl_Click() { help(*this, help_11); }
void TALMER_ARB::Swap_LostFocus() { help(*this, neutral_text); }
void TALMER_ARB::destination_Change() { set_panel_colour(panel_teal); }

}  // namespace talmer::ui
