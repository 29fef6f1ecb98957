#include "rewrite_in_place.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace md {

namespace {

// The temporary file's name where a signal handler can reach it: only
// async-signal-safe calls are allowed there, so no std::string.
char gTemporary[4096] = {0};

void RemoveTemporaryAndDie(int signal) {
  if (gTemporary[0]) unlink(gTemporary);
  ::signal(signal, SIG_DFL);
  raise(signal);
}

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

// Removes the temporary file and restores the signal handlers when the
// rewrite ends, however it ends.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& path) {
    // "NAME.XXXXXX.mdpart": beside the file, on the same file system, with an
    // extension nothing uploads or plays.
    std::string pattern = path + ".XXXXXX.mdpart";
    if (pattern.size() >= sizeof gTemporary) throw std::runtime_error("file name too long: " + path);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryAndDie;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, &previous_[s]);
    // Signals are held while the name is made and published, so a handler
    // never sees half of it.
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &old);
    fd_ = mkstemps(name.data(), 7);
    if (fd_ >= 0) std::memcpy(gTemporary, name.data(), name.size());
    int error = errno;
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (fd_ < 0) {
      errno = error;
      Restore();
      throw SystemError("cannot make a temporary file beside " + path);
    }
    path_ = name.data();
  }
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!kept_) unlink(path_.c_str());
    Restore();
  }
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }
  void Keep() { kept_ = true; }

 private:
  void Restore() {
    gTemporary[0] = '\0';
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &previous_[s], nullptr);
  }
  std::string path_;
  int fd_ = -1;
  bool kept_ = false;
  struct sigaction previous_[NSIG] {};
};

}  // namespace

void RewriteInPlace(const std::string& path, const std::function<void(const std::string& temporary)>& write) {
  struct stat original {};
  if (stat(path.c_str(), &original) != 0) throw SystemError("cannot read " + path);
  if (!S_ISREG(original.st_mode)) throw std::runtime_error(path + " is not a regular file");
  // Through a symbolic link the file it names is rewritten, and the link stays.
  std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
  if (!resolved) throw SystemError("cannot read " + path);
  const std::string target = resolved.get();

  TemporaryFile temporary(target);
  write(temporary.path());
  if (fchmod(temporary.fd(), original.st_mode & 07777) != 0)
    throw SystemError("cannot set the permissions of " + temporary.path());
  // On disk before the rename, so a power cut after it cannot leave an
  // empty file under the old name.
  if (fsync(temporary.fd()) != 0) throw SystemError("cannot write " + temporary.path());
  if (rename(temporary.path().c_str(), target.c_str()) != 0) throw SystemError("cannot replace " + path);
  temporary.Keep();
}

}  // namespace md
