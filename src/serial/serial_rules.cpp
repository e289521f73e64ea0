#include "serial/serial_rules.h"

#include <cmath>

namespace talmer::serial {

std::string comm_env_name(int port) { return "TALMER_ARB_COMM" + std::to_string(port); }

std::string comm_device_path(int port, const std::optional<std::string> &env_value) {
  if (port < first_port || port > last_port) return "";
  if (env_value && !env_value->empty()) return *env_value;
  return "/dev/ttyS" + std::to_string(port - 1);
}

std::int64_t wait_tick_limit(double timeout_ms) {
  if (!(timeout_ms > 0)) return 0;  // also NaN
  constexpr double most = 1e15;     // far beyond any wait, and exact in a double
  const double ticks = std::nearbyint(timeout_ms / 10);
  return static_cast<std::int64_t>(ticks < most ? ticks : most);
}

bool paused_after(std::string_view received, bool paused) {
  for (char c : received) {
    if (c == XOFF) paused = true;
    else if (c == XON) paused = false;
  }
  return paused;
}

int chosen_port_number(std::string_view entry) {
  if (entry.empty()) return 0;
  const char c = entry.back();
  return c >= '0' && c <= '9' ? c - '0' : 0;
}

std::string fixed_reply(std::string_view received) {
  std::string r(received.substr(0, reply_length));
  r.resize(reply_length, ' ');
  return r;
}

void swap_sample_bytes(std::span<std::int16_t> samples) {
  for (std::int16_t &s : samples) {
    const auto u = static_cast<std::uint16_t>(s);
    s = static_cast<std::int16_t>(static_cast<std::uint16_t>((u << 8) | (u >> 8)));
  }
}

void append_wire_bytes(std::span<const std::int16_t> samples, std::string &out) {
  for (std::int16_t s : samples) {
    const auto u = static_cast<std::uint16_t>(s);
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
}

block_plan plan_block(std::int64_t bytes) {
  if (bytes < 0) bytes = 0;
  return {bytes / group_bytes, bytes % group_bytes};
}

std::string permission_text(const std::string &port_entry, const std::string &device) {
  return port_entry + " (" + device + ") cannot be opened: permission denied.  Add your user to the "
         "dialout group and log in again.";
}

}  // namespace talmer::serial
