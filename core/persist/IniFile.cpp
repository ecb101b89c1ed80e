#include "core/persist/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/kernel/Logging.h"
#include "core/object/BufferAllocator.h"
#include "core/persist/OsFile.h"
#include "core/persist/OsPath.h"

namespace qibo {

namespace {

// The index of one file's text: its sections and key lines as byte offsets
// into the text, nothing else. Blank, comment and other lines cost nothing,
// so even a file at the size limit indexes in one linear pass.
struct IniKey {
  uint32_t begin;      // first byte of the line
  uint32_t end;        // end of the content, before LF or CR LF
  uint32_t next;       // first byte of the next line
  uint32_t nameBegin;  // trimmed name
  uint32_t nameLength;
  uint32_t valueBegin;  // trimmed value [valueBegin, valueEnd); a new value
  uint32_t valueEnd;    // replaces [valueBegin, end)
};

struct IniSection {
  bool readable = false;  // the header has a name we can match
  std::string_view name;  // trimmed
  uint32_t insertAt = 0;  // after the section's last non-blank line
  std::vector<IniKey> keys;
};

// A file's text, in the buffer memory (a settings file may be 16 MB).
using IniText = std::basic_string<char, std::char_traits<char>, BufferAllocator<char>>;

struct IniDocument {
  IniText text;
  std::vector<IniSection> sections;  // keys before the first header belong to none

  std::string_view Name(const IniKey& key) const {
    return std::string_view(text).substr(key.nameBegin, key.nameLength);
  }
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

// One pass over the text, line by line.
void Index(IniDocument& doc) {
  // Editors on the original platform liked to start the file with a UTF-8
  // byte-order mark; it is not part of the first line.
  static constexpr std::string_view kBom = "\xEF\xBB\xBF";
  const IniText& text = doc.text;
  doc.sections.clear();
  IniSection* section = nullptr;  // null before the first header
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t lf = text.find('\n', pos);
    size_t end = lf == std::string::npos ? text.size() : lf;
    const size_t next = lf == std::string::npos ? text.size() : lf + 1;
    if (end > pos && text[end - 1] == '\r') --end;
    const size_t lineStart = pos;
    size_t begin = pos;
    if (begin == 0 && std::string_view(text).substr(0, end).starts_with(kBom)) begin = kBom.size();
    pos = next;

    const std::string_view content(text.data() + begin, end - begin);
    const std::string_view trimmed = Trim(content);
    if (trimmed.empty()) continue;
    const bool hasNul = content.find('\0') != std::string_view::npos;
    if (trimmed[0] == '[') {
      // Even a broken header ends the section above it, so that its keys
      // are never taken for keys of that section.
      IniSection& added = doc.sections.emplace_back();
      const size_t close = trimmed.find(']');
      if (close != std::string_view::npos && !hasNul) {
        added.name = Trim(trimmed.substr(1, close - 1));
        added.readable = true;
      }
      added.insertAt = static_cast<uint32_t>(next);
      section = &added;
      continue;
    }
    if (section) section->insertAt = static_cast<uint32_t>(next);
    if (trimmed[0] == ';' || trimmed[0] == '#' || hasNul || !section) continue;
    const size_t first = static_cast<size_t>(trimmed.data() - content.data());
    const size_t eq = content.find('=', first);
    if (eq == std::string_view::npos) continue;
    const std::string_view name = Trim(content.substr(first, eq - first));
    if (name.empty()) continue;
    const std::string_view value = Trim(content.substr(eq + 1));
    IniKey key;
    key.begin = static_cast<uint32_t>(lineStart);
    key.end = static_cast<uint32_t>(end);
    key.next = static_cast<uint32_t>(next);
    key.nameBegin = static_cast<uint32_t>(name.data() - text.data());
    key.nameLength = static_cast<uint32_t>(name.size());
    key.valueBegin =
        static_cast<uint32_t>(value.empty() ? end : static_cast<size_t>(value.data() - text.data()));
    key.valueEnd = key.valueBegin + static_cast<uint32_t>(value.size());
    section->keys.push_back(key);
  }
}

const IniSection* FindSection(const IniDocument& doc, std::string_view name) {
  for (const IniSection& section : doc.sections)
    if (section.readable && SameName(section.name, name)) return &section;
  return nullptr;
}

const IniKey* FindKey(const IniDocument& doc, const IniSection* section, std::string_view name) {
  if (!section) return nullptr;
  for (const IniKey& key : section->keys)
    if (SameName(doc.Name(key), name)) return &key;
  return nullptr;
}

// Reads the whole file into doc. A missing file is an empty one; any other
// failure, a file that is not a regular file, or one over the size limit
// gives false.
bool LoadFile(const std::string& path, IniText& text, bool& exists) {
  text.clear();
  exists = false;
  const int fd = OpenRegularFile(path);
  if (fd < 0) return errno == ENOENT;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && st.st_size <= kIniMaxFileSize;
  if (ok) {
    exists = true;
    text.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    // The file may change size under us; read what is there, up to the limit.
    while (ok) {
      if (done == text.size()) {
        if (text.size() > static_cast<size_t>(kIniMaxFileSize)) {
          ok = false;
          break;
        }
        text.resize(text.size() + 4096);
      }
      const ssize_t n = read(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    text.resize(done);
  }
  close(fd);
  return ok;
}

// The last file read, indexed: lookups parse a file once per change, not
// once per key. A change is a different file (every save renames a new one
// into place) or a different size or time stamp.
struct IniCache {
  std::mutex lock;
  std::string path;
  struct stat stamp {};
  bool exists = false;
  std::shared_ptr<const IniDocument> doc;
};

std::atomic<int> g_indexed{0};

IniCache& Cache() {
  static IniCache* cache = new IniCache();  // never destroyed: used until exit
  return *cache;
}

bool SameStamp(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The indexed contents of path (empty for a missing file); null when the
// file cannot be read.
std::shared_ptr<const IniDocument> Load(const std::string& path) {
  IniCache& cache = Cache();
  std::lock_guard<std::mutex> hold(cache.lock);
  struct stat st;
  const bool exists = stat(path.c_str(), &st) == 0;
  if (cache.doc && cache.path == path && cache.exists == exists && (!exists || SameStamp(cache.stamp, st)))
    return cache.doc;
  auto doc = std::make_shared<IniDocument>();
  bool present = false;
  if (!LoadFile(path, doc->text, present)) return nullptr;
  Index(*doc);
  ++g_indexed;
  // Stamped with what was there before the read: a change while reading
  // makes the next lookup read again.
  cache.path = path;
  cache.stamp = st;
  cache.exists = exists && present;
  cache.doc = std::move(doc);
  return cache.doc;
}

// The trimmed value of key in section; false if the file, the section or the
// key is missing or unreadable.
bool ReadValue(const char* file, const char* section, const char* key, std::string& value) {
  if (!file || !section || !key) return false;
  const std::shared_ptr<const IniDocument> doc = Load(ResolvePath(file));
  if (!doc) return false;
  const IniKey* found = FindKey(*doc, FindSection(*doc, Trim(section)), Trim(key));
  if (!found) return false;
  value.assign(doc->text, found->valueBegin, found->valueEnd - found->valueBegin);
  return true;
}

std::string_view StripQuotes(std::string_view v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) return v.substr(1, v.size() - 2);
  return v;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Names and values that would not read back as written are refused.
bool CanStore(std::string_view section, std::string_view key, const char* value) {
  if (section.empty() || key.empty()) return false;
  if (HasLineBreak(section) || section.find(']') != std::string_view::npos) return false;
  if (HasLineBreak(key) || key.find('=') != std::string_view::npos) return false;
  if (key[0] == '[' || key[0] == ';' || key[0] == '#') return false;
  return !value || !HasLineBreak(value);
}

thread_local std::string t_lastError;

bool WriteFailed(std::string why) {
  t_lastError = std::move(why);
  return false;
}

// The new text with the key's line changed, added or removed; false when
// nothing changes.
bool Edit(const IniDocument& doc, std::string_view sectionName, std::string_view keyName, const char* value,
          std::string& out) {
  const IniText& text = doc.text;
  const IniSection* section = FindSection(doc, sectionName);
  const IniKey* found = FindKey(doc, section, keyName);

  // New lines follow the file's own line ends.
  const size_t firstLf = text.find('\n');
  const char* eol =
      (firstLf != std::string::npos && firstLf > 0 && text[firstLf - 1] == '\r') ? "\r\n" : "\n";

  if (found) {
    if (value) {
      out.append(text, 0, found->valueBegin).append(value).append(text, found->end, std::string::npos);
    } else {
      out.append(text, 0, found->begin).append(text, found->next, std::string::npos);
    }
  } else if (!value) {
    return false;  // nothing to remove
  } else if (section) {
    // After the section's last non-blank line, so that blank lines that set
    // the next section apart stay where they are.
    const size_t at = section->insertAt;
    out.append(text, 0, at);
    if (at == 0 || text[at - 1] != '\n') out.append(eol);
    out.append(keyName).append("=").append(value).append(eol);
    out.append(text, at, std::string::npos);
  } else {
    out.assign(text.data(), text.size());
    if (!out.empty() && out.back() != '\n') out.append(eol);
    out.append("[").append(sectionName).append("]").append(eol);
    out.append(keyName).append("=").append(value).append(eol);
  }
  return true;
}

bool WriteValue(const char* file, const char* section, const char* key, const char* value) {
  t_lastError.clear();
  if (!file || !section || !key) return WriteFailed("no file, section or key");
  const std::string_view sectionName = Trim(section);
  const std::string_view keyName = Trim(key);
  if (!CanStore(sectionName, keyName, value)) return WriteFailed("a name or value that cannot be stored");

  const std::string path = ResolvePath(file);
  if (path.empty()) return WriteFailed("no file name");
  if (IsReadOnlyFile(path)) return WriteFailed(std::string(file) + " is read-only");
  // Held across read, change and rename: another writer's change is read
  // before ours is made, never overwritten by it.
  std::string why;
  FileLock lock;
  if (!lock.Acquire(path, &why)) return WriteFailed(why);
  const std::shared_ptr<const IniDocument> doc = Load(path);
  if (!doc) return WriteFailed(std::string(file) + " cannot be read");
  std::string out;
  if (!Edit(*doc, sectionName, keyName, value, out)) return true;
  if (!ReplaceFile(path, out, &why)) return WriteFailed(why);
  return true;
}

// Inside a catch block: logs that reading or writing [section] key of file
// failed, with the exception's text (running out of memory for the file's
// text is what can happen). Once: the log may read settings itself. A
// failed write also keeps the text as the thread's last error.
void ReportFailure(bool writing, const char* file, const char* section, const char* key) noexcept {
  thread_local bool reporting = false;
  if (reporting) return;
  reporting = true;
  const char* why = "an unknown exception";
  try {
    throw;
  } catch (const std::exception& e) {
    why = e.what();
  } catch (...) {
  }
  const QIBO_String text =
      QIBO_String::Format("Settings file %s: %s [%s] %s failed (%s); %s", file ? file : "?",
                          writing ? "writing" : "reading", section ? section : "?", key ? key : "?", why,
                          writing ? "the file is left as it was" : "nothing was read");
  if (writing) {
    try {
      t_lastError = text.c_str();
    } catch (...) {
    }
  }
  qiBO_Error(text.c_str(), nullptr);
  reporting = false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

int32_t IniGetInt(const char* file, const char* section, const char* key, int32_t defaultValue) {
  try {
    std::string raw;
    if (!ReadValue(file, section, key, raw)) return defaultValue;
    const std::string_view value = StripQuotes(raw);
    if (value.empty()) return defaultValue;
    size_t i = 0;
    while (i < value.size() && IsBlank(value[i])) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
    uint32_t result = 0;  // unsigned, so that overflow wraps as it did on the original platform
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
      result = result * 10u + static_cast<uint32_t>(value[i] - '0');
    }
    if (negative) result = 0u - result;
    return static_cast<int32_t>(result);
  } catch (...) {
    ReportFailure(false, file, section, key);
    return defaultValue;
  }
}

QIBO_String IniGetString(const char* file, const char* section, const char* key, const char* defaultValue) {
  try {
    std::string raw;
    if (ReadValue(file, section, key, raw)) {
      const std::string value(StripQuotes(raw));
      return QIBO_String(value.c_str());
    }
  } catch (...) {
    ReportFailure(false, file, section, key);
  }
  QIBO_String result(defaultValue);
  char* text = result.Buffer();
  int length = result.Length();
  while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t')) text[--length] = '\0';
  return result;
}

bool IniGetStruct(const char* file, const char* section, const char* key, void* data, int size) {
  if (!data || size < 1) return false;
  try {
    std::string value;
    if (!ReadValue(file, section, key, value)) return false;
    const size_t count = static_cast<size_t>(size);
    if (value.size() != 2 * count + 2) return false;
    std::vector<unsigned char> bytes(count + 1);
    for (size_t i = 0; i <= count; ++i) {
      const int high = HexDigit(value[2 * i]);
      const int low = HexDigit(value[2 * i + 1]);
      if (high < 0 || low < 0) return false;
      bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    if ((sum & 0xFFu) != bytes[count]) return false;
    memcpy(data, bytes.data(), count);
    return true;
  } catch (...) {
    ReportFailure(false, file, section, key);
    return false;
  }
}

bool IniWriteString(const char* file, const char* section, const char* key, const char* value) {
  try {
    return WriteValue(file, section, key, value);
  } catch (...) {
    ReportFailure(true, file, section, key);
    return false;
  }
}

int IniFilesIndexed() { return g_indexed.load(); }

const char* IniLastError() { return t_lastError.c_str(); }
void IniClearLastError() { t_lastError.clear(); }

bool IniWriteStruct(const char* file, const char* section, const char* key, const void* data, int size) {
  if (!data || size < 1) return false;
  try {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string text;
    text.reserve(2 * static_cast<size_t>(size) + 2);
    unsigned sum = 0;
    for (int i = 0; i < size; ++i) {
      text += kHex[bytes[i] >> 4];
      text += kHex[bytes[i] & 0x0F];
      sum += bytes[i];
    }
    text += kHex[(sum >> 4) & 0x0F];
    text += kHex[sum & 0x0F];
    return WriteValue(file, section, key, text.c_str());
  } catch (...) {
    ReportFailure(true, file, section, key);
    return false;
  }
}

}  // namespace qibo
