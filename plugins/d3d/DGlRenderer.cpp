#include "plugins/d3d/DGlRenderer.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/render/base/LFB.h"

void qiboSetVertexLayout() {
  constexpr GLsizei kStride = sizeof(DGlVertex);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, kStride, reinterpret_cast<void*>(offsetof(DGlVertex, x)));
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, kStride, reinterpret_cast<void*>(offsetof(DGlVertex, nx)));
  glEnableVertexAttribArray(2);
  glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, kStride,
                        reinterpret_cast<void*>(offsetof(DGlVertex, color)));
  glEnableVertexAttribArray(3);
  glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, kStride, reinterpret_cast<void*>(offsetof(DGlVertex, u)));
}

bool DGlRenderer::Create(int width, int height, const char*& step, std::string& detail) {
  Destroy();
  m_width = width;
  m_height = height;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxTextureSize);
  glGenFramebuffers(1, &m_framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
  glGenRenderbuffers(1, &m_colorBuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, m_colorBuffer);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colorBuffer);
  if (glGetError() != GL_NO_ERROR) {
    step = "Unable to create backbuffer";
    return false;
  }
  glGenRenderbuffers(1, &m_depthBuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, m_depthBuffer);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depthBuffer);
  if (glGetError() != GL_NO_ERROR || glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    step = "Unable to attach z-buffer to backbuffer";
    return false;
  }
  m_program = std::make_unique<DGlProgram>();
  if (!m_program->Create(detail)) {
    step = "Unable to create Direct3D7 device";
    m_program.reset();
    return false;
  }
  // Every program a draw may pick, now rather than in the frame that first
  // needs one.
  for (uint32_t parts = 0; parts < qibo::gl::kShaderAll; ++parts) ProgramFor(parts);
  m_usedProgram = nullptr;  // Create made it current, Flush does not know
  glGenVertexArrays(1, &m_streamArray);
  glBindVertexArray(m_streamArray);
  m_boundArray = m_streamArray;
  glGenBuffers(1, &m_streamVertices);
  glBindBuffer(GL_ARRAY_BUFFER, m_streamVertices);
  glBufferData(GL_ARRAY_BUFFER, kStreamVertices * sizeof(DGlVertex), nullptr, GL_STREAM_DRAW);
  glGenBuffers(1, &m_streamIndices);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_streamIndices);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, kStreamVertices * 3 * sizeof(uint16_t), nullptr, GL_STREAM_DRAW);
  qiboSetVertexLayout();
  // The device's fixed set-up: depth test less-or-equal, clockwise faces
  // (as seen on screen, y up) in front as in the scene's left-handed space, blending by alpha.
  glDepthFunc(GL_LEQUAL);
  glFrontFace(GL_CW);
  glCullFace(GL_BACK);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDepthMask(GL_FALSE);
  m_states = 0;
  ApplyStates(qibo::gl::kDepthTest | qibo::gl::kDepthWrite | qibo::gl::kCull);
  SetViewport(0, 0, width, height);
  Prime();
  return true;
}

void DGlRenderer::Destroy() {
  ClearBackground();
  if (m_streamIndices) glDeleteBuffers(1, &m_streamIndices);
  if (m_streamVertices) glDeleteBuffers(1, &m_streamVertices);
  if (m_streamArray) glDeleteVertexArrays(1, &m_streamArray);
  if (m_depthBuffer) glDeleteRenderbuffers(1, &m_depthBuffer);
  if (m_colorBuffer) glDeleteRenderbuffers(1, &m_colorBuffer);
  if (m_framebuffer) glDeleteFramebuffers(1, &m_framebuffer);
  m_streamIndices = m_streamVertices = m_streamArray = 0;
  m_depthBuffer = m_colorBuffer = m_framebuffer = 0;
  m_boundArray = m_boundTexture = 0;
  m_boundTextureOpaque = false;
  for (int i = 0; i < static_cast<int>(qibo::gl::kShaderAll); ++i) {
    m_partial[i].reset();
    m_partialFailed[i] = false;
  }
  m_program.reset();
  m_usedProgram = nullptr;
  m_usedParts = 0;
  m_uniforms = DGlUniforms();
  m_states = 0;
  m_depthBias = 0;
}

void DGlRenderer::ApplyStates(uint32_t wanted) {
  using namespace qibo::gl;
  const uint32_t diff = wanted ^ m_states;
  if (!diff) return;
  auto set = [](GLenum cap, bool on) { on ? glEnable(cap) : glDisable(cap); };
  if (diff & kDepthTest) set(GL_DEPTH_TEST, wanted & kDepthTest);
  if (diff & kDepthWrite) glDepthMask((wanted & kDepthWrite) ? GL_TRUE : GL_FALSE);
  if (diff & kCull) set(GL_CULL_FACE, wanted & kCull);
  if (diff & kBlend) set(GL_BLEND, wanted & kBlend);
  m_states = wanted;
}

void DGlRenderer::SetDepthBias(int bias) {
  bias = bias < 0 ? 0 : (bias > 16 ? 16 : bias);
  if (bias == m_depthBias) return;
  if (bias == 0) {
    glDisable(GL_POLYGON_OFFSET_FILL);
  } else {
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(0.0f, -static_cast<float>(bias));
  }
  m_depthBias = bias;
}

void DGlRenderer::SetViewport(int x, int y, int width, int height) {
  glViewport(x, m_height - y - height, width, height);
}

void DGlRenderer::Clear(uint32_t argb, bool color) {
  glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
  const uint32_t states = m_states;
  ApplyStates(states | qibo::gl::kDepthWrite);  // a clear honours the depth mask
  glClearDepth(1.0);
  GLbitfield mask = GL_DEPTH_BUFFER_BIT;
  if (color) {
    glClearColor(static_cast<float>((argb >> 16) & 0xFF) / 255.0f,
                 static_cast<float>((argb >> 8) & 0xFF) / 255.0f, static_cast<float>(argb & 0xFF) / 255.0f,
                 1.0f);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  glClear(mask);
  ApplyStates(states);
}

namespace {

bool OpaqueVertices(const DGlVertex* vertices, int count) {
  for (int i = 0; i < count; ++i)
    if ((vertices[i].color >> 24) < DGlRenderer::kOpaqueAlpha) return false;
  return true;
}

}  // namespace

// The fragment's alpha is the texture's alone (texture without modulation),
// or the colour's times the texture's; the colour's alpha is the material's
// for lit drawing with material diffuse, else the vertices'.
bool DGlRenderer::MayDiscard(bool opaqueVertices) const {
  const DGlUniforms& u = m_uniforms;
  if (u.alphaTest == 0) return false;
  const bool texture = u.textureOn != 0;
  if (texture && !m_boundTextureOpaque) return true;
  if (texture && u.modulate == 0) return false;
  if (u.lighting != 0 && u.vertexDiffuse == 0) return !(u.matDiffuse[3] * 255.0f >= kOpaqueAlpha);
  return !opaqueVertices;
}

DGlProgram* DGlRenderer::ProgramFor(uint32_t parts) {
  if (parts >= qibo::gl::kShaderAll || m_partialFailed[parts]) return m_program.get();
  if (!m_partial[parts]) {
    auto program = std::make_unique<DGlProgram>();
    std::string error;
    if (!program->Create(error, parts)) {
      m_partialFailed[parts] = true;
      return m_program.get();
    }
    m_partial[parts] = std::move(program);
    m_usedProgram = nullptr;  // Create made it current
  }
  return m_partial[parts].get();
}

void DGlRenderer::Flush(bool opaqueVertices) {
  using namespace qibo::gl;
  uint32_t parts = (MayDiscard(opaqueVertices) ? kShaderAlphaTest : 0) | (m_uniforms.fogOn ? kShaderFog : 0) |
                   (m_uniforms.textureOn ? kShaderTexture : 0);
  DGlProgram* program = ProgramFor(parts);
  if (program == m_program.get()) parts = kShaderAll;
  if (program != m_usedProgram) {
    program->Use();
    m_usedProgram = program;
  }
  m_usedParts = parts;
  program->Flush(m_uniforms);
}

void DGlRenderer::BindVertexArray(GLuint vao) {
  if (vao == m_boundArray) return;
  glBindVertexArray(vao);
  m_boundArray = vao;
}

void DGlRenderer::BindTexture(GLuint texture, bool opaque) {
  m_boundTextureOpaque = texture != 0 && opaque;
  if (texture == m_boundTexture) return;
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, texture);
  m_boundTexture = texture;
}

void DGlRenderer::DrawStream(GLenum mode, const DGlVertex* vertices, int count) {
  if (!m_program || count <= 0 || count > kStreamVertices) return;
  m_uniforms.instanced = 0;
  Flush(OpaqueVertices(vertices, count));
  BindVertexArray(m_streamArray);
  glBindBuffer(GL_ARRAY_BUFFER, m_streamVertices);
  // Orphan the old storage so a draw still reading it does not stall us.
  glBufferData(GL_ARRAY_BUFFER, kStreamVertices * sizeof(DGlVertex), nullptr, GL_STREAM_DRAW);
  glBufferSubData(GL_ARRAY_BUFFER, 0, count * sizeof(DGlVertex), vertices);
  glDrawArrays(mode, 0, count);
  ++m_drawCalls;
}

void DGlRenderer::DrawStreamIndexed(const DGlVertex* vertices, int count, const uint16_t* indices,
                                    int indexCount) {
  if (!m_program || count <= 0 || count > kStreamVertices || indexCount <= 0 ||
      indexCount > kStreamVertices * 3)
    return;
  m_uniforms.instanced = 0;
  Flush(OpaqueVertices(vertices, count));
  BindVertexArray(m_streamArray);
  glBindBuffer(GL_ARRAY_BUFFER, m_streamVertices);
  glBufferData(GL_ARRAY_BUFFER, kStreamVertices * sizeof(DGlVertex), nullptr, GL_STREAM_DRAW);
  glBufferSubData(GL_ARRAY_BUFFER, 0, count * sizeof(DGlVertex), vertices);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, kStreamVertices * 3 * sizeof(uint16_t), nullptr, GL_STREAM_DRAW);
  glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, indexCount * sizeof(uint16_t), indices);
  glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_SHORT, nullptr);
  ++m_drawCalls;
}

void DGlRenderer::DrawArrayObject(GLuint vao, int indexCount, bool opaqueVertices) {
  if (!m_program || !vao || indexCount <= 0) return;
  m_uniforms.instanced = 0;
  Flush(opaqueVertices);
  BindVertexArray(vao);
  glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT, nullptr);
  ++m_drawCalls;
}

void DGlRenderer::DrawInstanced(GLuint vao, int indexCount, bool opaqueVertices, GLuint instances, int first,
                                int count) {
  if (!m_program || !vao || !instances || indexCount <= 0 || first < 0 || count <= 0) return;
  m_uniforms.instanced = 1;
  Flush(opaqueVertices);
  BindVertexArray(vao);
  // The records' attributes (4 to 7, one record a copy) point at the first
  // record: OpenGL 3.3 has no base instance.
  glBindBuffer(GL_ARRAY_BUFFER, instances);
  const size_t start = static_cast<size_t>(first) * sizeof(DGlInstance);
  const size_t rows[4] = {offsetof(DGlInstance, x), offsetof(DGlInstance, y), offsetof(DGlInstance, z),
                          offsetof(DGlInstance, position)};
  for (GLuint i = 0; i < 4; ++i) {
    glEnableVertexAttribArray(4 + i);
    glVertexAttribPointer(4 + i, 3, GL_FLOAT, GL_FALSE, sizeof(DGlInstance),
                          reinterpret_cast<void*>(start + rows[i]));
    glVertexAttribDivisor(4 + i, 1);
  }
  glDrawElementsInstanced(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT, nullptr, count);
  ++m_drawCalls;
}

std::unique_ptr<LFB> DGlRenderer::Grab(int x, int y, int width, int height) {
  if (!m_framebuffer || width <= 0 || height <= 0 || x < 0 || y < 0 || x + width > m_width ||
      y + height > m_height)
    return nullptr;
  auto picture = std::make_unique<LFB>();
  if (!picture->Create(width, height)) return nullptr;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  std::vector<uint32_t> rows(static_cast<size_t>(width) * static_cast<size_t>(height));
  glReadPixels(x, m_height - y - height, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, rows.data());
  // OpenGL's rows run bottom to top, the picture's top to bottom.
  for (int row = 0; row < height; ++row) {
    const uint32_t* source = rows.data() + static_cast<size_t>(height - 1 - row) * static_cast<size_t>(width);
    uint32_t* target = picture->GetRow(row);
    for (int i = 0; i < width; ++i) target[i] = source[i] | 0xFF000000u;
  }
  picture->SetHasAlpha(false);
  return picture;
}

namespace {

// A texture holding the picture, its first row the picture's top.
GLuint UploadPicture(const LFB& picture) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, picture.GetPitch());
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, picture.GetWidth(), picture.GetHeight(), 0, GL_BGRA,
               GL_UNSIGNED_INT_8_8_8_8_REV, picture.GetPixels());
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  return texture;
}

// Copies a texture of width x height onto the rectangle (x, top) - (right,
// bottom) of framebuffer, in GL's bottom-up rows: flipped, so that the
// picture's top lands at the top.
void BlitTexture(GLuint texture, int width, int height, GLuint framebuffer, int x, int top, int right,
                 int bottom) {
  GLuint source = 0;
  glGenFramebuffers(1, &source);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
  const bool scaled = right - x != width || top - bottom != height;
  glBlitFramebuffer(0, 0, width, height, x, top, right, bottom, GL_COLOR_BUFFER_BIT,
                    scaled ? GL_LINEAR : GL_NEAREST);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glDeleteFramebuffers(1, &source);
}

}  // namespace

bool DGlRenderer::Show(const LFB& picture, int x, int y) {
  if (!m_framebuffer || picture.IsEmpty()) return false;
  const GLuint texture = UploadPicture(picture);
  const int top = m_height - y;
  BlitTexture(texture, picture.GetWidth(), picture.GetHeight(), m_framebuffer, x, top, x + picture.GetWidth(),
              top - picture.GetHeight());
  glDeleteTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, m_boundTexture);
  return true;
}

bool DGlRenderer::SetBackground(const LFB& picture) {
  if (!m_framebuffer || picture.IsEmpty()) {
    ClearBackground();
    return false;
  }
  if (m_background && picture.GetWidth() == m_backgroundWidth && picture.GetHeight() == m_backgroundHeight) {
    // A picture of the same size (a video's next frame) replaces the
    // pixels of the texture there is.
    glBindTexture(GL_TEXTURE_2D, m_background);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, picture.GetPitch());
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, picture.GetWidth(), picture.GetHeight(), GL_BGRA,
                    GL_UNSIGNED_INT_8_8_8_8_REV, picture.GetPixels());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  } else {
    ClearBackground();
    m_background = UploadPicture(picture);
    m_backgroundWidth = picture.GetWidth();
    m_backgroundHeight = picture.GetHeight();
  }
  glBindTexture(GL_TEXTURE_2D, m_boundTexture);
  return true;
}

void DGlRenderer::ClearBackground() {
  if (m_background) glDeleteTextures(1, &m_background);
  m_background = 0;
  m_backgroundWidth = m_backgroundHeight = 0;
}

void DGlRenderer::DrawBackground() {
  if (!m_background || !m_framebuffer) return;
  BlitTexture(m_background, m_backgroundWidth, m_backgroundHeight, m_framebuffer, 0, m_height, m_width, 0);
}

void DGlRenderer::CopyToWindow(int windowWidth, int windowHeight) {
  if (!m_framebuffer || m_width <= 0 || m_height <= 0) return;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  // A window resized by the user shows the whole picture as large as fits,
  // with its proportions kept and black bars beside it.
  int width = windowWidth, height = windowHeight;
  if (static_cast<int64_t>(windowWidth) * m_height > static_cast<int64_t>(windowHeight) * m_width)
    width = static_cast<int>(static_cast<int64_t>(windowHeight) * m_width / m_height);
  else
    height = static_cast<int>(static_cast<int64_t>(windowWidth) * m_height / m_width);
  const int x = (windowWidth - width) / 2, y = (windowHeight - height) / 2;
  const bool scaled = width != m_width || height != m_height;
  if (width != windowWidth || height != windowHeight) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glBlitFramebuffer(0, 0, m_width, m_height, x, y, x + width, y + height, GL_COLOR_BUFFER_BIT,
                    scaled ? GL_LINEAR : GL_NEAREST);
  glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
}

// A software renderer builds the code for each program, vertex layout and
// set of render states the first time it draws with them, which can take
// longer than a frame. One tiny draw of each kind the device makes, picture
// copies scaled and one to one, and a clear do that now, while the device
// opens.
void DGlRenderer::Prime() {
  using namespace qibo::gl;
  const uint32_t texel = 0xFFFFFFFFu;
  GLuint white = 0;
  glGenTextures(1, &white);
  glBindTexture(GL_TEXTURE_2D, white);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, &texel);
  BindTexture(white, true);
  DGlVertex triangle[3];
  triangle[1].x = triangle[2].y = 1e-3f;
  const uint32_t kStates[] = {kDepthTest | kDepthWrite | kCull, kDepthTest | kBlend, kBlend};
  for (uint32_t states : kStates)
    for (uint32_t parts = 0; parts < kShaderAll; ++parts) {
      ApplyStates(states);
      m_uniforms.textureOn = (parts & kShaderTexture) ? 1 : 0;
      m_uniforms.fogOn = (parts & kShaderFog) ? 1 : 0;
      m_uniforms.alphaTest = (parts & kShaderAlphaTest) ? 1 : 0;
      triangle[0].color = (parts & kShaderAlphaTest) ? 0x80FFFFFFu : 0xFFFFFFFFu;
      DrawStream(GL_TRIANGLES, triangle, 3);
    }
  // Pictures come in any size: copies from sides of a power of two and
  // from others, scaled and one to one.
  LFB odd;
  GLuint oddTexture = 0;
  if (odd.Create(3, 3)) oddTexture = UploadPicture(odd);
  for (const auto& [texture, side] : {std::pair{white, 1}, {oddTexture, 3}}) {
    if (!texture) continue;
    BlitTexture(texture, side, side, m_framebuffer, 0, m_height, m_width, 0);
    BlitTexture(texture, side, side, m_framebuffer, 0, side, side, 0);
  }
  // The copy of the picture to the window, one to one and scaled; every
  // frame's copy covers these pixels again.
  glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glBlitFramebuffer(0, 0, 1, 1, 0, 0, 1, 1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glBlitFramebuffer(0, 0, 1, 1, 0, 0, 2, 2, GL_COLOR_BUFFER_BIT, GL_LINEAR);
  glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
  glFinish();
  BindTexture(0);
  glDeleteTextures(1, &white);
  if (oddTexture) glDeleteTextures(1, &oddTexture);
  m_uniforms = DGlUniforms();
  m_drawCalls = 0;
  ApplyStates(kDepthTest | kDepthWrite | kCull);
  Clear(0, true);
}
