// The download link over a GPIB card of the "NI" family, through the
// NI-488.2 call layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "download/download_link.h"

namespace talmer::download {

// The operations of the NI-488.2 call layer that the download link makes,
// each exactly one operation of that layer (statement form), with the
// layer's status after the last call. The call layer is adapted to this
// view of it; the link holds no second copy of the layer.
class ni488_calls {
 public:
  virtual ~ni488_calls() = default;
  virtual void ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad, std::int16_t tmo,
                     std::int16_t eot, std::int16_t eos, std::int16_t &ud) = 0;
  virtual void ibclr(std::int16_t ud) = 0;
  virtual void ibtmo(std::int16_t ud, std::int16_t code) = 0;
  virtual void ibeot(std::int16_t ud, std::int16_t v) = 0;
  virtual void ibconfig(std::int16_t ud, std::int16_t option, std::int16_t value) = 0;
  // Text form: all characters of `text`, nothing appended.
  virtual void ibwrt(std::int16_t ud, std::string_view text) = 0;
  // Buffer form: the first `count` bytes of `buffer`, in memory order.
  virtual void ibwrt(std::int16_t ud, const std::int16_t *buffer, std::int32_t count) = 0;
  // Reads at most buffer.size() bytes over the start of `buffer`; the rest
  // keeps what it held and the length never changes.
  virtual void ibrd(std::int16_t ud, std::string &buffer) = 0;
  virtual void ibloc(std::int16_t ud) = 0;
  virtual void ibonl(std::int16_t ud, std::int16_t v) = 0;
  // Status word and 32-bit byte count of the last call.
  virtual std::int16_t ibsta() const = 0;
  virtual std::int32_t ibcntl() const = 0;
};

class ni488_link : public download_link {
 public:
  ni488_link(ni488_calls &calls, link_timing timing) : ib_(calls), timing_(timing) {}

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

  // Time-out codes and the write-adjust option this link uses.
  static constexpr std::int16_t open_timeout_code = 9;    // 100 ms, at ibdev
  static constexpr std::int16_t query_timeout_code = 13;  // 10 s
  static constexpr std::int16_t write_adjust = 20;        // swap byte pairs on write

 private:
  bool failed_now() const;

  ni488_calls &ib_;
  link_timing timing_;
  std::int16_t ud_ = 0;
  std::int16_t data_timeout_code_ = 12;
  bool query_failed_ = false;
  bool chunk_failed_ = false;
  bool completion_failed_ = false;
};

}  // namespace talmer::download
