// The pure rules of the GPIB link discovery: folding, 8-bit text, reply
// tests, the address list, the order of the address search, the texts and
// the probe paths.
#include <gtest/gtest.h>

#include <vector>

#include "gpib/card_probes.h"
#include "gpib/discovery_rules.h"
#include "gpib/library_status.h"
#include "gpib/ni488/ni488_layer.h"
#include "gpib/text8.h"

using namespace talmer::gpib;

TEST(long_to_int16, folds_the_low_half_into_a_signed_value) {
  struct row {
    std::int64_t in;
    std::int16_t out;
  };
  for (const row &r : std::vector<row>{{0x12345, 9029},
                                       {0xC004, -16380},
                                       {0x8000, -32768},
                                       {-1, -1},
                                       {0x7FFF, 32767},
                                       {0, 0},
                                       {0x10000, 0},
                                       {static_cast<std::int64_t>(0xFFFF8001), -32767}})
    EXPECT_EQ(talmer::ni488::long_to_int16(r.in), r.out) << r.in;
}

TEST(to_8bit, gives_one_byte_per_character) {
  EXPECT_EQ(to_8bit("*IDN?"), "*IDN?");
  EXPECT_EQ(to_8bit(""), "");
  EXPECT_EQ(to_8bit("w\xC3\xA4ve"), "w\xE4ve");             // U+00E4 -> one byte
  EXPECT_EQ(to_8bit("\xE2\x82\xAC" "1"), "?1");             // U+20AC has no 8-bit code
  EXPECT_EQ(to_8bit("a\xE4z"), "a\xE4z");                   // a lone 8-bit byte stays
  EXPECT_EQ(to_8bit("\xC3"), "\xC3");                       // cut sequence stays
  EXPECT_EQ(to_8bit("\xC0\xAF"), "\xC0\xAF");               // overlong form stays as bytes
  EXPECT_EQ(to_8bit(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(replies, identify_the_instrument_and_its_option_in_any_letter_case) {
  EXPECT_TRUE(identifies_talmer("Talmer Instruments,Talmer-D,1,2"));
  EXPECT_TRUE(identifies_talmer("talmer-d"));
  EXPECT_TRUE(identifies_talmer("acme,k902,1"));
  EXPECT_TRUE(identifies_talmer(std::string(200, ' ') + "K902" + std::string(36, ' ')));
  EXPECT_FALSE(identifies_talmer("Talmer-A,1234"));
  EXPECT_FALSE(identifies_talmer(std::string(240, ' ')));
  EXPECT_TRUE(has_arb_option("SNX,qvx"));
  EXPECT_FALSE(has_arb_option("QV,X"));
}

TEST(address_list, auto_detect_starts_at_19_and_a_number_is_rounded_half_to_even) {
  struct row {
    const char *text;
    std::int16_t first;
    bool automatic;
  };
  for (const row &r : std::vector<row>{{"Auto Detect", 19, true},
                                       {"AUTO DETECT", 19, true},
                                       {"7", 7, false},
                                       {"0", 0, false},
                                       {"30", 30, false},
                                       {"6.5", 6, false},
                                       {"7.5", 8, false},
                                       {" 12abc", 12, false},
                                       {"", 0, false},
                                       {"Comm 2", 0, false},
                                       {"Auto Detected", 0, false},
                                       {"1e1", 10, false},
                                       {"99999999", 32767, false}}) {
    const address_choice c = address_from_list(r.text);
    EXPECT_EQ(c.first, r.first) << r.text;
    EXPECT_EQ(c.automatic, r.automatic) << r.text;
  }
}

namespace {
std::vector<int> search_order(std::int16_t first, bool automatic, bool corvane) {
  std::vector<int> order;
  std::int16_t a = first;
  if (corvane && a > 30) a = 0;
  bool first_pass = true;
  while (a < address_limit) {
    order.push_back(a);
    a = next_address(a, automatic, first_pass, corvane);
  }
  return order;
}
std::vector<int> range(int from, int to) {
  std::vector<int> v;
  for (int i = from; i <= to; ++i) v.push_back(i);
  return v;
}
std::vector<int> join(std::vector<int> a, const std::vector<int> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
}  // namespace

TEST(address_search_order, wraps_once_and_stops_where_each_family_stops) {
  EXPECT_EQ(search_order(19, true, false), join(range(19, 30), range(0, 30)));
  EXPECT_EQ(search_order(19, true, true), join(range(19, 30), range(0, 19)));
  EXPECT_EQ(search_order(7, false, false), std::vector<int>{7});
  EXPECT_EQ(search_order(7, false, true), std::vector<int>{7});
  EXPECT_EQ(search_order(31, false, true), std::vector<int>{0});
  EXPECT_EQ(search_order(31, false, false), std::vector<int>{});
}

TEST(discovery_texts, read_word_for_word) {
  EXPECT_EQ(trace_text("find_gpibcard: x"), "Starting step:  \n\rfind_gpibcard: x");
  EXPECT_EQ(no_interface_text("BOTH"), "Found both Corvane and NI gpib cards, but no installed interface. ");
  EXPECT_EQ(no_interface_text("NI"), "Found a NI gpib card, but no installed interface. ");
  EXPECT_EQ(no_interface_text("Corvane"), "Found a Corvane gpib card, but no installed interface. ");
  EXPECT_EQ(no_talmer_text(ni_interface_prefix, "0", false, "7"),
            "Found NI gpib interface at 0, but no (Digital) Talmer at address 7.\n\rTry using Auto Detect.");
  EXPECT_EQ(no_talmer_text(corvane_interface_prefix, "gpib7", true, "Auto Detect"),
            "Found GPIB interface at gpib7, but no (Digital) Talmer attached.\n\r"
            "Check cable or cycle power  on the Talmer. ");
  EXPECT_EQ(testing_address_text(19), "Testing address:  19");
  EXPECT_EQ(testing_address_text(0), "Testing address:  0");
  EXPECT_EQ(testing_address_text(-1), "Testing address: -1");
}

TEST(card_family, corvane_rule_joins_a_found_ni_card) {
  EXPECT_EQ(after_card_found("NONE", card_family::ni), "NI");
  EXPECT_EQ(after_card_found("BOTH", card_family::ni), "NI");
  EXPECT_EQ(after_card_found("NONE", card_family::corvane), "Corvane");
  EXPECT_EQ(after_card_found("Corvane", card_family::corvane), "Corvane");
  EXPECT_EQ(after_card_found("NI", card_family::corvane), "BOTH");
  EXPECT_EQ(after_card_found("BOTH", card_family::corvane), "BOTH");
}

TEST(probe_paths, join_the_variable_and_the_tail_and_trim_blanks) {
  const card_probe &system_ni = windows_card_probes()[0];
  EXPECT_EQ(probe_path(system_ni, std::string("C:\\WINDOWS")), "C:\\WINDOWS\\system\\gpib-32.dll");
  EXPECT_EQ(probe_path(system_ni, std::string("  C:\\WINDOWS")), "C:\\WINDOWS\\system\\gpib-32.dll");
  EXPECT_EQ(probe_path(system_ni, std::nullopt), "\\system\\gpib-32.dll");  // unset: the tail alone
  // A long folder is used whole: cutting it would name another file.
  const std::string long_root = "C:\\" + std::string(250, 'x');
  EXPECT_EQ(probe_path(system_ni, long_root), long_root + "\\system\\gpib-32.dll");

  const card_probe &libdir_ni = linux_card_probes()[0];
  EXPECT_EQ(probe_path(libdir_ni, std::string("/opt/sim")), "/opt/sim/libgpib.so.0");
  EXPECT_EQ(probe_path(libdir_ni, std::nullopt), std::nullopt);  // unset: skipped
  EXPECT_EQ(probe_path(libdir_ni, std::string("  ")), std::nullopt);
  EXPECT_EQ(probe_path(linux_card_probes()[2], std::nullopt), "/usr/local/lib/libgpib.so.0");
}

TEST(probe_tables, hold_the_ten_windows_probes_and_the_linux_folders_in_order) {
  ASSERT_EQ(windows_card_probes().size(), 10u);
  EXPECT_STREQ(windows_card_probes()[3].trace, "find_gpibcard: c:\\winnt\\system32\\gpib-32.dll");
  EXPECT_STREQ(windows_card_probes()[9].trace, "find_gpibcard: c:\\winnt\\system32\\ravlink32.dll");
  std::vector<std::string> linux_traces;
  for (const auto &p : linux_card_probes()) linux_traces.emplace_back(p.trace);
  const std::string m = "/usr/lib/x86_64-linux-gnu";
  const std::vector<std::string> expected{
      "find_gpibcard: TALMER_ARB_LIBDIR/libgpib.so.0",  "find_gpibcard: TALMER_ARB_LIBDIR/libgpibapi.so.0",
      "find_gpibcard: /usr/local/lib/libgpib.so.0",     "find_gpibcard: /usr/local/lib/libgpibapi.so.0",
      "find_gpibcard: /usr/lib/libgpib.so.0",           "find_gpibcard: /usr/lib/libgpibapi.so.0",
      "find_gpibcard: " + m + "/libgpib.so.0",          "find_gpibcard: " + m + "/libgpibapi.so.0",
      "find_gpibcard: /usr/lib64/libgpib.so.0",         "find_gpibcard: /usr/lib64/libgpibapi.so.0",
      "find_gpibcard: TALMER_ARB_LIBDIR/libravlink32.so", "find_gpibcard: /usr/local/lib/libravlink32.so",
      "find_gpibcard: /usr/lib/libravlink32.so",        "find_gpibcard: " + m + "/libravlink32.so",
      "find_gpibcard: /usr/lib64/libravlink32.so"};
#if defined(__x86_64__)
  EXPECT_EQ(linux_traces, expected);
#endif
}

TEST(probe_tables, load_the_ravlink_entries_from_the_library_next_to_the_probed_one) {
  EXPECT_EQ(library_load_path("/usr/lib/libravlink32.so", linux_card_probes()[12]), "/usr/lib/libvbravlink32.so");
  EXPECT_EQ(library_load_path("/usr/lib/libgpib.so.0", linux_card_probes()[4]), "/usr/lib/libgpib.so.0");
  EXPECT_EQ(library_load_path("c:\\windows\\system32\\ravlink32.dll", windows_card_probes()[8]),
            "c:\\windows\\system32\\vbravlink32.dll");
}

TEST(library_problems, are_told_from_one_table) {
  EXPECT_EQ(library_problem_text(library_state::lacks_entries, "NI-488.2 driver library", "/x/libgpib.so.0",
                                 entry_list({"ibdev"})),
            "The NI-488.2 driver library /x/libgpib.so.0 is unusable: it lacks the entry ibdev.");
  EXPECT_EQ(entry_list({"ibdev", "ibrd"}), "the entries ibdev, ibrd");
  EXPECT_EQ(library_problem_text(library_state::cannot_load, "Ravlink I/O library", "/a/{detail}", "bad ELF"),
            "The Ravlink I/O library /a/{detail} could not be loaded: bad ELF.");
  EXPECT_EQ(library_problem_text(library_state::not_found, "Ravlink I/O library", "", ""),
            "No Ravlink I/O library was found.");
  EXPECT_EQ(library_problem_text(library_state::usable, "x", "y", "z"), "");
}
