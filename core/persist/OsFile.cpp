#include "core/persist/OsFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace qibo {

namespace {

bool Fail(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

bool FailErrno(std::string* why, const std::string& what, int error) {
  return Fail(why, what + ": " + strerror(error));
}

// A name beside path that no other writer uses: the process, a counter and
// the clock, tried again on the rare clash.
std::string TemporaryName(const std::string& path) {
  static std::atomic<uint32_t> counter{0};
  const auto ticks = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  char suffix[64];
  snprintf(suffix, sizeof(suffix), ".%d.%u.%llx.tmp", static_cast<int>(getpid()), counter.fetch_add(1),
           static_cast<unsigned long long>(ticks & 0xFFFFFFFFFFull));
  return path + suffix;
}

}  // namespace

int OpenRegularFile(const std::string& path, std::string* why) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    FailErrno(why, path, errno);
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    Fail(why, path + ": not a regular file");
    errno = EINVAL;
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

FILE* OpenRegularFileStream(const std::string& path, std::string* why) {
  return OpenFileStream(path, "rb", why);
}

bool ReadWholeFile(const std::string& path, std::vector<char>& data, std::string* why) {
  data.clear();
  FILE* file = OpenRegularFileStream(path, why);
  if (!file) return false;
  char chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) data.insert(data.end(), chunk, chunk + got);
  const bool ok = !ferror(file);
  fclose(file);
  if (!ok && why) *why = "read error";
  return ok;
}

FILE* OpenFileStream(const std::string& path, const char* mode, std::string* why) {
  if (!mode) return nullptr;
  const std::string_view m(mode);
  int flags = 0;
  if (m == "rb") {
    flags = O_RDONLY;
  } else if (m == "r+b") {
    flags = O_RDWR;
  } else if (m == "wb") {
    flags = O_WRONLY | O_CREAT | O_TRUNC;
  } else if (m == "w+b") {
    flags = O_RDWR | O_CREAT | O_TRUNC;
  } else if (m == "a+b") {
    flags = O_RDWR | O_CREAT | O_APPEND;
  } else {
    Fail(why, std::string("unknown file mode ") + mode);
    return nullptr;
  }
  // Opened without truncating first: a FIFO or device must be refused
  // before anything is done to it.
  const int fd = open(path.c_str(), (flags & ~O_TRUNC) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) {
    FailErrno(why, path, errno);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    Fail(why, path + ": not a regular file");
    errno = EINVAL;
    return nullptr;
  }
  const int status = fcntl(fd, F_GETFL);
  if (status >= 0) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  if ((flags & O_TRUNC) && ftruncate(fd, 0) != 0) {
    const int error = errno;
    close(fd);
    FailErrno(why, path, error);
    return nullptr;
  }
  FILE* file = fdopen(fd, mode);
  if (!file) {
    FailErrno(why, path, errno);
    close(fd);
  }
  return file;
}

bool FollowLinks(const std::string& path, std::string& target, std::string* why) {
  if (char* resolved = realpath(path.c_str(), nullptr)) {
    target = resolved;
    free(resolved);
    return true;
  }
  // Not there yet: follow the links by hand to the name that is missing.
  target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = readlink(target.c_str(), link.data(), link.size());
    if (n < 0 || static_cast<size_t>(n) >= link.size()) return true;  // let the open report it
    link.resize(static_cast<size_t>(n));
    const size_t slash = target.rfind('/');
    target = link.front() == '/' || slash == std::string::npos ? link : target.substr(0, slash + 1) + link;
  }
  return Fail(why, path + ": too many levels of symbolic links");
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0;
}

bool WriteAll(int fd, const void* bytes, size_t size) {
  const char* data = static_cast<const char*>(bytes);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int CreateFileBeside(const std::string& target, std::string& temp) {
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = TemporaryName(target);
    // 0666: a new file gets what the umask leaves, as any created file does.
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  return fd;
}

bool ReplaceFile(const std::string& path, const std::function<bool(int fd)>& write, std::string* why) {
  if (path.empty()) return Fail(why, "no file name");
  // A name that is a link stays one: the link's target gets the new file,
  // and is made when it does not exist yet (a dangling link).
  std::string target;
  if (!FollowLinks(path, target, why)) return false;
  struct stat st;
  const bool exists = stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return Fail(why, path + ": not a regular file");
  if (exists && IsReadOnlyFile(target)) return Fail(why, path + " is read-only; not replaced");

  std::string temp;
  int fd = CreateFileBeside(target, temp);
  if (fd < 0) return FailErrno(why, "cannot create a file beside " + path, errno);

  bool ok = !exists || fchmod(fd, st.st_mode & 07777) == 0;
  int error = ok ? 0 : errno;
  if (ok && !write(fd)) {
    ok = false;
    error = errno ? errno : EIO;
  }
  if (ok && fsync(fd) != 0) {
    ok = false;
    error = errno;
  }
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (ok) return true;
  unlink(temp.c_str());
  return FailErrno(why, "cannot write " + path, error);
}

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string* why) {
  return ReplaceFile(
      path, [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); }, why);
}

bool FileLock::Acquire(const std::string& path, std::string* why) {
  Release();
  // A writer may replace the file between our open and our lock: the lock
  // then sits on the old file, so check that path still names the file we
  // hold and try again if not.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) return FailErrno(why, path, errno);
    struct stat held;
    if (fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
      close(fd);
      return Fail(why, path + ": not a regular file");
    }
    int locked;
    do {
      locked = flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      const int error = errno;
      close(fd);
      return FailErrno(why, "cannot lock " + path, error);
    }
    struct stat named;
    if (stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
      m_fd = fd;
      return true;
    }
    close(fd);
  }
  return Fail(why, "cannot lock " + path + ": it keeps being replaced");
}

void FileLock::Release() {
  if (m_fd < 0) return;
  close(m_fd);  // drops the lock
  m_fd = -1;
}

}  // namespace qibo
