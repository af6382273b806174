// Runs a command once and prints its wall time, peak resident memory and
// processor time.
//
//   measure INPUT_FILE [-o OUTPUT_FILE] COMMAND [ARGS...]
//
// Standard input comes from INPUT_FILE, standard output goes to OUTPUT_FILE
// (created) or /dev/null, standard error to /dev/null. Prints "<seconds>
// <peak RSS in KiB> <user + system seconds>". The memory figure is the
// child's own: this launcher is small, so the high-water mark it passes on
// through fork and exec stays below the figures measured.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  const bool to_file = argc > 3 && strcmp(argv[2], "-o") == 0;
  const int cmd = to_file ? 4 : 2;
  if (argc <= cmd) {
    fprintf(stderr, "usage: %s INPUT_FILE [-o OUTPUT_FILE] COMMAND [ARGS...]\n", argv[0]);
    return 2;
  }
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) {
    perror("fork");
    return 1;
  }
  if (pid == 0) {
    int in = open(argv[1], O_RDONLY);
    int null = open("/dev/null", O_WRONLY);
    int out = to_file ? open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644) : null;
    if (in < 0 || null < 0 || out < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(null, 2);
    execvp(argv[cmd], argv + cmd);
    _exit(127);
  }
  int status = 0;
  struct rusage ru;
  if (wait4(pid, &status, 0, &ru) < 0) {
    perror("wait4");
    return 1;
  }
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                     double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  printf("%.6f %ld %.6f\n", s, ru.ru_maxrss, cpu);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
