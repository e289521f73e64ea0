// The room check on the catalog reply: fits, does not fit, cannot be parsed.
#include <gtest/gtest.h>

#include <string>

#include "download/memory_check.h"

using namespace talmer::download;

namespace {

struct row {
  const char *what;
  std::string reply;
  const char *name;
  const char *points;
  memory_check outcome;
};

void PrintTo(const row &r, std::ostream *os) { *os << r.what; }

const std::string blank(4880, ' ');

}  // namespace

class memory_rows : public ::testing::TestWithParam<row> {};

TEST_P(memory_rows, outcome_and_error_pair) {
  const row &r = GetParam();
  std::string buf = r.reply;
  bool error_active = false;
  std::string error_text = "before";
  EXPECT_EQ(check_avail_memory(buf, r.name, r.points, error_active, error_text), r.outcome);
  if (r.outcome == memory_check::does_not_fit) {
    EXPECT_TRUE(error_active);
    EXPECT_EQ(error_text, "Not enough memory to download '" + std::string(r.name) + "'.");
  } else {
    EXPECT_FALSE(error_active);
    EXPECT_EQ(error_text, "before");
  }
}

INSTANTIATE_TEST_SUITE_P(
    memory_check, memory_rows,
    ::testing::Values(
        row{"free 100000 for 50000 points", "0,100000\n" + blank, "wave", "50000",
            memory_check::fits},
        row{"one point more", "0,100000\n" + blank, "wave", "50001", memory_check::does_not_fit},
        row{"other entries do not count", "8192,100000,\"other,WFM,8192\"\n", "wave", "50000",
            memory_check::fits},
        row{"size 1 counts as 8192", "0,0,\"wave,WFM,1\"\n", "wave", "4096", memory_check::fits},
        row{"size 1 is only 8192", "0,0,\"wave,WFM,1\"\n", "wave", "4097",
            memory_check::does_not_fit},
        row{"size 16384 is 16384", "0,0,\"wave,WFM,16384\"\n", "wave", "8192", memory_check::fits},
        row{"16384 is not 24576", "0,0,\"wave,WFM,16384\"\n", "wave", "8193",
            memory_check::does_not_fit},
        row{"16385 counts as 24576", "0,0,\"wave,WFM,16385\"\n", "wave", "12288",
            memory_check::fits},
        row{"24576 is the most", "0,0,\"wave,WFM,16385\"\n", "wave", "12289",
            memory_check::does_not_fit},
        row{"free and old size add up", "0,8192,\"wave,WFM,8192\"\n", "wave", "8192",
            memory_check::fits},
        row{"wave1 is not wave", "0,0,\"wave1,WFM,90000\"\n", "wave", "16",
            memory_check::does_not_fit},
        row{"letter case ignored", "0,0,\"WAVE,WFM,90000\"\n", "wave", "16", memory_check::fits},
        row{"a later entry of the name", "0,0,\"a,WFM,8\",\"wave,WFM,40000\"\n", "wave", "20000",
            memory_check::fits},
        row{"two fields and a line feed", "123,456\n", "wave", "228", memory_check::fits},
        row{"leading blanks trimmed", "   0,456\n", "wave", "229", memory_check::does_not_fit},
        row{"free not numeric reads 0", "0,abc,\n", "wave", "16", memory_check::does_not_fit},
        row{"32.5 rounds down to 32", "0,32.5\n", "wave", "16.25", memory_check::does_not_fit},
        row{"33.5 rounds up to 34", "0,33.5\n", "wave", "17", memory_check::fits},
        row{"no comma", "100000\n", "wave", "16", memory_check::unparsable},
        row{"empty reply", "", "wave", "16", memory_check::unparsable},
        row{"blank reply buffer", blank, "wave", "16", memory_check::unparsable},
        row{"entry without size comma", "0,0,\"wave,WFM", "wave", "16", memory_check::unparsable},
        row{"entry without closing quote", "0,0,\"wave,WFM,8192\n", "wave", "16",
            memory_check::unparsable},
        row{"name at the very start is not an entry", "\"wave,1,2", "wave", "16",
            memory_check::does_not_fit}));

TEST(memory_check, the_reply_is_replaced_by_the_trimmed_reply_and_a_comma) {
  std::string buf = "  0,100\n   ";
  bool error_active = false;
  std::string error_text;
  check_avail_memory(buf, "wave", "16", error_active, error_text);
  EXPECT_EQ(buf, "0,100\n,");
}

TEST(memory_check, a_failure_already_set_is_not_cleared) {
  std::string buf = "0,100000\n";
  bool error_active = true;
  std::string error_text = "earlier";
  EXPECT_EQ(check_avail_memory(buf, "wave", "16", error_active, error_text), memory_check::fits);
  EXPECT_TRUE(error_active);
  EXPECT_EQ(error_text, "earlier");
}
