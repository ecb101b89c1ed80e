#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "core/geometry/CTBox.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "demo/effects/ConwayField.h"
#include "tests/demo/effects/EffectsFixture.h"

namespace {

using qibo::test::EffectsFixture;
using Cells = std::vector<std::pair<int, int>>;  // (column, row)

// An 8 x 8 board (exponent 3).
constexpr int kExp = 3;
constexpr int kSide = 8;

std::vector<uint8_t> Board(const Cells& live) {
  std::vector<uint8_t> board(kSide * kSide, 0);
  for (const auto& [x, y] : live) board[y * kSide + x] = 1;
  return board;
}

Cells LiveCells(const std::vector<uint8_t>& board) {
  Cells live;
  for (int i = 0; i < kSide * kSide; ++i)
    if (board[i]) live.emplace_back(i % kSide, i / kSide);
  std::sort(live.begin(), live.end());
  return live;
}

std::vector<uint8_t> Step(const std::vector<uint8_t>& board) {
  std::vector<uint8_t> next(board.size(), 7);
  ConwayField::NextGeneration(board.data(), next.data(), kExp);
  return next;
}

class ConwayFieldTest : public EffectsFixture {
 protected:
  void SetUp() override {
    EffectsFixture::SetUp();
    m_parent = qibo::Create<CTGroup>();
    m_field = qibo::Create<ConwayField>();
    ASSERT_TRUE(m_parent && m_field);
  }
  void TearDown() override {
    m_field.Reset();
    m_parent.Reset();
    EffectsFixture::TearDown();
  }

  Ref<CTGroup> m_parent;
  Ref<ConwayField> m_field;
};

TEST_F(ConwayFieldTest, RuleCountsEightNeighboursAcrossTheEdges) {
  struct Case {
    const char* name;
    Cells before;
    Cells after;  // sorted by (column, row)
  };
  const Case cases[] = {
      {"empty stays empty", {}, {}},
      {"lonely cell dies", {{3, 3}}, {}},
      {"block is still", {{2, 2}, {3, 2}, {2, 3}, {3, 3}}, {{2, 2}, {2, 3}, {3, 2}, {3, 3}}},
      // The centre has four live neighbours and dies; the corners of the
      // plus keep two or three; the cells between them see three and are born.
      {"crowded centre dies",
       {{3, 3}, {2, 3}, {4, 3}, {3, 2}, {3, 4}},
       {{2, 2}, {2, 3}, {2, 4}, {3, 2}, {3, 4}, {4, 2}, {4, 3}, {4, 4}}},
      {"dead cell with three is born", {{1, 1}, {2, 1}, {3, 2}}, {{2, 1}, {2, 2}}},
      {"wraps across every edge", {{7, 7}, {0, 7}, {7, 0}}, {{0, 0}, {0, 7}, {7, 0}, {7, 7}}},
      {"blinker across the left edge", {{7, 4}, {0, 4}, {1, 4}}, {{0, 3}, {0, 4}, {0, 5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LiveCells(Step(Board(c.before))), c.after);
  }
  // A blinker has period 2, also when it spans the top and bottom rows.
  for (const Cells& blinker : {Cells{{3, 4}, {4, 4}, {5, 4}}, Cells{{2, 7}, {2, 0}, {2, 1}}}) {
    const std::vector<uint8_t> start = Board(blinker);
    const std::vector<uint8_t> once = Step(start);
    EXPECT_NE(once, start);
    EXPECT_EQ(LiveCells(once).size(), 3u);
    EXPECT_EQ(Step(once), start);
  }
}

TEST_F(ConwayFieldTest, BuildLaysOutOneCubePerCellWithTheStartPattern) {
  EXPECT_FALSE(m_field->Build(nullptr));
  ASSERT_TRUE(m_field->Build(m_parent.Get()));
  EXPECT_FALSE(m_field->Build(m_parent.Get()));
  const int n = m_field->GetSide();
  ASSERT_EQ(n, 32);
  ASSERT_EQ(m_field->GetCellCount(), 1024);
  const int centre = m_field->GetCentreCell();
  EXPECT_EQ(centre, 16 * 32 + 16);
  for (int i = 0; i < 1024; ++i) {
    CTDrawable* cube = m_field->GetCube(i);
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(cube->GetParent(), m_parent.Get());
    EXPECT_EQ(cube->GetShape(), static_cast<CTShape*>(m_field->GetBox()));
    EXPECT_EQ(cube->GetPosition(),
              Vector3(static_cast<float>(i % n - 16), 0, static_cast<float>(i / n - 16)));
    EXPECT_EQ(cube->IsHidden(), !m_field->IsAlive(i)) << i;
  }
  const Cells pattern = {{7, 4}, {8, 4}, {9, 4}, {7, 5}, {8, 5}, {9, 5},  {7, 7},
                         {9, 7}, {7, 8}, {9, 8}, {7, 9}, {9, 9}, {16, 16}};
  for (const auto& [x, y] : pattern) EXPECT_TRUE(m_field->IsAlive(y * n + x)) << x << "," << y;
  CTMaterial* mid = m_field->GetCube(centre)->GetMaterial();
  CTMaterial* plain = m_field->GetCube(0)->GetMaterial();
  ASSERT_NE(mid, nullptr);
  ASSERT_NE(plain, nullptr);
  EXPECT_STREQ(mid->GetName(), "ConwayMatMid");
  EXPECT_STREQ(plain->GetName(), "ConwayMat");
  EXPECT_TRUE(mid->m_doubleSided);
  EXPECT_FALSE(plain->m_doubleSided);

  // A second field finds the same materials; clearing takes the cubes away.
  Ref<ConwayField> other = qibo::Create<ConwayField>();
  ASSERT_TRUE(other->SetExponent(3));
  ASSERT_TRUE(other->Build(m_parent.Get()));
  EXPECT_FALSE(other->SetExponent(4));
  EXPECT_EQ(other->GetCellCount(), 64);
  EXPECT_EQ(other->GetCube(0)->GetMaterial(), plain);
  other.Reset();
  for (int i = 0; i < 1024; ++i) EXPECT_EQ(m_field->GetCube(i)->GetParent(), m_parent.Get());
}

TEST_F(ConwayFieldTest, GenerationsRunEvery400MsAndKeepTheCentreAlive) {
  ASSERT_TRUE(m_field->Build(m_parent.Get()));
  const int cells = m_field->GetCellCount();
  const int centre = m_field->GetCentreCell();
  m_field->Start();
  for (int generation = 0; generation < 3; ++generation) {
    const std::vector<uint8_t> before(m_field->GetCurrent(), m_field->GetCurrent() + cells);
    Tick(399);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), m_field->GetCurrent()));
    Tick(1);
    // previous is the old generation with exactly one cell flipped, and the
    // new one follows from it by the rule, the centre forced alive.
    const uint8_t* previous = m_field->GetPrevious();
    int flipped = 0;
    for (int i = 0; i < cells; ++i) flipped += previous[i] != before[i] ? 1 : 0;
    EXPECT_EQ(flipped, 1);
    std::vector<uint8_t> expected(cells);
    ConwayField::NextGeneration(previous, expected.data(), 5);
    expected[centre] = 1;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), m_field->GetCurrent()));
  }
  m_field->Stop();
  const std::vector<uint8_t> stopped(m_field->GetCurrent(), m_field->GetCurrent() + cells);
  Tick(400);
  EXPECT_TRUE(std::equal(stopped.begin(), stopped.end(), m_field->GetCurrent()));
}

TEST_F(ConwayFieldTest, CubesGrowWhenAliveAndShrinkAwayWhenDead) {
  ASSERT_TRUE(m_field->Build(m_parent.Get()));
  struct Case {
    const char* name;
    bool alive;
    float start;
    int32_t elapsed;  // in updates of 16 ms and one for the rest
    float expected;
    bool hidden;
  };
  const Case cases[] = {
      {"born cube half grown", true, 0.1f, 400, 0.5f, false},
      {"born cube fully grown in 0.8 s", true, 0.1f, 800, 0.9f, false},
      {"grown cube stops at 0.9", true, 0.1f, 2000, 0.9f, false},
      {"live cube above 0.9 is left alone", true, 1.0f, 500, 1.0f, false},
      {"dying cube still shown", false, 0.9f, 400, 0.5f, false},
      {"dead cube hidden below 0.1", false, 0.55f, 500, 0.086f, true},
      {"dead cube at 0.1 is left alone", false, 0.1f, 500, 0.1f, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int cell = 3;
    ASSERT_NE(cell, m_field->GetCentreCell());
    m_field->SetAlive(cell, c.alive);
    m_field->SetScale(cell, c.start);
    CTDrawable* cube = m_field->GetCube(cell);
    if (c.start > 0.1f)
      cube->Show();
    else
      cube->Hide();
    int32_t left = c.elapsed;
    while (left > 0) {
      const int32_t dt = std::min<int32_t>(16, left);
      m_field->Animate(dt);
      left -= dt;
    }
    EXPECT_NEAR(m_field->GetScale(cell), c.expected, 1e-4);
    EXPECT_EQ(cube->IsHidden(), c.hidden);
    EXPECT_NEAR(cube->GetTransform().GetDeformationMatrix().m[0][0], m_field->GetScale(cell), 1e-5);
  }
  // Every cube turns with the elapsed time, about one of its angles.
  const double az = m_field->GetCube(0)->GetAz();
  m_field->Animate(250);
  EXPECT_NEAR(m_field->GetCube(0)->GetAz() - az, 0.25, 1e-5);
}

}  // namespace
