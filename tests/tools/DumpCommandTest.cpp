// qibo dump on a scene file: class and object names, each entity's local
// position and rotation, and the keys of its controller's tracks.
#include <gtest/gtest.h>

#include <numbers>
#include <string>

#include "core/kernel/Kernel.h"
#include "core/motion/CTKeyFrameController.h"
#include "core/motion/CTVectorTrack.h"
#include "core/object/Ref.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTGroup.h"
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
