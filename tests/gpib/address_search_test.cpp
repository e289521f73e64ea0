// The address search of both families: the order of the addresses probed,
// identification and option test, the messages and the address list.
#include <gtest/gtest.h>

#include "support/gpib_window_fixture.h"

using namespace talmer;
using namespace talmer::testing;

namespace {

std::vector<int> range(int from, int to) {
  std::vector<int> v;
  for (int i = from; i <= to; ++i) v.push_back(i);
  return v;
}
std::vector<int> join(std::vector<int> a, const std::vector<int> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct search_case {
  const char *name;
  bool corvane;
  const char *list_text;
  std::map<int, fake_instrument> instruments;
  std::vector<int> probed;
  int Talmeraddr;
  const char *error_text;  // nullptr: success
};

const char *const ni_auto_none =
    "Found NI gpib interface at 0, but no (Digital) Talmer attached.\n\rCheck cable or cycle power  on the Talmer. ";
const char *const corvane_auto_none =
    "Found GPIB interface at gpib0, but no (Digital) Talmer attached.\n\rCheck cable or cycle power  on the Talmer. ";
const char *const no_option = "Found GPIB interface and Talmer, but ARB option is not enabled.";

fake_instrument with_idn(const char *idn) {
  fake_instrument i;
  i.idn = idn;
  return i;
}
fake_instrument with_options(const char *options) {
  fake_instrument i;
  i.options = options;
  return i;
}
fake_instrument silent_once() {
  fake_instrument i;
  i.silent_queries = 1;
  return i;
}
fake_instrument zero_first() {
  fake_instrument i;
  i.first_reply_zero = true;
  return i;
}

const search_case search_cases[] = {
    {"ni_auto_at_19", false, "Auto Detect", {{19, {}}}, {19}, 19, nullptr},
    {"ni_auto_at_25_silent_first_pass", false, "Auto Detect", {{25, silent_once()}},
     join(range(19, 30), range(0, 25)), 25, nullptr},
    {"ni_auto_none", false, "Auto Detect", {}, join(range(19, 30), range(0, 30)), -1, ni_auto_none},
    {"ni_chosen_7", false, "7", {{7, {}}, {19, {}}}, {7}, 7, nullptr},
    {"ni_chosen_7_none", false, "7", {{19, {}}}, {7}, -1,
     "Found NI gpib interface at 0, but no (Digital) Talmer at address 7.\n\rTry using Auto Detect."},
    {"ni_k902_lower_case", false, "Auto Detect", {{20, with_idn("acme,k902,1,1")}}, {19, 20}, 20, nullptr},
    {"ni_other_model_skipped", false, "Auto Detect", {{19, with_idn("Talmer-A,1")}, {21, {}}}, {19, 20, 21}, 21,
     nullptr},
    {"ni_no_option_keeps_address", false, "Auto Detect", {{22, with_options("SNX")}}, range(19, 22), 22,
     no_option},
    {"corvane_auto_at_3", true, "Auto Detect", {{3, {}}}, join(range(19, 30), range(0, 3)), 3, nullptr},
    {"corvane_auto_none", true, "Auto Detect", {}, join(range(19, 30), range(0, 19)), -1, corvane_auto_none},
    {"corvane_chosen_7", true, "7", {{7, {}}}, {7}, 7, nullptr},
    {"corvane_first_reply_zero_rejected", true, "19", {{19, zero_first()}}, {19}, -1,
     "Found GPIB interface at gpib0, but no (Digital) Talmer at address 19.\n\rTry using Auto Detect."},
    {"corvane_silent_rejected_then_found_again", true, "Auto Detect", {{19, silent_once()}},
     join(range(19, 30), range(0, 19)), 19, nullptr},
    {"corvane_k902_lower_case", true, "Auto Detect", {{19, with_idn("k902")}}, {19}, 19, nullptr},
    {"corvane_no_option_keeps_address", true, "Auto Detect", {{2, with_options("")}},
     join(range(19, 30), range(0, 2)), 2, no_option},
};

struct address_search : gpib_window_test, ::testing::WithParamInterface<search_case> {};

std::string case_name(const ::testing::TestParamInfo<search_case> &p) { return p.param.name; }

}  // namespace

TEST_P(address_search, probes_the_addresses_in_order_and_reports_the_outcome) {
  const search_case &c = GetParam();
  ASSERT_TRUE(w.Talmerid.set_text(c.list_text));
  int Talmeraddr = 99;
  bool error_active = false;
  std::string error_text = "untouched";
  std::vector<std::string> probes;
  std::vector<std::string> testing_messages;
  if (c.corvane) {
    install_ravlink();
    fake_ravlink().interfaces = {"gpib0"};
    fake_ravlink().instruments = c.instruments;
    w.find_Talmer_Corvane("gpib0", Talmeraddr, error_active, error_text);
    for (int a : c.probed) {
      probes.push_back("vb_iopen(gpib0," + std::to_string(a) + ")");
      testing_messages.push_back("Testing address:  " + std::to_string(a));
    }
    EXPECT_EQ(calls_starting("vb_iopen"), probes);
    std::vector<std::string> shown;
    for (const auto &m : panel)
      if (m.rfind("Testing address:", 0) == 0) shown.push_back(m);
    EXPECT_EQ(shown, testing_messages);
    EXPECT_EQ(os.sleeps, std::vector<std::int64_t>(c.probed.size(), 100));
    EXPECT_EQ(w.gpib_pending.number(), 0);
  } else {
    install_ni();
    fake_ni488().boards = {0};
    fake_ni488().instruments = c.instruments;
    w.find_Talmer_NI("0", Talmeraddr, error_active, error_text);
    for (int a : c.probed) probes.push_back("ibdev(0," + std::to_string(a) + ",0,9,1,0)");
    EXPECT_EQ(calls_starting("ibdev"), probes);
    EXPECT_TRUE(panel.empty()) << "the NI search shows nothing without the trace";
    EXPECT_TRUE(os.sleeps.empty());
  }
  EXPECT_EQ(Talmeraddr, c.Talmeraddr);
  EXPECT_EQ(error_active, c.error_text != nullptr);
  EXPECT_EQ(error_text, c.error_text ? c.error_text : "untouched");
  EXPECT_EQ(w.Talmerid.text(), c.Talmeraddr >= 0 ? std::to_string(c.Talmeraddr) : std::string(c.list_text));
}

INSTANTIATE_TEST_SUITE_P(cases, address_search, ::testing::ValuesIn(search_cases), case_name);

TEST_F(gpib_window_test, ni_search_makes_these_calls_per_address) {
  install_ni();
  fake_ni488().boards = {2};
  fake_ni488().instruments[19];
  int Talmeraddr = -1;
  bool error_active = false;
  std::string error_text;
  w.debug_active = ui::vb_true;
  w.find_Talmer_NI("2", Talmeraddr, error_active, error_text);
  EXPECT_EQ(gpib_calls(), (std::vector<std::string>{"RegisterGpibGlobalsForThread", "ibdev(2,19,0,9,1,0)",
                                                    "ibclr(1)", "ibwrt(1,\"*IDN?\",5)", "ibrd(1,240)",
                                                    "ibwrt(1,\"DIAG:INFO:OPT?\",14)", "ibrd(1,240)", "ibloc(1)",
                                                    "ibonl(1,0)"}));
  EXPECT_EQ(panel, std::vector<std::string>{"Starting step:  \n\rfind_Talmer_NI: GPIB address search"});
}

TEST_F(gpib_window_test, corvane_search_makes_these_calls_per_address) {
  install_ravlink();
  fake_ravlink().interfaces = {"gpib7"};
  fake_ravlink().instruments[20];
  ASSERT_TRUE(w.Talmerid.set_text("20"));
  int Talmeraddr = -1;
  bool error_active = false;
  std::string error_text;
  w.debug_active = ui::vb_true;
  w.find_Talmer_Corvane("gpib7", Talmeraddr, error_active, error_text);
  EXPECT_EQ(gpib_calls(),
            (std::vector<std::string>{"vb_iopen(gpib7,20)", "vb_itimeout(1,100)", "vb_iclear(1)",
                                      "vb_iwrite(2,1,\"*IDN?\",5,1)", "vb_iread(1,1,8192)",
                                      "vb_iwrite(2,1,\"*IDN?\",5,1)", "vb_iread(1,1,240)",
                                      "vb_iwrite(2,1,\"DIAG:INFO:OPT?\",14,1)", "vb_iread(2,1,240)",
                                      "vb_ilocal(1)", "vb_iclose(1)"}));
  EXPECT_EQ(panel, (std::vector<std::string>{"Starting step:  \n\rfind_Talmer_Corvane: GPIB address search",
                                             "Testing address:  20"}));
  EXPECT_EQ(Talmeraddr, 20);
  EXPECT_FALSE(error_active);
}

TEST_F(gpib_window_test, corvane_first_reply_of_zero_bytes_is_not_read_again) {
  install_ravlink();
  fake_ravlink().interfaces = {"gpib0"};
  fake_ravlink().instruments[5] = fake_instrument{};
  fake_ravlink().instruments[5].first_reply_zero = true;
  ASSERT_TRUE(w.Talmerid.set_text("5"));
  int Talmeraddr = 0;
  bool error_active = false;
  std::string error_text;
  w.find_Talmer_Corvane("gpib0", Talmeraddr, error_active, error_text);
  EXPECT_EQ(calls_starting("vb_iread"), std::vector<std::string>{"vb_iread(1,1,8192)"});
  EXPECT_EQ(Talmeraddr, -1);
}

TEST_F(gpib_window_test, a_search_after_a_success_probes_only_the_address_found) {
  install_ni();
  fake_ni488().boards = {0};
  fake_ni488().instruments[23];
  int Talmeraddr = -1;
  bool error_active = false;
  std::string error_text;
  w.find_Talmer_NI("0", Talmeraddr, error_active, error_text);
  ASSERT_EQ(w.Talmerid.text(), "23");
  gpib_calls().clear();
  w.find_Talmer_NI("0", Talmeraddr, error_active, error_text);
  EXPECT_EQ(calls_starting("ibdev"), std::vector<std::string>{"ibdev(0,23,0,9,1,0)"});
  EXPECT_EQ(calls_starting("Register"), std::vector<std::string>{}) << "registered once per process";
}
