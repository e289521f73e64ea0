// Start Download from the command line over the simulated GPIB libraries,
// found through TALMER_ARB_LIBDIR: every bundled example over each card
// family, compared byte for byte with what the instrument stored, and the
// failures of the query and data phases as the user sees them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "support/cli_runs.h"

using namespace talmer::testing;

namespace {

const std::string examples = TALMER_SOURCE_DIR "/examples/";

struct family {
  const char *label;
  const char *libdir;
  const char *gpibcard;  // the family used when the libraries are found
  const char *intfc;
};

const family ni_only{"ni", TALMER_SIM_LIBDIR_NI, "NI", "0"};
const family ravlink_only{"ravlink", TALMER_SIM_LIBDIR_RAVLINK, "Corvane", "corvaneib"};
const family both{"both", TALMER_SIM_LIBDIR, "NI", "0"};  // the NI board answers first

void PrintTo(const family &f, std::ostream *os) { *os << f.label; }

std::string using_text(const family &f, int address) {
  return std::string("Using ") + f.gpibcard + " gpib interface at " + f.intfc + " with an Talmer at address " +
         std::to_string(address) + ".";
}

// --- What the instrument must hold, computed from the source file ----------

void put_big_endian(std::string &out, int point) {
  const auto u = static_cast<std::uint16_t>(point);
  out += static_cast<char>(u >> 8);
  out += static_cast<char>(u & 0xFF);
}

// Raw 16-bit file: sent as it stands, or with every byte pair reversed.
std::string expected_binary(const std::string &file, bool swap) {
  std::string b = file;
  if (swap)
    for (size_t k = 0; k + 1 < b.size(); k += 2) std::swap(b[k], b[k + 1]);
  return b;
}

// Numbers between blanks, commas, tabs, CR, LF or NUL; rounded half to even;
// 32768..98303 taken as the unsigned form of a 16-bit word.
std::string expected_ascii(const std::string &file) {
  std::string out, token;
  auto flush = [&] {
    if (token.empty()) return;
    const double v = std::nearbyint(std::strtod(token.c_str(), nullptr));
    long p = static_cast<long>(v);
    if (p > 32767) p -= 65536;
    put_big_endian(out, (p < -32768 || p > 32767) ? 0 : static_cast<int>(p));
    token.clear();
  };
  for (char c : file) {
    if (c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n' || c == '\0') flush();
    else token += c;
  }
  flush();
  return out;
}

// AWG2021 file: 102 header bytes, then big-endian words of a 12-bit sample
// (bits 0-11) and two markers (bits 13, 14). The instrument's point holds
// the sample in bits 2-13 and, for I only, the markers in bits 14-15.
std::string expected_awg(const std::string &file, bool i_channel) {
  std::string out;
  for (size_t k = 102; k + 1 < file.size(); k += 2) {
    const unsigned w = (static_cast<unsigned char>(file[k]) << 8) | static_cast<unsigned char>(file[k + 1]);
    unsigned p = (w & 0x0FFFu) << 2;
    if (i_channel) p |= ((w >> 13) & 3u) << 14;
    put_big_endian(out, static_cast<int>(p));
  }
  return out;
}

std::string expected_for(const std::string &source, bool swap, bool i_channel) {
  const std::string source_name = source.find('/') == std::string::npos ? examples + source : source;
  const std::string file = file_bytes(source_name);
  if (source_name.ends_with(".bin")) return expected_binary(file, swap);
  if (source_name.ends_with(".txt")) return expected_ascii(file);
  return expected_awg(file, i_channel);
}

// --- One download run ------------------------------------------------------

struct download_row {
  const char *label;
  std::vector<std::string> args;  // source files as example names
  const char *name;               // the waveform name on the instrument
  const char *i_source;           // nullptr: no I waveform stored
  const char *q_source;
  bool swap;
  const char *message;
};

cli_run download_run(const family &f, const std::filesystem::path &dir, std::vector<std::string> args) {
  cli_run r;
  r.dir = dir;
  std::filesystem::create_directories(dir / "store");
  r.env = {{"TALMER_ARB_LIBDIR", f.libdir},
           {"TALMER_SIM_TIMEOUT_SCALE", "0.01"},
           {"TALMER_SIM_STORE", (dir / "store").string()}};
  r.args = std::move(args);
  r.args.insert(r.args.end(), {"--download", "--show"});
  return r;
}

std::string stored(const cli_run &r, const char *memory, const std::string &name, bool *exists) {
  return file_bytes(r.dir / "store" / (std::string(memory) + "_" + name + ".bin"), exists);
}

class every_example : public ::testing::TestWithParam<family> {};

}  // namespace

TEST_P(every_example, is_stored_byte_for_byte) {
  const family &f = GetParam();
  const std::string done = "Done with download.";
  const std::string clock_done = "Done with download.  Set ARB Sample Clock Frequency to  100 MHz.";
  std::vector<download_row> rows = {
      {"binary swapped", {"--swap", "Yes", "--i", examples + "sine_i.bin"}, "sine", "sine_i.bin", "sine_q.bin", true, done.c_str()},
      {"binary as it stands", {"--swap", "No", "--i", examples + "sine_i.bin"}, "sine", "sine_i.bin", "sine_q.bin", false, done.c_str()},
      {"ascii", {"--i", examples + "ramp_i.txt"}, "ramp", "ramp_i.txt", "ramp_q.txt", false, done.c_str()},
      {"awg2021", {"--i", examples + "tone_i.wfm"}, "tone", "tone_i.wfm", "tone_q.wfm", false, clock_done.c_str()},
      // One channel only: the clock comes from the I file alone.
      {"I only", {"--auto-q", "off", "--i", examples + "tone_i.wfm", "--name", "tone"}, "tone", "tone_i.wfm", nullptr, false, clock_done.c_str()},
      {"Q only", {"--auto-q", "off", "--q", examples + "tone_q.wfm", "--name", "Qonly"}, "Qonly", nullptr, "tone_q.wfm", false, done.c_str()},
  };
  const auto base = fresh_folder(std::string("e2e_examples_") + f.label);
  // Waveforms of several chunks, the last one short: 20000 points.
  const std::string big_i = (base / "big_i.bin").string(), big_q = (base / "big_q.txt").string();
  {
    std::string bin, txt;
    for (int k = 0; k < 20000; ++k) {
      const int v = (k * 7919) % 65536 - 32768;
      put_big_endian(bin, v);
      txt += std::to_string(k % 3 == 0 ? v + 65536 : v) + (k % 5 == 0 ? ",\r\n" : " ");
    }
    std::ofstream(big_i, std::ios::binary) << bin;
    std::ofstream(big_q, std::ios::binary) << txt;
    // Exactly two full chunks.
    std::ofstream(base / "two_i.bin", std::ios::binary) << bin.substr(0, 2 * 16384);
    // Tokens that are no point: each is stored as 0 and reported.
    std::ofstream(base / "bad_q.txt", std::ios::binary) << "-32768 32767 32768 65535 65536 98303 abc 98304 -32769 1.5\r\n"
                                                   "2.5,-0.5,1e3,,7 8\t9 10 11 12 13";
  }
  const std::string two_i = (base / "two_i.bin").string(), bad_q = (base / "bad_q.txt").string();
  const std::string data_error = done + "\\n\\rOne or more data points invalid or out-of-range.";
  rows.push_back({"two full chunks", {"--auto-q", "off", "--swap", "No", "--i", two_i, "--name", "two"}, "two", two_i.c_str(),
                  nullptr, false, done.c_str()});
  rows.push_back({"ascii with bad tokens", {"--auto-q", "off", "--q", bad_q, "--name", "bad"}, "bad", nullptr, bad_q.c_str(),
                  false, data_error.c_str()});
  rows.push_back({"several chunks", {"--convert", "No", "--swap", "Yes", "--i", big_i, "--q", big_i, "--name", "big"}, "big",
                  big_i.c_str(), big_i.c_str(), true, done.c_str()});
  rows.push_back({"several chunks, ascii", {"--auto-q", "off", "--q", big_q, "--name", "big"}, "big", nullptr, big_q.c_str(),
                  false, done.c_str()});
  std::vector<cli_run> runs;
  for (size_t k = 0; k < rows.size(); ++k)
    runs.push_back(download_run(f, base / std::to_string(k), rows[k].args));
  run_all(TALMER_CLI_PATH, runs);

  for (size_t k = 0; k < rows.size(); ++k) {
    const download_row &row = rows[k];
    const cli_run &r = runs[k];
    SCOPED_TRACE(std::string(f.label) + ": " + row.label + "\n" + r.err);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.state.at("msgsbkgd"), "teal");
    EXPECT_EQ(r.state.at("Messages"), row.message);
    EXPECT_EQ(r.state.at("Talmerid"), "19");  // the address found is shown
    EXPECT_NE(r.err.find(using_text(f, 19)), std::string::npos);
    const std::pair<const char *, const char *> channels[] = {{"arbi", row.i_source}, {"arbq", row.q_source}};
    for (const auto &[memory, source] : channels) {
      bool exists = false;
      const std::string got = stored(r, memory, row.name, &exists);
      if (source == nullptr) {
        EXPECT_FALSE(exists) << memory;
        continue;
      }
      ASSERT_TRUE(exists) << memory;
      const std::string want = expected_for(source, row.swap, std::string(memory) == "arbi");
      EXPECT_EQ(got.size(), want.size()) << memory;
      EXPECT_TRUE(got == want) << memory << ": stored bytes differ from " << source;
    }
  }
  std::filesystem::remove_all(base);
}

INSTANTIATE_TEST_SUITE_P(families, every_example, ::testing::Values(ni_only, ravlink_only, both),
                         [](const auto &row) { return std::string(row.param.label); });

// --- Failures of the run, as the user sees them -----------------------------

namespace {

enum class kept { none, i_only, i_and_q };

struct failure_row {
  const char *label;
  const family *f;
  std::map<std::string, std::string> env;  // TALMER_SIM_* settings of the instrument
  std::vector<std::string> extra_args;
  int status;  // 0: the panel ends teal, 1: red
  std::string message;
  kept stored_now;  // what this run left in the store folder
};

const std::string ni_i_timeout = " I Waveform download timeout.  Check GPIB Cable and Talmer.";
const std::string ni_q_timeout = " Q Waveform download timeout.  Check GPIB Cable and Talmer.";
const std::string rav_i_timeout = " I Waveform download timeout.  Check GPIB cable and Talmer.";
const std::string rav_q_timeout = " Q Waveform download timeout.  Check GPIB cable and Talmer.";
const std::string unknown_io = "Unknown I/O error while finding memory size.";
const std::string not_enough = "Not enough memory to download 'sine'.";
const std::string not_confirmed =
    "The Talmer did not answer after the last waveform block; the waveform may not be stored.  "
    "Check GPIB cable and Talmer.";

std::string replace_text(const std::string &name) {
  return "In order to replace '" + name + "', the ARB must be off, or '" + name +
         "' must not be the selected waveform in the ARB.";
}

void run_failure_rows(const char *tag, const std::vector<failure_row> &rows) {
  const auto base = fresh_folder(tag);
  std::vector<cli_run> runs;
  for (size_t k = 0; k < rows.size(); ++k) {
    std::vector<std::string> args = {"--i", examples + "sine_i.bin"};
    args.insert(args.end(), rows[k].extra_args.begin(), rows[k].extra_args.end());
    cli_run r = download_run(*rows[k].f, base / std::to_string(k), args);
    for (const auto &[key, value] : rows[k].env) r.env["TALMER_SIM_" + key] = value;
    runs.push_back(std::move(r));
  }
  run_all(TALMER_CLI_PATH, runs);

  const std::string want_i = expected_binary(file_bytes(examples + "sine_i.bin"), true);
  const std::string want_q = expected_binary(file_bytes(examples + "sine_q.bin"), true);
  for (size_t k = 0; k < rows.size(); ++k) {
    const failure_row &row = rows[k];
    const cli_run &r = runs[k];
    SCOPED_TRACE(std::string(row.f->label) + ": " + row.label + "\n" + r.err);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.state.at("msgsbkgd"), row.status == 0 ? "teal" : "red");
    EXPECT_EQ(r.state.at("Messages"), row.message);
    bool has_i = false, has_q = false;
    const std::string got_i = stored(r, "arbi", "sine", &has_i);
    const std::string got_q = stored(r, "arbq", "sine", &has_q);
    EXPECT_EQ(has_i, row.stored_now != kept::none);
    EXPECT_EQ(has_q, row.stored_now == kept::i_and_q);
    if (has_i) {
      EXPECT_TRUE(got_i == want_i);
    }
    if (has_q) {
      EXPECT_TRUE(got_q == want_q);
    }
  }
  std::filesystem::remove_all(base);
}

}  // namespace

TEST(gpib_end_to_end, replace_rule_and_memory_check) {
  const std::string done = "Done with download.";
  const std::map<std::string, std::string> old_sine = {{"WAVEFORM", "arbi:sine:8192"}};
  auto with = [](std::map<std::string, std::string> m, std::map<std::string, std::string> more) {
    m.insert(more.begin(), more.end());
    return m;
  };
  const std::vector<failure_row> rows = {
      // The ARB plays the waveform of that name: it is not replaced, in any letter case.
      {"ARB on, selected", &ni_only, with(old_sine, {{"ARB", "on"}, {"SELECTED", "sine"}}), {}, 1, replace_text("sine"), kept::none},
      {"ARB on, selected in capitals", &ravlink_only, {{"WAVEFORM", "arbi:SINE:8192"}, {"ARB", "on"}, {"SELECTED", "SINE"}}, {}, 1,
       replace_text("sine"), kept::none},
      {"ARB on, name typed in capitals", &ni_only, with(old_sine, {{"ARB", "on"}, {"SELECTED", "sine"}}), {"--name", "SINE"}, 1,
       replace_text("SINE"), kept::none},
      // ARB off, or another waveform selected: the name may be overwritten.
      {"ARB off, selected", &ravlink_only, with(old_sine, {{"ARB", "off"}, {"SELECTED", "sine"}}), {}, 0, done, kept::i_and_q},
      {"ARB on, another selected", &ni_only, {{"WAVEFORM", "arbi:other:8192"}, {"ARB", "on"}, {"SELECTED", "other"}}, {}, 0, done,
       kept::i_and_q},
      // Memory: full, full but the old waveform of the name makes room, exactly full.
      {"memory full", &ni_only, {{"FAULT", "memory-full"}}, {}, 1, not_enough, kept::none},
      {"memory full", &ravlink_only, {{"FAULT", "memory-full"}}, {}, 1, not_enough, kept::none},
      // Only the I memory is looked at: the old Q waveform makes room in
      // the Q memory here.
      {"memory full, old waveforms replaced", &ravlink_only, {{"WAVEFORM", "arbi:sine:8192;arbq:sine:8192"}, {"FAULT", "memory-full"}},
       {}, 0, done, kept::i_and_q},
      {"does not fit", &ni_only, {{"CAPACITY", "8K"}, {"WAVEFORM", "arbi:other:2"}}, {}, 1, not_enough, kept::none},
      {"fits exactly", &ravlink_only, {{"CAPACITY", "8K"}}, {}, 0, done, kept::i_and_q},
      // A catalog that cannot be read: NI goes on without the check, Ravlink stops.
      {"garbled catalog", &ni_only, with(old_sine, {{"FAULT", "garbled-catalog"}}), {}, 0, done, kept::i_and_q},
      {"garbled catalog", &ravlink_only, with(old_sine, {{"FAULT", "garbled-catalog"}}), {}, 1, unknown_io, kept::none},
      {"unparsable catalog", &ni_only, {{"FAULT", "unparsable-catalog"}}, {}, 0, done, kept::i_and_q},
      {"unparsable catalog", &ravlink_only, {{"FAULT", "unparsable-catalog"}}, {}, 1, unknown_io, kept::none},
  };
  run_failure_rows("e2e_query_phase", rows);
}

TEST(gpib_end_to_end, link_failures_in_the_data_phase) {
  const std::vector<failure_row> rows = {
      // The link drops inside a block: that channel's time-out, nothing of it stored.
      {"drop in I", &ni_only, {{"FAULT", "drop-after=100"}}, {}, 1, ni_i_timeout, kept::none},
      {"drop in I", &ravlink_only, {{"FAULT", "drop-after=100"}}, {}, 1, rav_i_timeout, kept::none},
      {"drop in Q", &ni_only, {{"FAULT", "drop-after=8292"}}, {}, 1, ni_q_timeout, kept::i_only},
      {"drop in Q", &ravlink_only, {{"FAULT", "drop-after=8292"}}, {}, 1, rav_q_timeout, kept::i_only},
      // No answer to "*OPC?": the blocks arrived, but the run is not reported as done.
      {"no completion reply", &ni_only, {{"FAULT", "no-reply=*OPC?"}}, {}, 1, not_confirmed, kept::i_and_q},
      // On Ravlink the failed wait after I is found at the first Q chunk
      // test, which reports a Q time-out.
      {"no completion reply", &ravlink_only, {{"FAULT", "no-reply=*OPC?"}}, {}, 1, rav_q_timeout, kept::i_only},
      {"no completion reply, I only", &ravlink_only, {{"FAULT", "no-reply=*OPC?"}}, {"--auto-q", "off", "--name", "sine"}, 1, not_confirmed,
       kept::i_only},
      // Only the wait after I unanswered: the one after Q confirms both blocks.
      {"first completion reply missing", &ni_only, {{"FAULT", "no-reply=*OPC?/1"}}, {}, 0, "Done with download.", kept::i_and_q},
  };
  run_failure_rows("e2e_data_phase", rows);
}
