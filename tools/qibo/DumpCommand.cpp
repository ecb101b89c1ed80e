// The dump verb of the qibo tool: prints a chunk stream as an indented tree.
//
//   qibo dump [--file-strings | --memory-strings] FILE
//
// Streams written to files store strings with a NUL, memory images (resources,
// network packets saved to disk) with a length in front. Without an option
// the stream's own evidence decides: the encoding under which more chunks
// and strings read soundly (the wrong one loses its way at the first object
// header and reads nothing inside it). Only when both read equally far does
// the count of problems decide, and the dump says it guessed.
//
// The walk trusts nothing in the file: every chunk is checked against its
// parent, every read against the chunk, and nesting is limited. Damage is
// printed where it is found and the walk goes on with the next sound chunk.

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/kernel/ClassApi.h"
#include "core/object/ByteIO.h"
#include "core/persist/QIBO_Stream.h"
#include "core/persist/SmartFile.h"
#include "core/scene/math/DTransform.h"
#include "tools/qibo/Commands.h"

namespace {

constexpr int kMaxDepth = 64;
constexpr uint32_t kMaxFileSize = 1u << 30;

enum class Strings { kFile, kMemory };

class ChunkDumper {
 public:
  ChunkDumper(const std::vector<uint8_t>& data, Strings strings, bool print)
      : m_data(data.data()), m_size(static_cast<uint32_t>(data.size())), m_strings(strings), m_print(print) {}

  // Walks the whole data; answers the number of problems found.
  int Run() {
    Walk(0, m_size, 0);
    return m_problems;
  }
  // Chunks and strings that read soundly in the last Run.
  int SoundReads() const { return m_sound; }

 private:
  uint32_t U32(uint32_t pos) const { return qibo::GetLE32(m_data + pos); }

  void Line(int depth, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    va_list args;
    va_start(args, format);
    VLine(depth, format, args);
    va_end(args);
  }

  void Problem(int depth, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    ++m_problems;
    va_list args;
    va_start(args, format);
    VLine(depth, format, args);
    va_end(args);
  }

  void VLine(int depth, const char* format, va_list args) {
    if (!m_print) return;
    printf("%*s", depth * 2, "");
    vprintf(format, args);
    putchar('\n');
  }

  // A string at pos inside [pos, end); false when it does not fit.
  bool ReadString(uint32_t& pos, uint32_t end, std::string& out) {
    const bool read = ReadStringAt(pos, end, out);
    if (read) ++m_sound;
    return read;
  }
  bool ReadStringAt(uint32_t& pos, uint32_t end, std::string& out) {
    out.clear();
    if (m_strings == Strings::kFile) {
      for (uint32_t p = pos; p < end; ++p) {
        if (m_data[p] == 0) {
          pos = p + 1;
          return true;
        }
        out += static_cast<char>(m_data[p]);
      }
      return false;
    }
    if (end - pos < 4) return false;
    const int32_t length = static_cast<int32_t>(U32(pos));
    if (length < 0) {  // reads as empty
      pos += 4;
      return true;
    }
    if (static_cast<uint32_t>(length) > end - pos - 4) return false;
    out.assign(reinterpret_cast<const char*>(m_data + pos + 4), static_cast<size_t>(length));
    pos += 4 + static_cast<uint32_t>(length);
    return true;
  }

  static std::string Printable(const std::string& text) { return qibo::tool::Printable(text.substr(0, 255)); }

  // The registry answers the ID in hex for a class it does not know.
  static std::string ClassName(uint32_t id) {
    const QIBO_String name = qiBO_GetClassName(id);
    return name == QIBO_String::Format("0x%08X", id) ? "unknown class" : name.c_str();
  }

  // The chunks in [pos, end), at depth.
  void Walk(uint32_t pos, uint32_t end, int depth) {
    while (pos < end) {
      if (end - pos < 8) {
        Problem(depth, "%u stray bytes at %u", end - pos, pos);
        return;
      }
      const uint32_t id = U32(pos);
      const int32_t length = static_cast<int32_t>(U32(pos + 4));
      const uint32_t start = pos + 8;
      if (length < 0) {
        Problem(depth, "0x%08X at %u: negative length %d; the rest of its parent is skipped", id, pos,
                length);
        return;
      }
      uint32_t chunkEnd = start + static_cast<uint32_t>(length);
      if (static_cast<uint32_t>(length) > end - start) {
        Problem(depth, "0x%08X at %u: length %d runs past its parent; cut to %u", id, pos, length,
                end - start);
        chunkEnd = end;
      } else {
        ++m_sound;
      }
      Chunk(id, pos, start, chunkEnd, depth);
      pos = chunkEnd;
    }
  }

  void Chunk(uint32_t id, uint32_t at, uint32_t start, uint32_t end, int depth) {
    const uint32_t length = end - start;
    if (depth >= kMaxDepth) {
      Problem(depth, "0x%08X at %u: nested too deeply; skipped", id, at);
      return;
    }
    switch (id) {
      case QIBO_Stream::kStreamChunk:
        Line(depth, "0x%08X \"qibo\" stream, %u bytes", id, length);
        Walk(start, end, depth + 1);
        return;
      case QIBO_Stream::kLevelChunk:
        if (length < 4) {
          Problem(depth, "0x%08X \"slod\" %u bytes: too short", id, length);
        } else {
          Line(depth, "0x%08X \"slod\" level of detail %u", id, U32(start));
        }
        return;
      case QIBO_Stream::kObjectChunk:
        ObjectChunk(start, end, depth);
        return;
      case QIBO_Stream::kObjectDataChunk:
        if (length < 4) {
          Problem(depth, "0x00000002 object data, %u bytes: too short", length);
          return;
        }
        Line(depth, "0x00000002 object data, %u bytes: %s (0x%08X)", length, ClassName(U32(start)).c_str(),
             U32(start));
        Walk(start + 4, end, depth + 1);
        return;
      case QIBO_Stream::kIncludeChunk: {
        std::string name;
        uint32_t pos = start;
        if (!ReadString(pos, end, name)) {
          Problem(depth, "0x0000FFFF include, %u bytes: the name does not fit", length);
        } else {
          Line(depth, "0x0000FFFF include \"%s\"", Printable(name).c_str());
        }
        return;
      }
      default:
        if (!SceneChunk(id, start, end, depth)) Line(depth, "0x%08X %u bytes", id, length);
        return;
    }
  }

  float F32(uint32_t pos) const { return qibo::GetLEFloat(m_data + pos); }

  // The chunks of named objects and scene entities, shown readably; false
  // for any other chunk, or one too short for its record.
  bool SceneChunk(uint32_t id, uint32_t start, uint32_t end, int depth) {
    const uint32_t length = end - start;
    switch (id) {
      case 0x3F060351: {  // CTNamed: name, registered flag
        std::string name;
        uint32_t pos = start;
        if (!ReadString(pos, end, name)) return false;
        Line(depth, "0x%08X name \"%s\"", id, Printable(name).c_str());
        return true;
      }
      case 0x5AB8F580:  // CTEntity: parent, controller, flags
        if (length < 12) return false;
        Line(depth, "0x%08X parent #%d, controller #%d, flags 0x%08X", id, static_cast<int32_t>(U32(start)),
             static_cast<int32_t>(U32(start + 4)), U32(start + 8));
        return true;
      case 0x5AB8F582:  // CTEntity: collision volume, bounding volume
        if (length < 8) return false;
        Line(depth, "0x%08X collision volume #%d, bounding volume #%d", id, static_cast<int32_t>(U32(start)),
             static_cast<int32_t>(U32(start + 4)));
        return true;
      case 0x5AB8F581:
        return TransformChunk(id, start, end, depth);
      case 0xE4DFE9D4:  // CTDrawable: render shape, material
        if (length < 8) return false;
        Line(depth, "0x%08X render shape #%d, material #%d", id, static_cast<int32_t>(U32(start)),
             static_cast<int32_t>(U32(start + 4)));
        return true;
      default:
        return MotionChunk(id, start, end, depth);
    }
  }

  // The chunks of controllers and tracks; false for any other chunk, or one
  // too short for its record.
  bool MotionChunk(uint32_t id, uint32_t start, uint32_t end, int depth) {
    const uint32_t length = end - start;
    switch (id) {
      case 0x50A81E1A:  // CTController: enabled
        if (length < 4) return false;
        Line(depth, "0x%08X controller %s", id, U32(start) ? "enabled" : "disabled");
        return true;
      case 0xE176BF29:  // CTEntityController: entity, collision action
        if (length < 8) return false;
        Line(depth, "0x%08X entity #%d, collision action %d", id, static_cast<int32_t>(U32(start)),
             static_cast<int32_t>(U32(start + 4)));
        return true;
      case 0x3A7D18AC:  // CTKeyFrameController: local time, position track, rotation track
        if (length < 12) return false;
        Line(depth, "0x%08X local time %d ms, position track #%d, rotation track #%d", id,
             static_cast<int32_t>(U32(start)), static_cast<int32_t>(U32(start + 4)),
             static_cast<int32_t>(U32(start + 8)));
        return true;
      case 0x98053770:  // CTTrack: out-of-range rules
        if (length < 8) return false;
        Line(depth, "0x%08X out of range: before %s, after %s", id, RangeRule(U32(start)),
             RangeRule(U32(start + 4)));
        return true;
      case 0x3D06A35B:  // CTFloatTrack
        return KeyChunk(id, start, end, depth, "float", 1);
      case 0xFA35A28E:  // CTVectorTrack
        return KeyChunk(id, start, end, depth, "vector", 3);
      case 0x7ECBB980:  // CTQuatTrack
        return KeyChunk(id, start, end, depth, "quaternion", 4);
      default:
        return false;
    }
  }

  static const char* RangeRule(uint32_t rule) {
    switch (rule) {
      case 1:
      case 2:
      case 5:
        return "repeat";
      case 3:
        return "back and forth";
      default:
        return "hold";
    }
  }

  // A typed track's keys: int count, then count records of an int time and
  // `floats` floats, one line each.
  bool KeyChunk(uint32_t id, uint32_t start, uint32_t end, int depth, const char* type, uint32_t floats) {
    if (end - start < 4) return false;
    const int32_t count = static_cast<int32_t>(U32(start));
    const uint32_t recordBytes = 4 + 4 * floats;
    const uint32_t fit = (end - start - 4) / recordBytes;
    Line(depth, "0x%08X %s track, %d key%s", id, type, count, count == 1 ? "" : "s");
    if (count < 0 || static_cast<uint32_t>(count) != fit || (end - start - 4) % recordBytes != 0) {
      Problem(depth + 1, "%d keys named, %u bytes of records hold %u", count, end - start - 4, fit);
    }
    const uint32_t shown = count < 0 ? 0 : std::min(static_cast<uint32_t>(count), fit);
    for (uint32_t k = 0; k < shown; ++k) {
      const uint32_t pos = start + 4 + k * recordBytes;
      std::string text = "(";
      for (uint32_t f = 0; f < floats; ++f) {
        char value[32];
        snprintf(value, sizeof(value), f ? ", %g" : "%g", F32(pos + 4 + 4 * f));
        text += value;
      }
      Line(depth + 1, "key %d ms %s)", static_cast<int32_t>(U32(pos)), text.c_str());
    }
    return true;
  }

  // An angle in degrees, rounded to 0.1 and never printed as -0.0.
  static double Degrees(double radians) {
    const double d = std::round(radians * 57.29577951308232 * 10.0) / 10.0;
    return d == 0.0 ? 0.0 : d;
  }

  // CTEntity's local transform: presence and lock bits, then the parts.
  bool TransformChunk(uint32_t id, uint32_t start, uint32_t end, int depth) {
    if (end - start < 4) return false;
    const uint32_t t = U32(start);
    uint32_t pos = start + 4;
    std::string text;
    char part[160];
    if ((t & 0x11) == 0x11) {
      if (end - pos < 12) return false;
      snprintf(part, sizeof(part), " position (%g, %g, %g)", F32(pos), F32(pos + 4), F32(pos + 8));
      text += part;
      pos += 12;
    }
    if ((t & 0x22) == 0x22) {
      if (end - pos < 16) return false;
      const Quaternion q(F32(pos), F32(pos + 4), F32(pos + 8), F32(pos + 12));
      DTransform rotation;
      rotation.SetQuat(q);
      snprintf(part, sizeof(part), " rotation (%g, %g, %g, %g) az %.1f el %.1f tw %.1f deg", q.x, q.y, q.z,
               q.w, Degrees(rotation.GetAz()), Degrees(rotation.GetEl()), Degrees(rotation.GetTw()));
      text += part;
      pos += 16;
    }
    if ((t & 0x44) == 0x44) {
      if (end - pos < 36) return false;
      text += " deformed";
    }
    if (t & 0x700) {
      snprintf(part, sizeof(part), " locks 0x%03X", t & 0x700);
      text += part;
    }
    Line(depth, "0x%08X transform%s", id, text.empty() ? " identity" : text.c_str());
    return true;
  }

  // Object chunk: stream ID, class ID, then the network marker and the
  // library (file and memory images), then the object's chunks.
  void ObjectChunk(uint32_t start, uint32_t end, int depth) {
    const uint32_t length = end - start;
    uint32_t pos = start;
    std::string library;
    if (end - pos < 12) {
      Problem(depth, "0x00000001 object, %u bytes: the header does not fit", length);
      return;
    }
    const int32_t streamId = static_cast<int32_t>(U32(pos));
    const uint32_t classId = U32(pos + 4);
    const int32_t marker = static_cast<int32_t>(U32(pos + 8));
    pos += 12;
    if (!ReadString(pos, end, library)) {
      Problem(depth, "0x00000001 object #%d %s (0x%08X), %u bytes: the library name does not fit", streamId,
              ClassName(classId).c_str(), classId, length);
      return;
    }
    Line(depth, "0x00000001 object #%d, %u bytes: %s (0x%08X)%s, library \"%s\"", streamId, length,
         ClassName(classId).c_str(), classId,
         marker == 0    ? ""
         : marker == -1 ? ", shared"
                        : ", bad network marker",
         Printable(library).c_str());
    Walk(pos, end, depth + 1);
  }

  const uint8_t* m_data;
  uint32_t m_size;
  Strings m_strings;
  bool m_print;
  int m_problems = 0;
  int m_sound = 0;
};

// The encoding the data shows; guessed is set when it shows none and the
// count of problems decided.
Strings ChooseStrings(const std::vector<uint8_t>& data, bool& guessed) {
  ChunkDumper file(data, Strings::kFile, false), memory(data, Strings::kMemory, false);
  const int fileProblems = file.Run(), memoryProblems = memory.Run();
  guessed = false;
  if (file.SoundReads() != memory.SoundReads())
    return memory.SoundReads() > file.SoundReads() ? Strings::kMemory : Strings::kFile;
  if (fileProblems == memoryProblems) return Strings::kFile;  // both read alike
  guessed = true;
  return memoryProblems < fileProblems ? Strings::kMemory : Strings::kFile;
}

}  // namespace

namespace qibo::tool {

int Dump(int argc, char** argv) {
  const char* name = nullptr;
  int forced = -1;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--file-strings") == 0) {
      forced = static_cast<int>(Strings::kFile);
    } else if (strcmp(argv[i], "--memory-strings") == 0) {
      forced = static_cast<int>(Strings::kMemory);
    } else if (!name && argv[i][0] != '-') {
      name = argv[i];
    } else {
      return 2;  // the tool prints the usage
    }
  }
  if (!name) return 2;  // the tool prints the usage

  SmartFile file;
  if (!file.Open(name, false)) {
    fprintf(stderr, "qibo: cannot open %s\n", name);
    return 1;
  }
  if (file.FileSize() > kMaxFileSize) {
    fprintf(stderr, "qibo: %s is too large to dump (%u bytes)\n", name, file.FileSize());
    return 1;
  }
  std::vector<uint8_t> data(file.FileSize());
  if (file.Read(data.data(), 1, data.size()) != data.size()) {
    fprintf(stderr, "qibo: cannot read %s\n", name);
    return 1;
  }
  file.Close();

  bool guessed = false;
  const Strings strings = forced >= 0 ? static_cast<Strings>(forced) : ChooseStrings(data, guessed);
  printf("%s: %zu bytes, strings %s%s\n", name, data.size(),
         strings == Strings::kFile ? "NUL-terminated (file)" : "length-prefixed (memory)",
         guessed ? ", a guess (--file-strings or --memory-strings decide)" : "");
  if (data.size() >= 4 && qibo::GetLE32(data.data()) != QIBO_Stream::kStreamChunk) {
    printf("not a \"qibo\" stream; read as one chunk\n");
  }
  const int problems = ChunkDumper(data, strings, true).Run();
  if (problems > 0) printf("%d problem%s found\n", problems, problems == 1 ? "" : "s");
  return problems > 0 ? 1 : 0;
}

}  // namespace qibo::tool
