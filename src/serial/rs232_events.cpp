// The serial link's reply wait and receive reaction. The serial line has no
// end-of-message signal: a reply is taken as complete once bytes have
// arrived and no more arrived during one 10 ms tick.
#include "serial/serial_rules.h"
#include "ui/talmer_arb.h"

namespace talmer::ui {

namespace sl = talmer::serial;

void TALMER_ARB::wait_answer(double timeout, bool &answer) {
  std::int64_t previous = -1;
  std::int64_t current = 0;
  std::int64_t ticks = 0;
  const std::int64_t limit = sl::wait_tick_limit(timeout);
  // Time is counted in ticks of one 10 ms pause and one look at the port,
  // not measured. Two empty looks never count as a reply at rest.
  while ((current == 0 || previous != current) && ticks < limit) {
    previous = current;
    if (previous == 0) previous = -1;
    os().sleep_ms(10);
    ++ticks;
    rs232.InBufferCount(current);  // on an error the count keeps its value
  }
  answer = true;
  if (ticks >= limit) answer = false;  // the tick limit wins a tie
}

void TALMER_ARB::rs232_OnComm() {
  if (rs232.CommEvent() != sl::comEvReceive) return;
  const std::string data = rs232.Input();
  // Every byte of the group counts: an XOFF and an XON that arrive together
  // leave the state the later one asks for.
  const bool paused = sl::paused_after(data, wait_for_talmer != vb_false);
  wait_for_talmer = paused ? vb_true : vb_false;
  os().process_events();
}

}  // namespace talmer::ui
