// The two GPIB download links' views of the call layers, mapped one call to
// one call onto the NI-488.2 and Ravlink call layers that the link
// discovery loaded.
#pragma once

#include "download/ni488_link.h"
#include "download/ravlink_link.h"
#include "gpib/ni488/ni488_layer.h"
#include "gpib/pending_error.h"
#include "gpib/ravlink/ravlink_layer.h"

namespace talmer::download {

class ni488_layer_calls : public ni488_calls {
 public:
  explicit ni488_layer_calls(ni488::call_layer &layer) : l_(layer) {}
  void ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad, std::int16_t tmo,
             std::int16_t eot, std::int16_t eos, std::int16_t &ud) override {
    l_.ibdev(board, pad, sad, tmo, eot, eos, ud);
  }
  void ibclr(std::int16_t ud) override { l_.ibclr(ud); }
  void ibtmo(std::int16_t ud, std::int16_t code) override { l_.ibtmo(ud, code); }
  void ibeot(std::int16_t ud, std::int16_t v) override { l_.ibeot(ud, v); }
  void ibconfig(std::int16_t ud, std::int16_t option, std::int16_t value) override {
    l_.ibconfig(ud, option, value);
  }
  void ibwrt(std::int16_t ud, std::string_view text) override { l_.ibwrt(ud, std::string(text)); }
  void ibwrt(std::int16_t ud, const std::int16_t *buffer, std::int32_t count) override {
    l_.ibwrt(ud, std::span<const std::int16_t>(buffer, static_cast<std::size_t>(count + 1) / 2), count);
  }
  void ibrd(std::int16_t ud, std::string &buffer) override { l_.ibrd(ud, buffer); }
  void ibloc(std::int16_t ud) override { l_.ibloc(ud); }
  void ibonl(std::int16_t ud, std::int16_t v) override { l_.ibonl(ud, v); }
  std::int16_t ibsta() const override { return l_.ibsta; }
  std::int32_t ibcntl() const override { return static_cast<std::int32_t>(l_.ibcntl); }

 private:
  ni488::call_layer &l_;
};

class ravlink_layer_calls : public ravlink_calls {
 public:
  ravlink_layer_calls(ravlink::call_layer &layer, gpib::pending_error &pending)
      : l_(layer), pending_(pending) {}
  void vb_iopen(std::string_view address, std::int16_t &id) override {
    // A failed open is a pending error and leaves `id` as it was.
    if (auto r = l_.vb_iopen(std::string(address))) id = *r;
  }
  void vb_iclear(std::int16_t id) override { l_.vb_iclear(id); }
  void vb_itimeout(std::int16_t id, std::int32_t ms) override { l_.vb_itimeout(id, ms); }
  void vb_iwrite(std::int16_t id, std::string_view text, std::int32_t length, std::int16_t end,
                 std::int32_t &actual) override {
    l_.vb_iwrite(id, std::string(text), length, end, actual);
  }
  void vb_iwrite(std::int16_t id, std::span<const std::int16_t> points, std::int32_t length,
                 std::int16_t end, std::int32_t &actual) override {
    l_.vb_iwrite(id, points, length, end, actual);
  }
  void vb_iread(std::int16_t id, std::string &buffer, std::int32_t size, std::int16_t &reason,
                std::int32_t &actual) override {
    l_.vb_iread(id, buffer, size, reason, actual);
  }
  void vb_iflush(std::int16_t id, std::int16_t mask) override { l_.vb_iflush(id, mask); }
  void vb_iswap(std::span<std::int16_t> points, std::int32_t length, std::int16_t item_size) override {
    l_.vb_iswap(points, length, item_size);
  }
  void vb_ilocal(std::int16_t id) override { l_.vb_ilocal(id); }
  void vb_iclose(std::int16_t id) override { l_.vb_iclose(id); }
  std::int32_t pending_error() const override { return pending_.number(); }
  void clear_pending_error() override { pending_.clear(); }

 private:
  ravlink::call_layer &l_;
  gpib::pending_error &pending_;
};

}  // namespace talmer::download
