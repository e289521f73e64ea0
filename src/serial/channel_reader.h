// One channel's source file, opened for the serial transfer, delivering its
// points block by block in the host's byte order: raw 16-bit words (first
// file byte low) for BINARY sources and for sources sent as they stand,
// converted points for ASCII and AWG2021 sources when conversion is on.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "serial/serial_download_parts.h"

namespace talmer::serial {

class channel_reader {
 public:
  // Opens `path` for channel 'I' or 'Q'. For a converted AWG2021 source it
  // reads the 102-byte header and, for channel I, the sample clock.
  // nullptr when the file cannot be opened or its header cannot be read.
  static std::unique_ptr<channel_reader> open(const serial_download_parts &parts, const std::string &path,
                                              const std::string &filetype, bool convert_flg, char channel);

  // Fills `block` with the next min(block size, remaining) points; the rest
  // of the block is zero. False when the file cannot deliver them (it
  // shrank or vanished since it was checked). `dataerror` is set for an
  // invalid ASCII value.
  bool next_block(std::span<std::int16_t> block, std::int64_t remaining, bool &dataerror);

  // The sample clock of an AWG2021 I source in Hz; 0 for any other source.
  std::int32_t clock() const { return clock_; }

 private:
  enum class kind { raw, awg, ascii };
  channel_reader(const serial_download_parts &parts, kind k, char channel)
      : parts_(parts), kind_(k), channel_(channel) {}

  const serial_download_parts &parts_;
  kind kind_;
  char channel_;
  std::ifstream file_;
  std::vector<unsigned char> bytes_;
  std::unique_ptr<ascii_points_source> ascii_;
  std::int32_t clock_ = 0;
};

}  // namespace talmer::serial
