// Waveform files of an AWG2021 generator: a 102-byte header, then 16-bit
// big-endian words holding a 12-bit sample and two marker bits.
#pragma once

#include <cstdint>
#include <span>

namespace talmer::sources {

inline constexpr std::int64_t awg_header_bytes = 102;

// The sample clock in Hz read from header bytes 56 to 59 (the top of a
// big-endian double), or 0 when the header holds none that can be shown:
// a negative value, or one below 4 Hz or from 2^29 Hz up. Frequencies that
// need more than 21 significant bits lose their low bits.
std::int32_t awg_clock_frequency(std::span<const std::uint8_t, 102> header);

// Converts `n` words in place. Each element holds a file word read as a
// little-endian 16-bit value (its two bytes exchanged); it becomes the
// instrument's point: the sample times 4 in bits 2 to 13 and, for the I
// channel only, the marker bits in bits 14 and 15.
void convert_awg_words(std::int16_t *words, std::int64_t n, bool i_channel);

}  // namespace talmer::sources
