// The simulated serial instrument (talmer-sim serial) as a child process of
// a test, reached through the symbolic link it makes, with its store folder
// and its output in a log file; and a temporary folder for both.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace serial_sim {

namespace fs = std::filesystem;

inline std::string read_all(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh folder under the system's temporary folder, removed at the end.
struct temp_dir {
  fs::path path;
  temp_dir() {
    std::string tmpl = (fs::temp_directory_path() / "talmer-simser-XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path = tmpl;
  }
  ~temp_dir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// talmer-sim serial (the program at `program`) as a child process.
class sim_process {
 public:
  sim_process(const std::string &program, const fs::path &dir, const std::string &name,
              const std::vector<std::string> &options)
      : link_(dir / (name + ".tty")), store_(dir / (name + "-store")), log_(dir / (name + ".log")) {
    fs::create_directories(store_);
    std::vector<std::string> args{program, "serial", "--link", link_.string(), "--store", store_.string()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    if (posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    // Ready once it has said where it listens (generous: a loaded machine).
    for (int i = 0; i < 400 && pid_ > 0 && !ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ~sim_process() { stop(); }

  bool ready() const { return read_all(log_).find("serial instrument on") != std::string::npos; }
  const fs::path &link() const { return link_; }
  fs::path stored(const std::string &file) const { return store_ / file; }

  // Waits (at most `timeout_ms`) until the instrument has stored `file`
  // with `bytes` bytes: it takes its input at its own drain rate, so it
  // may still be at work when the program has sent the last byte.
  bool wait_stored(const std::string &file, std::uintmax_t bytes, int timeout_ms = 20000) const {
    std::error_code ec;
    for (int waited = 0;; waited += 25) {
      if (fs::file_size(store_ / file, ec) == bytes && !ec) return true;
      if (waited >= timeout_ms) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }

  // Ends the instrument (if it is still running) and returns its output.
  std::string stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int st = 0;
      bool ended = false;
      for (int i = 0; i < 400 && !ended; ++i) {
        ended = waitpid(pid_, &st, WNOHANG) == pid_;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(25));
      }
      if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &st, 0);
      }
      pid_ = -1;
    }
    return read_all(log_);
  }

 private:
  fs::path link_, store_, log_;
  pid_t pid_ = -1;
};

}  // namespace serial_sim
