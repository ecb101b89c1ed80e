// Tracks: finding keys, the out-of-range rules, interpolation, editing, and
// key chunks read from streams that cannot be trusted.
#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "core/motion/CTFloatTrack.h"
#include "core/motion/CTQuatTrack.h"
#include "core/motion/CTVectorTrack.h"
#include "core/object/ByteIO.h"
#include "core/persist/MemoryStream.h"
#include "tests/motion/MotionFixture.h"

namespace {

using qibo::test::ExpectNear;
using qibo::test::ExpectSameRotation;
using TrackTest = qibo::test::MotionFixture;

constexpr double kPi = std::numbers::pi;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A float track whose value at each key is the key's time: a value read
// back is the local time the track used. Keys are set in the order given.
Ref<CTFloatTrack> TimeTrack(const std::vector<int32_t>& times) {
  Ref<CTFloatTrack> track = qibo::Create<CTFloatTrack>();
  for (int32_t t : times) track->SetValue(t, static_cast<float>(t));
  return track;
}

std::vector<int32_t> Times(const CTTrack& track) {
  std::vector<int32_t> times;
  for (int i = 0; i < track.GetKeyCount(); ++i) times.push_back(track.GetKeyTime(i));
  return times;
}

Quaternion AboutY(double angle) { return Quaternion::RotationAz(static_cast<float>(angle)); }

TEST_F(TrackTest, FindKey_BisectsAtBeforeAndAfterKeys) {
  std::vector<int32_t> many;
  for (int32_t t = 1480; t >= -500; t -= 20) many.push_back(t);  // set last to first
  for (const std::vector<int32_t>& set : {std::vector<int32_t>{100}, {200, 100}, many}) {
    Ref<CTFloatTrack> track = TimeTrack(set);
    const std::vector<int32_t> times = Times(*track);
    ASSERT_TRUE(std::is_sorted(times.begin(), times.end()));
    const int last = static_cast<int>(set.size()) - 1;
    ASSERT_EQ(times.size(), set.size());
    for (int32_t t : {times.front() - 1, INT32_MIN}) EXPECT_EQ(track->FindKey(t), -1);
    for (int32_t t : {times.back() + 1, INT32_MAX}) EXPECT_EQ(track->FindKey(t), last);
    // Forward (where the last search helps), then backward.
    for (int pass = 0; pass < 2; ++pass) {
      for (int j = 0; j <= last; ++j) {
        const int i = pass == 0 ? j : last - j;
        const int32_t t = times[static_cast<size_t>(i)];
        EXPECT_EQ(track->FindKey(t), i);
        EXPECT_EQ(track->FindKeyAt(t), i);
        EXPECT_EQ(track->FindKey(t + 1), i);
        EXPECT_EQ(track->FindKeyAt(t + 1), -1);
      }
    }
    EXPECT_EQ(track->GetTimeRange(), (DRange<int32_t>{times.front(), times.back()}));
  }
}

TEST_F(TrackTest, OutOfRange_EachRuleOnBothSides) {
  struct Row {
    int32_t first, last;  // keys
    outofrange_t rule;
    int32_t t;
    float expected;
  };
  // clang-format off
  const Row rows[] = {
      {0, 1000, 0, -500, 0},  {0, 1000, 0, 2500, 1000}, {0, 1000, 4, -500, 0}, {0, 1000, 4, 2500, 1000},
      {0, 1000, 9, -1, 0},    {0, 1000, -2, 1001, 1000},  // any other rule holds
      {0, 1000, 1, 2500, 500}, {0, 1000, 2, -300, 700}, {0, 1000, 5, -1000, 0}, {0, 1000, 1, 3000, 0},
      {1000, 3000, 1, 3500, 1500}, {1000, 3000, 2, 500, 2500},
      {0, 1000, 3, 1500, 500}, {0, 1000, 3, 2500, 500}, {0, 1000, 3, 2000, 0}, {0, 1000, 3, -1, 1},
      {0, 1000, 3, -300, 300}, {0, 1000, 3, -1000, 1000}, {0, 1000, 3, -1300, 700},
      {1000, 3000, 3, 3500, 2500}, {1000, 3000, 3, 500, 1500},
      {-1000, 1000, 1, INT32_MAX, -353}, {-1000, 1000, 3, INT32_MIN, 352},  // no overflow
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "rule " << row.rule << " at " << row.t << " keys " << row.first << ".."
                                    << row.last);
    Ref<CTFloatTrack> track = TimeTrack({row.first, row.last});
    const bool before = row.t < row.first;
    // The rule on its own side gives the value; on the other side, nothing.
    track->SetOutOfRangeBefore(before ? row.rule : 0);
    track->SetOutOfRangeAfter(before ? 0 : row.rule);
    EXPECT_FLOAT_EQ(track->GetValue(row.t), row.expected);
    track->SetOutOfRangeBefore(before ? 0 : row.rule);
    track->SetOutOfRangeAfter(before ? row.rule : 0);
    EXPECT_FLOAT_EQ(track->GetValue(row.t), static_cast<float>(before ? row.first : row.last));
  }
}

TEST_F(TrackTest, Interpolation_MatchesHandComputedValues) {
  Ref<CTVectorTrack> path = qibo::Create<CTVectorTrack>();
  path->SetValue(0, {0, 150, -80});
  path->SetValue(10000, {0, 150, -40});
  EXPECT_EQ(path->GetValue(5000), Vector3(0, 150, -60));
  EXPECT_EQ(path->GetValue(2500), Vector3(0, 150, -70));
  EXPECT_EQ(path->GetValue(20000), Vector3(0, 150, -40));
  // Keys at the ends of the float range: the difference would overflow a
  // float, the result does not.
  path->SetValue(0, {-FLT_MAX, FLT_MAX, 0});
  path->SetValue(10000, {FLT_MAX, -FLT_MAX, 0});
  EXPECT_EQ(path->GetValue(5000), Vector3(0, 0, 0));
  ExpectNear(path->GetValue(7500) / FLT_MAX, {0.5f, -0.5f, 0});

  const Quaternion q90 = AboutY(kPi / 2);
  const Quaternion minus90 = {-q90.x, -q90.y, -q90.z, -q90.w};
  struct Row {
    const char* what;
    Quaternion a, b;
    double fraction;
    Quaternion expected;
  };
  const Row rows[] = {
      {"quarter turn", Quaternion::Identity(), q90, 0.5, AboutY(kPi / 4)},
      {"a quarter of it", Quaternion::Identity(), q90, 0.25, AboutY(kPi / 8)},
      // Half a turn has two shortest arcs; the key's sign picks one.
      {"half turn", Quaternion::Identity(), {0, 1, 0, 0}, 0.5, AboutY(kPi / 2)},
      {"half turn, other way", Quaternion::Identity(), {0, -1, 0, 0}, 0.5, AboutY(-kPi / 2)},
      {"opposite sign", Quaternion::Identity(), minus90, 0.5, AboutY(kPi / 4)},
      {"one rotation, both signs", q90, minus90, 0.3, q90},
      {"three quarters: the short way", Quaternion::Identity(), AboutY(1.5 * kPi), 0.5, AboutY(-kPi / 4)},
      {"keys not of unit length", {0, 0, 0, 3}, {0, 2 * q90.y, 0, 2 * q90.w}, 0.5, AboutY(kPi / 4)},
      {"nearly parallel", Quaternion::Identity(), AboutY(0.1), 0.5, AboutY(0.05)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Ref<CTQuatTrack> track = qibo::Create<CTQuatTrack>();
    ASSERT_TRUE(track->SetValue(1000, row.a));
    ASSERT_TRUE(track->SetValue(3000, row.b));
    ExpectSameRotation(track->GetValue(1000 + static_cast<int32_t>(row.fraction * 2000)), row.expected);
  }
}

TEST_F(TrackTest, Editing_KeepsOneKeyPerTimeAndTheRangeOnTheEnds) {
  Ref<CTVectorTrack> track = qibo::Create<CTVectorTrack>();
  EXPECT_EQ(track->GetValue(5), Vector3());
  EXPECT_EQ(qibo::Create<CTQuatTrack>()->GetValue(5).w, 1.0f);
  EXPECT_EQ(track->GetTimeRange(), (DRange<int32_t>{0, 0}));
  track->SetValue(100, {1, 0, 0});
  track->SetValue(100, {2, 0, 0});
  ASSERT_EQ(track->GetKeyCount(), 1);
  // A lone key holds at every time, under every rule.
  for (outofrange_t rule : {0, 1, 3}) {
    track->SetOutOfRangeBefore(rule);
    track->SetOutOfRangeAfter(rule);
    for (int32_t t : {INT32_MIN, 0, 100, 101, INT32_MAX}) EXPECT_EQ(track->GetValue(t), Vector3(2, 0, 0));
  }
  // Values a track cannot hold are refused, and nothing changes.
  EXPECT_FALSE(track->SetValue(100, {kNaN, 0, 0}));
  EXPECT_FALSE(track->SetValue(200, {0, std::numeric_limits<float>::infinity(), 0}));
  EXPECT_TRUE(Logged("key at 200 ms refused"));
  EXPECT_FALSE(qibo::Create<CTQuatTrack>()->SetValue(0, {0, 0, 0, 0}));
  EXPECT_EQ(Times(*track), std::vector<int32_t>{100});
  EXPECT_EQ(track->GetKeyValue(0), Vector3(2, 0, 0));
  EXPECT_EQ(track->GetKeyValue(1), Vector3());

  struct Row {
    void (*edit)(CTTrack*);
    std::vector<int32_t> left;
  };
  const Row rows[] = {
      {[](CTTrack* t) { EXPECT_TRUE(t->DeleteKey(0)); }, {20, 30, 40, 50}},
      {[](CTTrack* t) { EXPECT_TRUE(t->DeleteKey(4)); }, {10, 20, 30, 40}},
      {[](CTTrack* t) { EXPECT_FALSE(t->DeleteKey(5)); }, {10, 20, 30, 40, 50}},
      {[](CTTrack* t) { EXPECT_TRUE(t->DeleteKeyAt(30)); }, {10, 20, 40, 50}},
      {[](CTTrack* t) { EXPECT_FALSE(t->DeleteKeyAt(35)); }, {10, 20, 30, 40, 50}},
      {[](CTTrack* t) { t->DeleteKeysBefore(30); }, {30, 40, 50}},
      {[](CTTrack* t) { t->DeleteKeysBefore(25); }, {30, 40, 50}},
      {[](CTTrack* t) { t->DeleteKeyAfter(30); }, {10, 20, 30}},
      {[](CTTrack* t) { t->DeleteKeyAfter(INT32_MIN); }, {}},
  };
  for (const Row& row : rows) {
    Ref<CTFloatTrack> keys = TimeTrack({50, 30, 10, 40, 20});
    row.edit(keys.Get());
    EXPECT_EQ(Times(*keys), row.left);
    for (int i = 0; i < keys->GetKeyCount(); ++i) EXPECT_EQ(keys->GetKeyValue(i), keys->GetKeyTime(i));
    const DRange<int32_t> range =
        row.left.empty() ? DRange<int32_t>{} : DRange<int32_t>{row.left.front(), row.left.back()};
    EXPECT_EQ(keys->GetTimeRange(), range);
  }
}

// A stream image of one vector track whose key chunk holds count and the
// records as given (time, then floats).
std::vector<uint8_t> VectorTrackImage(int32_t count, const std::vector<std::vector<float>>& records) {
  std::vector<uint8_t> bytes;
  qibo::ByteWriter w(bytes);
  std::vector<size_t> open;
  auto start = [&](uint32_t id) {
    w.U32(id);
    open.push_back(w.Size());
    w.U32(0);
  };
  start(qibo::FourCC("qibo"));
  start(qibo::FourCC("slod"));
  w.U32(2);
  w.PatchU32(open.back(), 4);
  open.pop_back();
  start(1);                                                                    // object
  for (uint32_t word : {1u, CTVectorTrack::_CD()->ID(), 0u, 0u}) w.U32(word);  // ID, class, net, library
  start(CTVectorTrack::kKeysChunk);
  w.I32(count);
  for (const std::vector<float>& r : records) {
    w.I32(static_cast<int32_t>(r[0]));
    for (size_t i = 1; i < r.size(); ++i) w.F32(r[i]);
  }
  for (; !open.empty(); open.pop_back())
    w.PatchU32(open.back(), static_cast<uint32_t>(w.Size() - open.back() - 4));
  return bytes;
}

TEST_F(TrackTest, KeyChunks_ReadSortedOrRefusedWithAMessage) {
  struct Row {
    int32_t count;
    std::vector<std::vector<float>> records;
    std::vector<std::vector<float>> keys;  // time, x, y, z
    const char* message;
  };
  // clang-format off
  const Row rows[] = {
      {2, {{0, 1, 2, 3}, {10, 4, 5, 6}}, {{0, 1, 2, 3}, {10, 4, 5, 6}}, nullptr},
      {4, {{30, 3, 0, 0}, {10, 1, 0, 0}, {30, 9, 0, 0}, {20, 2, 0, 0}},  // the later record of a time wins
       {{10, 1, 0, 0}, {20, 2, 0, 0}, {30, 9, 0, 0}}, "sorted; 1 duplicate times merged"},
      {3, {{0, 1, 0, 0}, {5, kNaN, 0, 0}, {10, 2, 0, 0}}, {{0, 1, 0, 0}, {10, 2, 0, 0}}, "1 keys without"},
      {3, {{0, 1, 0, 0}, {10, 2, 0, 0}}, {}, "names 3 keys but holds fewer"},
      {2, {{0, 1, 0, 0}, {10, 2}}, {}, "names 2 keys but holds fewer"},
      {0x7FFFFFFF, {{0, 1, 0, 0}}, {}, "2147483647 keys in the stream refused"},
      {-1, {{0, 1, 0, 0}}, {}, "-1 keys in the stream refused"},
  };
  // clang-format on
  for (const Row& row : rows) {
    const std::vector<uint8_t> image = VectorTrackImage(row.count, row.records);
    MemoryStream reader;
    reader.Read(image.data(), static_cast<int>(image.size()));
    auto* track = qibo::Cast<CTVectorTrack>(reader.GetObjectNo(0));
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(track->GetKeyCount(), static_cast<int>(row.keys.size())) << row.count;
    for (int i = 0; i < track->GetKeyCount(); ++i) {
      const std::vector<float>& k = row.keys[static_cast<size_t>(i)];
      EXPECT_EQ(track->GetKeyTime(i), static_cast<int32_t>(k[0]));
      EXPECT_EQ(track->GetKeyValue(i), Vector3(k[1], k[2], k[3]));
    }
    EXPECT_TRUE(!row.message || Logged(row.message)) << row.message;
  }
}

}  // namespace
