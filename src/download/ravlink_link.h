// The download link over a Corvane GPIB card, through the Ravlink call
// layer. Failures of the library calls do not stop the sequence: the call
// layer keeps them as the pending error, which this link clears and tests
// at fixed points.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "download/download_link.h"
#include "platform/platform.h"

namespace talmer::download {

// The operations of the Ravlink call layer that the download link makes,
// each exactly one operation of that layer, and the pending error the
// layer records a failing call in. The call layer is adapted to this view
// of it; the link holds no second copy of the layer.
class ravlink_calls {
 public:
  virtual ~ravlink_calls() = default;
  // On failure: a pending error, and `id` keeps what it held.
  virtual void vb_iopen(std::string_view address, std::int16_t &id) = 0;
  virtual void vb_iclear(std::int16_t id) = 0;
  virtual void vb_itimeout(std::int16_t id, std::int32_t ms) = 0;
  // Text form: the first `length` characters of `text` (commands, the
  // block header, the closing line feed).
  virtual void vb_iwrite(std::int16_t id, std::string_view text, std::int32_t length,
                         std::int16_t end, std::int32_t &actual) = 0;
  // Point form: the first `length` bytes of the points, in memory order.
  virtual void vb_iwrite(std::int16_t id, std::span<const std::int16_t> points, std::int32_t length,
                         std::int16_t end, std::int32_t &actual) = 0;
  // Reads at most `size` bytes over the start of `buffer` (whose length
  // never changes); after a failed read the buffer keeps what it held.
  virtual void vb_iread(std::int16_t id, std::string &buffer, std::int32_t size,
                        std::int16_t &reason, std::int32_t &actual) = 0;
  virtual void vb_iflush(std::int16_t id, std::int16_t mask) = 0;
  virtual void vb_iswap(std::span<std::int16_t> points, std::int32_t length, std::int16_t item_size) = 0;
  virtual void vb_ilocal(std::int16_t id) = 0;
  virtual void vb_iclose(std::int16_t id) = 0;
  // The number of the pending error, 0 when none.
  virtual std::int32_t pending_error() const = 0;
  virtual void clear_pending_error() = 0;
};

class ravlink_link : public download_link {
 public:
  ravlink_link(ravlink_calls &calls, platform::os &os, link_timing timing)
      : rl_(calls), os_(os), timing_(timing) {}

  void open_link(const std::string &intfc, int address) override;
  void query(std::string_view command, std::string &reply) override;
  bool query_phase_failed(bool catalog_unparsable) override;
  void enter_data_phase() override;
  void begin_block(const block_start &b) override;
  void write_chunk(chunk_span buffer, std::size_t count, bool last) override;
  bool chunk_failed() override;
  void end_block() override;
  void wait_complete(std::string &reply) override;
  bool completion_failed() override;
  void close_link() override;
  void abort_link() override;
  std::string timeout_text(channel c) const override;

  static constexpr std::int32_t query_timeout_ms = 3000;
  static constexpr std::int16_t flush_write = 2;  // the library's write buffers
  static constexpr std::int64_t close_pause_ms = 100;

 private:
  void write_text(std::string_view text, std::int16_t end);

  ravlink_calls &rl_;
  platform::os &os_;
  link_timing timing_;
  std::int16_t id_ = 0;
  bool swap_ = false;
};

}  // namespace talmer::download
