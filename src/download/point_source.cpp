#include "download/point_source.h"

#include <array>

#include "sources/awg2021.h"

namespace talmer::download {

source_format reader_for(bool convert_flg, std::string_view filetype) {
  if (convert_flg && filetype == "ASCII") return source_format::ascii;
  if (convert_flg && filetype == "AWG") return source_format::awg;
  return source_format::binary;
}

namespace {
// Reads exactly n points' bytes into the buffer; false when the file
// cannot deliver them all.
bool read_points(platform::input_file &file, std::span<std::int16_t> buffer, std::int64_t n) {
  if (n <= 0 || n > static_cast<std::int64_t>(buffer.size())) return false;
  return file.read_full(buffer.data(), 2 * n) == 2 * n;
}
}  // namespace

bool binary_point_source::read_chunk(std::span<std::int16_t> buffer, std::int64_t n, bool & /*dataerror*/) {
  return read_points(*file_, buffer, n);
}

bool ascii_point_source::read_chunk(std::span<std::int16_t> buffer, std::int64_t n, bool &dataerror) {
  if (n <= 0 || n > static_cast<std::int64_t>(buffer.size())) return false;
  // A text that ends before its counted numbers gives 0 for the missing
  // points and the data-error line; a failed read ends the channel.
  sources::get_ascii_points(reader_, buffer.data(), n, n, dataerror);
  return !reader_.read_failed();
}

std::unique_ptr<awg_point_source> awg_point_source::open(std::unique_ptr<platform::input_file> file,
                                                         channel ch) {
  std::unique_ptr<awg_point_source> s(new awg_point_source(std::move(file), ch));
  std::array<std::uint8_t, 102> header{};
  if (s->file_->read_full(header.data(), static_cast<std::int64_t>(header.size())) !=
      static_cast<std::int64_t>(header.size()))
    return nullptr;
  // Only the I file's sample clock is used; the Q header is skipped.
  if (ch == channel::I) s->clock_ = sources::awg_clock_frequency(std::span<const std::uint8_t, 102>(header));
  return s;
}

bool awg_point_source::read_chunk(std::span<std::int16_t> buffer, std::int64_t n, bool & /*dataerror*/) {
  if (!read_points(*file_, buffer, n)) return false;
  sources::convert_awg_words(buffer.data(), n, ch_ == channel::I);
  return true;
}

std::unique_ptr<point_source> open_point_source(platform::os &os, source_format format, channel ch,
                                                const std::string &path) {
  auto file = os.open_read(path);
  if (!file) return nullptr;
  switch (format) {
    case source_format::binary:
      return std::make_unique<binary_point_source>(std::move(file));
    case source_format::ascii:
      return std::make_unique<ascii_point_source>(std::move(file));
    case source_format::awg:
      return awg_point_source::open(std::move(file), ch);
  }
  return nullptr;
}

}  // namespace talmer::download
