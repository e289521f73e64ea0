// The simulated instrument's message and block parser: any bytes, cut into
// any pieces with or without END, on each link, never crash it, never make
// it store more than its memory holds or report a stored waveform whose
// size differs from its block's byte count, and every reply can be taken.
#include <cstdint>
#include <string_view>

#include "model/clock.h"
#include "model/instrument.h"
#include "model/settings.h"

using namespace talmer::sim;

namespace {
void check(bool ok) {
  if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1) return 0;
  settings s;
  s.capacity = 64 * 1024;
  s.keep_bytes = 4096;
  s.log_cap = 4096;
  manual_clock clk;
  const link_kind link = data[0] % 3 == 0 ? link_kind::ni488 : data[0] % 3 == 1 ? link_kind::ravlink : link_kind::rs232;
  instrument inst(s, clk, link, (data[0] & 0x80) != 0);
  // Pieces: a length byte (low 6 bits: length, bit 6: END on the last
  // byte), then that many bytes.
  std::size_t k = 1;
  while (k < size) {
    const std::uint8_t ctl = data[k++];
    std::size_t n = ctl & 0x3Fu;
    if (n > size - k) n = size - k;
    inst.receive(std::string_view(reinterpret_cast<const char *>(data + k), n), (ctl & 0x40) != 0);
    k += n;
    clk.advance(ctl & 0x80 ? 1000 : 1);
    if (ctl & 0x80) {
      bool end = false;
      for (int guard = 0; guard < 10000 && inst.has_output(); ++guard) {
        const auto due = inst.next_output_ms();
        if (due && *due > clk.now_ms()) clk.set(*due);
        inst.take_output(64, end);
      }
    }
  }
  for (channel ch : {channel::i, channel::q}) {
    check(inst.used(ch) <= inst.capacity());
    for (const waveform &w : inst.memory(ch)) check(w.size > 0 && w.size % 2 == 0);
  }
  return 0;
}
