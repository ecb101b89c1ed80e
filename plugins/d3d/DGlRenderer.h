#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "plugins/d3d/DGlProgram.h"

class LFB;

// One vertex as the device draws it: position, normal, colour, one pair of
// texture coordinates (36 bytes).
struct DGlVertex {
  float x = 0, y = 0, z = 0;
  float nx = 0, ny = 0, nz = 0;
  uint32_t color = 0xFFFFFFFFu;  // bytes R, G, B, A in memory order
  float u = 0, v = 0;
};
static_assert(sizeof(DGlVertex) == 36);

// One copy of a shape drawn many at once: its world matrix (row vectors,
// p' = p x M) as the three axis rows and the position (48 bytes).
struct DGlInstance {
  float x[3] = {1, 0, 0};
  float y[3] = {0, 1, 0};
  float z[3] = {0, 0, 1};
  float position[3] = {0, 0, 0};

  // From and to the 16 floats of an affine matrix, row after row.
  static DGlInstance FromMatrix(const float m[16]) {
    DGlInstance r;
    for (int i = 0; i < 3; ++i) {
      r.x[i] = m[i];
      r.y[i] = m[4 + i];
      r.z[i] = m[8 + i];
      r.position[i] = m[12 + i];
    }
    return r;
  }
  void ToMatrix(float m[16]) const {
    for (int i = 0; i < 3; ++i) {
      m[i] = x[i];
      m[4 + i] = y[i];
      m[8 + i] = z[i];
      m[12 + i] = position[i];
    }
    m[3] = m[7] = m[11] = 0.0f;
    m[15] = 1.0f;
  }
};
static_assert(sizeof(DGlInstance) == 48);

// Render-state bits, compared with the cached word so that only changed
// bits reach OpenGL.
namespace qibo::gl {
constexpr uint32_t kDepthTest = 0x01;
constexpr uint32_t kDepthWrite = 0x02;
constexpr uint32_t kCull = 0x04;
constexpr uint32_t kBlend = 0x08;
}  // namespace qibo::gl

// The drawing side of the device on one OpenGL context: an off-screen back
// buffer (colour and depth) that frames are drawn into and presented from,
// the shader program, the 300-vertex streaming buffer and the render-state
// cache. Everything here needs the context current; Destroy before the
// context goes.
class DGlRenderer {
 public:
  static constexpr int kStreamVertices = 300;
  // An alpha (0..255) from which on the alpha test ("greater than 10")
  // passes for sure, filtering and rounding included.
  static constexpr uint32_t kOpaqueAlpha = 12;

  DGlRenderer() = default;
  ~DGlRenderer() { Destroy(); }
  DGlRenderer(const DGlRenderer&) = delete;
  DGlRenderer& operator=(const DGlRenderer&) = delete;

  // Creates the back buffer of the size, the program and the buffers. On
  // failure step is the failing step's message and detail the driver's.
  bool Create(int width, int height, const char*& step, std::string& detail);
  void Destroy();
  bool IsCreated() const { return m_program != nullptr; }
  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }
  int GetMaxTextureSize() const { return m_maxTextureSize; }

  DGlUniforms& Uniforms() { return m_uniforms; }
  void ApplyStates(uint32_t wanted);
  uint32_t GetStates() const { return m_states; }
  // Depth bias 0..16, pulling faces towards the viewer.
  void SetDepthBias(int bias);
  // The device viewport in back-buffer pixels (top-left origin).
  void SetViewport(int x, int y, int width, int height);
  // Clears depth to 1.0 and, when color, the colour to argb.
  void Clear(uint32_t argb, bool color);
  // Draws count vertices from the streaming buffer (count <= 300).
  void DrawStream(GLenum mode, const DGlVertex* vertices, int count);
  // An indexed triangle list through the streaming buffer (count <= 300).
  void DrawStreamIndexed(const DGlVertex* vertices, int count, const uint16_t* indices, int indexCount);
  // Draws from a vertex array object the caller keeps (the shape cache);
  // opaqueVertices: every vertex colour's alpha is at least kOpaqueAlpha.
  void DrawArrayObject(GLuint vao, int indexCount, bool opaqueVertices = false);
  // Draws count copies of a vertex array object the caller keeps, placed by
  // the instance records first .. first + count - 1 of the buffer instances.
  void DrawInstanced(GLuint vao, int indexCount, bool opaqueVertices, GLuint instances, int first, int count);
  // Draw calls sent to OpenGL since the last ResetDrawCalls.
  int GetDrawCalls() const { return m_drawCalls; }
  void ResetDrawCalls() { m_drawCalls = 0; }
  // opaque: every texel's alpha is at least kOpaqueAlpha.
  void BindTexture(GLuint texture, bool opaque = false);
  // The fragment-shader parts (qibo::gl::kShader...) of the program the
  // last draw went through.
  uint32_t GetLastDrawParts() const { return m_usedParts; }
  // Someone else bound a vertex array: bind ours again at the next draw.
  void ForgetArrayBinding() { m_boundArray = 0xFFFFFFFFu; }

  // A new picture of the back-buffer rectangle (top-left origin), or null.
  std::unique_ptr<LFB> Grab(int x, int y, int width, int height);
  // Copies the picture into the back buffer with its top-left at (x, y).
  bool Show(const LFB& picture, int x, int y);
  // The background picture: uploaded once (again when it changes), then
  // stretched over the whole output at every DrawBackground.
  bool SetBackground(const LFB& picture);
  void ClearBackground();
  bool HasBackground() const { return m_background != 0; }
  void DrawBackground();
  // Copies the back buffer to the window's framebuffer of that size,
  // scaled to fit with its proportions kept.
  void CopyToWindow(int windowWidth, int windowHeight);

 private:
  // Sends the uniforms to the program the draw needs: one with only the
  // fragment-shader parts the uniforms and the drawn alpha call for (the
  // alpha test only when something can fall to it, see MayDiscard), made on
  // first use; the full program when that cannot be made.
  void Flush(bool opaqueVertices);
  bool MayDiscard(bool opaqueVertices) const;
  DGlProgram* ProgramFor(uint32_t parts);
  void Prime();
  void BindVertexArray(GLuint vao);

  std::unique_ptr<DGlProgram> m_program;  // every part (qibo::gl::kShaderAll)
  // Programs of fewer parts, by their parts; a failed one stays failed.
  std::unique_ptr<DGlProgram> m_partial[qibo::gl::kShaderAll];
  bool m_partialFailed[qibo::gl::kShaderAll] = {};
  const DGlProgram* m_usedProgram = nullptr;  // current in OpenGL, when known
  uint32_t m_usedParts = 0;
  DGlUniforms m_uniforms;
  GLuint m_framebuffer = 0;
  GLuint m_colorBuffer = 0;
  GLuint m_depthBuffer = 0;
  GLuint m_streamArray = 0;
  GLuint m_streamVertices = 0;
  GLuint m_streamIndices = 0;
  GLuint m_boundArray = 0;
  GLuint m_boundTexture = 0;
  bool m_boundTextureOpaque = false;
  GLuint m_background = 0;  // texture of the background picture
  int m_backgroundWidth = 0;
  int m_backgroundHeight = 0;
  uint32_t m_states = 0;
  int m_depthBias = 0;
  int m_width = 0;
  int m_height = 0;
  int m_maxTextureSize = 0;
  int m_drawCalls = 0;
};

// Sets the three attribute pointers of DGlVertex on the bound array buffer.
void qiboSetVertexLayout();
