// The points of one channel's source file, read chunk by chunk into the
// driver's chunk buffer. A source is opened when its channel's block starts
// and closed (destroyed) when the channel ends, also on a failure.
//
// The three readers:
// - BINARY (sent as stored): the file's bytes in file order, each pair of
//   bytes one 16-bit value in memory; the link exchanges the pairs when the
//   `Swap` setting asks for it. Implemented here (binary_point_source).
// - ASCII (converted): one point per number token of the text, as 16-bit
//   values in the host's own byte order; invalid or out-of-range numbers
//   become 0 and set the data-error flag. Provided by the source waveform
//   files subsystem.
// - AWG (converted AWG2021 .wfm): the 102-byte header is read when the
//   source opens (the I channel's sample clock comes from it); each chunk
//   is read as stored and converted in place into instrument points, with
//   the marker bits on I only. Provided by the source waveform files
//   subsystem.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "download/commands.h"
#include "download/download_link.h"
#include "platform/platform.h"
#include "sources/ascii_points.h"

namespace talmer::download {

class point_source {
 public:
  virtual ~point_source() = default;

  // Fills elements 0 to n-1 of `buffer` with the next `n` points of the
  // file (0 < n <= buffer.size()), continuing where the last chunk stopped. Elements
  // from n on may be changed too; they are never sent.
  //
  // Returns false when the n points cannot all be delivered: the file
  // ended early or a read failed (it vanished, shrank or changed after it
  // was checked). The driver then stops the channel as a failed transfer
  // and sends nothing of this chunk, so no stale points reach the
  // instrument; a reader must not pad a short chunk.
  //
  // `dataerror` is set (never cleared) when a point was invalid or out of
  // range and stored as 0 (ASCII only).
  virtual bool read_chunk(std::span<std::int16_t> buffer, std::int64_t n, bool &dataerror) = 0;

  // The sample clock in Hz read from an AWG2021 header when the source
  // opened; 0 for every other source.
  virtual std::int32_t sample_clock() const { return 0; }
};

// Which reader a channel's file is read with: ASCII and AWG files are
// converted only when the check before the download decided so
// (`convert_flg`); every other file is sent as stored.
enum class source_format { binary, ascii, awg };
source_format reader_for(bool convert_flg, std::string_view filetype);

// Opens the source file of a channel with the reader of `format`.
// Returns nullptr when the file cannot be opened (or its AWG2021 header
// cannot be read in full); the driver then fails the channel.
class point_source_opener {
 public:
  virtual ~point_source_opener() = default;
  virtual std::unique_ptr<point_source> open(source_format format, channel ch,
                                             const std::string &path) = 0;
};

// BINARY sources: the file's bytes as they stand.
class binary_point_source : public point_source {
 public:
  explicit binary_point_source(std::unique_ptr<platform::input_file> file) : file_(std::move(file)) {}
  bool read_chunk(std::span<std::int16_t> buffer, std::int64_t n, bool &dataerror) override;

 private:
  std::unique_ptr<platform::input_file> file_;
};

// ASCII sources: the numbers of the text, converted as they are read.
class ascii_point_source : public point_source {
 public:
  explicit ascii_point_source(std::unique_ptr<platform::input_file> file)
      : file_(std::move(file)), reader_(*file_) {}
  bool read_chunk(std::span<std::int16_t> buffer, std::int64_t n, bool &dataerror) override;

 private:
  std::unique_ptr<platform::input_file> file_;
  sources::ascii_reader reader_;
};

// AWG2021 sources: the 102-byte header, then words converted in place into
// instrument points (marker bits kept on the I channel only).
class awg_point_source : public point_source {
 public:
  // nullptr when the header cannot be read in full.
  static std::unique_ptr<awg_point_source> open(std::unique_ptr<platform::input_file> file, channel ch);
  bool read_chunk(std::span<std::int16_t> buffer, std::int64_t n, bool &dataerror) override;
  std::int32_t sample_clock() const override { return clock_; }

 private:
  awg_point_source(std::unique_ptr<platform::input_file> file, channel ch) : file_(std::move(file)), ch_(ch) {}
  std::unique_ptr<platform::input_file> file_;
  channel ch_;
  std::int32_t clock_ = 0;
};

// Opens a channel's source file through the OS layer with the reader of
// its format; every link (GPIB and RS-232) reads its sources through this.
std::unique_ptr<point_source> open_point_source(platform::os &os, source_format format, channel ch,
                                                const std::string &path);

}  // namespace talmer::download
