#include "gpib/ravlink/ravlink_layer.h"

#include <algorithm>
#include <array>

#include "gpib/text8.h"

namespace talmer::ravlink {

namespace {

// The leading mode value of vb_iwrite and vb_iread. Its meaning belongs to
// the library; the program passes 2 in the ordinary forms and 1 in the
// _mode1 forms, for text and arrays alike.
constexpr std::int16_t ordinary_mode = 2;
constexpr std::int16_t mode1 = 1;

std::int32_t clamp_count(std::int32_t n, std::size_t available) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(n, 0, static_cast<std::int64_t>(std::min<std::size_t>(available, INT32_MAX))));
}

}  // namespace

call_layer::call_layer(std::unique_ptr<library_entries> library, gpib::pending_error &pending)
    : library_(std::move(library)), pending_(pending) {}

call_layer::result call_layer::outcome(std::int16_t r, bool failed) {
  if (!failed) return r;
  const std::int16_t errnum = library_->vb_igeterrno();
  // A failure without an error number shows only in the result.
  if (errnum == 0) return r;
  pending_.clear();
  // The library writes a text of up to 60 characters; the buffer is larger
  // so that a library writing a terminator after them cannot overrun it.
  std::array<char, 256> buf{};
  std::fill_n(buf.begin(), error_text_length, ' ');
  library_->vb_igeterrstr(errnum, buf.data());
  pending_.raise(errnum, std::string(buf.data(), error_text_length));
  return std::nullopt;
}

call_layer::result call_layer::vb_iopen(const std::string &address) {
  const std::string address8 = gpib::to_8bit(address);
  const std::int16_t id = library_->vb_iopen(address8.c_str());
  return outcome(id, id == 0);
}

call_layer::result call_layer::vb_itimeout(std::int16_t id, std::int32_t ms) {
  const std::int16_t r = library_->vb_itimeout(id, ms);
  return outcome(r, r != 0);
}

call_layer::result call_layer::vb_iclear(std::int16_t id) {
  const std::int16_t r = library_->vb_iclear(id);
  return outcome(r, r != 0);
}

call_layer::result call_layer::vb_iclose(std::int16_t id) {
  const std::int16_t r = library_->vb_iclose(id);
  return outcome(r, r != 0);
}

call_layer::result call_layer::vb_ilocal(std::int16_t id) {
  const std::int16_t r = library_->vb_ilocal(id);
  return outcome(r, r != 0);
}

call_layer::result call_layer::write_text(std::int16_t mode, std::int16_t id, const std::string &text,
                                          std::int32_t length, std::int16_t end, std::int32_t &actual) {
  const std::string text8 = gpib::to_8bit(text);
  const std::int16_t r =
      library_->vb_iwrite(mode, id, text8.data(), clamp_count(length, text8.size()), end, &actual);
  return outcome(r, r != 0);
}

call_layer::result call_layer::write_array(std::int16_t mode, std::int16_t id,
                                           std::span<const std::int16_t> buffer, std::int32_t length,
                                           std::int16_t end, std::int32_t &actual) {
  const std::int16_t r =
      library_->vb_iwrite(mode, id, buffer.data(), clamp_count(length, buffer.size_bytes()), end, &actual);
  return outcome(r, r != 0);
}

call_layer::result call_layer::read_text(std::int16_t mode, std::int16_t id, std::string &buffer,
                                         std::int32_t size, std::int16_t &reason, std::int32_t &actual) {
  const std::int32_t n = std::max<std::int32_t>(size, 0);
  std::string copy = buffer;
  if (copy.size() < static_cast<std::size_t>(n)) copy.resize(static_cast<std::size_t>(n), ' ');
  const std::int16_t r = library_->vb_iread(mode, id, copy.data(), n, &reason, &actual);
  result out = outcome(r, r != 0);
  if (out) {
    copy.resize(buffer.size());
    buffer = std::move(copy);
  }
  return out;
}

call_layer::result call_layer::read_array(std::int16_t mode, std::int16_t id,
                                          std::span<std::int16_t> buffer, std::int32_t size,
                                          std::int16_t &reason, std::int32_t &actual) {
  const std::int16_t r =
      library_->vb_iread(mode, id, buffer.data(), clamp_count(size, buffer.size_bytes()), &reason, &actual);
  return outcome(r, r != 0);
}

call_layer::result call_layer::vb_iwrite(std::int16_t id, const std::string &text, std::int32_t length,
                                         std::int16_t end, std::int32_t &actual) {
  return write_text(ordinary_mode, id, text, length, end, actual);
}

call_layer::result call_layer::vb_iwrite(std::int16_t id, std::span<const std::int16_t> buffer,
                                         std::int32_t length, std::int16_t end, std::int32_t &actual) {
  return write_array(ordinary_mode, id, buffer, length, end, actual);
}

call_layer::result call_layer::vb_iwrite_mode1(std::int16_t id, const std::string &text,
                                               std::int32_t length, std::int16_t end,
                                               std::int32_t &actual) {
  return write_text(mode1, id, text, length, end, actual);
}

call_layer::result call_layer::vb_iwrite_mode1(std::int16_t id, std::span<const std::int16_t> buffer,
                                               std::int32_t length, std::int16_t end,
                                               std::int32_t &actual) {
  return write_array(mode1, id, buffer, length, end, actual);
}

call_layer::result call_layer::vb_iread(std::int16_t id, std::string &buffer, std::int32_t size,
                                        std::int16_t &reason, std::int32_t &actual) {
  return read_text(ordinary_mode, id, buffer, size, reason, actual);
}

call_layer::result call_layer::vb_iread(std::int16_t id, std::span<std::int16_t> buffer,
                                        std::int32_t size, std::int16_t &reason, std::int32_t &actual) {
  return read_array(ordinary_mode, id, buffer, size, reason, actual);
}

call_layer::result call_layer::vb_iread_mode1(std::int16_t id, std::string &buffer, std::int32_t size,
                                              std::int16_t &reason, std::int32_t &actual) {
  return read_text(mode1, id, buffer, size, reason, actual);
}

call_layer::result call_layer::vb_iread_mode1(std::int16_t id, std::span<std::int16_t> buffer,
                                              std::int32_t size, std::int16_t &reason,
                                              std::int32_t &actual) {
  return read_array(mode1, id, buffer, size, reason, actual);
}

call_layer::result call_layer::vb_iflush(std::int16_t id, std::int16_t mask) {
  const std::int16_t r = library_->vb_iflush(id, mask);
  return outcome(r, r != 0);
}

call_layer::result call_layer::vb_iswap(std::span<std::int16_t> buffer, std::int32_t length,
                                        std::int16_t item_size) {
  const std::int16_t r = library_->vb_iswap(buffer.data(), clamp_count(length, buffer.size_bytes()), item_size);
  return outcome(r, r != 0);
}

}  // namespace talmer::ravlink
