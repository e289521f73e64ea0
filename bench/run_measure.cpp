// Runs a program and reports its processor time and peak resident memory,
// as the kernel counts them for the child (wait4). A small parent on
// purpose: the peak memory a child reports includes what its parent held at
// the fork, so a large parent (a script interpreter) would hide the figure.
//
//   run_measure [--expect TEXT] PROGRAM [ARG...]
// Prints "status|cpu_seconds|peak_rss_mib|found" on standard output, where
// found is 1 when TEXT appeared on the child's standard error (always 1
// without --expect). The child's standard output is discarded; its standard
// error is kept in a pipe and printed only when the child failed.
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
  int first = 1;
  const char *expect = nullptr;
  if (argc > 2 && !std::strcmp(argv[1], "--expect")) {
    expect = argv[2];
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: run_measure [--expect TEXT] PROGRAM [ARG...]\n");
    return 2;
  }
  int err[2];
  if (pipe(err) != 0) return 2;
  const pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(err[1], 2);
    close(err[0]);
    execvp(argv[first], argv + first);
    _exit(127);
  }
  close(err[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(err[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                     static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
  const bool found = expect == nullptr || text.find(expect) != std::string::npos;
  std::printf("%d|%.3f|%.1f|%d\n", code, cpu, static_cast<double>(ru.ru_maxrss) / 1024.0, found ? 1 : 0);
  if (code != 0 || !found) std::fputs(text.substr(text.size() > 2000 ? text.size() - 2000 : 0).c_str(), stderr);
  return 0;
}
