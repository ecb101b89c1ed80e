#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The operating-system file layer under the engine's readers and writers.
// Paths here are operating-system paths ("/" separators, resolved case);
// see OsPath.h for the engine's own names. No call throws; a failure gives
// false or null and, when why is given, a reason fit for a log line.
namespace qibo {

// Opens an existing regular file for reading. Anything else (a directory,
// a FIFO, a device) is refused without blocking: a FIFO opened for reading
// would wait for a writer.
int OpenRegularFile(const std::string& path, std::string* why = nullptr);
FILE* OpenRegularFileStream(const std::string& path, std::string* why = nullptr);
// Reads a whole regular file into data (replacing what it held).
bool ReadWholeFile(const std::string& path, std::vector<char>& data, std::string* why = nullptr);

// fopen for the engine's file handles, with the same modes ("rb", "r+b",
// "wb", "w+b", "a+b"), that never blocks on a FIFO or a device and refuses
// anything but a regular file (an existing one for "rb" and "r+b").
FILE* OpenFileStream(const std::string& path, const char* mode, std::string* why = nullptr);

// The file path finally names once every symbolic link on the way is
// followed, whether that file exists yet or not (a dangling link names the
// file it would make). False, with the reason, for a loop of links.
bool FollowLinks(const std::string& path, std::string& target, std::string* why = nullptr);

// Whether the file exists and may not be written: no write permission for
// this process, or no write permission bit at all (which even the super-user
// respects here, as a user who marks a file read-only expects).
bool IsReadOnlyFile(const std::string& path);

// Writes a new version of path: write() fills a temporary file in the same
// directory, which is flushed to disk and renamed over path, so path holds
// the old or the new contents, never a part of either. The file keeps the
// mode of the file it replaces; a new file gets the mode a plain create
// would (0666 less the umask). A read-only file is refused. A name that is
// a symbolic link stays one: its target gets the new contents (and is made
// when the link dangles). write() gets the temporary file's descriptor and
// answers whether it wrote everything.
bool ReplaceFile(const std::string& path, const std::function<bool(int fd)>& write,
                 std::string* why = nullptr);
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string* why = nullptr);

// Creates a new, empty file beside target (in its directory) whose name no
// other writer uses, with the mode a plain create gives it (0666 less the
// umask); answers its descriptor (open for writing) and its name in temp,
// or -1 with errno set.
int CreateFileBeside(const std::string& target, std::string& temp);

// Writes all of bytes to fd, retrying short writes and interruptions.
bool WriteAll(int fd, const void* bytes, size_t size);

// An exclusive advisory lock on a file that is replaced by rename: the lock
// is taken on the file that path names once it is acquired, so writers that
// read, change and replace the file one after another never lose each
// other's changes. Creates an empty file when none exists. Released by
// Release() or the destructor.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool Acquire(const std::string& path, std::string* why = nullptr);
  void Release();
  bool Held() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

}  // namespace qibo
