// Interface selection: the order of the probes, the family choice, the
// messages and the trace.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/gpib_window_fixture.h"

using namespace talmer;
using namespace talmer::testing;

namespace {

std::vector<std::string> corvane_names() {
  std::vector<std::string> v{"corvaneib", "gpib"};
  for (int i = 0; i <= 30; ++i) v.push_back("corvaneib" + std::to_string(i));
  for (int i = 0; i <= 30; ++i) v.push_back("gpib" + std::to_string(i));
  return v;
}

std::vector<std::string> opens(const std::vector<std::string> &names) {
  std::vector<std::string> v;
  for (const auto &n : names) v.push_back("vb_iopen(" + n + ")");
  return v;
}

struct selection_case {
  const char *name;
  const char *gpibcard_in;
  std::set<int> ni_boards;
  std::set<std::string> corvane_interfaces;
  const char *intfc;
  const char *gpibcard_out;
  const char *error_text;  // nullptr: no error
  std::vector<std::string> ibfinds;
  std::size_t corvane_probes;  // how many names were opened
};

const selection_case selection_cases[] = {
    {"ni_board_1", "NI", {1}, {}, "1", "NI", nullptr, {"ibfindA(GPIB0)", "ibfindA(GPIB1)"}, 0},
    {"ni_none", "NI", {}, {}, "NONE", "NI", "Found a NI gpib card, but no installed interface. ",
     {"ibfindA(GPIB0)", "ibfindA(GPIB1)", "ibfindA(GPIB2)", "ibfindA(GPIB3)"}, 0},
    {"both_ni_board_wins", "BOTH", {0}, {"corvaneib"}, "0", "NI", nullptr, {"ibfindA(GPIB0)"}, 0},
    {"both_gpib7", "BOTH", {}, {"gpib7"}, "gpib7", "Corvane", nullptr,
     {"ibfindA(GPIB0)", "ibfindA(GPIB1)", "ibfindA(GPIB2)", "ibfindA(GPIB3)"}, 2 + 31 + 8},
    {"both_nothing_all_68_probes", "BOTH", {}, {}, "NONE", "BOTH",
     "Found both Corvane and NI gpib cards, but no installed interface. ",
     {"ibfindA(GPIB0)", "ibfindA(GPIB1)", "ibfindA(GPIB2)", "ibfindA(GPIB3)"}, 64},
    {"corvane_first_name", "Corvane", {0}, {"corvaneib", "gpib"}, "corvaneib", "Corvane", nullptr, {}, 1},
    {"corvane_plain_gpib", "Corvane", {}, {"gpib"}, "gpib", "Corvane", nullptr, {}, 2},
    {"corvane_nothing", "Corvane", {}, {}, "NONE", "Corvane",
     "Found a Corvane gpib card, but no installed interface. ", {}, 64},
};

struct interface_selection : gpib_window_test, ::testing::WithParamInterface<selection_case> {};

std::string case_name(const ::testing::TestParamInfo<selection_case> &p) { return p.param.name; }

}  // namespace

TEST_P(interface_selection, tries_ni_boards_then_corvane_names_in_order) {
  const selection_case &c = GetParam();
  install_ni();
  install_ravlink();
  fake_ni488().boards = c.ni_boards;
  fake_ravlink().interfaces = c.corvane_interfaces;
  std::string gpibcard = c.gpibcard_in;
  std::string intfc = "stale";
  bool error_active = false;
  std::string error_text = "untouched";
  w.find_gpib_interface(gpibcard, intfc, error_active, error_text);

  EXPECT_EQ(intfc, c.intfc);
  EXPECT_EQ(gpibcard, c.gpibcard_out);
  EXPECT_EQ(error_active, c.error_text != nullptr);
  EXPECT_EQ(error_text, c.error_text ? c.error_text : "untouched");
  EXPECT_EQ(calls_starting("ibfind"), c.ibfinds);
  const auto all = corvane_names();
  EXPECT_EQ(calls_starting("vb_iopen"),
            opens({all.begin(), all.begin() + static_cast<std::ptrdiff_t>(c.corvane_probes)}));
  EXPECT_EQ(w.gpib_pending.number(), 0) << "no pending error is left for the caller";
  if (std::string(c.gpibcard_in) == "Corvane") {
    EXPECT_TRUE(std::find(loaded.begin(), loaded.end(), "/usr/lib/libgpib.so.0") == loaded.end())
        << "the NI-488.2 layer is not entered at all";
  }
}

INSTANTIATE_TEST_SUITE_P(cases, interface_selection, ::testing::ValuesIn(selection_cases), case_name);

TEST_F(gpib_window_test, the_ni_board_found_is_cleared_and_released_once) {
  install_ni();
  fake_ni488().boards = {1};
  std::string gpibcard = "NI", intfc;
  bool error_active = false;
  std::string error_text;
  w.find_gpib_interface(gpibcard, intfc, error_active, error_text);
  EXPECT_EQ(gpib_calls(), (std::vector<std::string>{"RegisterGpibGlobalsForThread", "ibfindA(GPIB0)",
                                                    "ibfindA(GPIB1)", "ibsic(101)", "ibonl(101,0)"}));
}

TEST_F(gpib_window_test, a_corvane_name_is_opened_timed_cleared_and_closed) {
  install_ravlink();
  fake_ravlink().interfaces = {"gpib"};
  std::string gpibcard = "Corvane", intfc;
  bool error_active = false;
  std::string error_text;
  w.find_gpib_interface(gpibcard, intfc, error_active, error_text);
  EXPECT_EQ(gpib_calls(),
            (std::vector<std::string>{"vb_iopen(corvaneib)", "vb_igeterrstr(2)",
                                      // the failed open delivered no id: the old value 0 is used
                                      "vb_itimeout(0,100)", "vb_igeterrstr(3)", "vb_iclear(0)", "vb_igeterrstr(3)",
                                      "vb_iopen(gpib)", "vb_itimeout(1,100)", "vb_iclear(1)", "vb_iclose(1)"}));
}

TEST_F(gpib_window_test, a_name_that_opens_but_does_not_clear_is_closed_and_not_chosen) {
  install_ravlink();
  fake_ravlink().interfaces = {"corvaneib", "gpib"};
  fake_ravlink().failing_clears = 1;
  std::string gpibcard = "Corvane", intfc;
  bool error_active = false;
  std::string error_text;
  w.find_gpib_interface(gpibcard, intfc, error_active, error_text);
  EXPECT_EQ(intfc, "gpib");
  EXPECT_EQ(calls_starting("vb_iclose"), (std::vector<std::string>{"vb_iclose(1)", "vb_iclose(2)"}));
  for (const auto &[id, conn] : fake_ravlink().connections) EXPECT_FALSE(conn.open) << id;
}

TEST_F(gpib_window_test, interface_selection_traces_its_five_steps_even_when_skipped) {
  install_ni();
  fake_ni488().boards = {0};
  w.debug_active = ui::vb_true;
  std::string gpibcard = "NI", intfc;
  bool error_active = false;
  std::string error_text;
  w.find_gpib_interface(gpibcard, intfc, error_active, error_text);
  EXPECT_EQ(panel, (std::vector<std::string>{
                       "Starting step:  \n\rfind_gpib_interface: GPIBx (for NI card)",
                       "Starting step:  \n\rfind_gpib_interface: corvaneib (for Corvane card)",
                       "Starting step:  \n\rfind_gpib_interface: gpib (for Corvane card)",
                       "Starting step:  \n\rfind_gpib_interface: corvaneibx (for Corvane card)",
                       "Starting step:  \n\rfind_gpib_interface: gpibx (for Corvane card)"}));
  EXPECT_EQ(panel_repaints, 5);
}

TEST_F(gpib_window_test, without_debugging_interface_selection_writes_nothing) {
  install_ni();
  fake_ni488().boards = {0};
  std::string gpibcard = "NI", intfc;
  bool error_active = false;
  std::string error_text;
  w.find_gpib_interface(gpibcard, intfc, error_active, error_text);
  EXPECT_TRUE(panel.empty());
  EXPECT_EQ(panel_repaints, 0);
}
