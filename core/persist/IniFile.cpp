#include "core/persist/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/persist/OsPath.h"

namespace qibo {

namespace {

constexpr mode_t kNewFileMode = 0644;

enum class LineKind { kOther, kBlank, kComment, kSection, kKey };

// One line of the file as byte offsets into its text. Nothing is copied, so
// a write can splice the original bytes back unchanged.
struct IniLine {
  size_t begin = 0;  // first byte
  size_t end = 0;    // end of the content, before LF or CR LF
  size_t next = 0;   // first byte of the next line
  LineKind kind = LineKind::kOther;
  bool readable = false;  // kSection: the header has a name we can match
  std::string_view name;  // kSection, kKey: trimmed name
  size_t valueBegin = 0;  // kKey: trimmed value [valueBegin, valueEnd); a new
  size_t valueEnd = 0;    //       value replaces [valueBegin, end)
};

struct IniLookup {
  int section = -1;     // index of the first matching header, or -1
  int sectionEnd = -1;  // index of the line after its last line
  int key = -1;         // index of the first matching key line in it, or -1
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

void Classify(const std::string& text, IniLine& line) {
  // Editors on the original platform liked to start the file with a UTF-8
  // byte-order mark; it is not part of the first line.
  static constexpr std::string_view kBom = "\xEF\xBB\xBF";
  size_t begin = line.begin;
  if (begin == 0 && std::string_view(text).substr(0, line.end).starts_with(kBom)) begin = kBom.size();
  const std::string_view content(text.data() + begin, line.end - begin);
  const std::string_view trimmed = Trim(content);
  if (trimmed.empty()) {
    line.kind = LineKind::kBlank;
    return;
  }
  const size_t first = static_cast<size_t>(trimmed.data() - content.data());
  const bool hasNul = content.find('\0') != std::string_view::npos;
  switch (trimmed[0]) {
    case ';':
    case '#':
      line.kind = LineKind::kComment;
      return;
    case '[': {
      // Even a broken header ends the section above it, so that its keys
      // are never taken for keys of that section.
      line.kind = LineKind::kSection;
      const size_t close = trimmed.find(']');
      if (close != std::string_view::npos && !hasNul) {
        line.name = Trim(trimmed.substr(1, close - 1));
        line.readable = true;
      }
      return;
    }
    default:
      break;
  }
  if (hasNul) return;
  const size_t eq = content.find('=', first);
  if (eq == std::string_view::npos) return;
  const std::string_view name = Trim(content.substr(first, eq - first));
  if (name.empty()) return;
  const std::string_view value = Trim(content.substr(eq + 1));
  line.kind = LineKind::kKey;
  line.name = name;
  line.valueBegin = value.empty() ? line.end : begin + (value.data() - content.data());
  line.valueEnd = line.valueBegin + value.size();
}

std::vector<IniLine> Parse(const std::string& text) {
  std::vector<IniLine> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t lf = text.find('\n', pos);
    IniLine line;
    line.begin = pos;
    line.end = lf == std::string::npos ? text.size() : lf;
    line.next = lf == std::string::npos ? text.size() : lf + 1;
    if (line.end > pos && text[line.end - 1] == '\r') --line.end;
    Classify(text, line);
    lines.push_back(line);
    pos = line.next;
  }
  return lines;
}

IniLookup Find(const std::vector<IniLine>& lines, std::string_view section, std::string_view key) {
  IniLookup found;
  const int count = static_cast<int>(lines.size());
  for (int i = 0; i < count; ++i) {
    if (lines[i].kind == LineKind::kSection && lines[i].readable && SameName(lines[i].name, section)) {
      found.section = i;
      break;
    }
  }
  if (found.section < 0) return found;
  int end = found.section + 1;
  while (end < count && lines[end].kind != LineKind::kSection) ++end;
  found.sectionEnd = end;
  for (int i = found.section + 1; i < end; ++i) {
    if (lines[i].kind == LineKind::kKey && SameName(lines[i].name, key)) {
      found.key = i;
      break;
    }
  }
  return found;
}

// Reads the whole file. A missing file is an empty one (exists false); any
// other failure, a file that is not a regular file, or one over the size
// limit gives false.
bool LoadFile(const std::string& path, std::string& text, bool& exists, mode_t& mode) {
  text.clear();
  exists = false;
  mode = kNewFileMode;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kIniMaxFileSize;
  if (ok) {
    exists = true;
    mode = st.st_mode & 07777;
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

// Writes text to a temporary file beside path and renames it over path, so
// that path holds either the old or the new text, never a part of either.
bool SaveFile(const std::string& path, const std::string& text, mode_t mode) {
  std::vector<char> temp(path.begin(), path.end());
  static constexpr char kSuffix[] = ".XXXXXX";
  temp.insert(temp.end(), kSuffix, kSuffix + sizeof(kSuffix));  // with the NUL
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0;
  size_t done = 0;
  while (ok && done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(temp.data(), path.c_str()) == 0;
  if (!ok) unlink(temp.data());
  return ok;
}

// The trimmed value of key in section; false if the file, the section or the
// key is missing or unreadable.
bool ReadValue(const char* file, const char* section, const char* key, std::string& value) {
  if (!file || !section || !key) return false;
  std::string text;
  bool exists = false;
  mode_t mode = 0;
  if (!LoadFile(ResolvePath(file), text, exists, mode) || !exists) return false;
  const std::vector<IniLine> lines = Parse(text);
  const IniLookup found = Find(lines, Trim(section), Trim(key));
  if (found.key < 0) return false;
  const IniLine& line = lines[found.key];
  value.assign(text, line.valueBegin, line.valueEnd - line.valueBegin);
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

bool WriteValue(const char* file, const char* section, const char* key, const char* value) {
  if (!file || !section || !key) return false;
  const std::string_view sectionName = Trim(section);
  const std::string_view keyName = Trim(key);
  if (!CanStore(sectionName, keyName, value)) return false;

  std::string path = ResolvePath(file);
  if (path.empty()) return false;
  // A settings file that is a link stays one: the new file replaces the
  // link's target, not the link.
  if (char* target = realpath(path.c_str(), nullptr)) {
    path = target;
    free(target);
  }
  std::string text;
  bool exists = false;
  mode_t mode = kNewFileMode;
  if (!LoadFile(path, text, exists, mode)) return false;
  const std::vector<IniLine> lines = Parse(text);
  const IniLookup found = Find(lines, sectionName, keyName);

  // New lines follow the file's own line ends.
  const size_t firstLf = text.find('\n');
  const char* eol =
      (firstLf != std::string::npos && firstLf > 0 && text[firstLf - 1] == '\r') ? "\r\n" : "\n";

  std::string out;
  if (found.key >= 0) {
    const IniLine& line = lines[found.key];
    if (value) {
      out.append(text, 0, line.valueBegin).append(value).append(text, line.end, std::string::npos);
    } else {
      out.append(text, 0, line.begin).append(text, line.next, std::string::npos);
    }
  } else if (!value) {
    return true;  // nothing to remove
  } else if (found.section >= 0) {
    // After the section's last non-blank line, so that blank lines that set
    // the next section apart stay where they are.
    int last = found.section;
    for (int i = found.section + 1; i < found.sectionEnd; ++i) {
      if (lines[i].kind != LineKind::kBlank) last = i;
    }
    const size_t at = lines[last].next;
    out.append(text, 0, at);
    if (at == 0 || text[at - 1] != '\n') out.append(eol);
    out.append(keyName).append("=").append(value).append(eol);
    out.append(text, at, std::string::npos);
  } else {
    out = text;
    if (!out.empty() && out.back() != '\n') out.append(eol);
    out.append("[").append(sectionName).append("]").append(eol);
    out.append(keyName).append("=").append(value).append(eol);
  }
  return SaveFile(path, out, mode);
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
    return false;
  }
}

bool IniWriteString(const char* file, const char* section, const char* key, const char* value) {
  try {
    return WriteValue(file, section, key, value);
  } catch (...) {
    return false;
  }
}

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
    return false;
  }
}

}  // namespace qibo
