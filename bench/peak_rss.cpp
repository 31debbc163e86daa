// Runs a program and prints its peak resident memory in KiB on standard error.
//
// The kernel counts a child's peak from before its exec, so a launcher as
// large as a Python interpreter would hide the program's own figure: this one
// is linked statically and stays far below any program it runs.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("Usage: peak_rss PROGRAM [ARGUMENT...]\n", stderr);
    return 2;
  }
  pid_t child;
  if (posix_spawn(&child, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
    std::perror("peak_rss: cannot start the program");
    return 2;
  }
  int status;
  rusage usage;
  if (wait4(child, &status, 0, &usage) != child) {
    std::perror("peak_rss: wait4");
    return 2;
  }
  std::fprintf(stderr, "peak_rss_kib=%ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
