// Card detection over both probe tables, through the file-length query of
// the fake operating system.
#include <gtest/gtest.h>

#include "support/gpib_window_fixture.h"

using namespace talmer;
using namespace talmer::testing;

namespace {

struct detection_case {
  const char *name;
  bool windows;                        // which table
  std::map<std::string, std::string> env;
  std::map<std::string, std::int64_t> files;
  const char *gpibcard;
};

const detection_case detection_cases[] = {
    {"win_only_winnt_ni", true, {}, {{"c:\\winnt\\system32\\gpib-32.dll", 4096}}, "NI"},
    {"win_ravlink_in_systemroot_system", true, {{"SystemRoot", "C:\\WINDOWS"}},
     {{"C:\\WINDOWS\\system\\ravlink32.dll", 10}}, "Corvane"},
    {"win_both_anywhere", true, {{"SystemRoot", "D:\\WIN"}},
     {{"D:\\WIN\\system32\\gpib-32.dll", 1}, {"c:\\winnt\\system32\\ravlink32.dll", 1}}, "BOTH"},
    {"win_ravlink_before_ni_in_the_folders_still_both", true, {},
     {{"c:\\windows\\system\\ravlink32.dll", 1}, {"c:\\windows\\system32\\gpib-32.dll", 1}}, "BOTH"},
    {"win_empty_file_counts", true, {}, {{"c:\\windows\\system\\gpib-32.dll", 0}}, "NI"},
    {"win_systemroot_unset_uses_the_tail_alone", true, {}, {{"\\system32\\gpib-32.dll", 5}}, "NI"},
    {"win_systemroot_blanks_trimmed", true, {{"SystemRoot", "  C:\\WINDOWS"}},
     {{"C:\\WINDOWS\\system32\\ravlink32.dll", 5}}, "Corvane"},
    {"win_nothing", true, {}, {{"c:\\windows\\notepad.exe", 5}}, "NONE"},
    {"linux_libdir_ni", false, {{"TALMER_ARB_LIBDIR", "/opt/sim"}}, {{"/opt/sim/libgpib.so.0", 1}}, "NI"},
    {"linux_gpibapi_in_lib64", false, {}, {{"/usr/lib64/libgpibapi.so.0", 1}}, "NI"},
    {"linux_ravlink_multiarch", false, {}, {{"/usr/lib/x86_64-linux-gnu/libravlink32.so", 1}}, "Corvane"},
    {"linux_both", false, {{"TALMER_ARB_LIBDIR", "/opt/sim"}},
     {{"/opt/sim/libravlink32.so", 1}, {"/usr/local/lib/libgpib.so.0", 1}}, "BOTH"},
    {"linux_libdir_unset_not_probed_at_root", false, {}, {{"/libgpib.so.0", 1}}, "NONE"},
    {"linux_vb_library_alone_is_not_a_card", false, {}, {{"/usr/lib/libvbravlink32.so", 1}}, "NONE"},
    {"linux_windows_names_do_not_count", false, {}, {{"/usr/lib/gpib-32.dll", 1}}, "NONE"},
};

struct card_detection : gpib_window_test, ::testing::WithParamInterface<detection_case> {};

}  // namespace

TEST_P(card_detection, finds_the_family_from_the_files_present) {
  const detection_case &c = GetParam();
  if (c.windows) w.gpib_card_probes = gpib::windows_card_probes();
  os.environment = c.env;
  os.files = c.files;
  std::string gpibcard = "stale";
  bool error_active = false;
  std::string error_text = "untouched";
  w.find_gpibcard(gpibcard, error_active, error_text);
  EXPECT_EQ(gpibcard, c.gpibcard);
  const bool none = std::string(c.gpibcard) == "NONE";
  EXPECT_EQ(error_active, none);
  EXPECT_EQ(error_text, none ? "Could not find a Corvane or National Instruments GPIB card." : "untouched");
  EXPECT_EQ(w.gpib_pending.number(), 0);
}

namespace {
std::string case_name(const ::testing::TestParamInfo<detection_case> &p) { return p.param.name; }
}  // namespace

INSTANTIATE_TEST_SUITE_P(tables, card_detection, ::testing::ValuesIn(detection_cases), case_name);

TEST_F(gpib_window_test, detection_shows_its_message_waits_and_never_resets_an_error) {
  w.msgsbkgd.set_fill(ui::panel_red);
  std::string gpibcard;
  bool error_active = true;
  std::string error_text = "earlier";
  install_ni();
  w.find_gpibcard(gpibcard, error_active, error_text);
  EXPECT_EQ(gpibcard, "NI");
  EXPECT_TRUE(error_active);
  EXPECT_EQ(error_text, "earlier");
  EXPECT_EQ(w.Messages.caption(), "Searching for GPIB card and interface.");
  EXPECT_EQ(w.msgsbkgd.fill(), ui::panel_teal);
  EXPECT_GE(panel_repaints, 1);
  EXPECT_EQ(os.sleeps, std::vector<std::int64_t>{500});
  EXPECT_TRUE(loaded.empty()) << "detection touches no library";
}

TEST_F(gpib_window_test, detection_traces_every_probe_in_table_order_when_debugging) {
  w.gpib_card_probes = gpib::windows_card_probes();
  w.debug_active = ui::vb_true;
  w.msgsbkgd.set_fill(ui::panel_red);
  std::string gpibcard;
  bool error_active = false;
  std::string error_text;
  w.find_gpibcard(gpibcard, error_active, error_text);
  std::vector<std::string> expected{"Searching for GPIB card and interface."};
  for (const auto &p : gpib::windows_card_probes())
    expected.push_back(std::string("Starting step:  \n\r") + p.trace);
  EXPECT_EQ(panel, expected);
  EXPECT_EQ(panel_repaints, 11);
  EXPECT_EQ(w.msgsbkgd.fill(), ui::panel_teal) << "the trace keeps the colour";
}

TEST_F(gpib_window_test, the_first_present_file_of_a_family_is_the_one_loaded) {
  os.environment["TALMER_ARB_LIBDIR"] = "/opt/sim";
  install_ni("/usr/lib/libgpib.so.0");
  install_ni("/opt/sim/libgpibapi.so.0");
  install_ravlink("/usr/lib64");
  install_ravlink("/usr/local/lib");
  fake_ni488().boards = {};
  std::string gpibcard, intfc;
  bool error_active = false;
  std::string error_text;
  w.find_gpibcard(gpibcard, error_active, error_text);
  ASSERT_EQ(gpibcard, "BOTH");
  w.find_gpib_interface(gpibcard, intfc, error_active, error_text);
  EXPECT_EQ(loaded, (std::vector<std::string>{"/opt/sim/libgpibapi.so.0", "/usr/local/lib/libvbravlink32.so"}));
}
