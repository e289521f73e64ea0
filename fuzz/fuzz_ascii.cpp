// The ASCII reader against a plain reference: the input is cut into tokens
// byte by byte and each token converted on its own; the counter, the block
// reader (read in pieces and blocks of sizes chosen by the input) and every
// instruction-set variant must agree with it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sources/ascii_points.h"

using namespace talmer::sources;

namespace {

class pieces : public talmer::platform::input_file {
 public:
  pieces(const std::string &b, std::size_t piece) : b_(b), piece_(piece) {}
  std::int64_t read(void *buf, std::int64_t n) override {
    std::size_t k = std::min({static_cast<std::size_t>(n), piece_, b_.size() - pos_});
    std::memcpy(buf, b_.data() + pos_, k);
    pos_ += k;
    return static_cast<std::int64_t>(k);
  }

 private:
  const std::string &b_;
  std::size_t piece_;
  std::size_t pos_ = 0;
};

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// Integers of optional sign and up to 18 digits, the exact way.
void check_integer_token(const std::string &t, std::optional<std::int16_t> p) {
  std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size() || t.size() - i > 18) return;
  for (std::size_t k = i; k < t.size(); ++k)
    if (t[k] < '0' || t[k] > '9') return;
  std::int64_t v = std::stoll(t.substr(i));
  if (t[0] == '-') v = -v;
  if (v > 32767) v -= 65536;
  const bool valid = v >= -32768 && v <= 32767;
  check(p.has_value() == valid);
  if (valid) check(*p == v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t piece = 1 + data[0] * 37u % 9000;
  const std::int64_t block = 1 + data[1] * 13 % 300;
  const std::string bytes(reinterpret_cast<const char *>(data) + 2, size - 2);

  std::vector<std::int16_t> expected;
  bool expected_error = false;
  std::string tok;
  auto flush = [&] {
    if (tok.empty()) return;
    auto p = token_to_point(tok);
    check_integer_token(tok, p);
    expected.push_back(p.value_or(0));
    expected_error |= !p;
    tok.clear();
  };
  for (unsigned char c : bytes) {
    if (is_delimiter(c)) flush();
    else tok += static_cast<char>(c);
  }
  flush();

  pieces counted(bytes, piece);
  check(count_tokens(counted) == static_cast<std::int64_t>(expected.size()));

  pieces f(bytes, piece);
  ascii_reader r(f);
  std::vector<std::int16_t> got, buf(static_cast<std::size_t>(block));
  bool dataerror = false;
  for (;;) {
    std::int64_t n = r.read_points(buf.data(), block, dataerror);
    check(n >= 0 && n <= block);
    got.insert(got.end(), buf.begin(), buf.begin() + n);
    if (n < block) break;
  }
  check(got == expected);
  check(dataerror == expected_error);

  // The variants of every instruction set on the raw bytes.
  const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
  bool a = false, b = false, c = false;
  const auto n0 = detail::count_starts_scalar(p, bytes.size(), a);
  check(detail::count_starts_sse2(p, bytes.size(), b) == n0 && a == b);
  if (detail::have_avx2()) check(detail::count_starts_avx2(p, bytes.size(), c) == n0 && a == c);
  std::vector<unsigned char> padded(bytes.begin(), bytes.end());
  padded.resize(bytes.size() + 128, 0);
  std::vector<std::uint32_t> s0(bytes.size() / 2 + 80), e0(s0.size()), s1(s0.size()), e1(s0.size());
  const std::size_t k0 = detail::index_scalar(padded.data(), 0, bytes.size(), s0.data(), e0.data());
  check(static_cast<std::int64_t>(k0) == n0);
  check(detail::index_sse2(padded.data(), 0, bytes.size(), s1.data(), e1.data()) == k0);
  check(std::equal(s0.begin(), s0.begin() + static_cast<long>(k0), s1.begin()));
  check(std::equal(e0.begin(), e0.begin() + static_cast<long>(k0), e1.begin()));
  if (detail::have_avx2()) {
    check(detail::index_avx2(padded.data(), 0, bytes.size(), s1.data(), e1.data()) == k0);
    check(std::equal(s0.begin(), s0.begin() + static_cast<long>(k0), s1.begin()));
    check(std::equal(e0.begin(), e0.begin() + static_cast<long>(k0), e1.begin()));
  }
  return 0;
}
