// An exception thrown by a reaction during a headless run ends on the red
// panel with its text, the state is still printed, and the exit status is 1;
// the program's own end passes through.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "platform/fake_os.h"
#include "ui/headless.h"
#include "ui/messages.h"
#include "ui/talmer_arb.h"

using namespace talmer;

TEST(headless_guard, an_exception_from_a_reaction_shows_red_and_exits_1) {
  platform::fake_os os;
  os.use_real_files = false;
  ui::TALMER_ARB w(os);
  w.Form_Load();
  w.destination.observe([](ui::control &, ui::change) { throw std::runtime_error("no memory left"); });
  ui::headless_options o;
  o.name = "wave";
  o.show = true;
  std::ostringstream out, err;
  EXPECT_EQ(ui::run_headless(w, o, out, err), 1);
  EXPECT_EQ(w.msgsbkgd.fill(), ui::panel_red);
  EXPECT_EQ(w.Messages.caption(), "The action stopped: no memory left");
  EXPECT_NE(out.str().find("msgsbkgd=red\n"), std::string::npos);
  EXPECT_NE(out.str().find("inputs=enabled\n"), std::string::npos);
}

TEST(headless_guard, the_end_of_the_program_passes_through) {
  platform::fake_os os;
  os.use_real_files = false;
  ui::TALMER_ARB w(os);
  w.Form_Load();
  w.destination.observe([](ui::control &, ui::change) { throw platform::program_ended{3}; });
  ui::headless_options o;
  o.name = "wave";
  std::ostringstream out, err;
  EXPECT_THROW(ui::run_headless(w, o, out, err), platform::program_ended);
}
