// Preloaded into a program under test (LD_PRELOAD): counts the changes it makes
// to the files below one directory and kills it (SIGKILL) at a chosen one, the
// way a power cut or the task manager would stop it.
//
//   TABULOR_KILL_DIR    the directory whose files count (a path prefix)
//   TABULOR_KILL_AT     the change to die at (1 = the first); unset or 0: only count
//   TABULOR_KILL_COUNT  a file that receives the number of changes when the program exits
//   TABULOR_FAIL_READS  reads of files whose path ends so fail with EIO
//
// A change is a write (the killed one is half written first), a truncation, a
// sync, a file created or emptied by open, a rename or a removal.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static const char* watched_dir;
static size_t watched_length;
static const char* failing_suffix;
static long kill_at;
static long changes;
static pid_t counting_process;

__attribute__((constructor)) static void Setup(void) {
  watched_dir = getenv("TABULOR_KILL_DIR");
  watched_length = watched_dir ? strlen(watched_dir) : 0;
  const char* at = getenv("TABULOR_KILL_AT");
  kill_at = at ? atol(at) : 0;
  failing_suffix = getenv("TABULOR_FAIL_READS");
  counting_process = getpid();
}

__attribute__((destructor)) static void ReportCount(void) {
  const char* file = getenv("TABULOR_KILL_COUNT");
  if (!file || getpid() != counting_process) return;  // not from a forked helper
  FILE* out = fopen(file, "w");
  if (!out) return;
  fprintf(out, "%ld\n", changes);
  fclose(out);
}

static int Watched(const char* path) {
  return watched_length > 0 && path && strncmp(path, watched_dir, watched_length) == 0;
}

static int FdPath(int fd, char* path, size_t size) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, size - 1);
  if (n < 0) return 0;
  path[n] = '\0';
  return 1;
}

static int WatchedFd(int fd) {
  char path[4096];
  return watched_length > 0 && FdPath(fd, path, sizeof path) && Watched(path);
}

static int FailingFd(int fd) {
  char path[4096];
  if (!failing_suffix || !FdPath(fd, path, sizeof path)) return 0;
  const size_t n = strlen(path), s = strlen(failing_suffix);
  return n >= s && strcmp(path + n - s, failing_suffix) == 0;
}

// Counts one change; returns 1 when the process must die at it.
static int DiesAt(void) {
  if (getpid() != counting_process) return 0;
  return ++changes == kill_at;
}

static void Die(void) { raise(SIGKILL); }

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) {
  if (WatchedFd(fd) && DiesAt()) {
    REAL(pwrite)(fd, buf, n / 2, offset);
    Die();
  }
  return REAL(pwrite)(fd, buf, n, offset);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t offset) { return pwrite(fd, buf, n, offset); }

ssize_t write(int fd, const void* buf, size_t n) {
  if (WatchedFd(fd) && DiesAt()) {
    REAL(write)(fd, buf, n / 2);
    Die();
  }
  return REAL(write)(fd, buf, n);
}

int ftruncate(int fd, off_t size) {
  if (WatchedFd(fd) && DiesAt()) Die();
  return REAL(ftruncate)(fd, size);
}

int ftruncate64(int fd, off_t size) { return ftruncate(fd, size); }

int fsync(int fd) {
  if (WatchedFd(fd) && DiesAt()) Die();
  return REAL(fsync)(fd);
}

int fdatasync(int fd) {
  if (WatchedFd(fd) && DiesAt()) Die();
  return REAL(fdatasync)(fd);
}

int rename(const char* from, const char* to) {
  if ((Watched(from) || Watched(to)) && DiesAt()) Die();
  return REAL(rename)(from, to);
}

int unlink(const char* path) {
  if (Watched(path) && DiesAt()) Die();
  return REAL(unlink)(path);
}

static int OpenChanges(const char* path, int flags) { return (flags & (O_CREAT | O_TRUNC)) && Watched(path); }

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  if (OpenChanges(path, flags) && DiesAt()) Die();
  return REAL(open)(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  if (OpenChanges(path, flags) && DiesAt()) Die();
  return REAL(open64)(path, flags, mode);
}

ssize_t read(int fd, void* buf, size_t n) {
  if (FailingFd(fd)) {
    errno = EIO;
    return -1;
  }
  return REAL(read)(fd, buf, n);
}
