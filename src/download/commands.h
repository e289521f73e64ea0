// What the program says to the Talmer and how a waveform travels: the
// command texts, the store command prefix and the definite-length block
// header, the point encoding and the cutting of a block into chunks. Every
// link (both GPIB links and RS-232) builds its texts here, from the waveform
// name and the point count only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace talmer::download {

// The two channels of a waveform, sent I first.
enum class channel { I, Q };

// "I" or "Q".
char channel_letter(channel c);

// ---- Command texts ----------------------------------------------------------

inline constexpr std::string_view identification_query = "*IDN?";
inline constexpr std::string_view options_query = "DIAG:INFO:OPT?";
inline constexpr std::string_view arb_state_query = "rad:arb:stat?";
inline constexpr std::string_view selected_waveform_query = "rad:arb:wav?";
inline constexpr std::string_view operation_complete_query = "*OPC?";
// The catalog of the I waveform memory: mmem:cat? "arbi:"
inline constexpr std::string_view catalog_query = "mmem:cat? \"arbi:\"";

// "arbi:" for I, "arbq:" for Q: the memory a channel is stored in.
std::string_view memory_prefix(channel c);

// The start of the store command, sent right before the block:
// mmem:data "arbi:<name>", (and "arbq:" for Q).
std::string store_prefix(channel c, std::string_view name);

// The definite-length block header for `points` points: "#", the number of
// digits of the byte count, the byte count (2 x points) in decimal.
// 16 points give "#232", 1000 points "#42000".
std::string block_header(std::int64_t points);

// The longest block a header can announce: its byte count has at most 9
// digits, so at most 499,999,999 points.
inline constexpr std::int64_t max_block_points = 499999999;
// True when a channel of `points` points (> 0) can be sent as one block.
bool block_fits(std::int64_t points);

// The byte that closes a block on the links that end it with a terminator
// (the Ravlink link sends it with END; RS-232 after every message).
inline constexpr char line_feed = '\n';

// ---- Point encoding ---------------------------------------------------------

// A point on the wire: 16-bit two's complement, most significant byte first.
std::array<std::uint8_t, 2> encode_point(std::int16_t v);

// Whether the two bytes of every point are exchanged before sending: always
// for converted sources (the readers deliver points in the host's own,
// least-significant-first order), and for BINARY sources when the `Swap`
// setting is "Yes" (files written least significant byte first).
bool swap_bytes(bool swap_setting_yes, bool convert_flg);

// Exchanges the two bytes of each 16-bit value of `values` in place.
void swap_pairs(std::span<std::int16_t> values);

// The bytes a link puts on the wire for the first `count` bytes of `values`
// as they lie in memory, with each pair exchanged when `swap` is set.
std::string wire_bytes(std::span<const std::int16_t> values, std::size_t count, bool swap);

// ---- Chunking ---------------------------------------------------------------

// Points read from a source and written per chunk over GPIB.
inline constexpr std::int64_t chunk_points = 8192;
inline constexpr std::size_t chunk_bytes = 2 * chunk_points;

// The reply buffer every GPIB query reads into: exactly this many
// characters, blank-filled before each query read.
inline constexpr std::size_t reply_buffer_size = 4880;

// One chunk of a channel, taken while `remaining` points are still to send.
struct chunk {
  std::int64_t points;  // points in this chunk: min(remaining, 8192)
  std::size_t bytes;    // 2 x points
  bool last;            // the final chunk of the block: remaining <= 8192
};
chunk next_chunk(std::int64_t remaining);

// How many chunks a channel of `points` points is sent in (0 for none).
std::int64_t chunk_count(std::int64_t points);

}  // namespace talmer::download
