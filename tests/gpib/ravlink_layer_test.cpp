// The Ravlink call layer over the recording fake library: the failure rule
// and the pending error, the two modes, the buffers.
#include <gtest/gtest.h>

#include <numeric>

#include "gpib/ravlink/ravlink_layer.h"
#include "support/fake_gpib.h"

using namespace talmer;
using namespace talmer::testing;

namespace {

struct ravlink_layer_test : ::testing::Test {
  gpib::pending_error pending;
  std::unique_ptr<ravlink::call_layer> layer;

  void SetUp() override {
    reset_fake_ravlink();
    std::string problem;
    auto entries = ravlink::library_entries::from_library(make_fake_ravlink(), "/x/libvbravlink32.so", problem);
    ASSERT_TRUE(entries) << problem;
    layer = std::make_unique<ravlink::call_layer>(std::move(entries), pending);
  }
  std::int16_t open(const std::string &address) {
    auto r = layer->vb_iopen(address);
    EXPECT_TRUE(r);
    return r.value_or(0);
  }
};

}  // namespace

TEST_F(ravlink_layer_test, a_failed_open_raises_and_leaves_the_id_unchanged) {
  std::int16_t id = 42;
  if (auto r = layer->vb_iopen("corvaneib")) id = *r;
  EXPECT_EQ(id, 42);
  EXPECT_EQ(pending.number(), ravlink::I_ERR_BADADDR);
  ASSERT_EQ(pending.text().size(), ravlink::error_text_length);
  EXPECT_EQ(pending.text().substr(0, fake_ravlink_error_text(2).size()), fake_ravlink_error_text(2));
  EXPECT_EQ(gpib_calls(), (std::vector<std::string>{"vb_iopen(corvaneib)", "vb_igeterrstr(2)"}));
}

TEST_F(ravlink_layer_test, a_later_success_does_not_clear_a_pending_error) {
  fake_ravlink().interfaces = {"gpib0"};
  const std::int16_t id = open("gpib0");
  fake_ravlink().failing_clears = 1;
  EXPECT_FALSE(layer->vb_iclear(id));
  EXPECT_EQ(pending.number(), ravlink::I_ERR_IO);
  EXPECT_EQ(layer->vb_iclear(id), std::optional<std::int16_t>(0));
  EXPECT_EQ(pending.number(), ravlink::I_ERR_IO);
  // A second failure replaces the first.
  EXPECT_FALSE(layer->vb_itimeout(99, 100));
  EXPECT_EQ(pending.number(), ravlink::I_ERR_BADID);
}

TEST_F(ravlink_layer_test, a_failure_without_an_error_number_shows_only_in_the_result) {
  fake_ravlink().errors_without_number = true;
  EXPECT_EQ(layer->vb_iopen("nothing"), std::optional<std::int16_t>(0));
  EXPECT_EQ(layer->vb_iclear(5), std::optional<std::int16_t>(-1));
  EXPECT_EQ(pending.number(), 0);
  EXPECT_TRUE(calls_starting("vb_igeterrstr").empty());
}

TEST_F(ravlink_layer_test, a_read_that_times_out_keeps_the_reply_buffer) {
  fake_ravlink().interfaces = {"gpib0"};
  fake_ravlink().instruments[19];
  const std::int16_t id = open("gpib0,19");
  std::string reply(240, ' ');
  std::int16_t reason = 0;
  std::int32_t actual = 0;
  EXPECT_FALSE(layer->vb_iread(id, reply, 240, reason, actual));
  EXPECT_EQ(pending.number(), ravlink::I_ERR_TIMEOUT);
  EXPECT_EQ(reply, std::string(240, ' '));

  pending.clear();
  layer->vb_iwrite(id, "*IDN?", 5, 1, actual);
  EXPECT_EQ(actual, 5);
  ASSERT_TRUE(layer->vb_iread_mode1(id, reply, 240, reason, actual));
  const std::string idn = fake_instrument{}.idn + "\n";
  EXPECT_EQ(actual, static_cast<std::int32_t>(idn.size()));
  EXPECT_EQ(reply.size(), 240u);
  EXPECT_EQ(reply.substr(0, idn.size()), idn);
  EXPECT_EQ(reply.substr(idn.size()), std::string(240 - idn.size(), ' '));
  EXPECT_EQ(calls_starting("vb_iwrite"), std::vector<std::string>{"vb_iwrite(2,1,\"*IDN?\",5,1)"});
  EXPECT_EQ(calls_starting("vb_iread"), (std::vector<std::string>{"vb_iread(2,1,240)", "vb_iread(1,1,240)"}));
}

TEST_F(ravlink_layer_test, array_forms_pass_bytes_in_memory_order_and_never_beyond_the_buffer) {
  fake_ravlink().interfaces = {"gpib0"};
  fake_ravlink().instruments[3];
  const std::int16_t id = open("gpib0,3");
  std::vector<std::int16_t> chunk(4, 0x4141);
  std::int32_t actual = 0;
  layer->vb_iwrite(id, std::span<const std::int16_t>(chunk), 6, 0, actual);
  layer->vb_iwrite_mode1(id, std::span<const std::int16_t>(chunk), 1000, 0, actual);
  layer->vb_iwrite(id, "\n", 1, 1, actual);
  layer->vb_iflush(id, ravlink::FLUSH_WRITE);
  layer->vb_iwrite(id, "*IDN?", 5, 1, actual);
  std::vector<std::int16_t> scratch(8192, 0);
  std::int16_t reason = 0;
  ASSERT_TRUE(layer->vb_iread_mode1(id, std::span<std::int16_t>(scratch), 8192, reason, actual));
  EXPECT_NE(scratch[0], 0);
  EXPECT_EQ(calls_starting("vb_iwrite"),
            (std::vector<std::string>{"vb_iwrite(2,1,\"AAAAAA\",6,0)", "vb_iwrite(1,1,\"AAAAAAAA\",8,0)",
                                      "vb_iwrite(2,1,\".\",1,1)", "vb_iwrite(2,1,\"*IDN?\",5,1)"}));
  EXPECT_EQ(calls_starting("vb_iflush"), std::vector<std::string>{"vb_iflush(1,2)"});
  EXPECT_EQ(pending.number(), 0);
}

TEST_F(ravlink_layer_test, iswap_reverses_each_16_bit_value_of_the_whole_chunk) {
  std::vector<std::int16_t> chunk(8192);
  std::iota(chunk.begin(), chunk.end(), std::int16_t{0});
  ASSERT_EQ(layer->vb_iswap(std::span<std::int16_t>(chunk), 16384, 2), std::optional<std::int16_t>(0));
  for (std::size_t i = 0; i < chunk.size(); ++i) {
    const auto v = static_cast<std::uint16_t>(i);
    ASSERT_EQ(static_cast<std::uint16_t>(chunk[i]), static_cast<std::uint16_t>((v >> 8) | (v << 8))) << i;
  }
  // A length beyond the buffer is held to its end.
  std::vector<std::int16_t> small(2, 0x0102);
  layer->vb_iswap(std::span<std::int16_t>(small), 16384, 2);
  EXPECT_EQ(calls_starting("vb_iswap").back(), "vb_iswap(4,2)");
  EXPECT_EQ(small[0], 0x0201);
}
