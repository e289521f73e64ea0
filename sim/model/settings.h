// Everything that can be set about a simulated run: the instrument, the bus
// it sits on, the serial line, and the faults. One table of keys serves the
// configuration file, the TALMER_SIM_* environment variables read by the
// simulated driver libraries and the options of `talmer-sim`:
// key `drain_rate` <-> TALMER_SIM_DRAIN_RATE <-> --drain-rate.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talmer::sim {

enum class channel { i, q };

// A reply rule of the faults: the replies to `query` ("*" = every query)
// start `delay_ms` late and arrive in `pieces` parts `gap_ms` apart.
struct reply_timing {
  std::string query;  // canonical query name, see canonical_query(), or "*"
  std::int64_t delay_ms = 0;
  int pieces = 1;
  std::int64_t gap_ms = 0;
};

// A query left without reply: every time, or only the first `times` times.
struct silence {
  std::string query;  // canonical query name or "*"
  std::uint64_t times = 0;  // 0 = every time
};

struct fault_set {
  std::vector<silence> no_reply;
  std::vector<reply_timing> timing;   // slow or split replies
  bool garbled_catalog = false;       // catalog with non-numeric fields and unclosed entries
  bool unparsable_catalog = false;    // catalog without a single comma
  bool other_device = false;          // the instrument identifies as another device
  bool no_qvx = false;                // the option list lacks QVX
  std::optional<std::string> arb_playing;  // ARB on with this waveform selected
  bool memory_full = false;           // both memories report no free space
  std::optional<std::uint64_t> drop_after;  // the link drops after this many block data bytes
  bool xoff_stuck = false;            // serial: XOFF is sent, XON never

  bool any() const;
};

// A waveform present in the memory before the run starts.
struct prestored_waveform {
  channel ch = channel::i;
  std::string name;
  std::uint64_t size = 0;
};

struct serial_settings {
  std::uint64_t buffer_size = 4096;  // instrument input buffer, bytes
  std::uint64_t high_mark = 3072;    // XOFF when the buffer holds more than this
  std::uint64_t low_mark = 1024;     // XON when it holds less than this
  double drain_rate = 1920;          // bytes per second the instrument takes from its buffer
  double line_rate = 1920;           // bytes per second of the instrument's replies; 0 = unpaced
  std::uint64_t xoff_slack = 128;    // bytes the host may still send after it was sent XOFF
  std::int64_t message_timeout_ms = 5000;  // a message stalled this long is abandoned
};

struct settings {
  // The instrument.
  std::string identity = "Talmer-D,K902,SIM000001,2.40";
  std::string options = "QVB,QVX";
  std::uint64_t capacity = 32ull << 20;  // bytes of each waveform memory (I and Q)
  bool arb_on = false;
  std::string selected;  // selected waveform of the ARB, "" = none
  std::vector<prestored_waveform> waveforms;
  std::string store_dir;                 // folder of stored waveforms, "" = none
  std::uint64_t keep_bytes = 1ull << 20;  // data bytes kept in memory per waveform
  std::uint64_t log_cap = 4ull << 20;     // bytes kept by the wire log
  std::string wire_log_path;             // file that receives the wire log, "" = none
  fault_set faults;

  // The bus (simulated driver libraries).
  int address = 19;
  std::vector<int> ni_boards{0};                       // boards GPIB<n> present; the instrument is on the first
  std::vector<std::string> rav_interfaces{"corvaneib"};  // interface names present; the instrument is on the first
  int other_address = -1;                              // another device's address, -1 = none
  std::string other_identity = "Acme Instruments,DMM 4000,A0001,1.0";
  double timeout_scale = 1.0;          // real milliseconds per instrument millisecond
  int register_answer = 0;             // answer of RegisterGpibGlobalsForThread
  std::int64_t forever_ms = 120000;    // how long "no time-out" waits at most

  serial_settings serial;
};

// Which part of the simulator a key is for.
enum class setting_scope { instrument, gpib, serial };

// One settable key.
struct setting_info {
  std::string key;
  std::string value_name;  // e.g. "N", "TEXT"
  std::string help;
  bool repeatable = false;  // faults and waveforms: each use adds one
  setting_scope scope = setting_scope::instrument;
};

const std::vector<setting_info> &setting_table();

// Applies `value` to the setting `key`; "" on success, otherwise a message
// naming the key and what is wrong. Keys accept dashes for underscores.
std::string apply_setting(settings &s, std::string_view key, std::string_view value);

// Adds one fault ("no-reply=*IDN?", "no-reply=*IDN?/2" (the first two
// only), "slow-reply=mmem:cat?/500",
// "split-reply=*/3/40", "garbled-catalog", "unparsable-catalog",
// "other-device", "no-qvx", "arb-playing=NAME", "memory-full",
// "drop-after=N", "xoff-stuck"); several may be joined with ';'.
std::string add_faults(fault_set &f, std::string_view text);

// Checks the settings that depend on each other (the serial marks); on a
// conflict it repairs them and returns a message saying so.
std::string check_settings(settings &s);

// Reads settings from a configuration file text ("key = value" lines, '#'
// starts a comment). Returns the messages of bad lines, one per line.
std::string apply_config_text(settings &s, std::string_view text);

// The settings of a run started from the environment: defaults, then the
// file named by TALMER_SIM_CONFIG, then each TALMER_SIM_<KEY>. `errors`
// receives one line per bad value (that value is ignored).
using env_lookup = std::function<std::optional<std::string>(const std::string &)>;
settings settings_from_environment(const env_lookup &env, std::string &errors);
env_lookup process_environment();

// The environment variable of a key: "drain_rate" -> "TALMER_SIM_DRAIN_RATE".
std::string env_name(std::string_view key);

// Canonical name of a query header ("mmem:cat?" -> "MMEM:CAT?"), or "" when
// the text names no query of the instrument.
std::string canonical_query(std::string_view header);

// Waveform names the instrument accepts: 1 to 23 printable ASCII
// characters, no double quote, no comma.
bool valid_waveform_name(std::string_view name);

std::string_view channel_prefix(channel ch);  // "arbi" / "arbq"

}  // namespace talmer::sim
