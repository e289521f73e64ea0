// Receive notifications of the serial port; filled in by the serial link.
#include "ui/talmer_arb.h"

namespace talmer::ui {

void TALMER_ARB::rs232_OnComm() {}

}  // namespace talmer::ui
