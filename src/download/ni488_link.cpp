#include "download/ni488_link.h"

#include "download/download_rules.h"

namespace talmer::download {

namespace {

constexpr std::uint16_t status_err = 0x8000;   // the call failed
constexpr std::uint16_t status_timo = 0x4000;  // the time-out expired

bool has(std::int16_t ibsta, std::uint16_t bit) {
  return (static_cast<std::uint16_t>(ibsta) & bit) != 0;
}

// The board number of an interface text ("0", "1", ...), kept within the
// range of a 16-bit descriptor argument.
std::int16_t board_number(const std::string &intfc) {
  const double v = numeric_value(intfc);
  if (!(v > -32768.0)) return -32768;
  if (!(v < 32767.0)) return 32767;
  return static_cast<std::int16_t>(v);
}

}  // namespace

void ni488_link::open_link(const std::string &intfc, int address) {
  ib_.ibdev(board_number(intfc), static_cast<std::int16_t>(address), 0, open_timeout_code, 1, 0, ud_);
  data_timeout_code_ = static_cast<std::int16_t>(
      ni_data_timeout_code(timing_.estimate_s, timing_.i_length, timing_.q_length));
  ib_.ibclr(ud_);
  ib_.ibtmo(ud_, query_timeout_code);
  query_failed_ = false;
}

void ni488_link::query(std::string_view command, std::string &reply) {
  ib_.ibwrt(ud_, command);
  bool failed = failed_now();
  reply.assign(reply_buffer_size, ' ');
  ib_.ibrd(ud_, reply);
  query_failed_ = query_failed_ || failed || failed_now();
}

// A query without its answer (the read failed and left the reply blank)
// stops the run before any block: without the ARB state and the catalog
// the instrument may refuse the store (waveform playing, memory full)
// while its completion query still answers, and the run would be reported
// as done with nothing stored. A catalog that was read but cannot be
// parsed lets the download go on without a memory check, as this link
// always did.
bool ni488_link::query_phase_failed(bool /*catalog_unparsable*/) { return query_failed_; }

void ni488_link::enter_data_phase() { ib_.ibtmo(ud_, data_timeout_code_); }

void ni488_link::begin_block(const block_start &b) {
  // Prefix, header and every chunk but the last go out without EOI, so
  // that they form one message; the driver swaps byte pairs while writing
  // the data only, never the ASCII header.
  ib_.ibeot(ud_, 0);
  ib_.ibwrt(ud_, b.prefix);
  ib_.ibwrt(ud_, b.header);
  ib_.ibconfig(ud_, write_adjust, b.swap ? 1 : 0);
}

void ni488_link::write_chunk(chunk_span buffer, std::size_t count, bool last) {
  if (last) ib_.ibeot(ud_, 1);
  ib_.ibwrt(ud_, buffer.data(), static_cast<std::int32_t>(count));
  // A time-out is not the only failed write: the error bit without it (no
  // listener, a bus error) or fewer bytes than asked leave the block
  // incomplete too.
  chunk_failed_ = failed_now() || ib_.ibcntl() < static_cast<std::int32_t>(count);
}

bool ni488_link::chunk_failed() { return chunk_failed_; }

void ni488_link::end_block() { ib_.ibconfig(ud_, write_adjust, 0); }

void ni488_link::wait_complete(std::string &reply) {
  ib_.ibwrt(ud_, operation_complete_query);
  bool failed = failed_now();
  ib_.ibrd(ud_, reply);
  failed = failed || failed_now();
  completion_failed_ = failed;
}

bool ni488_link::completion_failed() { return completion_failed_; }

void ni488_link::close_link() {
  ib_.ibloc(ud_);
  ib_.ibonl(ud_, 0);
}

void ni488_link::abort_link() {
  ib_.ibloc(ud_);
  ib_.ibonl(ud_, 0);
}

std::string ni488_link::timeout_text(channel c) const { return ni_timeout_text(c); }

bool ni488_link::failed_now() const {
  const std::int16_t s = ib_.ibsta();
  return has(s, status_err) || has(s, status_timo);
}

}  // namespace talmer::download
