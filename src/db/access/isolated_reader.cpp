#include "db/access/isolated_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "db/access/error.h"
#include "db/access/reading_process.h"
#include "db/access/wire.h"

namespace tabulor::db::access {
namespace {

constexpr size_t kDiagnosticLimit = 4096;

class Pipe {
 public:
  Pipe() {
    if (pipe2(fds_, O_CLOEXEC) != 0) throw AccessError(std::string("création d'un tube impossible : ") + std::strerror(errno));
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  int read_end() const { return fds_[0]; }
  int write_end() const { return fds_[1]; }
  void CloseRead() { Close(fds_[0]); }
  void CloseWrite() { Close(fds_[1]); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  int fds_[2] = {-1, -1};
};

[[noreturn]] void RunChild(const std::string& path, const std::optional<std::string>& table,
                           const ReaderLimits& limits, int reply_fd, int diagnostic_fd) {
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGPIPE, SIGTERM}) signal(sig, SIG_DFL);
  const rlimit no_core{0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
#if !defined(__SANITIZE_ADDRESS__)  // the address sanitizer reserves far more address space
  const rlimit memory{limits.memory_limit_bytes, limits.memory_limit_bytes};
  setrlimit(RLIMIT_AS, &memory);
#endif
  dup2(diagnostic_fd, STDERR_FILENO);
  ServeRead(path, table, reply_fd);
  _exit(0);
}

std::string LastLines(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) trimmed.pop_back();
  size_t cut = trimmed.size() > 300 ? trimmed.size() - 300 : 0;
  return trimmed.substr(cut);
}

// Runs the reader and feeds its reply to `decoder`: the contents, or AccessError.
FileContents Read(const std::string& path, const std::optional<std::string>& table, const ReaderLimits& limits,
                  ReplyDecoder& decoder);

}  // namespace

FileContents ReadIsolated(const std::string& path, const std::optional<std::string>& table,
                          const ReaderLimits& limits) {
  return ReadIsolated(path, table, limits, RowHandler());
}

FileContents ReadIsolated(const std::string& path, const std::optional<std::string>& table,
                          const ReaderLimits& limits, const RowHandler& rows) {
  ReplyDecoder decoder(limits.reply_limit_bytes);
  if (rows) decoder.SetRowHandler(rows);
  return Read(path, table, limits, decoder);
}

FileContents ReadIsolatedEncoded(const std::string& path, const std::optional<std::string>& table,
                                 const ReaderLimits& limits, const EncodedRowHandler& rows) {
  ReplyDecoder decoder(limits.reply_limit_bytes);
  if (rows) decoder.SetEncodedRowHandler(rows);
  return Read(path, table, limits, decoder);
}

namespace {

FileContents Read(const std::string& path, const std::optional<std::string>& table, const ReaderLimits& limits,
                  ReplyDecoder& decoder) {
  Pipe reply;
  Pipe diagnostics;
  const pid_t pid = fork();
  if (pid < 0) throw AccessError(std::string("lancement du lecteur de base Access impossible : ") + std::strerror(errno));
  if (pid == 0) RunChild(path, table, limits, reply.write_end(), diagnostics.write_end());
  reply.CloseWrite();
  diagnostics.CloseWrite();

  size_t received = 0;
  std::optional<std::string> malformed;
  std::string diagnostic;
  bool timed_out = false;
  bool too_large = false;
  const auto deadline = std::chrono::steady_clock::now() + limits.time_limit;
  pollfd fds[2] = {{reply.read_end(), POLLIN, 0}, {diagnostics.read_end(), POLLIN, 0}};
  int open_fds = 2;
  char buffer[65536];
  while (open_fds > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    int ready = poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fds[i].fd = -1;
        --open_fds;
        continue;
      }
      if (i == 0) {
        received += static_cast<size_t>(n);
        if (received > limits.reply_limit_bytes) too_large = true;
        try {
          if (!too_large) decoder.Feed(std::string_view(buffer, static_cast<size_t>(n)));
        } catch (const std::exception& e) {  // the rows' handler may fail as well
          malformed = e.what();
        }
      } else if (diagnostic.size() < kDiagnosticLimit) {
        diagnostic.append(buffer, static_cast<size_t>(n));
      }
    }
    if (too_large || malformed) break;
  }
  if (timed_out || too_large || malformed) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }

  const std::string what = (table ? "Lecture de la table " + *table + " de " : "Lecture de ") + path + " impossible : ";
  const std::string detail = diagnostic.empty() ? "" : " (" + LastLines(diagnostic) + ")";
  if (timed_out) throw AccessError(what + "le fichier semble endommagé (délai de lecture dépassé)");
  if (too_large) throw AccessError(what + "le contenu dépasse la taille admise");
  if (WIFSIGNALED(status))
    throw AccessError(what + "le fichier est endommagé (le lecteur s'est arrêté sur le signal " + std::to_string(WTERMSIG(status)) + ")" +
                      detail);
  if (malformed) throw AccessError(what + *malformed);
  if (decoder.Error()) throw AccessError(what + *decoder.Error() + detail);
  if (!decoder.Finished()) throw AccessError(what + "le lecteur n'a pas tout renvoyé" + detail);
  return decoder.Take();
}

}  // namespace

}  // namespace tabulor::db::access
