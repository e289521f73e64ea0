#include "download/point_source.h"

namespace talmer::download {

source_format reader_for(bool convert_flg, std::string_view filetype) {
  if (convert_flg && filetype == "ASCII") return source_format::ascii;
  if (convert_flg && filetype == "AWG") return source_format::awg;
  return source_format::binary;
}

std::unique_ptr<binary_point_source> binary_point_source::open(const std::string &path) {
  platform::file_reader f(path);
  if (!f.is_open()) return nullptr;
  return std::make_unique<binary_point_source>(std::move(f));
}

bool binary_point_source::read_chunk(chunk_span buffer, std::int64_t n, bool & /*dataerror*/) {
  if (n <= 0 || n > chunk_points) return false;
  const auto want = static_cast<std::size_t>(2 * n);
  return file_.read(buffer.data(), want) == want;
}

}  // namespace talmer::download
