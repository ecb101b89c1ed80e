// qibo dump on a scene file: class and object names, each entity's local
// position and rotation, and the keys of its controller's tracks.
#include <gtest/gtest.h>

#include <numbers>
#include <string>
#include <vector>

#include "core/kernel/Kernel.h"
#include "core/motion/CTKeyFrameController.h"
#include "core/motion/CTVectorTrack.h"
#include "core/object/Ref.h"
#include "core/persist/FileStream.h"
#include "core/persist/MemoryStream.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTGroup.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ToolProcess.h"

TEST(DumpCommandTest, SceneFilesReadAsTrees) {
  qibo::test::TempDir dir;
  ASSERT_TRUE(dir.Enter());
  {
    Ref<CTGroup> scene = qibo::Create<CTGroup>();
    scene->SetName("world");
    Ref<CTCamera> camera = qibo::Create<CTCamera>();
    camera->SetName("eye");
    camera->SetParent(scene.Get());
    camera->MoveTo(Vector3(1, 2, 3));
    camera->RotateToAz(std::numbers::pi / 2);
    Ref<CTKeyFrameController> flight = qibo::Create<CTKeyFrameController>();
    flight->GetPositionTrack()->SetValue(0, Vector3(1, 2, 3));
    flight->GetPositionTrack()->SetValue(100, Vector3(4, 5, 6));
    camera->SetController(flight.Get());
    ASSERT_TRUE(scene->SaveTree("scene.qibo", 31));
  }
  qiBO_Deinit();
  std::string output;
  ASSERT_EQ(qibo::test::RunTool({"dump", "scene.qibo"}, &output), 0) << output;
  for (const char* expected :
       {"CTGroup", "CTCamera", "name \"world\"", "name \"eye\"", "position (1, 2, 3)",
        "az 90.0 el 0.0 tw 0.0 deg", "vector track, 2 keys", "key 0 ms (1, 2, 3)", "key 100 ms (4, 5, 6)"})
    EXPECT_NE(output.find(expected), std::string::npos) << expected << "\n" << output;
}

namespace {

// A group's object chunk holding two branches of group objects nested 70
// deep, as older builds wrote deep trees: the depth limit makes each branch
// a problem under the right string encoding, while the wrong one fails at
// the first object header, one problem in all.
void WriteDeepObject(QIBO_Stream& stream, CTGroup* group) {
  int id = 1;
  stream.StartChunk(QIBO_Stream::kObjectChunk);
  stream.WriteInt(id++);
  stream.WriteObjectChunkHeader(group);
  for (int branch = 0; branch < 2; ++branch) {
    for (int i = 0; i < 70; ++i) {
      stream.StartChunk(QIBO_Stream::kObjectChunk);
      stream.WriteInt(id++);
      stream.WriteObjectChunkHeader(group);
    }
    for (int i = 0; i < 70; ++i) stream.EndChunk();
  }
  stream.EndChunk();
}

}  // namespace

// Without an option the dump takes the string encoding the stream itself
// shows, not the one under which fewer problems happen to be counted: an
// encoding that cannot even read the first object header explains nothing.
TEST(DumpCommandTest, StringEncodingFollowsTheStreamsOwnEvidence) {
  qibo::test::TempDir dir;
  ASSERT_TRUE(dir.Enter());
  {
    Ref<CTGroup> group = qibo::Create<CTGroup>();
    FileStream file;
    ASSERT_TRUE(file.CreateStream("file.qibo"));
    WriteDeepObject(file, group.Get());
    ASSERT_TRUE(file.CloseStream());
    std::vector<uint8_t> buffer(65536);
    MemoryStream memory;
    ASSERT_TRUE(memory.CreateStream(buffer.data(), static_cast<int>(buffer.size())));
    WriteDeepObject(memory, group.Get());
    const uint32_t size = memory.GetPos();
    ASSERT_TRUE(memory.CloseStream());
    qibo::test::PutFile("memory.qibo", std::string(buffer.begin(), buffer.begin() + size));
  }
  qiBO_Deinit();
  const struct Case {
    const char* file;
    const char* encoding;
  } cases[] = {{"file.qibo", "strings NUL-terminated (file)"},
               {"memory.qibo", "strings length-prefixed (memory)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string output;
    EXPECT_EQ(qibo::test::RunTool({"dump", c.file}, &output), 1) << output;  // the deep branches
    EXPECT_NE(output.find(c.encoding), std::string::npos) << output;
    EXPECT_NE(output.find("CTGroup"), std::string::npos) << output;
    EXPECT_EQ(output.find("does not fit"), std::string::npos) << output;
    EXPECT_NE(output.find("2 problems found"), std::string::npos) << output;
  }
}
