// Whether a waveform fits the Talmer's I waveform memory, decided from the
// reply to the catalog query. A stored waveform of the same name counts as
// free memory, since the download overwrites it.
#pragma once

#include <string>
#include <string_view>

namespace talmer::download {

enum class memory_check {
  fits,          // enough room; the error pair is left as it was
  does_not_fit,  // error_active set, error_text "Not enough memory to download '<name>'."
  unparsable,    // the reply could not be read; the error pair is left as it was
};

// Reads the catalog reply `strbuf` (bytes in use, bytes free, then one
// quoted "name,type,size" entry per stored waveform) and compares the room
// for `name` with the number shown by the `points` caption.
//
// `strbuf` is replaced by the trimmed reply with a comma appended. The
// reply cannot be parsed when, after trimming, it holds no comma at all, or
// when the entry of `name` lacks the comma before its size or the double
// quote after it; a blank reply (a failed read) is such a case.
memory_check check_avail_memory(std::string &strbuf, std::string_view name,
                                std::string_view points_caption, bool &error_active,
                                std::string &error_text);

// "Not enough memory to download '<name>'."
std::string not_enough_memory_text(std::string_view name);

}  // namespace talmer::download
