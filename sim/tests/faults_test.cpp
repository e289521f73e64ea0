// Each fault of a run, as the instrument model shows it.
#include <gtest/gtest.h>

#include "sim_rig.h"

namespace talmer::sim {
namespace {

using testing::pattern;
using testing::rig;

auto with_fault(const std::string &text) {
  return [text](settings &s) { ASSERT_EQ(add_faults(s.faults, text), ""); };
}

TEST(faults, no_reply_silences_one_query_or_all) {
  rig one(link_kind::ni488, with_fault("no-reply=*idn?"));
  EXPECT_EQ(one.query("*IDN?"), "");
  EXPECT_EQ(one.query("DIAG:INFO:OPT?"), "QVB,QVX\n");
  rig cat(link_kind::ni488, with_fault("no-reply=MMEMory:CATalog?"));
  EXPECT_EQ(cat.query("mmem:cat? \"arbi:\""), "");
  EXPECT_EQ(cat.query("*OPC?"), "1\n");
  rig all(link_kind::rs232, with_fault("no-reply=*"));
  for (const char *q : {"*IDN?", "*OPC?", "rad:arb:stat?", "SYST:ERR?"}) EXPECT_EQ(all.query(q), "") << q;
}

TEST(faults, no_reply_may_silence_only_the_first_times) {
  rig r(link_kind::ni488, with_fault("no-reply=*IDN?/2"));
  EXPECT_EQ(r.query("*IDN?"), "");
  EXPECT_EQ(r.query("*OPC?"), "1\n");
  EXPECT_EQ(r.query("*IDN?"), "");
  EXPECT_EQ(r.query("*IDN?"), r.s.identity + "\n");
  EXPECT_EQ(r.query("*IDN?"), r.s.identity + "\n");
}

TEST(faults, a_slow_reply_is_due_only_after_its_delay) {
  rig r(link_kind::ni488, with_fault("slow-reply=*IDN?/500"));
  r.message("*IDN?");
  EXPECT_EQ(r.inst->next_output_ms(), 500);
  EXPECT_EQ(r.reply(), "");
  r.clock.advance(499);
  EXPECT_EQ(r.reply(), "");
  r.clock.advance(1);
  EXPECT_EQ(r.reply(), r.s.identity + "\n");
  EXPECT_EQ(r.query("*OPC?"), "1\n");  // other queries are prompt
}

TEST(faults, a_split_reply_arrives_in_pieces_apart) {
  rig r(link_kind::rs232, with_fault("split-reply=*/3/40"));
  r.message("*OPC?");  // 2 bytes: no more pieces than bytes
  EXPECT_EQ(r.reply(), "1");
  r.clock.advance(40);
  EXPECT_EQ(r.reply(), "\n");
  r.message("*IDN?");
  const std::string idn = r.s.identity + "\n";
  std::string got = r.reply();
  EXPECT_EQ(got, idn.substr(0, idn.size() / 3));
  r.clock.advance(40);
  got += r.reply();
  EXPECT_EQ(got, idn.substr(0, idn.size() * 2 / 3));
  r.clock.advance(40);
  got += r.reply();
  EXPECT_EQ(got, idn);
}

TEST(faults, slow_and_split_combine) {
  rig r(link_kind::ravlink, with_fault("slow-reply=*OPC?/100;split-reply=*OPC?/2/10"));
  r.message("*OPC?");
  r.clock.advance(100);
  EXPECT_EQ(r.reply(), "1");
  r.clock.advance(10);
  EXPECT_EQ(r.reply(), "\n");
}

TEST(faults, garbled_and_unparsable_catalogs) {
  rig garbled(link_kind::ni488, with_fault("garbled-catalog"));
  garbled.store(channel::i, "W1", pattern(100));
  EXPECT_EQ(garbled.query("mmem:cat? \"arbi:\""), "??,??,\"W1,BIN,100\n");
  rig unparsable(link_kind::ni488, with_fault("unparsable-catalog"));
  const std::string reply = unparsable.query("mmem:cat? \"arbi:\"");
  EXPECT_EQ(reply.find(','), std::string::npos);
  EXPECT_EQ(reply.back(), '\n');
}

TEST(faults, another_device_and_a_missing_option) {
  rig other(link_kind::ni488, with_fault("other-device"));
  EXPECT_EQ(other.query("*IDN?"), other.s.other_identity + "\n");
  rig no_qvx(link_kind::ni488, [](settings &s) {
    s.options = "QVB,QVX,Q10";
    ASSERT_EQ(add_faults(s.faults, "no-qvx"), "");
  });
  EXPECT_EQ(no_qvx.query("DIAG:INFO:OPT?"), "QVB,Q10\n");
}

TEST(faults, the_arb_plays_the_target) {
  rig r(link_kind::rs232, with_fault("arb-playing=Target"));
  EXPECT_EQ(r.query("rad:arb:stat?"), "1\n");
  EXPECT_EQ(r.query("rad:arb:wav?"), "\"ARBI:Target\"\n");
  r.store(channel::i, "TARGET", pattern(16));
  EXPECT_EQ(r.inst->stores().back().outcome, store_outcome::playing);
}

TEST(faults, memory_full_leaves_room_only_for_replacements) {
  rig r(link_kind::ni488, [](settings &s) {
    s.capacity = 65536;
    ASSERT_EQ(apply_setting(s, "waveform", "arbi:OLD:8192"), "");
    ASSERT_EQ(add_faults(s.faults, "memory-full"), "");
  });
  EXPECT_EQ(r.query("mmem:cat? \"arbi:\""), "65536,0,\"OLD,BIN,8192\"\n");
  EXPECT_EQ(r.query("mmem:cat? \"arbq:\""), "65536,0\n");
  r.store(channel::i, "NEW", pattern(16));
  EXPECT_EQ(r.inst->stores().back().outcome, store_outcome::out_of_memory);
  r.store(channel::i, "old", pattern(8192));
  EXPECT_EQ(r.inst->stores().back().outcome, store_outcome::stored);
}

TEST(faults, the_link_drops_after_n_data_bytes) {
  rig r(link_kind::ni488, with_fault("drop-after=100"));
  r.store(channel::i, "A", pattern(60));
  ASSERT_NE(r.inst->find(channel::i, "A"), nullptr);
  const std::string head = testing::store_prefix(channel::i, "B") + testing::block_header(80);
  EXPECT_EQ(r.inst->receive(head, false), head.size());
  EXPECT_EQ(r.inst->receive(pattern(80), true), 40u);
  EXPECT_TRUE(r.inst->dropped());
  EXPECT_EQ(r.inst->data_bytes(), 100u);
  EXPECT_EQ(r.inst->find(channel::i, "B"), nullptr);
  EXPECT_EQ(r.inst->stores().back().outcome, store_outcome::aborted);
  EXPECT_EQ(r.inst->receive("*OPC?", true), 0u);
  EXPECT_FALSE(r.inst->has_output());
}

TEST(faults, settings_name_every_fault_and_refuse_unknown_ones) {
  fault_set f;
  EXPECT_EQ(add_faults(f, "no-reply=*IDN?; slow-reply=mmem:cat?/500; split-reply=*/3/40; garbled-catalog;"
                          "unparsable-catalog; other-device; no-qvx; arb-playing=W1; memory-full; drop-after=1M;"
                          "xoff-stuck"),
            "");
  ASSERT_EQ(f.no_reply.size(), 1u);
  EXPECT_EQ(f.no_reply[0].query, "*IDN?");
  EXPECT_EQ(f.no_reply[0].times, 0u);
  ASSERT_EQ(f.timing.size(), 2u);
  EXPECT_EQ(f.timing[0].query, "MMEM:CAT?");
  EXPECT_EQ(f.timing[0].delay_ms, 500);
  EXPECT_EQ(f.timing[1].query, "*");
  EXPECT_EQ(f.timing[1].pieces, 3);
  EXPECT_EQ(f.timing[1].gap_ms, 40);
  EXPECT_TRUE(f.garbled_catalog && f.unparsable_catalog && f.other_device && f.no_qvx && f.memory_full &&
              f.xoff_stuck);
  EXPECT_EQ(f.arb_playing, "W1");
  EXPECT_EQ(f.drop_after, 1u << 20);

  const char *bad[] = {"no-reply=*FOO?", "no-reply=*IDN?/0", "slow-reply=*IDN?", "split-reply=*IDN?/0/5", "garbled-catalog=1",
                       "drop-after=x",   "arb-playing=",     "melt-down"};
  for (const char *text : bad) {
    fault_set g;
    EXPECT_NE(add_faults(g, text), "") << text;
  }
}

}  // namespace
}  // namespace talmer::sim
