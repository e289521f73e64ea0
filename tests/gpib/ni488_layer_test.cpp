// The NI-488.2 call layer over the recording fake driver: lazy
// registration and its answers, the status copy, the statement forms.
#include <gtest/gtest.h>

#include "gpib/ni488/ni488_layer.h"
#include "platform/fake_os.h"
#include "support/fake_gpib.h"

using namespace talmer;
using namespace talmer::testing;

namespace {

struct ni488_layer_test : ::testing::Test {
  platform::fake_os os;
  std::unique_ptr<ni488::call_layer> layer;

  void SetUp() override { reset_fake_ni488(); }
  ni488::call_layer &make(bool registration = true) {
    std::string problem;
    auto entries = ni488::driver_entries::from_library(make_fake_ni488(registration), "/x/libgpib.so.0", problem);
    EXPECT_TRUE(entries) << problem;
    layer = std::make_unique<ni488::call_layer>(std::move(entries), os, "Title");
    return *layer;
  }
};

}  // namespace

TEST_F(ni488_layer_test, the_first_operation_registers_then_calls_and_later_ones_do_not_register) {
  fake_ni488().boards = {0};
  auto &l = make();
  std::int16_t ud = 7;
  l.ibfind("GPIB1", ud);
  EXPECT_EQ(ud, -1) << "a name the driver does not know";
  EXPECT_EQ(l.gpib_globals_registered, 1);
  l.ibfind("GPIB0", ud);
  EXPECT_EQ(ud, 100);
  EXPECT_EQ(gpib_calls(),
            (std::vector<std::string>{"RegisterGpibGlobalsForThread", "ibfindA(GPIB1)", "ibfindA(GPIB0)"}));
  EXPECT_EQ(l.ibsta, ni488::CMPL);
}

struct registration_case {
  int answer;
  const char *message;  // nullptr: no message box, the call is made
  bool unregisters;
};

class registration_answers : public ni488_layer_test, public ::testing::WithParamInterface<registration_case> {};

TEST_P(registration_answers, are_handled_as_the_driver_means_them) {
  const registration_case &c = GetParam();
  fake_ni488().boards = {0};
  fake_ni488().register_answers = {c.answer};
  auto &l = make();
  std::int16_t ud = 0;
  if (c.message == nullptr) {
    l.ibfind("GPIB0", ud);
    EXPECT_EQ(ud, 100);
    EXPECT_TRUE(os.message_boxes.empty());
    EXPECT_EQ(l.gpib_globals_registered, 1);
    // Repaired: the cells registered by the second attempt receive the status.
    l.ibclr(ud);
    EXPECT_EQ(l.ibsta, ni488::CMPL);
  } else {
    EXPECT_THROW(l.ibfind("GPIB0", ud), platform::program_ended);
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].first, "Title");
    EXPECT_EQ(os.message_boxes[0].second, c.message);
    EXPECT_TRUE(calls_starting("ibfind").empty()) << "the call is not made";
    EXPECT_EQ(ud, 0);
  }
  EXPECT_EQ(calls_starting("UnregisterGpibGlobalsForThread").size(), c.unregisters ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    answers, registration_answers,
    ::testing::Values(registration_case{0, nullptr, false}, registration_case{1, nullptr, true},
                      registration_case{2, "Operating System is not multi-threaded. Quitting the Program!", true},
                      registration_case{3, "Unable to register GPIB thread globals. Quitting the Program!", true},
                      registration_case{7, "Unknown Error for Registering GPIB Globals!!! Quitting the Program!",
                                        false}));

TEST_F(ni488_layer_test, answer_1_registers_again_with_the_same_cells) {
  fake_ni488().boards = {0};
  fake_ni488().register_answers = {1};
  auto &l = make();
  std::int16_t ud = 0;
  l.ibfind("GPIB0", ud);
  EXPECT_EQ(gpib_calls(), (std::vector<std::string>{"RegisterGpibGlobalsForThread", "UnregisterGpibGlobalsForThread",
                                                    "RegisterGpibGlobalsForThread", "ibfindA(GPIB0)"}));
  EXPECT_EQ(fake_ni488().cntl, &l.ibcntl);
}

TEST_F(ni488_layer_test, status_cells_are_folded_into_the_16_bit_variables) {
  for (bool registration : {true, false}) {
    reset_fake_ni488();
    fake_ni488().boards = {0};
    fake_ni488().force_status = true;
    fake_ni488().forced_sta = 0xC004;
    fake_ni488().forced_cntl = 0x12345;
    auto &l = make(registration);
    std::int16_t ud = 0;
    l.ibfind("GPIB0", ud);
    EXPECT_EQ(l.ibsta, -16380) << registration;
    EXPECT_NE(l.ibsta & ni488::TIMO, 0) << "the time-out bit is still seen";
    EXPECT_EQ(l.ibcntl, 0x12345);
    EXPECT_EQ(l.ibcnt, 9029);
    EXPECT_EQ(calls_starting("Register").size(), registration ? 1u : 0u);
  }
}

TEST_F(ni488_layer_test, ibrd_overwrites_the_start_of_the_buffer_and_keeps_the_rest) {
  fake_ni488().boards = {0};
  fake_ni488().instruments[19].idn = "0123456789012345678";  // 19 characters and LF: 20 bytes
  auto &l = make();
  std::int16_t ud = 0;
  l.ibdev(0, 19, 0, 9, 1, 0, ud);
  l.ibwrt(ud, "*IDN?");
  std::string reply(240, ' ');
  l.ibrd(ud, reply);
  ASSERT_EQ(reply.size(), 240u);
  EXPECT_EQ(reply.substr(0, 20), "0123456789012345678\n");
  EXPECT_EQ(reply.substr(20), std::string(220, ' '));
  EXPECT_EQ(l.ibcnt, 20);
  EXPECT_NE(l.ibsta & ni488::END, 0);

  // No reply: the buffer keeps what it held, the status shows the time-out.
  std::string kept(240, '#');
  l.ibrd(ud, kept);
  EXPECT_EQ(kept, std::string(240, '#'));
  EXPECT_NE(l.ibsta & ni488::TIMO, 0);
  EXPECT_EQ(l.iberr, ni488::EABO);
}

TEST_F(ni488_layer_test, statement_forms_pass_their_arguments_and_counts) {
  fake_ni488().boards = {1};
  fake_ni488().instruments[5];
  auto &l = make();
  std::int16_t ud = 0;
  l.ibdev(1, 5, 0, 9, 1, 0, ud);
  l.ibwrt(ud, "");
  l.ibwrt(ud, "w\xC3\xA4");  // 8-bit copy: 2 bytes
  const std::int16_t words[3] = {0x0102, 0x0304, 0x0506};
  l.ibwrt(ud, std::span<const std::int16_t>(words), 4);
  l.ibwrt(ud, std::span<const std::int16_t>(words), 100);  // never beyond the buffer
  l.ibtmo(ud, 13);
  l.ibeot(ud, 0);
  l.ibconfig(ud, ni488::IbcWriteAdjust, 1);
  l.ibloc(ud);
  l.ibonl(ud, 0);
  EXPECT_EQ(gpib_calls(), (std::vector<std::string>{
                              "RegisterGpibGlobalsForThread", "ibdev(1,5,0,9,1,0)", "ibwrt(1,\"\",0)",
                              "ibwrt(1,\"w.\",2)", "ibwrt(1,\"....\",4)", "ibwrt(1,\"......\",6)", "ibtmo(1,13)",
                              "ibeot(1,0)", "ibconfig(1,20,1)", "ibloc(1)", "ibonl(1,0)"}));
}
