// Fuzzes the INI settings store: any file must read without a fault, and a
// write must change nothing but the written key's line (or add its line or
// section), leaving every other byte of the user's file as it was.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/object/QIBO_String.h"
#include "core/persist/IniFile.h"

namespace {

constexpr const char* kSections[] = {"a", "Fuzz", "s"};
constexpr const char* kKeys[] = {"k", "Key", "x"};
constexpr int kNames = 3;
constexpr const char* kValue = "fuzz value 7";
constexpr unsigned char kBlob[4] = {0x00, 0x7F, 0x80, 0xFF};

std::string g_dir;
std::string g_file;

void Cleanup() {
  unlink(g_file.c_str());
  rmdir(g_dir.c_str());
}

bool Setup() {
  if (!g_dir.empty()) return true;
  // Memory-backed if we can: every write syncs the file before renaming it.
  char shm[] = "/dev/shm/qibo-fuzz-ini-XXXXXX";
  char tmp[] = "/tmp/qibo-fuzz-ini-XXXXXX";
  const char* name = mkdtemp(shm);
  if (!name) name = mkdtemp(tmp);
  if (!name) return false;
  g_dir = name;
  g_file = g_dir + "/qibo.ini";
  atexit(Cleanup);
  return true;
}

void Check(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "fuzz_ini: %s\n", what);
  abort();
}

bool WriteAll(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return (fclose(f) == 0) && ok;
}

std::string ReadAll(const std::string& path) {
  std::string text;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) text.append(buffer, n);
  fclose(f);
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Whether the line of text around pos is a "key =" line for key, with pos
// after its "=": the only place a write may change existing bytes.
bool IsValueOfKey(const std::string& text, size_t pos, const char* key) {
  const size_t lineStart = text.rfind('\n', pos == 0 ? 0 : pos - 1);
  size_t i = (lineStart == std::string::npos || pos == 0) ? 0 : lineStart + 1;
  if (i == 0 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  while (i < pos && IsBlank(text[i])) ++i;
  for (const char* k = key; *k; ++k, ++i) {
    if (i >= pos || qibo::ToLowerAscii(text[i]) != qibo::ToLowerAscii(*k)) return false;
  }
  while (i < pos && IsBlank(text[i])) ++i;
  return i < pos && text[i] == '=';
}

// The original and the written file may differ in one place only: whole
// lines inserted (a new key line, or a line end and a new section at the
// end), or the value part of one key line replaced.
void CheckOnlyTheKeyChanged(const std::string& before, const std::string& after, const char* key) {
  size_t prefix = 0;
  const size_t shorter = before.size() < after.size() ? before.size() : after.size();
  while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < shorter - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string_view removed(before.data() + prefix, before.size() - prefix - suffix);
  const std::string_view added(after.data() + prefix, after.size() - prefix - suffix);
  if (removed.empty() && added.empty()) return;  // the value was already there
  if (removed.empty() && added.find('\n') != std::string_view::npos) {
    size_t lineEnds = 0;
    for (char c : added) lineEnds += c == '\n';
    Check(lineEnds >= 1 && lineEnds <= 3, "the write inserted something other than a key or a section");
    return;
  }
  Check(removed.find('\n') == std::string_view::npos && added.find('\n') == std::string_view::npos,
        "the write changed more than one line");
  Check(IsValueOfKey(before, prefix, key), "the write changed a line that is not the written key's value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!Setup()) return 0;
  const std::string original(reinterpret_cast<const char*>(data), size);
  if (!WriteAll(g_file, original)) return 0;
  const char* file = g_file.c_str();

  QIBO_String before[kNames][kNames];
  int32_t beforeInt[kNames][kNames];
  for (int s = 0; s < kNames; ++s) {
    for (int k = 0; k < kNames; ++k) {
      before[s][k] = qibo::IniGetString(file, kSections[s], kKeys[k], "$$DUMMY");
      beforeInt[s][k] = qibo::IniGetInt(file, kSections[s], kKeys[k], static_cast<int32_t>(0xCDCDCDCDu));
      unsigned char blob[4] = {1, 2, 3, 4};
      if (!qibo::IniGetStruct(file, kSections[s], kKeys[k], blob, sizeof(blob))) {
        Check(blob[0] == 1 && blob[1] == 2 && blob[2] == 3 && blob[3] == 4,
              "a failed struct read changed the data");
      }
    }
  }

  // Which key to write, and how, comes from the input's first byte.
  const unsigned pick = size > 0 ? data[0] : 0;
  const int ws = static_cast<int>(pick % kNames);
  const int wk = static_cast<int>((pick / kNames) % kNames);
  const bool asStruct = (pick / (kNames * kNames)) % 2 != 0;
  const auto write = [&] {
    return asStruct ? qibo::IniWriteStruct(file, kSections[ws], kKeys[wk], kBlob, sizeof(kBlob))
                    : qibo::IniWriteString(file, kSections[ws], kKeys[wk], kValue);
  };
  Check(write(), "the write failed");
  const std::string written = ReadAll(g_file);
  CheckOnlyTheKeyChanged(original, written, kKeys[wk]);

  if (asStruct) {
    unsigned char blob[4] = {};
    Check(qibo::IniGetStruct(file, kSections[ws], kKeys[wk], blob, sizeof(blob)) &&
              memcmp(blob, kBlob, sizeof(blob)) == 0,
          "the written struct does not read back");
  } else {
    Check(qibo::IniGetString(file, kSections[ws], kKeys[wk], "$$DUMMY") == kValue,
          "the written string does not read back");
  }
  for (int s = 0; s < kNames; ++s) {
    for (int k = 0; k < kNames; ++k) {
      if (s == ws && k == wk) continue;
      Check(qibo::IniGetString(file, kSections[s], kKeys[k], "$$DUMMY") == before[s][k] &&
                qibo::IniGetInt(file, kSections[s], kKeys[k], static_cast<int32_t>(0xCDCDCDCDu)) ==
                    beforeInt[s][k],
            "the write changed another key");
    }
  }

  // Writing the same value again changes nothing.
  Check(write(), "the second write failed");
  Check(ReadAll(g_file) == written, "writing the same value again changed the file");
  return 0;
}
