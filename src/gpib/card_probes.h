// The files card detection looks for, as data: which GPIB software is
// installed is told by the presence of its library files. A file is present
// when its length can be read (an empty file counts). Every probe runs; the
// first present file of a family is the one its call layer loads (or, for
// the Ravlink family, the library file next to it).
#pragma once

#include <optional>
#include <span>
#include <string>

namespace talmer::gpib {

enum class card_family { ni, corvane };

struct card_probe {
  const char *trace;     // text of the debug trace ("find_gpibcard: ...")
  const char *env_name;  // variable naming the folder, or nullptr for a fixed path
  const char *path;      // the fixed path, or the tail after the variable's value
  card_family family;
  const char *load_name; // file the call layer loads, in the probed file's folder
  bool needs_env;        // skipped when the variable is unset or blank; otherwise
                         // an unset variable leaves the tail alone
};

// The ten probes of the Windows system folders.
std::span<const card_probe> windows_card_probes();
// The probes of the Linux library folders: TALMER_ARB_LIBDIR when set, then
// /usr/local/lib, /usr/lib, the multiarch folder and /usr/lib64.
std::span<const card_probe> linux_card_probes();
// The table of the platform the program runs on.
std::span<const card_probe> native_card_probes();

// The path a probe queries, given the value of its variable (nullopt when
// unset): the value followed by the tail, with leading and trailing blanks
// removed. nullopt when the probe is skipped.
std::optional<std::string> probe_path(const card_probe &probe, const std::optional<std::string> &env_value);

// The file the call layer of the probe's family loads when `probed_path`
// was found: the probe's load_name in the same folder.
std::string library_load_path(const std::string &probed_path, const card_probe &probe);

}  // namespace talmer::gpib
