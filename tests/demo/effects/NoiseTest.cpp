#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/LFB.h"
#include "core/render/base/MaterialApi.h"
#include "core/scene/CTDrawable.h"
#include "demo/effects/CTFilmGrain.h"
#include "demo/effects/CTNoisyTexture.h"
#include "tests/demo/effects/EffectsFixture.h"

namespace {

using qibo::test::EffectsFixture;

class NoiseTest : public EffectsFixture {
 protected:
  static int DrawableCount() {
    auto* engine = qibo::Cast<DefEngineManager>(qibo::GetService<CTEngineManager>());
    return engine ? engine->GetDrawableCount() : -1;
  }
};

TEST_F(NoiseTest, NoisyTextureIsRandomGreyWithAlphaKeptAndRefusesEmptySizes) {
  struct Case {
    int width, height;
    bool made;
  };
  const Case cases[] = {{0, 10, false}, {10, 0, false}, {-3, 5, false},  {1, 1, true},
                        {7, 3, true},   {3, 7, true},   {256, 256, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    Ref<CTNoisyTexture> texture = qibo::Create<CTNoisyTexture>();
    ASSERT_TRUE(texture);
    std::srand(11);
    EXPECT_EQ(texture->Generate(c.width, c.height), c.made);
    if (!c.made) {
      EXPECT_EQ(texture->GetData(), nullptr);
      continue;
    }
    const LFB* lfb = texture->GetData();
    ASSERT_NE(lfb, nullptr);
    ASSERT_EQ(lfb->GetWidth(), c.width);
    ASSERT_EQ(lfb->GetHeight(), c.height);
    // The same random sequence, pixel by pixel in row order.
    std::srand(11);
    std::set<uint32_t> greys;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const uint32_t d = static_cast<uint32_t>(std::rand()) & 0xFFu;
        ASSERT_EQ(lfb->GetPixel(x, y), 0xFF000000u | d << 16 | d << 8 | d) << x << "," << y;
        greys.insert(d);
      }
    }
    if (c.width * c.height >= 64) {
      EXPECT_GT(greys.size(), 16u);
    }
  }

  // A refused size leaves earlier noise in place.
  Ref<CTNoisyTexture> texture = qibo::Create<CTNoisyTexture>();
  ASSERT_TRUE(texture->Generate(4, 2));
  EXPECT_FALSE(texture->Generate(0, 10));
  ASSERT_NE(texture->GetData(), nullptr);
  EXPECT_EQ(texture->GetData()->GetWidth(), 4);
}

TEST_F(NoiseTest, FilmGrainJoinsTheAlwaysDrawnListWhileShownAndJumpsItsNoise) {
  const int before = DrawableCount();
  ASSERT_GE(before, 0);
  {
    Ref<CTFilmGrain> owner = qibo::Create<CTFilmGrain>();
    ASSERT_TRUE(owner);
    CTFilmGrain& grain = *owner;
    EXPECT_TRUE(grain.Show());
    EXPECT_TRUE(grain.Show());
    EXPECT_TRUE(grain.IsShown());
    EXPECT_EQ(DrawableCount(), before + 1);
    ASSERT_NE(grain.GetDrawable(), nullptr);
    EXPECT_EQ(grain.GetDrawable()->GetShape(), grain.GetQuad());

    // The material is made once and found again by the next overlay.
    CTMaterial* material = qiBO_FindMaterial("NoiseMat");
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(grain.GetDrawable()->GetMaterial(), material);
    EXPECT_TRUE(material->m_useAlpha);
    ASSERT_NE(material->GetTexture(), nullptr);
    ASSERT_NE(material->GetTexture()->GetData(), nullptr);
    EXPECT_EQ(material->GetTexture()->GetData()->GetWidth(), 256);
    EXPECT_EQ(material->GetTexture()->GetData()->GetHeight(), 256);
    Ref<CTFilmGrain> second = qibo::Create<CTFilmGrain>();
    ASSERT_TRUE(second->Build());
    EXPECT_EQ(second->GetMaterial(), material);

    // Each jump puts the 2 x 2 repeat at a new whole-texel offset.
    const float offsets[4][2] = {{0, 0}, {0, 2}, {2, 2}, {2, 0}};
    const Vector3 corners[4] = {{-1, -1, 0}, {-1, 1, 0}, {1, 1, 0}, {1, -1, 0}};
    DRenderShape* quad = grain.GetQuad()->GetRenderShape();
    ASSERT_EQ(quad->GetVertexCount(), 4);
    ASSERT_EQ(quad->GetFaceCount(), 2);
    EXPECT_EQ(quad->GetState(), 0x1016u);
    std::srand(5);
    std::set<std::pair<float, float>> seen;
    for (int jump = 0; jump < 8; ++jump) {
      grain.GetQuad()->Jump();
      const DVertex* v = quad->GetVertices();
      const float du = v[0].u;
      const float dv = v[0].v;
      EXPECT_GE(du, 0.0f);
      EXPECT_LT(du, 1.0f);
      EXPECT_GE(dv, 0.0f);
      EXPECT_LT(dv, 1.0f);
      EXPECT_EQ(du * 256.0f, std::floor(du * 256.0f));
      for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(v[i].u, du + offsets[i][0]);
        EXPECT_FLOAT_EQ(v[i].v, dv + offsets[i][1]);
        EXPECT_EQ(quad->GetVectors()[v[i].vector], corners[i]);
        EXPECT_EQ(v[i].r + v[i].g + v[i].b, 3.0f);
      }
      seen.insert({du, dv});
    }
    EXPECT_GT(seen.size(), 4u);

    grain.Hide();
    EXPECT_FALSE(grain.IsShown());
    EXPECT_EQ(DrawableCount(), before);
    EXPECT_TRUE(grain.Show());
  }
  // Destroying a shown overlay takes it off the list.
  EXPECT_EQ(DrawableCount(), before);
}

}  // namespace
