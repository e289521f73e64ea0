#include "download/ravlink_link.h"

#include "download/download_rules.h"

namespace talmer::download {

void ravlink_link::write_text(std::string_view text, std::int16_t end) {
  std::int32_t actual = 0;
  rl_.vb_iwrite(id_, text, static_cast<std::int32_t>(text.size()), end, actual);
}

void ravlink_link::open_link(const std::string &intfc, int address) {
  rl_.vb_iopen(intfc + "," + std::to_string(address), id_);
  rl_.vb_iclear(id_);
  // Failures of the open and the clear show again in the first query.
  rl_.clear_pending_error();
  rl_.vb_itimeout(id_, query_timeout_ms);
}

void ravlink_link::query(std::string_view command, std::string &reply) {
  write_text(command, 1);
  reply.assign(reply_buffer_size, ' ');
  std::int16_t reason = 0;
  std::int32_t actual = 0;
  rl_.vb_iread(id_, reply, static_cast<std::int32_t>(reply_buffer_size), reason, actual);
}

bool ravlink_link::query_phase_failed(bool catalog_unparsable) {
  return rl_.pending_error() != 0 || catalog_unparsable;
}

void ravlink_link::enter_data_phase() { rl_.clear_pending_error(); }

void ravlink_link::begin_block(const block_start &b) {
  rl_.vb_itimeout(id_, ravlink_data_timeout_ms(timing_.estimate_s, b.points));
  write_text(b.prefix, 0);
  write_text(b.header, 0);
  rl_.vb_iflush(id_, flush_write);
  swap_ = b.swap;
}

void ravlink_link::write_chunk(chunk_span buffer, std::size_t count, bool /*last*/) {
  // The whole buffer is swapped, also before a short last chunk; only its
  // first `count` bytes are sent.
  if (swap_) rl_.vb_iswap(buffer, static_cast<std::int32_t>(chunk_bytes), 2);
  std::int32_t actual = 0;
  rl_.vb_iwrite(id_, std::span<const std::int16_t>(buffer), static_cast<std::int32_t>(count), 0, actual);
  rl_.vb_iflush(id_, flush_write);
}

bool ravlink_link::chunk_failed() { return rl_.pending_error() != 0; }

void ravlink_link::end_block() { write_text(std::string_view(&line_feed, 1), 1); }

void ravlink_link::wait_complete(std::string &reply) {
  write_text(operation_complete_query, 1);
  std::int16_t reason = 0;
  std::int32_t actual = 0;
  rl_.vb_iread(id_, reply, 1, reason, actual);
}

// Anything that failed since the last chunk test: the closing line feed of
// the last block and the completion waits after it.
bool ravlink_link::completion_failed() { return rl_.pending_error() != 0; }

void ravlink_link::close_link() {
  os_.sleep_ms(close_pause_ms);
  rl_.vb_ilocal(id_);
  rl_.vb_iclose(id_);
}

void ravlink_link::abort_link() {
  rl_.vb_ilocal(id_);
  rl_.vb_iclose(id_);
  rl_.clear_pending_error();
}

std::string ravlink_link::timeout_text(channel c) const { return ravlink_timeout_text(c); }

}  // namespace talmer::download
