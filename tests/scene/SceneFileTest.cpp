// Scene trees in chunk streams: whole subtrees round trip through files, one
// entity record reads from and writes to known bytes, and damaged files
// never leave a half-linked tree.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/geometry/CTBox.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Logging.h"
#include "core/object/ByteIO.h"
#include "core/persist/MemoryStream.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTLODGroup.h"
#include "core/scene/CTLight.h"
#include "tests/scene/SceneFixture.h"
#include "tests/support/Files.h"

namespace {

using qibo::test::SceneFixture;

class SceneFileTest : public SceneFixture {
 protected:
  // A tree of every kind of node, with something of its own set on each.
  CTGroup* MixedTree() {
    CTGroup* scene = Make<CTGroup>("scene");
    scene->MoveTo(Vector3(1, 2, 3));
    CTLODGroup* lod = Make<CTLODGroup>("lod", scene);
    lod->SetExtra(7);
    for (const float distance : {100.0f, 10.0f}) {
      CTDrawable* level = Make<CTDrawable>("level", lod);
      auto* box = Make<CTBox>("box");
      box->SetDimensions(Vector3(1, 2, distance));
      level->SetShape(box);
      level->SetMaterial(Make<CTMaterial>("paint"));
      lod->SetMaxDistance(level, distance);
    }
    CTCamera* camera = Make<CTCamera>("camera", scene);
    camera->SetFOV(45);
    camera->SetNearDist(2);
    camera->MoveTo(Vector3(0, 1, -5));
    camera->RotateToAz(0.25);
    CTLight* light = Make<CTLight>("sun", scene);
    light->SetColor(Vector3(1, 0.5f, 0.25f));
    CTEnvironment* environment = Make<CTEnvironment>("air", scene);
    environment->SetFogDensity(0.5f);
    environment->SetGravity(Vector3(0, -1, 0));
    CTDrawable* hidden = Make<CTDrawable>("hidden", environment);
    hidden->SetShape(Make<CTBox>("cube"));
    hidden->Hide();
    hidden->ScaleTo(3.0);
    return scene;
  }

  // Node by node: class, name, flags, local placement, children in order,
  // and what each kind of node keeps of its own.
  static void ExpectSame(CTEntity* a, CTEntity* b) {
    ASSERT_EQ(a->GetCD(), b->GetCD()) << a->GetName();
    SCOPED_TRACE(a->GetName());
    EXPECT_STREQ(a->GetName(), b->GetName());
    EXPECT_EQ(a->GetHints(), b->GetHints());
    const Vector3 probe(0.3f, -0.7f, 1.1f);
    const Vector3 pa = a->GetTransform().TransformPoint(probe), pb = b->GetTransform().TransformPoint(probe);
    EXPECT_NEAR(pa.x, pb.x, 1e-4f);
    EXPECT_NEAR(pa.y, pb.y, 1e-4f);
    EXPECT_NEAR(pa.z, pb.z, 1e-4f);
    if (auto* la = qibo::Cast<CTLODGroup>(a)) {
      auto* lb = static_cast<CTLODGroup*>(b);
      EXPECT_EQ(la->GetExtra(), lb->GetExtra());
      for (int i = 0; i < la->NumChildren(); ++i) EXPECT_EQ(la->GetChildDistance(i), lb->GetChildDistance(i));
    }
    if (auto* ca = qibo::Cast<CTCamera>(a)) {
      auto* cb = static_cast<CTCamera*>(b);
      EXPECT_EQ(ca->GetFOV(), cb->GetFOV());
      EXPECT_EQ(ca->GetNearDist(), cb->GetNearDist());
      EXPECT_EQ(ca->HasNearClip(), cb->HasNearClip());
    }
    if (auto* la = qibo::Cast<CTLight>(a)) {
      EXPECT_EQ(la->GetColor(), static_cast<CTLight*>(b)->GetColor());
    }
    if (auto* ea = qibo::Cast<CTEnvironment>(a)) {
      auto* eb = static_cast<CTEnvironment*>(b);
      EXPECT_EQ(ea->GetFogDensity(), eb->GetFogDensity());
      EXPECT_EQ(ea->GetGravity(), eb->GetGravity());
      EXPECT_EQ(ea->HasFog(), eb->HasFog());
      ASSERT_NE(eb->GetLight(), nullptr);
      EXPECT_EQ(eb->GetLight()->GetParent(), eb);
    }
    if (auto* da = qibo::Cast<CTDrawable>(a)) {
      auto* db = static_cast<CTDrawable*>(b);
      auto* sa = qibo::Cast<CTBox>(da->GetShape());
      auto* sb = qibo::Cast<CTBox>(db->GetShape());
      ASSERT_EQ(sa == nullptr, sb == nullptr);
      if (sa) {
        EXPECT_EQ(sa->GetDimensions(), sb->GetDimensions());
      }
      ASSERT_EQ(da->GetMaterial() == nullptr, db->GetMaterial() == nullptr);
      if (da->GetMaterial()) {
        EXPECT_STREQ(da->GetMaterial()->GetName(), db->GetMaterial()->GetName());
      }
    }
    auto* ga = qibo::Cast<CTGroup>(a);
    if (!ga) return;
    auto* gb = static_cast<CTGroup*>(b);
    ASSERT_EQ(ga->NumChildren(), gb->NumChildren());
    for (int i = 0; i < ga->NumChildren(); ++i) ExpectSame(ga->GetChild(i), gb->GetChild(i));
  }
};

}  // namespace

TEST_F(SceneFileTest, SavedTreeLoadsBackNodeByNode) {
  CTGroup* scene = MixedTree();
  CTGroup* holder = Make<CTGroup>("holder");
  ASSERT_TRUE(scene->SetParent(holder));  // any subtree, not only a root
  ASSERT_TRUE(scene->SaveTree("scene.qibo", 31));
  CTGroup* loaded = Make<CTGroup>("loaded");
  ASSERT_TRUE(loaded->LoadTree("scene.qibo"));
  ASSERT_EQ(loaded->NumChildren(), 1);  // the saved group, not its parent
  ExpectSame(scene, loaded->GetChild(0));
  ExpectConsistent(loaded);
  EXPECT_FALSE(loaded->LoadTree("missing.qibo"));
}

// A tree deeper than the reader's nesting limit saves and loads whole, in
// files and in memory images alike, every group keeping its children in
// order. Each level holds a leaf, the next level and another leaf.
TEST_F(SceneFileTest, DeepTreesLoadBackWhole) {
  const auto chain = [&](int depth) {
    CTGroup* top = Make<CTGroup>("level 0");
    CTGroup* g = top;
    for (int i = 1; i < depth; ++i) {
      Make<CTEntity>("first", g);
      g = Make<CTGroup>(QIBO_String::Format("level %d", i).c_str(), g);
      Make<CTEntity>("last", g->GetParent());
    }
    return top;
  };
  // The depth of the chain below top, checking each level's children.
  const auto depthOf = [](CTEntity* top) {
    int depth = 0;
    for (auto* g = qibo::Cast<CTGroup>(top); g; ++depth) {
      EXPECT_STREQ(g->GetName(), QIBO_String::Format("level %d", depth).c_str());
      auto* next = qibo::Cast<CTGroup>(g->GetChild(1));
      if (!next) break;
      EXPECT_EQ(g->NumChildren(), 3);
      EXPECT_STREQ(g->GetChild(0)->GetName(), "first");
      EXPECT_STREQ(g->GetChild(2)->GetName(), "last");
      g = next;
    }
    return depth + 1;
  };
  for (const int depth : {30, 70, 200}) {
    SCOPED_TRACE(depth);
    CTGroup* top = chain(depth);
    ASSERT_TRUE(top->SaveTree("deep.qibo", 31));
    CTGroup* loaded = Make<CTGroup>("loaded");
    ASSERT_TRUE(loaded->LoadTree("deep.qibo"));
    ASSERT_EQ(loaded->NumChildren(), 1);
    EXPECT_EQ(depthOf(loaded->GetChild(0)), depth);
    ExpectConsistent(loaded);

    std::vector<uint8_t> buffer(1 << 20);
    MemoryStream writer;
    ASSERT_TRUE(writer.CreateStream(buffer.data(), static_cast<int>(buffer.size())));
    writer.WriteObject(top);
    const uint32_t size = writer.GetPos();
    ASSERT_TRUE(writer.CloseStream());
    MemoryStream reader;
    ASSERT_TRUE(reader.Read(buffer.data(), static_cast<int>(size)));
    EXPECT_EQ(reader.GetObjectCount(), 3 * depth - 2);
    auto* read = qibo::Cast<CTGroup>(reader.GetObjectNo(0));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(depthOf(read), depth);
    ExpectConsistent(read);
  }
  EXPECT_FALSE(Logged("nested too deeply"));
}

// One entity record, byte for byte: read from hand-written bytes, written
// back to the same bytes (memory medium, level of detail 2).
TEST_F(SceneFileTest, EntityRecordMatchesItsBytes) {
  const float half = static_cast<float>(std::sin(std::numbers::pi / 4));
  std::vector<uint8_t> bytes;
  qibo::ByteWriter w(bytes);
  auto start = [&](uint32_t id) {
    w.U32(id);
    const size_t at = w.Size();
    w.U32(0);
    return at;
  };
  auto end = [&](size_t at) { w.PatchU32(at, static_cast<uint32_t>(w.Size() - at - 4)); };
  const size_t stream = start(qibo::FourCC("qibo"));
  const size_t slod = start(qibo::FourCC("slod"));
  w.U32(2);
  end(slod);
  const size_t object = start(1);
  w.U32(1);           // stream ID
  w.U32(0x5AB8F58E);  // CTEntity
  w.U32(0);           // no network ID
  w.U32(0);           // library "" (length-prefixed)
  const size_t name = start(0x3F060351);
  w.U32(5);
  w.Text("Probe", 5);
  w.U8(0);  // not registered
  end(name);
  const size_t parent = start(0x5AB8F580);
  w.U32(0);           // parent: none
  w.U32(0);           // controller: none
  w.U32(0x01000002);  // hidden, cull hint
  end(parent);
  const size_t volumes = start(0x5AB8F582);
  w.U32(0);
  w.U32(0);
  end(volumes);
  const size_t transform = start(0x5AB8F581);
  w.U32(0x33);  // position and rotation, with data
  for (const float v : {1.0f, 2.0f, 3.0f}) w.F32(v);
  for (const float v : {0.0f, half, 0.0f, half}) w.F32(v);  // az 90 degrees
  end(transform);
  end(object);
  end(stream);

  MemoryStream reader;
  ASSERT_TRUE(reader.Read(bytes.data(), static_cast<int>(bytes.size())));
  ASSERT_EQ(reader.GetObjectCount(), 1);
  auto* entity = qibo::Cast<CTEntity>(reader.GetObjectNo(0));
  ASSERT_NE(entity, nullptr);
  EXPECT_STREQ(entity->GetName(), "Probe");
  EXPECT_TRUE(entity->IsHidden());
  EXPECT_EQ(entity->GetHints() & CTEntity::kHintMask, CTEntity::kHintCull);
  EXPECT_EQ(entity->GetPosition(), Vector3(1, 2, 3));
  EXPECT_NEAR(entity->GetAz(), std::numbers::pi / 2, 1e-5);

  std::vector<uint8_t> written(bytes.size() + 64);
  MemoryStream writer;
  writer.SetLevelOfDetail(2);
  ASSERT_TRUE(writer.CreateStream(written.data(), static_cast<int>(written.size())));
  writer.WriteObject(entity);
  const uint32_t size = writer.GetPos();
  ASSERT_TRUE(writer.CloseStream());
  written.resize(size);
  EXPECT_EQ(written, bytes);
}

// A position or deformation that is not finite is reset with a warning
// when read, so that it never reaches the subtree's world transforms.
TEST_F(SceneFileTest, NonFiniteTransformPartsAreReset) {
  CTGroup* group = Make<CTGroup>("moved");
  group->MoveTo(Vector3(1, 2, 3));
  group->ScaleTo(Vector3(2, 3, 4));
  Make<CTEntity>("child", group)->MoveTo(Vector3(1, 1, 1));
  std::vector<uint8_t> buffer(4096);
  MemoryStream writer;
  ASSERT_TRUE(writer.CreateStream(buffer.data(), static_cast<int>(buffer.size())));
  writer.WriteObject(group);
  const uint32_t size = writer.GetPos();
  ASSERT_TRUE(writer.CloseStream());
  const std::string image(buffer.begin(), buffer.begin() + size);
  const size_t transform = image.find("\x81\xF5\xB8\x5A");  // the group's transform chunk
  ASSERT_NE(transform, std::string::npos);
  ASSERT_EQ(qibo::GetLE32(buffer.data() + transform + 8), 0x55u);  // position and deformation, with data
  const size_t position = transform + 12, matrix = position + 12;
  const float nan = std::nanf(""), inf = INFINITY;
  const struct Case {
    size_t at;
    float value;
    bool positionKept, deformationKept;
  } cases[] = {
      {position, nan, false, true},    {position + 8, -inf, false, true}, {matrix, nan, true, false},
      {matrix + 32, inf, true, false}, {position + 4, 5.0f, true, true},  // a sound value for comparison
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at - position);
    std::vector<uint8_t> damaged(buffer.begin(), buffer.begin() + size);
    qibo::PutLEFloat(damaged.data() + c.at, c.value);
    const int before = qiBO_GetErrorsCount();
    MemoryStream reader;
    ASSERT_TRUE(reader.Read(damaged.data(), static_cast<int>(size)));
    auto* read = qibo::Cast<CTGroup>(reader.GetObjectNo(0));
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->NumChildren(), 1);
    EXPECT_EQ(read->GetTransform().HasPosition(), c.positionKept);
    EXPECT_EQ(read->GetTransform().HasDeformation(), c.deformationKept);
    bool warned = false;
    for (int i = before; i < qiBO_GetErrorsCount(); ++i)
      warned = warned || std::string(qiBO_GetErrorNo(i)->message).find("not finite") != std::string::npos;
    EXPECT_EQ(warned, !c.positionKept || !c.deformationKept);
    read->GetChild(0)->UpdateWorldSpace();
    const Vector3 world = read->GetChild(0)->GetWorldTransform().GetPosition();
    EXPECT_TRUE(std::isfinite(world.x) && std::isfinite(world.y) && std::isfinite(world.z));
  }
}

// A scene file cut anywhere loads what came before the cut or nothing:
// every loaded tree is consistent, whatever the cut.
TEST_F(SceneFileTest, CutFilesNeverLeaveHalfLinkedTrees) {
  ASSERT_TRUE(MixedTree()->SaveTree("whole.qibo", 31));
  const std::string whole = qibo::test::GetFile("whole.qibo");
  ASSERT_GT(whole.size(), 100u);
  int complete = 0;
  for (size_t cut = 0; cut <= whole.size(); cut += 7) {
    qibo::test::PutFile("cut.qibo", whole.substr(0, cut));
    Ref<CTGroup> into = qibo::Create<CTGroup>();
    into->LoadTree("cut.qibo");
    ExpectConsistent(into.Get());
    if (into->NumChildren() == 1 && qibo::Cast<CTGroup>(into->GetChild(0))->NumChildren() == 4) ++complete;
    if (HasFailure()) FAIL() << "cut at " << cut;
  }
  EXPECT_GE(complete, 1);
}
