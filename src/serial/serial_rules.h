// The serial link's plain rules: which device a port number names, how long
// the reply wait runs, how XON and XOFF move the pause flag, how a block of
// points becomes wire bytes, and the texts of the serial download.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace talmer::serial {

inline constexpr char XON = 17;   // DC1: the instrument takes data again
inline constexpr char XOFF = 19;  // DC3: the instrument asks for a pause

// Points per block of the serial transfer, bytes per write of the paced
// transfer, and the length of the reply text.
inline constexpr int block_points = 2048;
inline constexpr int group_bytes = 16;
inline constexpr std::size_t reply_length = 4880;
// The instrument gives up on a stalled RS-232 transfer after 60 s (its
// "RS232 Timeout" setting); the program waits no longer for XON or for its
// output to drain.
inline constexpr std::int64_t instrument_timeout_ms = 60000;

// Ports "Comm 1" to "Comm 4".
inline constexpr int first_port = 1;
inline constexpr int last_port = 4;

// The environment variable that may name the device of a port
// ("TALMER_ARB_COMM1" ...).
std::string comm_env_name(int port);

// The device path of a port: the value of its environment variable when it
// is set and not empty, otherwise /dev/ttyS0 to /dev/ttyS3. "" for a port
// number outside 1 to 4.
std::string comm_device_path(int port, const std::optional<std::string> &env_value);

// The number of 10 ms ticks the reply wait may take for `timeout_ms`:
// timeout / 10 rounded to the nearest whole number, halves to even
// (200 gives 20, 250 gives 25, 25 gives 2); never below 0.
std::int64_t wait_tick_limit(double timeout_ms);

// The pause flag after a group of received bytes: the last XON or XOFF of
// the group decides; a group without either leaves it as it was.
bool paused_after(std::string_view received, bool paused);

// The port number a chosen entry of the port list names: the value of its
// last character as a digit, 0 when it is not a digit.
int chosen_port_number(std::string_view entry);

// A reply as held in the fixed reply text: cut to 4880 characters or padded
// with blanks.
std::string fixed_reply(std::string_view received);

// Exchanges the two bytes of every sample.
void swap_sample_bytes(std::span<std::int16_t> samples);

// Appends the wire bytes of `samples`: for each, its low-order byte, then
// its high-order byte.
void append_wire_bytes(std::span<const std::int16_t> samples, std::string &out);

// How the bytes of one block go out: whole groups of 16, then the rest one
// byte at a time.
struct block_plan {
  std::int64_t groups;
  std::int64_t single_bytes;
};
block_plan plan_block(std::int64_t bytes);

// Texts of the serial download.
inline constexpr const char *finding_port_text = "Finding the RS232 Serial Port with an Talmer connected.";
inline constexpr const char *testing_port_text = "Testing Serial Port ";
inline constexpr const char *not_on_computer_text = " not found on this computer.";
inline constexpr const char *not_found_text = "Talmer not found.  Check Talmer's RS232 settings and the cable.";
inline constexpr const char *lost_contact_text = "Lost contact with Talmer.";
inline constexpr const char *no_option_text = "Talmer option QVX not found.";
inline constexpr const char *downloading_i_text = "Downloading I waveform.";
inline constexpr const char *downloading_q_text = "Downloading Q waveform.";
inline constexpr const char *i_failed_text = " Error for I download.";
inline constexpr const char *q_failed_text = " Error for Q download.";

// The message for a port whose device the user may not open.
std::string permission_text(const std::string &port_entry, const std::string &device);

}  // namespace talmer::serial
