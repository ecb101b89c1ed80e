#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/kernel/Kernel.h"
#include "core/persist/MemoryStream.h"
#include "core/render/DefMaterialManager.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/MaterialApi.h"
#include "tests/render/RenderFixture.h"

namespace qibo::test {
namespace {

class MaterialTest : public RenderFixture {
 protected:
  void SetUp() override {
    RenderFixture::SetUp();
    m_materials = qibo::GetService<DefMaterialManager>();
    ASSERT_TRUE(m_materials && m_materials->IsStarted());
  }

  DefMaterialManager* m_materials = nullptr;
};

TEST_F(MaterialTest, Ids_TakeTheLowestFreeEntry) {
  ASSERT_STREQ(qiBO_GetDefaultMaterial()->GetName(), "Default");
  EXPECT_EQ(qiBO_GetDefaultMaterial()->GetMatID(), 0);
  CTMaterial* made[3];
  for (CTMaterial*& m : made) {
    m = Make<CTMaterial>();
    m->RegisterWithService();
  }
  EXPECT_EQ(made[0]->GetMatID(), 1);
  EXPECT_EQ(made[2]->GetMatID(), 3);
  made[1]->UnregisterWithService();
  EXPECT_EQ(made[1]->GetMatID(), -1);
  EXPECT_EQ(m_materials->GetMaterial(2), nullptr);
  auto* late = Make<CTMaterial>();
  late->RegisterWithService();
  EXPECT_EQ(late->GetMatID(), 2);
  EXPECT_EQ(m_materials->GetMaterialCount(), 4);
}

TEST_F(MaterialTest, Names_AreFoundInAnyCaseLowestIdFirst) {
  bool existed = true;
  CTMaterial* red = qiBO_CreateMaterial("Red", &existed);
  ASSERT_TRUE(red);
  EXPECT_FALSE(existed);
  EXPECT_EQ(qiBO_CreateMaterial("RED", &existed), red);
  EXPECT_TRUE(existed);
  auto* twin = Make<CTMaterial>("red");
  twin->RegisterWithService();
  EXPECT_EQ(qiBO_FindMaterial("rEd"), red);
  EXPECT_EQ(qiBO_FindMaterial("Blue"), nullptr);
}

TEST_F(MaterialTest, Alpha_FollowsTheValueAndTheTexturesAlphaChannel) {
  auto* material = Make<CTMaterial>();
  material->SetAlpha(0.99f);
  EXPECT_TRUE(material->m_useAlpha);
  material->SetAlpha(1.0f);
  EXPECT_FALSE(material->m_useAlpha);
  // Only alpha deeper than one bit keeps UseAlpha on by itself: one bit is
  // a cut-out, drawn with the alpha test, not blended.
  for (const int depth : {8, 4, 1, 0}) {
    SCOPED_TRACE(depth);
    Ref<CTTexture> texture = qibo::Create<CTTexture>();
    texture->SetAlphaDepth(depth);
    auto* fresh = Make<CTMaterial>();
    fresh->SetTexture(texture.Get());
    EXPECT_EQ(fresh->m_useAlpha, depth > 1);
    material->SetTexture(texture.Get());
    material->SetAlpha(1.0f);
    EXPECT_EQ(material->m_useAlpha, depth > 1);
  }
}

TEST_F(MaterialTest, Stream_WritesTheSwitchWordAndReadsEverythingBack) {
  auto* source = Make<CTMaterial>("Shiny");
  source->SetSwitches(0xFFFFFFFFu);
  source->m_depthBias = 3;
  source->m_alpha = 0.5;
  source->m_power = 7.0;
  source->m_extra = 42;
  source->m_emissive = Vector3(0.1f, 0.2f, 0.3f);
  source->m_specular = Vector3(0.4f, 0.5f, 0.6f);
  EXPECT_EQ(source->GetSwitches(), 0x3BFu);

  std::vector<uint8_t> bytes(4096);
  MemoryStream writer;
  writer.SetLevelOfDetail(2);
  ASSERT_TRUE(writer.CreateStream(bytes.data(), static_cast<int>(bytes.size())));
  writer.WriteObject(source);
  const uint32_t size = writer.GetPos();
  ASSERT_TRUE(writer.CloseStream());
  bytes.resize(size);

  MemoryStream reader;
  ASSERT_TRUE(reader.Read(bytes.data(), static_cast<int>(bytes.size())));
  ASSERT_EQ(reader.GetObjectCount(), 1);
  auto* copy = qibo::Cast<CTMaterial>(reader.GetObjectNo(0));
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->GetSwitches(), 0x3BFu);
  EXPECT_EQ(copy->m_depthBias, 3);
  EXPECT_EQ(copy->m_alpha, 0.5);
  EXPECT_EQ(copy->m_power, 7.0);
  EXPECT_EQ(copy->m_extra, 42);
  EXPECT_EQ(copy->m_emissive, source->m_emissive);
  EXPECT_EQ(copy->m_specular, source->m_specular);
  EXPECT_EQ(copy->GetTexture(), nullptr);
}

}  // namespace
}  // namespace qibo::test
