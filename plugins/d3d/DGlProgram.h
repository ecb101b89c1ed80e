#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <string>

// Everything the device's shaders read besides the vertices. Matrices are
// stored as the device keeps them: row-vector convention (p' = p x M), row
// after row; handed to GLSL unchanged they read as the transposed matrices,
// so the shader multiplies them on the left.
struct DGlUniforms {
  float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float proj[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float lightDir[3] = {0, 0, 1};  // world space, the way the light travels
  float lightColor[3] = {1, 1, 1};
  float ambientLight[3] = {0, 0, 0};
  float half[3] = {0, 0, -1};  // world-space half vector for highlights
  float matDiffuse[4] = {1, 1, 1, 1};
  float matAmbient[3] = {0, 0, 0};
  float matEmissive[3] = {0, 0, 0};
  float matSpecular[3] = {0, 0, 0};
  float power = 0.0f;
  float fogColor[3] = {0, 0, 0};
  float fogRange[2] = {0, 1};  // start and end along the camera's view
  int lighting = 0;
  int specularOn = 0;
  int vertexDiffuse = 0;  // lit: diffuse colour from the vertices
  int autoUV = 0;         // reflection-vector texture coordinates
  int instanced = 0;      // world matrices from the instance records, not world
  int fogOn = 0;
  int textureOn = 0;
  int modulate = 0;  // texture times colour, else the texture alone
  int alphaTest = 1;
};

// Parts of the device's fragment shader. A program without a part draws
// correctly only where that part would change nothing, and in return does
// less per fragment: software rasterisers (llvmpipe) run the fragment code
// of every pixel on the CPU, and a shader that may discard makes them shade
// each fragment before its depth test instead of skipping hidden ones.
namespace qibo::gl {
constexpr uint32_t kShaderAlphaTest = 0x1;  // the alpha test: else nothing can fall to it
constexpr uint32_t kShaderFog = 0x2;        // fog: else uFogOn is 0
constexpr uint32_t kShaderTexture = 0x4;    // the texture: else uTextureOn is 0
constexpr uint32_t kShaderAll = 0x7;
}  // namespace qibo::gl

// The device's shader program: the fixed-function model (material colours,
// one directional light, specular highlights, linear fog, modulated texture,
// alpha test "greater than 10") in one vertex and one fragment shader.
// Uniforms are sent by Flush, and only those that changed since the last.
class DGlProgram {
 public:
  DGlProgram() = default;
  ~DGlProgram() { Destroy(); }
  DGlProgram(const DGlProgram&) = delete;
  DGlProgram& operator=(const DGlProgram&) = delete;

  // Compiles and links the device's shaders; on failure error holds the
  // driver's message, which is also logged line by line. parts (qibo::gl
  // kShader...) names the fragment-shader parts built in; one left out acts
  // as if its switch were off (see there).
  bool Create(std::string& error, uint32_t parts = qibo::gl::kShaderAll);
  // The same for other shader sources (uniforms the sources lack are not
  // sent). A failure leaves no program: nothing is made current.
  bool Create(const char* vertexSource, const char* fragmentSource, std::string& error);
  void Destroy();
  bool IsCreated() const { return m_program != 0; }
  GLuint GetName() const { return m_program; }
  void Use() const {
    if (m_program) glUseProgram(m_program);
  }
  // Sends every value of wanted that differs from what was sent last;
  // nothing without a program.
  void Flush(const DGlUniforms& wanted);
  // The number of uniform uploads so far.
  int GetUploadCount() const { return m_uploads; }

 private:
  GLuint m_program = 0;
  GLint m_locations[32] = {};
  DGlUniforms m_sent;
  bool m_sentValid = false;
  int m_uploads = 0;
};
