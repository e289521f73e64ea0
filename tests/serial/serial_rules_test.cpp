// The serial link's plain rules: tick limits, XON/XOFF groups, port names,
// the reply text, byte order on the wire and the group plan of a block.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>

#include "download/download_rules.h"
#include "platform/platform.h"
#include "serial/serial_rules.h"

using namespace talmer::serial;
using talmer::platform::serial_error;
using talmer::platform::serial_error_from_errno;
using talmer::platform::serial_stage;

TEST(wait_tick_limit, rounds_half_to_even_and_never_goes_below_zero) {
  struct row {
    double timeout;
    std::int64_t ticks;
  };
  for (row r : {row{200, 20}, row{250, 25}, row{25, 2}, row{15, 2}, row{35, 4}, row{6, 1}, row{5, 0},
                row{4, 0}, row{0, 0}, row{-30, 0}, row{std::numeric_limits<double>::quiet_NaN(), 0},
                row{std::numeric_limits<double>::infinity(), 1000000000000000}})
    EXPECT_EQ(wait_tick_limit(r.timeout), r.ticks) << r.timeout;
}

TEST(paused_after, the_last_xon_or_xoff_of_a_group_decides) {
  struct row {
    std::string group;
    bool before, after;
  };
  const std::string off(1, XOFF), on(1, XON);
  for (const row &r : {row{off, false, true}, row{on, true, false}, row{off + on, true, false},
                       row{on + off, false, true}, row{"\r" + on, true, false}, row{off + "ab", false, true},
                       row{"a" + off + "b" + on + "c", false, false}, row{"abc", true, true}, row{"abc", false, false},
                       row{"", true, true}, row{"", false, false}})
    EXPECT_EQ(paused_after(r.group, r.before), r.after) << ::testing::PrintToString(r.group) << " from " << r.before;
}

TEST(comm_ports, map_to_ttyS_unless_the_environment_names_a_device) {
  EXPECT_EQ(comm_env_name(3), "TALMER_ARB_COMM3");
  EXPECT_EQ(comm_device_path(1, std::nullopt), "/dev/ttyS0");
  EXPECT_EQ(comm_device_path(4, std::nullopt), "/dev/ttyS3");
  EXPECT_EQ(comm_device_path(2, std::string("/dev/ttyUSB0")), "/dev/ttyUSB0");
  EXPECT_EQ(comm_device_path(2, std::string("")), "/dev/ttyS1");
  EXPECT_EQ(comm_device_path(0, std::nullopt), "");
  EXPECT_EQ(comm_device_path(5, std::string("/dev/x")), "");
}

TEST(chosen_port_number, is_the_value_of_the_last_character) {
  EXPECT_EQ(chosen_port_number("Comm 2"), 2);
  EXPECT_EQ(chosen_port_number("Comm 4"), 4);
  EXPECT_EQ(chosen_port_number("17"), 7);
  EXPECT_EQ(chosen_port_number("Comm"), 0);
  EXPECT_EQ(chosen_port_number(""), 0);
}

TEST(fixed_reply, is_cut_or_padded_to_4880_characters) {
  EXPECT_EQ(fixed_reply(""), std::string(4880, ' '));
  EXPECT_EQ(fixed_reply("1\n").substr(0, 3), "1\n ");
  EXPECT_EQ(fixed_reply("1\n").size(), 4880u);
  EXPECT_EQ(fixed_reply(std::string(5000, 'x')), std::string(4880, 'x'));
}

TEST(wire_bytes, go_low_byte_first_so_a_swap_sends_the_high_byte_first) {
  std::vector<std::int16_t> s{-1, 258, 0x1234, -32768};
  std::string plain;
  append_wire_bytes(s, plain);
  EXPECT_EQ(plain, std::string("\xFF\xFF\x02\x01\x34\x12\x00\x80", 8));
  swap_sample_bytes(s);
  EXPECT_EQ(s, (std::vector<std::int16_t>{-1, 513, 0x3412, 0x0080}));
  std::string swapped;
  append_wire_bytes(s, swapped);
  EXPECT_EQ(swapped, std::string("\xFF\xFF\x01\x02\x12\x34\x80\x00", 8));
}

TEST(plan_block, cuts_a_block_into_groups_of_16_and_single_bytes) {
  EXPECT_EQ(plan_block(2002).groups, 125);
  EXPECT_EQ(plan_block(2002).single_bytes, 2);
  EXPECT_EQ(plan_block(4096).groups, 256);
  EXPECT_EQ(plan_block(4096).single_bytes, 0);
  EXPECT_EQ(plan_block(14).groups, 0);
  EXPECT_EQ(plan_block(14).single_bytes, 14);
}

TEST(serial_texts, name_the_waveform_and_the_device) {
  EXPECT_EQ(talmer::download::replace_blocked_text("wave1"),
            "In order to replace 'wave1', the ARB must be off, or 'wave1' must not be the selected waveform in the ARB.");
  EXPECT_EQ(permission_text("Comm 1", "/dev/ttyS0"),
            "Comm 1 (/dev/ttyS0) cannot be opened: permission denied.  Add your user to the dialout group and log in again.");
}

TEST(serial_error_from_errno, maps_each_error_number_once) {
  struct row {
    int err;
    serial_stage stage;
    serial_error e;
  };
  const auto o = serial_stage::opening, u = serial_stage::using_port;
  for (row r : {row{0, o, serial_error::none}, row{ENOENT, o, serial_error::no_device},
                row{ENODEV, o, serial_error::no_device}, row{ENXIO, o, serial_error::no_device},
                row{ENOTTY, o, serial_error::no_device}, row{EISDIR, o, serial_error::no_device},
                row{EACCES, o, serial_error::permission_denied}, row{EPERM, o, serial_error::permission_denied},
                row{EBUSY, o, serial_error::busy}, row{EIO, o, serial_error::no_device},
                row{EIO, u, serial_error::hung_up}, row{EPIPE, u, serial_error::hung_up},
                row{ETIMEDOUT, u, serial_error::timed_out}, row{EINVAL, u, serial_error::io_error}})
    EXPECT_EQ(serial_error_from_errno(r.err, r.stage), r.e) << r.err;
}
