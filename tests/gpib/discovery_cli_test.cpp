// Discovery as a user meets it: the command-line program loads the
// simulated driver libraries from TALMER_ARB_LIBDIR through the program's
// own loader and searches for the instrument before the download.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/cli_runs.h"

using namespace talmer::testing;

namespace {

const std::string sine_i = TALMER_SOURCE_DIR "/examples/sine_i.bin";

// The panel text as --show prints it (LF and CR escaped).
std::string shown(const std::string &text) {
  std::string r;
  for (char c : text) r += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
  return r;
}

struct discovery_row {
  const char *label;
  const char *libdir;
  std::map<std::string, std::string> env;  // TALMER_SIM_* settings
  std::vector<std::string> args;           // before --i sine_i.bin --download --show
  int status;
  std::string message;    // final panel text (unescaped); empty: no --show output
  const char *talmerid;   // address list afterwards
  std::vector<std::string> on_stderr;
  bool stored;
};

const std::string done = "Done with download.";

std::string not_attached(const std::string &prefix, const std::string &intfc) {
  return prefix + intfc + ", but no (Digital) Talmer attached.\n\rCheck cable or cycle power  on the Talmer. ";
}
std::string not_at(const std::string &prefix, const std::string &intfc, const std::string &address) {
  return prefix + intfc + ", but no (Digital) Talmer at address " + address + ".\n\rTry using Auto Detect.";
}
const std::string ni_prefix = "Found NI gpib interface at ", rav_prefix = "Found GPIB interface at ";
const std::string no_option = "Found GPIB interface and Talmer, but ARB option is not enabled.";

}  // namespace

TEST(discovery_cli, through_the_loader_from_the_library_folder) {
  const auto base = fresh_folder("discovery_cli");
  std::filesystem::create_directories(base / "nolibs");
  const std::string nolibs = (base / "nolibs").string();
  const std::vector<discovery_row> rows = {
      // Detection: one family, the other, both (the NI board answers first), none.
      {"NI only", TALMER_SIM_LIBDIR_NI, {}, {}, 0, done, "19",
       {"Using NI gpib interface at 0 with an Talmer at address 19."}, true},
      {"Ravlink only", TALMER_SIM_LIBDIR_RAVLINK, {}, {}, 0, done, "19",
       {"Testing address:  19\n", "Using Corvane gpib interface at corvaneib with an Talmer at address 19."}, true},
      {"both, no NI board", TALMER_SIM_LIBDIR, {{"NI_BOARDS", "none"}}, {}, 0, done, "19",
       {"Using Corvane gpib interface at corvaneib with an Talmer at address 19."}, true},
      {"no library", nolibs.c_str(), {}, {}, 1, "Could not find a Corvane or National Instruments GPIB card.",
       "Auto Detect", {}, false},
      // Auto Detect searches on from 19 and shows the address found; a
      // chosen address is probed alone.
      {"auto, instrument at 7", TALMER_SIM_LIBDIR_RAVLINK, {{"ADDRESS", "7"}}, {}, 0, done, "7",
       {"Testing address:  7\n", "Using Corvane gpib interface at corvaneib with an Talmer at address 7."}, true},
      {"auto, another device at 19", TALMER_SIM_LIBDIR_NI, {{"ADDRESS", "7"}, {"OTHER_ADDRESS", "19"}}, {}, 0, done, "7",
       {"Using NI gpib interface at 0 with an Talmer at address 7."}, true},
      {"chosen 7", TALMER_SIM_LIBDIR, {{"ADDRESS", "7"}}, {"--address", "7"}, 0, done, "7",
       {"Using NI gpib interface at 0 with an Talmer at address 7."}, true},
      {"chosen 5, nobody there", TALMER_SIM_LIBDIR_NI, {}, {"--address", "5"}, 1, not_at(ni_prefix, "0", "5"), "5", {}, false},
      {"chosen 5, nobody there", TALMER_SIM_LIBDIR_RAVLINK, {}, {"--address", "5"}, 1, not_at(rav_prefix, "corvaneib", "5"),
       "5", {"Testing address:  5\n"}, false},
      // Identification and option.
      {"another device answering", TALMER_SIM_LIBDIR_NI, {{"FAULT", "other-device"}}, {}, 1, not_attached(ni_prefix, "0"),
       "Auto Detect", {}, false},
      {"another device answering", TALMER_SIM_LIBDIR_RAVLINK, {{"FAULT", "other-device"}}, {}, 1,
       not_attached(rav_prefix, "corvaneib"), "Auto Detect", {}, false},
      {"k902 in lower case", TALMER_SIM_LIBDIR_RAVLINK, {{"IDENTITY", "Acme,k902,1,1.0"}}, {}, 0, done, "19", {}, true},
      {"option missing", TALMER_SIM_LIBDIR_NI, {{"FAULT", "no-qvx"}}, {}, 1, no_option, "19", {}, false},
      {"option missing", TALMER_SIM_LIBDIR_RAVLINK, {{"FAULT", "no-qvx"}}, {}, 1, no_option, "19", {}, false},
      // Registration of the NI status cells: "registered already" is
      // repaired; the other answers end the program after a message box.
      {"registered already", TALMER_SIM_LIBDIR_NI, {{"REGISTER", "1"}}, {}, 0, done, "19", {}, true},
      {"not multi-threaded", TALMER_SIM_LIBDIR_NI, {{"REGISTER", "2"}}, {}, 1, "", "",
       {"Operating System is not multi-threaded. Quitting the Program!\n"}, false},
      {"cannot register", TALMER_SIM_LIBDIR_NI, {{"REGISTER", "3"}}, {}, 1, "", "",
       {"Unable to register GPIB thread globals. Quitting the Program!\n"}, false},
      {"unknown answer", TALMER_SIM_LIBDIR_NI, {{"REGISTER", "7"}}, {}, 1, "", "",
       {"Unknown Error for Registering GPIB Globals!!! Quitting the Program!\n"}, false},
      // The trace of the discovery steps.
      {"debug", TALMER_SIM_LIBDIR_NI, {}, {"--debug"}, 0, done, "19",
       {"Starting step:  \nfind_gpibcard", "Starting step:  \nfind_gpib_interface: GPIBx (for NI card)\n",
        "Starting step:  \nfind_Talmer_NI: GPIB address search\n"},
       true},
  };

  std::vector<cli_run> runs;
  for (size_t k = 0; k < rows.size(); ++k) {
    cli_run r;
    r.dir = base / std::to_string(k);
    std::filesystem::create_directories(r.dir / "store");
    r.env = {{"TALMER_ARB_LIBDIR", rows[k].libdir},
             {"TALMER_SIM_TIMEOUT_SCALE", "0.01"},
             {"TALMER_SIM_STORE", (r.dir / "store").string()}};
    for (const auto &[key, value] : rows[k].env) r.env["TALMER_SIM_" + key] = value;
    r.args = rows[k].args;
    r.args.insert(r.args.end(), {"--i", sine_i, "--download", "--show"});
    runs.push_back(std::move(r));
  }
  run_all(TALMER_CLI_PATH, runs);

  for (size_t k = 0; k < rows.size(); ++k) {
    const discovery_row &row = rows[k];
    const cli_run &r = runs[k];
    SCOPED_TRACE(std::string(row.label) + " (" + row.libdir + ")\n" + r.err);
    EXPECT_EQ(r.status, row.status);
    if (row.message.empty()) {
      EXPECT_EQ(r.out, "");  // the program ended before showing its state
    } else {
      EXPECT_EQ(r.state.at("msgsbkgd"), row.status == 0 ? "teal" : "red");
      EXPECT_EQ(r.state.at("Messages"), shown(row.message));
      EXPECT_EQ(r.state.at("Talmerid"), row.talmerid);
    }
    for (const std::string &part : row.on_stderr) EXPECT_NE(r.err.find(part), std::string::npos) << part;
    bool has_i = false;
    file_bytes(r.dir / "store" / "arbi_sine.bin", &has_i);
    EXPECT_EQ(has_i, row.stored);
  }
  std::filesystem::remove_all(base);
}
