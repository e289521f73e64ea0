// Loading the GPIB libraries at run time: missing entries and libraries
// that cannot be loaded are reported on the red panel's text, never a
// crash; discovery as a whole over both fakes.
#include <gtest/gtest.h>

#include "support/gpib_window_fixture.h"

using namespace talmer;
using namespace talmer::testing;

namespace {

struct select_result {
  std::string gpibcard, intfc;
  bool error_active = false;
  std::string error_text;
};

select_result select(ui::TALMER_ARB &w, const char *gpibcard) {
  select_result r;
  r.gpibcard = gpibcard;
  w.find_gpib_interface(r.gpibcard, r.intfc, r.error_active, r.error_text);
  return r;
}

}  // namespace

TEST_F(gpib_window_test, a_driver_without_an_entry_the_program_uses_is_reported_as_unusable) {
  install_ni("/usr/lib/libgpib.so.0", true, {"ibconfig", "ibrd"});
  fake_ni488().boards = {0};
  auto r = select(w, "NI");
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text,
            "Found a NI gpib card, but no installed interface. \n\r"
            "The NI-488.2 driver library /usr/lib/libgpib.so.0 is unusable: it lacks the entries ibconfig, ibrd.");
  EXPECT_TRUE(gpib_calls().empty());
}

TEST_F(gpib_window_test, with_both_families_an_unusable_library_leaves_the_other_one_working) {
  install_ni("/usr/lib/libgpib.so.0", false, {"ThreadIbsta"});
  install_ravlink();
  fake_ravlink().interfaces = {"gpib3"};
  auto r = select(w, "BOTH");
  EXPECT_FALSE(r.error_active) << r.error_text;
  EXPECT_EQ(r.intfc, "gpib3");
  EXPECT_EQ(r.gpibcard, "Corvane");
}

TEST_F(gpib_window_test, a_library_file_that_cannot_be_loaded_is_reported) {
  os.files["/usr/lib/libravlink32.so"] = 0;  // no loadable library next to it
  auto r = select(w, "Corvane");
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text,
            "Found a Corvane gpib card, but no installed interface. \n\r"
            "The Ravlink I/O library /usr/lib/libvbravlink32.so could not be loaded: "
            "/usr/lib/libvbravlink32.so: cannot open shared object file.");
}

TEST_F(gpib_window_test, a_ravlink_library_without_an_entry_is_reported_by_the_address_search) {
  install_ravlink("/usr/lib", {"vb_iswap"});
  int Talmeraddr = 5;
  bool error_active = false;
  std::string error_text;
  w.find_Talmer_Corvane("gpib0", Talmeraddr, error_active, error_text);
  EXPECT_TRUE(error_active);
  EXPECT_EQ(Talmeraddr, -1);
  EXPECT_EQ(error_text, "The Ravlink I/O library /usr/lib/libvbravlink32.so is unusable: it lacks the entry vb_iswap.");
}

TEST_F(gpib_window_test, a_linux_driver_exporting_ibfind_and_no_registration_is_used_as_it_is) {
  install_ni("/usr/lib/libgpib.so.0", false, {"ibfindA"});
  fake_ni488().boards = {0};
  auto r = select(w, "NI");
  EXPECT_EQ(r.intfc, "0");
  EXPECT_EQ(gpib_calls(), (std::vector<std::string>{"ibfind(GPIB0)", "ibsic(100)", "ibonl(100,0)"}));
}

TEST_F(gpib_window_test, a_real_library_file_lacking_the_entries_is_loaded_and_reported_without_a_crash) {
  const std::string libm = "/usr/lib/x86_64-linux-gnu/libm.so.6";
  if (!platform::real_os{}.file_length(libm)) GTEST_SKIP() << "no " << libm;
  os.use_real_files = true;
  std::string problem;
  auto entries = ni488::driver_entries::load(os, libm, problem);
  EXPECT_FALSE(entries);
  EXPECT_EQ(problem.rfind("The NI-488.2 driver library " + libm + " is unusable: it lacks the entries ibfindA (or ibfind), ibdev,", 0), 0u)
      << problem;
  auto rav = ravlink::library_entries::load(os, "/nonexistent/libvbravlink32.so", problem);
  EXPECT_FALSE(rav);
  EXPECT_EQ(problem.rfind("The Ravlink I/O library /nonexistent/libvbravlink32.so could not be loaded: ", 0), 0u)
      << problem;
}

TEST_F(gpib_window_test, discovery_over_ni_finds_board_and_address_and_loads_the_layer_once) {
  install_ni();
  fake_ni488().boards = {0};
  fake_ni488().instruments[21];
  gpib::link_identity link;
  bool error_active = false;
  std::string error_text;
  w.discover_gpib_link(link, error_active, error_text);
  EXPECT_FALSE(error_active) << error_text;
  EXPECT_EQ(link.gpibcard, "NI");
  EXPECT_EQ(link.intfc, "0");
  EXPECT_EQ(link.Talmeraddr, 21);
  EXPECT_EQ(w.Talmerid.text(), "21");
  EXPECT_EQ(loaded, std::vector<std::string>{"/usr/lib/libgpib.so.0"});
  std::string problem;
  ASSERT_NE(w.ni488_layer(problem), nullptr);
  EXPECT_EQ(w.ni488_layer(problem)->gpib_globals_registered, 1);
  EXPECT_EQ(loaded.size(), 1u);
}

TEST_F(gpib_window_test, discovery_over_corvane_finds_interface_and_address) {
  install_ni();  // the NI driver is installed but has no board
  install_ravlink();
  fake_ravlink().interfaces = {"corvaneib0"};
  fake_ravlink().instruments[4];
  gpib::link_identity link;
  bool error_active = false;
  std::string error_text;
  w.discover_gpib_link(link, error_active, error_text);
  EXPECT_FALSE(error_active) << error_text;
  EXPECT_EQ(link.gpibcard, "Corvane");
  EXPECT_EQ(link.intfc, "corvaneib0");
  EXPECT_EQ(link.Talmeraddr, 4);
  EXPECT_EQ(w.Messages.caption(), "Testing address:  4");
  EXPECT_EQ(calls_starting("vb_iopen(corvaneib0,").size(), 12u + 5u);
}

TEST_F(gpib_window_test, discovery_stops_at_the_first_failure) {
  gpib::link_identity link;
  link.Talmeraddr = 9;
  bool error_active = false;
  std::string error_text;
  w.discover_gpib_link(link, error_active, error_text);
  EXPECT_TRUE(error_active);
  EXPECT_EQ(error_text, "Could not find a Corvane or National Instruments GPIB card.");
  EXPECT_EQ(link.gpibcard, "NONE");
  EXPECT_EQ(link.intfc, "NONE");
  EXPECT_EQ(link.Talmeraddr, -1);
  EXPECT_TRUE(loaded.empty());
}
