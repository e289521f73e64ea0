#include "serial/channel_reader.h"

#include <algorithm>
#include <array>

namespace talmer::serial {

std::unique_ptr<channel_reader> channel_reader::open(const serial_download_parts &parts, const std::string &path,
                                                     const std::string &filetype, bool convert_flg, char channel) {
  if (convert_flg && filetype == "ASCII") {
    if (!parts.open_ascii_source) return nullptr;
    std::unique_ptr<channel_reader> r(new channel_reader(parts, kind::ascii, channel));
    r->ascii_ = parts.open_ascii_source(path);
    if (!r->ascii_) return nullptr;
    return r;
  }
  const bool awg = convert_flg && filetype == "AWG";
  if (awg && !(parts.extract_AWG_clock_freq && parts.convert_AWG)) return nullptr;
  std::unique_ptr<channel_reader> r(new channel_reader(parts, awg ? kind::awg : kind::raw, channel));
  r->file_.open(path, std::ios::binary);
  if (!r->file_) return nullptr;
  if (awg) {
    std::array<std::uint8_t, 102> hdrbuf{};
    r->file_.read(reinterpret_cast<char *>(hdrbuf.data()), hdrbuf.size());
    if (r->file_.gcount() != static_cast<std::streamsize>(hdrbuf.size())) return nullptr;
    // Only the I source's clock is used; the Q header is skipped.
    if (channel == 'I') r->clock_ = parts.extract_AWG_clock_freq(hdrbuf.data());
  }
  return r;
}

bool channel_reader::next_block(std::span<std::int16_t> block, std::int64_t remaining, bool &dataerror) {
  const auto size = static_cast<std::int64_t>(block.size());
  const std::int64_t wanted = std::min(size, remaining);
  std::fill(block.begin(), block.end(), std::int16_t{0});
  if (kind_ == kind::ascii) {
    ascii_->get_ascii_points(block.data(), static_cast<int>(block.size()), remaining, dataerror);
    return true;
  }
  std::vector<unsigned char> &bytes = bytes_;
  bytes.resize(block.size() * 2);
  file_.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const std::streamsize got = file_.gcount();
  file_.clear();  // a short last block sets eof; the next read would fail anyway
  if (got < 2 * wanted) return false;
  std::fill(bytes.begin() + got, bytes.end(), static_cast<unsigned char>(0));
  for (std::size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
  if (kind_ == kind::awg) parts_.convert_AWG(static_cast<int>(block.size()), block.data(), channel_);
  return true;
}

}  // namespace talmer::serial
