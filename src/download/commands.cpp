#include "download/commands.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace talmer::download {

// The readers of converted sources deliver points least significant byte
// first, which is the host's order only on a little-endian machine; the
// swap rule below relies on it.
static_assert(std::endian::native == std::endian::little,
              "the point encoding assumes a little-endian host");

char channel_letter(channel c) { return c == channel::I ? 'I' : 'Q'; }

std::string_view memory_prefix(channel c) { return c == channel::I ? "arbi:" : "arbq:"; }

std::string store_prefix(channel c, std::string_view name) {
  std::string s = "mmem:data \"";
  s += memory_prefix(c);
  s += name;
  s += "\", ";
  return s;
}

std::string block_header(std::int64_t points) {
  const std::string count = std::to_string(2 * points);
  return "#" + std::to_string(count.size()) + count;
}

bool block_fits(std::int64_t points) { return points > 0 && points <= max_block_points; }

std::array<std::uint8_t, 2> encode_point(std::int16_t v) {
  const auto u = static_cast<std::uint16_t>(v);
  return {static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u & 0xFF)};
}

bool swap_bytes(bool swap_setting_yes, bool convert_flg) { return swap_setting_yes || convert_flg; }

void swap_pairs(std::span<std::int16_t> values) {
  for (auto &v : values) {
    const auto u = static_cast<std::uint16_t>(v);
    v = static_cast<std::int16_t>(static_cast<std::uint16_t>((u << 8) | (u >> 8)));
  }
}

std::string wire_bytes(std::span<const std::int16_t> values, std::size_t count, bool swap) {
  count = std::min(count, values.size_bytes());
  std::string out(count, '\0');
  std::memcpy(out.data(), values.data(), count);
  if (swap)
    for (std::size_t i = 0; i + 1 < count; i += 2) std::swap(out[i], out[i + 1]);
  return out;
}

chunk next_chunk(std::int64_t remaining) {
  const std::int64_t p = std::clamp<std::int64_t>(remaining, 0, chunk_points);
  return {p, static_cast<std::size_t>(2 * p), remaining <= chunk_points};
}

std::int64_t chunk_count(std::int64_t points) {
  if (points <= 0) return 0;
  return (points + chunk_points - 1) / chunk_points;
}

}  // namespace talmer::download
