#include "gpib/card_probes.h"

#include <array>

namespace talmer::gpib {

namespace {

#if defined(__x86_64__)
#define TALMER_MULTIARCH "x86_64-linux-gnu"
#elif defined(__aarch64__)
#define TALMER_MULTIARCH "aarch64-linux-gnu"
#elif defined(__i386__)
#define TALMER_MULTIARCH "i386-linux-gnu"
#elif defined(__arm__)
#define TALMER_MULTIARCH "arm-linux-gnueabihf"
#else
#define TALMER_MULTIARCH "x86_64-linux-gnu"
#endif

constexpr card_family NI = card_family::ni;
constexpr card_family CV = card_family::corvane;

constexpr std::array<card_probe, 10> windows_probes{{
    {"find_gpibcard: SystemRoot\\system\\gpib-32.dll", "SystemRoot", "\\system\\gpib-32.dll", NI, "gpib-32.dll", false},
    {"find_gpibcard: c:\\windows\\system\\gpib-32.dll", nullptr, "c:\\windows\\system\\gpib-32.dll", NI, "gpib-32.dll", false},
    {"find_gpibcard: SystemRoot\\system32\\gpib-32.dll", "SystemRoot", "\\system32\\gpib-32.dll", NI, "gpib-32.dll", false},
    {"find_gpibcard: c:\\winnt\\system32\\gpib-32.dll", nullptr, "c:\\winnt\\system32\\gpib-32.dll", NI, "gpib-32.dll", false},
    {"find_gpibcard: c:\\windows\\system32\\gpib-32.dll", nullptr, "c:\\windows\\system32\\gpib-32.dll", NI, "gpib-32.dll", false},
    {"find_gpibcard: SystemRoot\\system\\ravlink32.dll", "SystemRoot", "\\system\\ravlink32.dll", CV, "vbravlink32.dll", false},
    {"find_gpibcard: c:\\windows\\system\\ravlink32.dll", nullptr, "c:\\windows\\system\\ravlink32.dll", CV, "vbravlink32.dll", false},
    {"find_gpibcard: SystemRoot\\system32\\ravlink32.dll", "SystemRoot", "\\system32\\ravlink32.dll", CV, "vbravlink32.dll", false},
    {"find_gpibcard: c:\\windows\\system32\\ravlink32.dll", nullptr, "c:\\windows\\system32\\ravlink32.dll", CV, "vbravlink32.dll", false},
    {"find_gpibcard: c:\\winnt\\system32\\ravlink32.dll", nullptr, "c:\\winnt\\system32\\ravlink32.dll", CV, "vbravlink32.dll", false},
}};

#define TALMER_NI_ROWS(dir)                                                                        \
  {"find_gpibcard: " dir "/libgpib.so.0", nullptr, dir "/libgpib.so.0", NI, "libgpib.so.0", false}, \
  {"find_gpibcard: " dir "/libgpibapi.so.0", nullptr, dir "/libgpibapi.so.0", NI, "libgpibapi.so.0", false}
#define TALMER_RAVLINK_ROW(dir) \
  {"find_gpibcard: " dir "/libravlink32.so", nullptr, dir "/libravlink32.so", CV, "libvbravlink32.so", false}

constexpr std::array<card_probe, 15> linux_probes{{
    {"find_gpibcard: TALMER_ARB_LIBDIR/libgpib.so.0", "TALMER_ARB_LIBDIR", "/libgpib.so.0", NI, "libgpib.so.0", true},
    {"find_gpibcard: TALMER_ARB_LIBDIR/libgpibapi.so.0", "TALMER_ARB_LIBDIR", "/libgpibapi.so.0", NI, "libgpibapi.so.0", true},
    TALMER_NI_ROWS("/usr/local/lib"),
    TALMER_NI_ROWS("/usr/lib"),
    TALMER_NI_ROWS("/usr/lib/" TALMER_MULTIARCH),
    TALMER_NI_ROWS("/usr/lib64"),
    {"find_gpibcard: TALMER_ARB_LIBDIR/libravlink32.so", "TALMER_ARB_LIBDIR", "/libravlink32.so", CV, "libvbravlink32.so", true},
    TALMER_RAVLINK_ROW("/usr/local/lib"),
    TALMER_RAVLINK_ROW("/usr/lib"),
    TALMER_RAVLINK_ROW("/usr/lib/" TALMER_MULTIARCH),
    TALMER_RAVLINK_ROW("/usr/lib64"),
}};

#undef TALMER_NI_ROWS
#undef TALMER_RAVLINK_ROW

std::string trim_blanks(const std::string &s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

}  // namespace

std::span<const card_probe> windows_card_probes() { return windows_probes; }
std::span<const card_probe> linux_card_probes() { return linux_probes; }

std::span<const card_probe> native_card_probes() {
#if defined(_WIN32)
  return windows_probes;
#else
  return linux_probes;
#endif
}

std::optional<std::string> probe_path(const card_probe &probe, const std::optional<std::string> &env_value) {
  if (probe.env_name == nullptr) return std::string(probe.path);
  const std::string value = env_value.value_or("");
  if (probe.needs_env && trim_blanks(value).empty()) return std::nullopt;
  return trim_blanks(value + probe.path);
}

std::string library_load_path(const std::string &probed_path, const card_probe &probe) {
  const auto slash = probed_path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : probed_path.substr(0, slash + 1);
  return folder + probe.load_name;
}

}  // namespace talmer::gpib
