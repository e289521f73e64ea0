// talmer-sim: the simulated Talmer signal generator for manual use and the
// demo. `talmer-sim serial --link PATH` plays the instrument on a
// pseudo-terminal reachable through the symbolic link PATH until it is
// stopped; `talmer-sim env` prints the environment that gives the simulated
// driver libraries the same settings.
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "model/settings.h"
#include "serial/pty_server.h"

namespace {

using namespace talmer::sim;

talmer::sim::pty_server *running = nullptr;

extern "C" void on_signal(int) {
  if (running != nullptr) running->stop();
}

std::string dashed(std::string key) {
  for (char &c : key)
    if (c == '_') c = '-';
  return key;
}

const char *fault_help =
    "Faults (--fault, repeatable; TALMER_SIM_FAULT joins several with ';'):\n"
    "  no-reply=QUERY[/N]        no reply to QUERY (e.g. *IDN?, mmem:cat?; * = every query),\n"
    "                            or only to its first N times\n"
    "  slow-reply=QUERY/MS       the reply to QUERY starts MS milliseconds late\n"
    "  split-reply=QUERY/N/MS    the reply to QUERY arrives in N pieces MS milliseconds apart\n"
    "  garbled-catalog           catalog with non-numeric fields and unclosed entries\n"
    "  unparsable-catalog        catalog reply without a comma\n"
    "  other-device              identifies with --other-identity instead\n"
    "  no-qvx                    the option reply lacks QVX\n"
    "  arb-playing=NAME          ARB on with waveform NAME selected\n"
    "  memory-full               no free memory (waveforms already stored can be replaced)\n"
    "  drop-after=N              the link drops after N block data bytes (GPIB: time-outs from then on;\n"
    "                            serial: the pseudo-terminal is closed and talmer-sim ends)\n"
    "  xoff-stuck                serial: XOFF is sent, XON never\n";

std::string shell_quote(const std::string &v) {
  std::string out = "'";
  for (char c : v) {
    if (c == '\'')
      out += "'\\''";
    else
      out.push_back(c);
  }
  return out + "'";
}

std::string library_folder() {
  char exe[4096];
  const auto n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return {};
  std::string dir(exe, static_cast<std::size_t>(n));
  dir = dir.substr(0, dir.rfind('/'));
  for (const char *rel : {"/../simlib", "/../lib/talmer-arb/simlib", "/simlib"}) {
    const std::string candidate = dir + rel;
    struct stat st {};
    if (stat((candidate + "/libgpib.so.0").c_str(), &st) == 0) {
      char real[4096];
      if (realpath(candidate.c_str(), real) != nullptr) return real;
      return candidate;
    }
  }
  return {};
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"talmer-sim: a simulated Talmer signal generator (ARB option QVX) for the serial link, and the "
               "settings of the simulated NI-488.2 and Ravlink driver libraries"};
  app.require_subcommand(1);
  app.footer(std::string("\n") + fault_help +
             "\nEvery setting may also come from the environment (TALMER_SIM_<KEY>, e.g. TALMER_SIM_DRAIN_RATE)\n"
             "or from a file named by TALMER_SIM_CONFIG (key = value lines); options win over both.\n"
             "The simulated driver libraries read the same environment when they are first used.");

  auto *serial = app.add_subcommand("serial", "play the instrument on a pseudo-terminal until stopped (SIGINT/SIGTERM)");
  std::string link;
  bool verbose = false;
  std::string config_file;
  serial->add_option("--link", link, "create a symbolic link at PATH to the pseudo-terminal")
      ->required()
      ->type_name("PATH");
  serial->add_flag("--verbose", verbose, "print the wire log on standard error as it goes");

  auto *env = app.add_subcommand("env", "print the shell commands that give the simulated libraries these settings");

  std::map<std::string, std::vector<std::string>> given;
  for (auto *sub : {serial, env}) {
    sub->add_option("--config", config_file, "read settings from FILE (key = value lines)")->type_name("FILE");
    const auto skipped = sub == serial ? setting_scope::gpib : setting_scope::serial;
    for (const auto &info : setting_table()) {
      if (info.scope == skipped) continue;
      auto *opt = sub->add_option("--" + dashed(info.key), given[info.key], info.help)->type_name(info.value_name);
      opt->expected(1);
      if (info.repeatable)
        opt->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
      else
        opt->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
  }
  CLI11_PARSE(app, argc, argv);

  std::string errors;
  settings s = settings_from_environment(process_environment(), errors);
  if (!errors.empty()) {
    std::fprintf(stderr, "talmer-sim: bad settings in the environment:\n%s\n", errors.c_str());
    return 2;
  }
  if (!config_file.empty()) {
    std::FILE *f = std::fopen(config_file.c_str(), "rb");
    if (f == nullptr) {
      std::fprintf(stderr, "talmer-sim: cannot read %s\n", config_file.c_str());
      return 2;
    }
    std::string text;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    const auto e = apply_config_text(s, text);
    if (!e.empty()) {
      std::fprintf(stderr, "talmer-sim: %s %s", config_file.c_str(), e.c_str());
      return 2;
    }
  }
  for (const auto &info : setting_table())
    for (const auto &v : given[info.key]) {
      const auto e = apply_setting(s, info.key, v);
      if (!e.empty()) {
        std::fprintf(stderr, "talmer-sim: --%s %s\n", dashed(info.key).c_str(), e.c_str());
        return 2;
      }
    }
  if (const auto e = check_settings(s); !e.empty()) {
    std::fprintf(stderr, "talmer-sim: %s\n", e.c_str());
    return 2;
  }

  if (env->parsed()) {
    for (const auto &info : setting_table()) {
      const auto &v = given[info.key];
      if (v.empty()) continue;
      std::string joined;
      for (const auto &item : v) joined += (joined.empty() ? "" : ";") + item;
      std::printf("export %s=%s\n", env_name(info.key).c_str(), shell_quote(joined).c_str());
    }
    if (!config_file.empty()) std::printf("export TALMER_SIM_CONFIG=%s\n", shell_quote(config_file).c_str());
    if (const auto dir = library_folder(); !dir.empty())
      std::printf("export TALMER_ARB_LIBDIR=%s\n", shell_quote(dir).c_str());
    return 0;
  }

  if (!s.store_dir.empty()) {
    struct stat st {};
    if (stat(s.store_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      std::fprintf(stderr, "talmer-sim: store folder %s does not exist\n", s.store_dir.c_str());
      return 2;
    }
  }
  try {
    pty_server server(s);
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "talmer-sim: %s exists and is not a symbolic link; not replacing it\n", link.c_str());
        return 2;
      }
      ::unlink(link.c_str());
    }
    if (symlink(server.device().c_str(), link.c_str()) != 0) {
      std::perror(("talmer-sim: symlink " + link).c_str());
      return 2;
    }
    if (verbose)
      server.model().log().set_sink(
          [](const wire_record &r) { std::fprintf(stderr, "%s\n", wire_log::format(r).c_str()); });
    running = &server;
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::printf("talmer-sim: serial instrument on %s (link %s); identity \"%s\"\n", server.device().c_str(),
                link.c_str(), s.identity.c_str());
    std::fflush(stdout);
    const auto how = server.run();
    running = nullptr;
    char target[4096];
    const auto n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == server.device()) ::unlink(link.c_str());
    const auto &stores = server.model().stores();
    std::size_t stored = 0;
    for (const auto &a : stores) stored += a.outcome == store_outcome::stored;
    if (how == pty_server::ending::dropped)
      std::fprintf(stderr, "talmer-sim: link dropped after %llu data bytes (fault)\n",
                   static_cast<unsigned long long>(server.model().data_bytes()));
    std::printf("talmer-sim: stopped; %zu waveform(s) stored, %llu byte(s) lost to overrun\n", stored,
                static_cast<unsigned long long>(server.line().overrun_bytes()));
    return 0;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "talmer-sim: %s\n", e.what());
    return 1;
  }
}
