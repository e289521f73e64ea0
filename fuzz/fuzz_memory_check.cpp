// The catalog check before a download: any reply, name and points caption
// gives one of the three answers; "does not fit" and only it sets the error
// pair, with the name in its text; the reply is always left trimmed with a
// comma appended.
#include <cstdint>
#include <string>

#include "download/memory_check.h"

using namespace talmer::download;

namespace {
void check(bool ok) {
  if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2) return 0;
  // Byte 0: name length (0 to 24), byte 1: caption length (0 to 15); then
  // the name, the caption and the reply.
  std::size_t name_len = data[0] % 25u, caption_len = data[1] % 16u;
  const char *p = reinterpret_cast<const char *>(data + 2);
  std::size_t left = size - 2;
  if (name_len > left) name_len = left;
  const std::string name(p, name_len);
  p += name_len;
  left -= name_len;
  if (caption_len > left) caption_len = left;
  const std::string caption(p, caption_len);
  p += caption_len;
  left -= caption_len;
  std::string reply(p, left);

  bool error_active = false;
  std::string error_text = "untouched";
  const memory_check r = check_avail_memory(reply, name, caption, error_active, error_text);
  check(!reply.empty() && reply.back() == ',');
  switch (r) {
    case memory_check::does_not_fit:
      check(error_active && error_text == not_enough_memory_text(name));
      break;
    case memory_check::fits:
    case memory_check::unparsable:
      check(!error_active && error_text == "untouched");
      break;
    default:
      check(false);
  }
  return 0;
}
