// The two waveform memories: whole blocks of 8192 bytes, the catalog reply,
// replacement, refused stores, the store folder, and the wire log.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim_rig.h"

namespace talmer::sim {
namespace {

using testing::pattern;
using testing::read_file;
using testing::rig;
using testing::temp_dir;

auto small_memory(std::uint64_t bytes) {
  return [bytes](settings &s) { s.capacity = bytes; };
}

TEST(memory, catalog_lists_each_waveform_with_its_size_and_counts_whole_blocks) {
  rig r(link_kind::ni488, small_memory(1 << 20));
  EXPECT_EQ(r.query("mmem:cat? \"arbi:\""), "0,1048576\n");
  r.store(channel::i, "zeta", pattern(100));
  r.store(channel::i, "Alpha", pattern(8192));
  r.store(channel::i, "mid", pattern(8194));
  // 8192 + 8192 + 16384 occupied; names in alphabetical order.
  EXPECT_EQ(r.query("mmem:cat? \"arbi:\""),
            "32768,1015808,\"Alpha,BIN,8192\",\"mid,BIN,8194\",\"zeta,BIN,100\"\n");
  // The Q memory is separate.
  EXPECT_EQ(r.query("mmem:cat? \"arbq:\""), "0,1048576\n");
  EXPECT_TRUE(r.inst->errors().empty());
}

TEST(memory, storing_over_a_name_replaces_it_in_any_letter_case) {
  rig r(link_kind::ravlink, small_memory(1 << 20));
  r.store(channel::i, "WAVE", pattern(100, 1));
  r.store(channel::i, "wave", pattern(20000, 2));
  ASSERT_EQ(r.inst->memory(channel::i).size(), 1u);
  const waveform &w = r.inst->memory(channel::i).front();
  EXPECT_EQ(w.name, "wave");
  EXPECT_EQ(w.size, 20000u);
  EXPECT_EQ(w.data, pattern(20000, 2));
  EXPECT_EQ(r.query("mmem:cat? \"arbi:\""), "24576,1024000,\"wave,BIN,20000\"\n");
}

TEST(memory, a_store_that_does_not_fit_stores_nothing_and_queues_an_error) {
  rig r(link_kind::rs232, small_memory(32768));
  r.store(channel::i, "A", pattern(8192));
  r.store(channel::i, "B", pattern(16384));
  ASSERT_EQ(r.query("mmem:cat? \"arbi:\""), "24576,8192,\"A,BIN,8192\",\"B,BIN,16384\"\n");
  r.store(channel::i, "C", pattern(8194));  // needs 16384, 8192 free
  EXPECT_EQ(r.inst->find(channel::i, "C"), nullptr);
  EXPECT_EQ(r.inst->errors().back().code, -225);
  EXPECT_EQ(r.inst->stores().back().outcome, store_outcome::out_of_memory);
  EXPECT_EQ(r.query("mmem:cat? \"arbi:\""), "24576,8192,\"A,BIN,8192\",\"B,BIN,16384\"\n");
  // The old blocks of a name count as free for its replacement: exactly fits.
  r.store(channel::i, "B", pattern(24576, 3));
  EXPECT_EQ(r.query("mmem:cat? \"arbi:\""), "32768,0,\"A,BIN,8192\",\"B,BIN,24576\"\n");
  // A refused replacement keeps the old waveform.
  r.store(channel::i, "A", pattern(16384));
  EXPECT_EQ(r.inst->find(channel::i, "A")->data, pattern(8192));
  EXPECT_EQ(r.query("*OPC?"), "1\n");
}

TEST(memory, the_waveform_the_arb_plays_cannot_be_replaced_or_deleted) {
  rig r(link_kind::ni488, [](settings &s) {
    s.arb_on = true;
    s.selected = "W1";
  });
  r.store(channel::i, "w1", pattern(16));
  EXPECT_EQ(r.inst->errors().back().code, -221);
  EXPECT_EQ(r.inst->stores().back().outcome, store_outcome::playing);
  r.store(channel::q, "W1", pattern(16));
  EXPECT_EQ(r.inst->stores().back().outcome, store_outcome::playing);
  r.store(channel::i, "W2", pattern(16));
  EXPECT_NE(r.inst->find(channel::i, "W2"), nullptr);
  r.message("rad:arb:stat 0");
  r.store(channel::i, "W1", pattern(16));
  EXPECT_NE(r.inst->find(channel::i, "W1"), nullptr);
  r.message("mmem:del \"arbi:W2\"");
  EXPECT_EQ(r.inst->find(channel::i, "W2"), nullptr);
}

TEST(memory, waveforms_named_in_the_settings_are_there_from_the_start) {
  settings s;
  ASSERT_EQ(apply_setting(s, "waveform", "arbi:OLD:100;arbq:OLD:100"), "");
  ASSERT_EQ(apply_setting(s, "capacity", "64K"), "");
  manual_clock c;
  instrument inst(s, c, link_kind::ni488);
  EXPECT_EQ(inst.catalog_text(channel::i), "8192,57344,\"OLD,BIN,100\"");
  EXPECT_EQ(inst.catalog_text(channel::q), "8192,57344,\"OLD,BIN,100\"");
}

TEST(memory, keeps_only_the_first_bytes_in_memory_but_fingerprints_all) {
  rig r(link_kind::ni488, [](settings &s) { s.keep_bytes = 10; });
  const std::string data = pattern(100);
  r.store(channel::i, "W", data);
  const waveform *w = r.inst->find(channel::i, "W");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->data, data.substr(0, 10));
  EXPECT_FALSE(w->data_complete);
  EXPECT_EQ(w->hash, fnv1a(data));
}

TEST(store_folder, receives_the_exact_data_bytes_of_every_stored_waveform) {
  temp_dir dir;
  rig r(link_kind::ni488, [&](settings &s) { s.store_dir = dir.path(); });
  const std::string i_data = pattern(20000, 5), q_data = pattern(64, 9);
  r.store(channel::i, "Pair", i_data);
  r.store(channel::q, "Pair", q_data);
  r.store(channel::i, "odd name/1", pattern(16));
  EXPECT_EQ(read_file(dir / "arbi_Pair.bin"), i_data);
  EXPECT_EQ(read_file(dir / "arbq_Pair.bin"), q_data);
  EXPECT_TRUE(std::filesystem::exists(dir / "arbi_odd%20name%2F1.bin"));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 3u);
}

TEST(store_folder, keeps_the_old_file_when_a_store_fails_and_renames_on_a_case_change) {
  temp_dir dir;
  rig r(link_kind::ravlink, [&](settings &s) {
    s.store_dir = dir.path();
    s.capacity = 16384;
  });
  r.store(channel::i, "W", pattern(100, 1));
  r.store(channel::i, "W", pattern(20000));  // does not fit
  r.send(testing::store_prefix(channel::i, "W") + testing::block_header(32) + pattern(31), true);  // short
  EXPECT_EQ(read_file(dir / "arbi_W.bin"), pattern(100, 1));
  r.store(channel::i, "w", pattern(50, 2));
  EXPECT_FALSE(std::filesystem::exists(dir / "arbi_W.bin"));
  EXPECT_EQ(read_file(dir / "arbi_w.bin"), pattern(50, 2));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1u);  // no partial files left behind
}

TEST(store_folder, is_the_memory_of_the_next_run) {
  temp_dir dir;
  {
    rig r(link_kind::ni488, [&](settings &s) { s.store_dir = dir.path(); });
    r.store(channel::i, "Kept", pattern(300));
    r.store(channel::q, "Kept", pattern(30));
  }
  rig next(link_kind::rs232, [&](settings &s) { s.store_dir = dir.path(); });
  EXPECT_EQ(next.query("mmem:cat? \"arbi:\""),
            "8192," + std::to_string(next.s.capacity - 8192) + ",\"Kept,BIN,300\"\n");
  const waveform *w = next.inst->find(channel::q, "Kept");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->data, pattern(30));
  next.message("mmem:del \"arbq:kept\"");
  EXPECT_FALSE(std::filesystem::exists(dir / "arbq_Kept.bin"));
}

TEST(wire_log, keeps_every_byte_with_the_message_boundaries) {
  rig r(link_kind::ravlink);
  r.query("*IDN?");
  r.store(channel::i, "W", "ab");
  const auto &recs = r.inst->log().records();
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].bytes, "*IDN?");
  EXPECT_TRUE(recs[0].end);
  EXPECT_EQ(recs[1].dir, direction::from_instrument);
  EXPECT_EQ(recs[1].bytes, r.s.identity + "\n");
  EXPECT_TRUE(recs[1].end);
  EXPECT_EQ(recs[2].bytes, "mmem:data \"arbi:W\", #12ab\n");
  EXPECT_TRUE(recs[2].end);
  EXPECT_EQ(r.inst->log().received_messages(),
            (std::vector<std::string>{"*IDN?", "mmem:data \"arbi:W\", #12ab\n"}));
  EXPECT_EQ(wire_log::format(recs[2]), "> 26 E mmem:data \"arbi:W\", #12ab\\n");
}

TEST(wire_log, counts_but_does_not_keep_bytes_beyond_its_cap) {
  rig r(link_kind::ni488, [](settings &s) { s.log_cap = 40; });
  r.store(channel::i, "W", pattern(1000));
  EXPECT_TRUE(r.inst->log().truncated());
  EXPECT_EQ(r.inst->log().received().size(), 40u);
  EXPECT_EQ(r.inst->log().received_total(), 1000u + 21u + 5u);
  EXPECT_NE(r.inst->find(channel::i, "W"), nullptr);  // the store itself is whole
  EXPECT_EQ(wire_log::format(r.inst->log().records().back()).substr(0, 9), "> 1026 E ");
  EXPECT_EQ(wire_log::format(r.inst->log().records().back()).substr(
                wire_log::format(r.inst->log().records().back()).size() - 3),
            "...");
}

}  // namespace
}  // namespace talmer::sim
