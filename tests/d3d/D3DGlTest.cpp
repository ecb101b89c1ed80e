#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "plugins/d3d/DGlCaches.h"
#include "plugins/d3d/DGlProgram.h"
#include "plugins/d3d/DGlRenderer.h"
#include "plugins/d3d/DGlWindow.h"
#include "tests/d3d/GlLayerFixture.h"

namespace qibo::test {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

class D3DGlTest : public GlLayerFixture {
 protected:
  D3DGlTest() : GlLayerFixture(kWidth, kHeight) {}
};

// What the driver says about the sources, asked for directly: the log of
// the first stage that does not compile, else the link log.
std::string DriverLog(const char* vertex, const char* fragment) {
  GLuint shaders[2] = {glCreateShader(GL_VERTEX_SHADER), glCreateShader(GL_FRAGMENT_SHADER)};
  const char* sources[2] = {vertex, fragment};
  std::string log;
  for (int i = 0; i < 2 && log.empty(); ++i) {
    glShaderSource(shaders[i], 1, &sources[i], nullptr);
    glCompileShader(shaders[i]);
    GLint ok = GL_FALSE;
    glGetShaderiv(shaders[i], GL_COMPILE_STATUS, &ok);
    if (ok == GL_TRUE) continue;
    char text[4096] = {};
    glGetShaderInfoLog(shaders[i], sizeof(text), nullptr, text);
    log = text;
  }
  if (log.empty()) {
    GLuint program = glCreateProgram();
    glAttachShader(program, shaders[0]);
    glAttachShader(program, shaders[1]);
    glLinkProgram(program);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    char text[4096] = {};
    if (ok != GL_TRUE) glGetProgramInfoLog(program, sizeof(text), nullptr, text);
    log = text;
    glDeleteProgram(program);
  }
  glDeleteShader(shaders[0]);
  glDeleteShader(shaders[1]);
  return log;
}

std::vector<std::string> LoggedSince(int first) {
  std::vector<std::string> messages;
  for (int i = first; i < qiBO_GetErrorsCount(); ++i) messages.emplace_back(qiBO_GetErrorNo(i)->message);
  return messages;
}

const char* const kVertex = R"(#version 330 core
layout(location = 0) in vec3 aPos;
out vec4 vColor;
void main() { gl_Position = vec4(aPos, 1.0); vColor = vec4(1.0); }
)";
const char* const kFragment = R"(#version 330 core
in vec4 vColor;
out vec4 fragColor;
void main() { fragColor = vColor; }
)";

struct ProgramCase {
  const char* name;
  const char* vertex;
  const char* fragment;
  const char* prefix;  // of every logged line; null: builds
};
const ProgramCase kProgramCases[] = {
    {"both stages sound", kVertex, kFragment, nullptr},
    {"vertex stage does not compile", "#version 330 core\nvoid main() { gl_Position = vec4(1.0) }\n",
     kFragment, "Vertex shader: "},
    {"fragment stage does not compile", kVertex,
     "#version 330 core\nout vec4 fragColor;\nvoid main() { fragColor = undeclaredColour; }\n",
     "Fragment shader: "},
    {"stages disagree on a varying's type", kVertex,
     "#version 330 core\nin vec3 vColor;\nout vec4 fragColor;\nvoid main() { fragColor = vec4(vColor, 1.0); "
     "}\n",
     "Shader link: "},
    {"a function declared and never defined",
     "#version 330 core\nlayout(location = 0) in vec3 aPos;\nout vec4 vColor;\nvec4 lift(vec3 p);\n"
     "void main() { gl_Position = lift(aPos); vColor = vec4(1.0); }\n",
     kFragment, "Shader link: "},
};

// Sources the driver refuses give a false result, every line of the
// driver's own message in the log, and no program: the one in use stays in
// use and uniforms go nowhere.
TEST_F(D3DGlTest, ProgramBuild_LogsTheDriversMessageAndLeavesNoProgram) {
  for (const ProgramCase& c : kProgramCases) {
    SCOPED_TRACE(c.name);
    const std::string driver = DriverLog(c.vertex, c.fragment);
    EXPECT_EQ(driver.empty(), c.prefix == nullptr) << driver;
    DGlProgram working;
    std::string error;
    ASSERT_TRUE(working.Create(error)) << error;
    working.Use();
    const int first = qiBO_GetErrorsCount();
    DGlProgram program;
    error.clear();
    const bool built = program.Create(c.vertex, c.fragment, error);
    const std::vector<std::string> logged = LoggedSince(first);
    EXPECT_EQ(built, c.prefix == nullptr);
    EXPECT_EQ(program.IsCreated(), built);
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    if (built) {
      EXPECT_TRUE(logged.empty());
      EXPECT_EQ(static_cast<GLuint>(current), program.GetName());
      continue;
    }
    EXPECT_EQ(static_cast<GLuint>(current), working.GetName());
    EXPECT_NE(error.find(driver), std::string::npos) << error;
    // Each line of the driver's message is one record, behind the stage.
    size_t lines = 0;
    for (size_t start = 0; start < driver.size();) {
      size_t end = driver.find('\n', start);
      if (end == std::string::npos) end = driver.size();
      const std::string line = driver.substr(start, end - start);
      start = end + 1;
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      ++lines;
      bool found = false;
      for (const std::string& message : logged) found = found || message == c.prefix + line;
      EXPECT_TRUE(found) << line;
    }
    EXPECT_EQ(logged.size(), lines);
    const int uploads = program.GetUploadCount();
    program.Flush(DGlUniforms());
    program.Use();
    EXPECT_EQ(program.GetUploadCount(), uploads);
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<GLuint>(current), working.GetName());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
}

// A picture of four coloured quarters, drawn over the whole output with
// the device's program; the colour at each quarter's centre.
struct TextureCase {
  const char* name;
  int width, height;
  int maxSize;  // 0: the driver's own limit
  int uploadedWidth, uploadedHeight;
};
const TextureCase kTextureCases[] = {
    {"fits", 64, 32, 64, 64, 32},
    {"wide, halved twice", 256, 64, 64, 64, 16},
    {"tall, halved twice", 16, 256, 64, 4, 64},
    {"odd sides round up", 200, 30, 64, 50, 8},
    {"one texel over", 65, 8, 64, 33, 4},
    {"square, far over", 512, 512, 32, 32, 32},
    {"the driver's own limit", 16384, 4, 0, 16384, 4},
};

TEST_F(D3DGlTest, TextureCache_ReducesPicturesTheDeviceRefusesKeepingTheirAspect) {
  const uint32_t quarters[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
  for (const TextureCase& c : kTextureCases) {
    SCOPED_TRACE(c.name);
    const int maxSize = c.maxSize > 0 ? c.maxSize : m_renderer.GetMaxTextureSize();
    ASSERT_GE(m_renderer.GetMaxTextureSize(), maxSize);
    Ref<CTTexture> texture = qibo::Create<CTTexture>();
    auto picture = std::make_unique<LFB>(c.width, c.height);
    ASSERT_FALSE(picture->IsEmpty());
    for (int y = 0; y < c.height; ++y) {
      uint32_t* row = picture->GetRow(y);
      for (int x = 0; x < c.width; ++x) row[x] = quarters[(y * 2 / c.height) * 2 + x * 2 / c.width];
    }
    ASSERT_TRUE(texture->SetData(std::move(picture)));
    const GLuint name = m_textures.Get(texture.Get(), maxSize);
    ASSERT_NE(name, 0u);

    m_renderer.ApplyStates(0);
    m_renderer.Clear(0xFF000000u, true);
    DGlUniforms& u = m_renderer.Uniforms();
    u.textureOn = 1;
    u.modulate = 0;
    m_renderer.BindTexture(name);
    // Two triangles over the output; texture row 0 (the picture's top) at the top.
    DGlVertex quad[6];
    const float corners[6][4] = {{-1, 1, 0, 0}, {1, 1, 1, 0},  {-1, -1, 0, 1},
                                 {1, 1, 1, 0},  {1, -1, 1, 1}, {-1, -1, 0, 1}};
    for (int i = 0; i < 6; ++i) {
      quad[i].x = corners[i][0], quad[i].y = corners[i][1];
      quad[i].u = corners[i][2], quad[i].v = corners[i][3];
    }
    m_renderer.DrawStream(GL_TRIANGLES, quad, 6);
    std::unique_ptr<LFB> frame = m_renderer.Grab(0, 0, kWidth, kHeight);
    ASSERT_TRUE(frame);
    for (int q = 0; q < 4; ++q) {
      const int x = (q % 2) * kWidth / 2 + kWidth / 4;
      const int y = (q / 2) * kHeight / 2 + kHeight / 4;
      const uint32_t want = quarters[q];
      ExpectColor(frame->GetPixel(x, y), (want >> 16) & 0xFF, (want >> 8) & 0xFF, want & 0xFF, 4, "quarter");
    }

    GLint width = 0, height = 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(width, c.uploadedWidth);
    EXPECT_EQ(height, c.uploadedHeight);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    m_textures.Clear();
    m_renderer.BindTexture(0);
  }
}

}  // namespace
}  // namespace qibo::test
