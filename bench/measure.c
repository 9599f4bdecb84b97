/* measure REPORT PROGRAM [ARG...]: runs the program as a child of this small process and
 * writes "wall_seconds cpu_seconds peak_rss_kib exit_status" to REPORT. bench/compare runs
 * every process through it: a child forked straight from the script would count the
 * script's own memory as part of its peak. */
#define _GNU_SOURCE
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "Usage: %s report program [arg...]\n", argv[0]);
    return 2;
  }
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t child = fork();
  if (child < 0) {
    perror("fork");
    return 2;
  }
  if (child == 0) {
    execv(argv[2], argv + 2);
    perror(argv[2]);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) < 0) {
    perror("wait4");
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  FILE* report = fopen(argv[1], "w");
  if (!report) {
    perror(argv[1]);
    return 2;
  }
  double wall = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
  double cpu = (double)usage.ru_utime.tv_sec + (double)usage.ru_utime.tv_usec / 1e6 + (double)usage.ru_stime.tv_sec +
               (double)usage.ru_stime.tv_usec / 1e6;
  fprintf(report, "%.6f %.6f %ld %d\n", wall, cpu, usage.ru_maxrss,
          WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  fclose(report);
  return 0;
}
