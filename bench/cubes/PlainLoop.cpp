#include "bench/cubes/PlainLoop.h"

#include <SDL.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace qibo::cubes {

namespace {

const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aUV;
uniform mat4 uModel, uViewProj;
uniform vec3 uLightDir;
uniform float uAmbient;
out vec3 vColor;
out vec2 vUV;
void main() {
  gl_Position = uViewProj * (uModel * vec4(aPos, 1.0));
  vec3 n = normalize(mat3(uModel) * aNormal);
  vColor = min(vec3(uAmbient + max(dot(n, -uLightDir), 0.0)), vec3(1.0));
  vUV = aUV;
}
)";

const char* const kFragmentShader = R"(#version 330 core
in vec3 vColor;
in vec2 vUV;
uniform sampler2D uTexture;
out vec4 fragColor;
void main() { fragColor = texture(uTexture, vUV) * vec4(vColor, 1.0); }
)";

struct Vertex {
  float x, y, z, nx, ny, nz, u, v;
};

// 4 vertices and 2 triangles a side; wound clockwise as seen from outside
// in the scene's left-handed space (x right, y up, z forward).
void MakeCube(std::vector<Vertex>& vertices, std::vector<uint16_t>& indices) {
  const float h = 0.5f * kEdge;
  const float axes[6][3][3] = {
      // normal, u axis, v axis (u x v = normal)
      {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
      {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
      {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
  };
  const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  for (const auto& side : axes) {
    const auto base = static_cast<uint16_t>(vertices.size());
    for (const auto& c : corners) {
      Vertex v{};
      v.x = h * (side[0][0] + c[0] * side[1][0] + c[1] * side[2][0]);
      v.y = h * (side[0][1] + c[0] * side[1][1] + c[1] * side[2][1]);
      v.z = h * (side[0][2] + c[0] * side[1][2] + c[1] * side[2][2]);
      v.nx = side[0][0], v.ny = side[0][1], v.nz = side[0][2];
      v.u = 0.5f * (c[0] + 1.0f), v.v = 0.5f * (c[1] + 1.0f);
      vertices.push_back(v);
    }
    for (int i : {0, 1, 2, 0, 2, 3}) indices.push_back(static_cast<uint16_t>(base + i));
  }
}

// Column-major: the view of a left-handed camera at eye looking at the
// origin, times a perspective that maps eye z near..far to depth -1..1.
void ViewProjection(const Vec3& eye, float* out) {
  float f[3] = {-eye.x, -eye.y, -eye.z};
  const float fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  for (float& c : f) c /= fl;
  // right = up x forward with up = (0, 1, 0); up' = forward x right
  float r[3] = {f[2], 0.0f, -f[0]};
  const float rl = std::sqrt(r[0] * r[0] + r[2] * r[2]);
  for (float& c : r) c /= rl;
  const float u[3] = {f[1] * r[2] - f[2] * r[1], f[2] * r[0] - f[0] * r[2], f[0] * r[1] - f[1] * r[0]};
  const float e[3] = {eye.x, eye.y, eye.z};
  auto dot = [](const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
  // view rows: r, u, f with translation -dot(axis, eye)
  const float view[3][4] = {
      {r[0], r[1], r[2], -dot(r, e)}, {u[0], u[1], u[2], -dot(u, e)}, {f[0], f[1], f[2], -dot(f, e)}};
  const float m00 = 1.0f / std::tan(kFov * static_cast<float>(M_PI) / 360.0f);
  const float m11 = m00 * static_cast<float>(kWidth) / static_cast<float>(kHeight);
  const float a = (kFar + kNear) / (kFar - kNear), b = -2.0f * kFar * kNear / (kFar - kNear);
  // rows of projection x view
  const float rows[4][4] = {{m00 * view[0][0], m00 * view[0][1], m00 * view[0][2], m00 * view[0][3]},
                            {m11 * view[1][0], m11 * view[1][1], m11 * view[1][2], m11 * view[1][3]},
                            {a * view[2][0], a * view[2][1], a * view[2][2], a * view[2][3] + b},
                            {view[2][0], view[2][1], view[2][2], view[2][3]}};
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col) out[col * 4 + row] = rows[row][col];
}

GLuint Compile(GLenum type, const char* source) {
  const GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[1024] = {};
    glGetShaderInfoLog(shader, sizeof(log), nullptr, log);
    std::fprintf(stderr, "plain loop shader: %s\n", log);
  }
  return shader;
}

// The window, the context and the GL objects, released in reverse order.
class PlainRenderer {
 public:
  ~PlainRenderer() {
    if (m_context) {
      if (m_program) glDeleteProgram(m_program);
      if (m_texture) glDeleteTextures(1, &m_texture);
      if (m_buffers[0]) glDeleteBuffers(2, m_buffers);
      if (m_array) glDeleteVertexArrays(1, &m_array);
      SDL_GL_MakeCurrent(m_window, nullptr);
      SDL_GL_DeleteContext(m_context);
    }
    if (m_window) SDL_DestroyWindow(m_window);
    if (m_video) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  const char* Create() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return "SDL video";
    m_video = true;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    m_window = SDL_CreateWindow("Plain loop", 20, 20, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (!m_window) return "window";
    m_context = SDL_GL_CreateContext(m_window);
    if (!m_context || SDL_GL_MakeCurrent(m_window, m_context) != 0) return "GL 3.3 context";
    SDL_GL_SetSwapInterval(0);

    m_program = glCreateProgram();
    const GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
    glAttachShader(m_program, vs);
    glAttachShader(m_program, fs);
    glLinkProgram(m_program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint linked = 0;
    glGetProgramiv(m_program, GL_LINK_STATUS, &linked);
    if (!linked) return "shader program";
    glUseProgram(m_program);
    m_model = glGetUniformLocation(m_program, "uModel");
    m_viewProj = glGetUniformLocation(m_program, "uViewProj");
    const float length =
        std::sqrt(kLightDir[0] * kLightDir[0] + kLightDir[1] * kLightDir[1] + kLightDir[2] * kLightDir[2]);
    glUniform3f(glGetUniformLocation(m_program, "uLightDir"), kLightDir[0] / length, kLightDir[1] / length,
                kLightDir[2] / length);
    glUniform1f(glGetUniformLocation(m_program, "uAmbient"), kAmbient);
    glUniform1i(glGetUniformLocation(m_program, "uTexture"), 0);

    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;
    MakeCube(vertices, indices);
    m_indexCount = static_cast<GLsizei>(indices.size());
    glGenVertexArrays(1, &m_array);
    glBindVertexArray(m_array);
    glGenBuffers(2, m_buffers);
    glBindBuffer(GL_ARRAY_BUFFER, m_buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)), vertices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_buffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(uint16_t)),
                 indices.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<void*>(3 * sizeof(float)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<void*>(6 * sizeof(float)));

    const std::vector<uint32_t> texels = CheckerTexels();
    glGenTextures(1, &m_texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTextureSize, kTextureSize, 0, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, texels.data());

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(static_cast<float>((kBackground >> 16) & 0xFF) / 255.0f,
                 static_cast<float>((kBackground >> 8) & 0xFF) / 255.0f,
                 static_cast<float>(kBackground & 0xFF) / 255.0f, 1.0f);
    return glGetError() == GL_NO_ERROR ? nullptr : "GL set-up";
  }

  void Draw(const std::vector<Vec3>& cubes, const Vec3& eye) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    float viewProj[16];
    ViewProjection(eye, viewProj);
    glUniformMatrix4fv(m_viewProj, 1, GL_FALSE, viewProj);
    float model[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m_drawCalls = 0;
    for (const Vec3& c : cubes) {
      model[12] = c.x, model[13] = c.y, model[14] = c.z;
      glUniformMatrix4fv(m_model, 1, GL_FALSE, model);
      glDrawElements(GL_TRIANGLES, m_indexCount, GL_UNSIGNED_SHORT, nullptr);
      ++m_drawCalls;
    }
  }

  int GetDrawCalls() const { return m_drawCalls; }

  void Frame(const std::vector<Vec3>& cubes, const Vec3& eye) {
    Draw(cubes, eye);
    SDL_GL_SwapWindow(m_window);
    glFinish();
  }

  // What a frame draws, read back: drawn once more without a swap, since
  // the buffer just presented is undefined afterwards.
  std::vector<uint32_t> ReadBack(const std::vector<Vec3>& cubes, const Vec3& eye) {
    Draw(cubes, eye);
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth * (kHeight - kLogoRows)));
    glReadPixels(0, 0, kWidth, kHeight - kLogoRows, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    return pixels;
  }

 private:
  bool m_video = false;
  SDL_Window* m_window = nullptr;
  SDL_GLContext m_context = nullptr;
  GLuint m_program = 0;
  GLint m_model = -1;
  GLint m_viewProj = -1;
  GLuint m_array = 0;
  GLuint m_buffers[2] = {};
  GLuint m_texture = 0;
  GLsizei m_indexCount = 0;
  int m_drawCalls = 0;
};

LoopResult RunPlainRenderer(int n, int frames, int warmup) {
  LoopResult result;
  PlainRenderer renderer;
  if (const char* failed = renderer.Create()) {
    result.error = failed;
    return result;
  }
  const std::vector<Vec3> cubes = GridPositions(n);
  for (int i = 0; i < warmup; ++i) renderer.Frame(cubes, CameraAt(i, n));
  const LoopClock clock;
  for (int i = 0; i < frames; ++i) renderer.Frame(cubes, CameraAt(i, n));
  clock.Finish(result, frames);
  result.drawCalls = renderer.GetDrawCalls();
  result.coverage = Coverage(renderer.ReadBack(cubes, CameraAt(frames - 1, n)));
  result.ok = true;
  return result;
}

}  // namespace

LoopResult RunPlainLoop(int n, int frames, int warmup) {
  // Whatever context was current (the engine's) is made current again at
  // the end, so that the two renderers can take turns.
  SDL_Window* previousWindow = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GL_GetCurrentWindow() : nullptr;
  SDL_GLContext previousContext = previousWindow ? SDL_GL_GetCurrentContext() : nullptr;
  LoopResult result = RunPlainRenderer(n, frames, warmup);
  if (previousContext) SDL_GL_MakeCurrent(previousWindow, previousContext);
  return result;
}

}  // namespace qibo::cubes
