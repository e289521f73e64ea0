#include "gpib/library_status.h"

#include <array>
#include <utility>

namespace talmer::gpib {

namespace {

struct state_text {
  library_state state;
  const char *text;  // {lib}, {path} and {detail} are replaced
};

constexpr std::array<state_text, 4> state_texts{{
    {library_state::usable, ""},
    {library_state::not_found, "No {lib} was found."},
    {library_state::cannot_load, "The {lib} {path} could not be loaded: {detail}."},
    {library_state::lacks_entries, "The {lib} {path} is unusable: it lacks {detail}."},
}};

// Fills the template in one pass, so a value that itself contains a
// placeholder is left as it is.
std::string expand(std::string_view tmpl, std::string_view lib, std::string_view path,
                   std::string_view detail) {
  const std::array<std::pair<std::string_view, std::string_view>, 3> keys{
      {{"{lib}", lib}, {"{path}", path}, {"{detail}", detail}}};
  std::string out;
  for (std::size_t i = 0; i < tmpl.size();) {
    bool replaced = false;
    for (const auto &[key, value] : keys) {
      if (tmpl.substr(i, key.size()) == key) {
        out += value;
        i += key.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += tmpl[i++];
  }
  return out;
}

}  // namespace

std::string library_problem_text(library_state state, std::string_view library, std::string_view path,
                                 std::string_view detail) {
  for (const auto &row : state_texts)
    if (row.state == state) return expand(row.text, library, path, detail);
  return "";
}

std::string entry_list(const std::vector<std::string> &names) {
  std::string s = names.size() == 1 ? "the entry " : "the entries ";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) s += ", ";
    s += names[i];
  }
  return s;
}

std::unique_ptr<platform::library> load_driver_library(platform::os &os, const std::string &path,
                                                       std::string_view library, std::string &problem) {
  std::string why;
  auto lib = os.load_library(path, why);
  if (!lib)
    problem = library_problem_text(library_state::cannot_load, library, path,
                                   why.empty() ? "unknown reason" : why);
  return lib;
}

}  // namespace talmer::gpib
