// Entry points of the source waveform files; filled in by the sources
// subsystem.
#include "ui/talmer_arb.h"

namespace talmer::ui {

void TALMER_ARB::I_length_Change() {}
void TALMER_ARB::Q_length_Change() {}
void TALMER_ARB::convert_wfm_Click() {
  I_length_Change();
  Q_length_Change();
}
void TALMER_ARB::I_source_Change() {}
void TALMER_ARB::Select_I_Click() {}
void TALMER_ARB::Select_Q_Click() {}
void TALMER_ARB::I_source_DblClick() {}
void TALMER_ARB::set_waveform_points() {}
void TALMER_ARB::set_download_time() {}

}  // namespace talmer::ui
