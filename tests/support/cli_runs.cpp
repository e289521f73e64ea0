#include "support/cli_runs.h"

#include <fcntl.h>
#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>

extern char **environ;

namespace talmer::testing {

std::string file_bytes(const std::filesystem::path &path, bool *exists) {
  std::ifstream f(path, std::ios::binary);
  if (exists != nullptr) *exists = static_cast<bool>(f);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

std::filesystem::path fresh_folder(const std::string &tag) {
  auto dir = std::filesystem::temp_directory_path() / ("talmer_" + tag + "_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

namespace {

std::map<std::string, std::string> show_lines(const std::string &out) {
  std::map<std::string, std::string> state;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(start, end - start);
    auto eq = line.find('=');
    if (eq != std::string::npos) state[line.substr(0, eq)] = line.substr(eq + 1);
    start = end + 1;
  }
  return state;
}

}  // namespace

void run_all(const std::string &program, std::vector<cli_run> &runs) {
  std::vector<pid_t> pids(runs.size(), -1);
  for (size_t k = 0; k < runs.size(); ++k) {
    cli_run &r = runs[k];
    const std::string out_file = (r.dir / ".stdout").string(), err_file = (r.dir / ".stderr").string();

    std::vector<std::string> env_text;
    std::set<std::string> replaced;
    for (const auto &[key, value] : r.env) {
      env_text.push_back(key + "=" + value);
      replaced.insert(key);
    }
    for (char **e = environ; *e != nullptr; ++e) {
      std::string entry = *e;
      if (!replaced.count(entry.substr(0, entry.find('=')))) env_text.push_back(entry);
    }
    std::vector<char *> envp;
    for (auto &s : env_text) envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> arg_text{program};
    arg_text.insert(arg_text.end(), r.args.begin(), r.args.end());
    std::vector<char *> argv;
    for (auto &s : arg_text) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // The program runs in its folder: relative source paths are taken from there.
    const std::string dir = r.dir.string();
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) pids[k] = pid;
    posix_spawn_file_actions_destroy(&actions);
  }
  for (size_t k = 0; k < runs.size(); ++k) {
    cli_run &r = runs[k];
    if (pids[k] > 0) {
      int st = 0;
      pid_t got;
      do got = waitpid(pids[k], &st, 0);
      while (got < 0 && errno == EINTR);
      r.status = got > 0 && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    r.out = file_bytes(r.dir / ".stdout");
    r.err = file_bytes(r.dir / ".stderr");
    r.state = show_lines(r.out);
  }
}

}  // namespace talmer::testing
