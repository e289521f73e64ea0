// The connection to the Talmer that the download driver sends through. One
// implementation per GPIB library (NI-488.2, Ravlink); each maps these
// operations onto its library's calls in its own fixed order. The driver
// builds every text (commands, store prefix, block header) with the
// functions of commands.h; a link adds only what its library needs to end
// a message (EOI or END, the Ravlink block's closing line feed), its
// time-outs and its way of exchanging the bytes of each point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "download/commands.h"

namespace talmer::ui {
class TALMER_ARB;
}

namespace talmer::download {

// The driver's one chunk buffer, reused for every chunk of both channels.
using chunk_span = std::span<std::int16_t, static_cast<std::size_t>(chunk_points)>;

// What begin_block needs to start a channel's block.
struct block_start {
  channel ch;
  std::string_view prefix;  // store_prefix(ch, name)
  std::string_view header;  // block_header(points)
  std::int64_t points;      // > 0
  bool swap;                // exchange the two bytes of every point on the wire
};

// What both GPIB links derive their data time-outs from: the download-time
// estimate and the two source sizes, as the window shows them at the start
// of the download.
struct link_timing {
  double estimate_s = 0;  // `dwnldtime`
  double i_length = 0;    // `I_length`, bytes
  double q_length = 0;    // `Q_length`, bytes
};
link_timing timing_from_window(ui::TALMER_ARB &w);

class download_link {
 public:
  virtual ~download_link() = default;

  // Opens the connection to the instrument at `address` on interface
  // `intfc`, clears it and sets the time-out for queries.
  virtual void open_link(const std::string &intfc, int address) = 0;

  // Sends `command` as one message and reads the reply into `reply`, a
  // buffer of reply_buffer_size characters that the link fills with blanks
  // first; the reply overwrites its start. A failed read leaves it blank.
  virtual void query(std::string_view command, std::string &reply) = 0;

  // True when the query phase went wrong in a way the link reports; the
  // driver tells whether the catalog reply could be parsed.
  virtual bool query_phase_failed(bool catalog_unparsable) = 0;

  // Sets what the link needs before the waveform blocks.
  virtual void enter_data_phase() = 0;

  // Sets the channel's time-out, sends prefix and header (one message with
  // the data that follows) and sets up the byte exchange.
  virtual void begin_block(const block_start &b) = 0;

  // Sends the first `count` bytes of `buffer`; `last` marks the final
  // chunk of the block. The link may change the buffer (exchange bytes in
  // place); the driver refills it before the next chunk.
  virtual void write_chunk(chunk_span buffer, std::size_t count, bool last) = 0;

  // True when the chunk just written failed.
  virtual bool chunk_failed() = 0;

  // Finishes the block.
  virtual void end_block() = 0;

  // Sends "*OPC?" and reads its reply into `reply` (content not used).
  virtual void wait_complete(std::string &reply) = 0;

  // True when the completion wait after the last block of the run failed
  // (or, on a link that collects failures, anything since the last chunk
  // test did), so that the instrument never confirmed the block.
  virtual bool completion_failed() = 0;

  // Releases the connection at the normal end / on an error exit.
  virtual void close_link() = 0;
  virtual void abort_link() = 0;

  // The message of a failed chunk of channel `c`.
  virtual std::string timeout_text(channel c) const = 0;
};

// How far the channel being sent has got. The driver calls it once when a
// block starts (0 points sent) and after every chunk, never per byte.
class progress_observer {
 public:
  virtual ~progress_observer() = default;
  virtual void channel_progress(channel c, std::int64_t sent, std::int64_t total) = 0;
};

}  // namespace talmer::download
