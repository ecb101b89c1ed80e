#include "plugins/d3d/DGlProgram.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "core/kernel/Logging.h"

namespace {

const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aColor;
layout(location = 3) in vec2 aUV;
// Drawn many at once: each copy's world matrix, its three axis rows and its
// position (see DGlInstance).
layout(location = 4) in vec3 aWorldX;
layout(location = 5) in vec3 aWorldY;
layout(location = 6) in vec3 aWorldZ;
layout(location = 7) in vec3 aWorldPos;
uniform mat4 uWorld, uView, uProj;
uniform vec3 uLightDir, uLightColor, uAmbientLight, uHalf;
uniform vec4 uMatDiffuse;
uniform vec3 uMatAmbient, uMatEmissive, uMatSpecular;
uniform float uPower;
uniform int uLighting, uSpecularOn, uVertexDiffuse, uAutoUV, uInstanced;
out vec4 vColor;
out vec2 vUV;
out float vEyeZ;
void main() {
  mat4 world = uWorld;
  if (uInstanced != 0)
    world = mat4(vec4(aWorldX, 0.0), vec4(aWorldY, 0.0), vec4(aWorldZ, 0.0), vec4(aWorldPos, 1.0));
  vec4 eye = uView * (world * vec4(aPos, 1.0));
  vec4 clip = uProj * eye;
  clip.z = 2.0 * clip.z - clip.w;  // depth 0..w as the device has it, to -w..w
  gl_Position = clip;
  vEyeZ = eye.z;
  vec4 color = aColor;
  if (uLighting != 0) {
    vec3 n = normalize(mat3(world) * aNormal);
    vec4 diffuse = uVertexDiffuse != 0 ? aColor : uMatDiffuse;
    vec3 c = uMatEmissive + uAmbientLight * uMatAmbient;
    float d = dot(n, -uLightDir);
    if (d > 0.0) {
      c += uLightColor * diffuse.rgb * d;
      float s = dot(n, uHalf);
      if (uSpecularOn != 0 && s > 0.0) c += uLightColor * uMatSpecular * pow(s, uPower);
    }
    color = vec4(min(c, vec3(1.0)), diffuse.a);
  }
  vColor = color;
  vUV = aUV;
  if (uAutoUV != 0) {
    vec3 n = normalize(mat3(uView) * (mat3(world) * aNormal));
    vec3 r = reflect(normalize(eye.xyz), n);
    vUV = r.xy * 0.5 + 0.5;
  }
}
)";

// The fragment shader after its first lines, which define QIBO_ALPHA_TEST,
// QIBO_FOG and QIBO_TEXTURE: a part defined 0 is left out (see
// DGlProgram::Create).
const char* const kFragmentBody = R"(
in vec4 vColor;
in vec2 vUV;
in float vEyeZ;
uniform sampler2D uTexture;
uniform vec3 uFogColor;
uniform vec2 uFogRange;
uniform int uFogOn, uTextureOn, uModulate, uAlphaTest;
out vec4 fragColor;
void main() {
  vec4 c = vColor;
#if QIBO_TEXTURE
  if (uTextureOn != 0) {
    vec4 t = texture(uTexture, vUV);
    c = uModulate != 0 ? t * c : t;
  }
#endif
#if QIBO_ALPHA_TEST
  if (uAlphaTest != 0 && c.a * 255.0 <= 10.0) discard;
#endif
#if QIBO_FOG
  if (uFogOn != 0) {
    float f = clamp((uFogRange.y - vEyeZ) / max(uFogRange.y - uFogRange.x, 1e-6), 0.0, 1.0);
    c.rgb = mix(uFogColor, c.rgb, f);
  }
#endif
  fragColor = c;
}
)";

enum class Kind { kMat4, kVec4, kVec3, kVec2, kFloat, kInt };

struct Entry {
  const char* name;
  size_t offset;
  Kind kind;
};

#define QIBO_UNIFORM(name, field, kind) \
  { name, offsetof(DGlUniforms, field), kind }
const Entry kEntries[] = {
    QIBO_UNIFORM("uWorld", world, Kind::kMat4),
    QIBO_UNIFORM("uView", view, Kind::kMat4),
    QIBO_UNIFORM("uProj", proj, Kind::kMat4),
    QIBO_UNIFORM("uLightDir", lightDir, Kind::kVec3),
    QIBO_UNIFORM("uLightColor", lightColor, Kind::kVec3),
    QIBO_UNIFORM("uAmbientLight", ambientLight, Kind::kVec3),
    QIBO_UNIFORM("uHalf", half, Kind::kVec3),
    QIBO_UNIFORM("uMatDiffuse", matDiffuse, Kind::kVec4),
    QIBO_UNIFORM("uMatAmbient", matAmbient, Kind::kVec3),
    QIBO_UNIFORM("uMatEmissive", matEmissive, Kind::kVec3),
    QIBO_UNIFORM("uMatSpecular", matSpecular, Kind::kVec3),
    QIBO_UNIFORM("uPower", power, Kind::kFloat),
    QIBO_UNIFORM("uFogColor", fogColor, Kind::kVec3),
    QIBO_UNIFORM("uFogRange", fogRange, Kind::kVec2),
    QIBO_UNIFORM("uLighting", lighting, Kind::kInt),
    QIBO_UNIFORM("uSpecularOn", specularOn, Kind::kInt),
    QIBO_UNIFORM("uVertexDiffuse", vertexDiffuse, Kind::kInt),
    QIBO_UNIFORM("uAutoUV", autoUV, Kind::kInt),
    QIBO_UNIFORM("uInstanced", instanced, Kind::kInt),
    QIBO_UNIFORM("uFogOn", fogOn, Kind::kInt),
    QIBO_UNIFORM("uTextureOn", textureOn, Kind::kInt),
    QIBO_UNIFORM("uModulate", modulate, Kind::kInt),
    QIBO_UNIFORM("uAlphaTest", alphaTest, Kind::kInt),
};
#undef QIBO_UNIFORM
constexpr int kEntryCount = static_cast<int>(sizeof(kEntries) / sizeof(kEntries[0]));
static_assert(kEntryCount <= 32);

size_t SizeOf(Kind kind) {
  switch (kind) {
    case Kind::kMat4:
      return 64;
    case Kind::kVec4:
      return 16;
    case Kind::kVec3:
      return 12;
    case Kind::kVec2:
      return 8;
    default:
      return 4;
  }
}

void Upload(GLint location, Kind kind, const void* data) {
  const auto* f = static_cast<const float*>(data);
  switch (kind) {
    case Kind::kMat4:
      glUniformMatrix4fv(location, 1, GL_FALSE, f);
      break;
    case Kind::kVec4:
      glUniform4fv(location, 1, f);
      break;
    case Kind::kVec3:
      glUniform3fv(location, 1, f);
      break;
    case Kind::kVec2:
      glUniform2fv(location, 1, f);
      break;
    case Kind::kFloat:
      glUniform1f(location, *f);
      break;
    case Kind::kInt:
      glUniform1i(location, *static_cast<const int*>(data));
      break;
  }
}

// Logs each line of a driver's log as its own error, so that none is cut
// by the log's record size; a flood of lines is cut short.
void LogDriverMessage(const std::string& what, const std::string& log) {
  constexpr int kMaxLines = 16;
  int lines = 0;
  size_t start = 0;
  while (start < log.size() && lines < kMaxLines) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    if (line.find_first_not_of(" \t\r") != std::string::npos) {
      qiBO_Error((what + ": " + line).c_str(), nullptr);
      ++lines;
    }
    start = end + 1;
  }
  if (lines == 0) qiBO_Error((what + " failed without a message from the driver").c_str(), nullptr);
}

std::string ShaderLog(GLuint shader) {
  GLint length = 0;
  glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
  std::vector<char> log(static_cast<size_t>(length > 1 ? length : 1), '\0');
  glGetShaderInfoLog(shader, static_cast<GLsizei>(log.size()), nullptr, log.data());
  return log.data();
}

std::string ProgramLog(GLuint program) {
  GLint length = 0;
  glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
  std::vector<char> log(static_cast<size_t>(length > 1 ? length : 1), '\0');
  glGetProgramInfoLog(program, static_cast<GLsizei>(log.size()), nullptr, log.data());
  return log.data();
}

// The shader, or 0 with the driver's log in error (and logged).
GLuint Compile(GLenum type, const char* source, std::string& error) {
  const std::string what = type == GL_VERTEX_SHADER ? "Vertex shader" : "Fragment shader";
  if (!source) {
    error = what + ": no source";
    qiBO_Error(error.c_str(), nullptr);
    return 0;
  }
  GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok == GL_TRUE) return shader;
  const std::string log = ShaderLog(shader);
  error = what + ": " + log;
  LogDriverMessage(what, log);
  glDeleteShader(shader);
  return 0;
}

}  // namespace

bool DGlProgram::Create(std::string& error, uint32_t parts) {
  using namespace qibo::gl;
  const std::string fragment = std::string("#version 330 core\n") + "#define QIBO_ALPHA_TEST " +
                               ((parts & kShaderAlphaTest) ? "1" : "0") + "\n#define QIBO_FOG " +
                               ((parts & kShaderFog) ? "1" : "0") + "\n#define QIBO_TEXTURE " +
                               ((parts & kShaderTexture) ? "1" : "0") + kFragmentBody;
  return Create(kVertexShader, fragment.c_str(), error);
}

bool DGlProgram::Create(const char* vertexSource, const char* fragmentSource, std::string& error) {
  Destroy();
  GLuint vs = Compile(GL_VERTEX_SHADER, vertexSource, error);
  GLuint fs = vs ? Compile(GL_FRAGMENT_SHADER, fragmentSource, error) : 0;
  if (!vs || !fs) {
    if (vs) glDeleteShader(vs);
    return false;
  }
  GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    const std::string log = ProgramLog(program);
    error = "Shader link: " + log;
    LogDriverMessage("Shader link", log);
    glDeleteProgram(program);
    return false;
  }
  m_program = program;
  for (int i = 0; i < kEntryCount; ++i) m_locations[i] = glGetUniformLocation(m_program, kEntries[i].name);
  glUseProgram(m_program);
  const GLint sampler = glGetUniformLocation(m_program, "uTexture");
  if (sampler >= 0) glUniform1i(sampler, 0);
  m_sentValid = false;
  return true;
}

void DGlProgram::Destroy() {
  if (m_program) glDeleteProgram(m_program);
  m_program = 0;
  for (GLint& location : m_locations) location = -1;
  m_sentValid = false;
}

void DGlProgram::Flush(const DGlUniforms& wanted) {
  if (!m_program) return;
  const auto* want = reinterpret_cast<const unsigned char*>(&wanted);
  auto* sent = reinterpret_cast<unsigned char*>(&m_sent);
  for (int i = 0; i < kEntryCount; ++i) {
    const Entry& e = kEntries[i];
    const size_t size = SizeOf(e.kind);
    if (m_sentValid && std::memcmp(want + e.offset, sent + e.offset, size) == 0) continue;
    if (m_locations[i] >= 0) {
      Upload(m_locations[i], e.kind, want + e.offset);
      ++m_uploads;
    }
    std::memcpy(sent + e.offset, want + e.offset, size);
  }
  m_sentValid = true;
}
