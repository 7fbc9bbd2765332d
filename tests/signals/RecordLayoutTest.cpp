// Records against the byte offsets the host writes: a record built byte by byte at the stated
// offsets must read back through the named fields, and the signal object through the hub layout.
#include <gtest/gtest.h>
#include <zelkar/HubLayout.h>
#include <zelkar/Signals.h>

#include <cstring>
#include <type_traits>
#include <vector>

namespace {

// Host-side view of a record: raw bytes with values placed at byte offsets.
template <class Rec>
class CRawRecord {
 public:
  CRawRecord() { std::memset(m_bytes, 0xA5, sizeof(m_bytes)); }
  template <class T>
  void Put(std::size_t offset, T value) {
    ASSERT_LE(offset + sizeof(T), sizeof(Rec));
    std::memcpy(m_bytes + offset, &value, sizeof(T));
  }
  void PutFloats(std::size_t offset, std::initializer_list<float> values) {
    for (float v : values) {
      Put(offset, v);
      offset += 4;
    }
  }
  Rec Read() const {
    Rec record;
    std::memcpy(&record, m_bytes, sizeof(Rec));
    return record;
  }

 private:
  unsigned char m_bytes[sizeof(Rec)];
};

TEST(RecordLayoutTest, RecordsAreFixedSizePlainData) {
  EXPECT_EQ(sizeof(CSigPC_SessionCleanup), 4u);
  EXPECT_EQ(sizeof(CSigCarControl), 24u);
  EXPECT_EQ(sizeof(CSigCarGeneralState), 224u);
  EXPECT_EQ(sizeof(CSigSolidGeneralState), 48u);
  EXPECT_EQ(sizeof(CSigGhostCarState), 48u);
  EXPECT_EQ(sizeof(CSigDetachFromParent), 4u);
  EXPECT_EQ(sizeof(CSigWindscreenData), 112u);
  EXPECT_EQ(sizeof(CSigWiperRotation), 8u);
  EXPECT_EQ(sizeof(CSigIncarShake), 112u);
  EXPECT_EQ(sizeof(CSigWiperPosition), 16u);
  EXPECT_TRUE(std::is_trivially_copyable_v<CSigIncarShake>);
  EXPECT_TRUE(std::is_standard_layout_v<CSigGhostCarState>);
}

TEST(RecordLayoutTest, CarControl) {
  CRawRecord<CSigCarControl> raw;
  raw.Put(8, 0.75f);
  raw.Put(16, -0.5f);
  raw.Put(20, 3u);
  const CSigCarControl r = raw.Read();
  EXPECT_EQ(r.handbrake, 0.75f);
  EXPECT_EQ(r.steering, -0.5f);
  EXPECT_EQ(r.buttons, 3u);
}

TEST(RecordLayoutTest, CarGeneralStateWithItsWheels) {
  CRawRecord<CSigCarGeneralState> raw;
  raw.PutFloats(16, {1, 2, 3});
  raw.PutFloats(32, {0.1f, 0.2f, 0.3f, 0.9f});
  for (int i = 0; i < 4; ++i) {
    raw.PutFloats(96 + 16 * i, {10.0f * i, 10.0f * i + 1, 10.0f * i + 2});
    raw.PutFloats(160 + 16 * i, {1.0f * i, 2.0f * i, 3.0f * i, 4.0f * i});
  }
  const CSigCarGeneralState r = raw.Read();
  EXPECT_EQ(r.position.x, 1);
  EXPECT_EQ(r.position.y, 2);
  EXPECT_EQ(r.position.z, 3);
  EXPECT_EQ(r.orientation.x, 0.1f);
  EXPECT_EQ(r.orientation.w, 0.9f);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(r.wheelPositions[i].value.x, 10.0f * i);
    EXPECT_EQ(r.wheelPositions[i].value.z, 10.0f * i + 2);
    EXPECT_EQ(r.wheelOrientations[i].x, 1.0f * i);
    EXPECT_EQ(r.wheelOrientations[i].w, 4.0f * i);
  }
}

TEST(RecordLayoutTest, SolidAndGhostStatesShareOneLayout) {
  CRawRecord<CSigSolidGeneralState> solid;
  CRawRecord<CSigGhostCarState> ghost;
  solid.Put(0, 7u);
  solid.PutFloats(16, {4, 5, 6});
  solid.PutFloats(32, {0, 0, 0, 1});
  ghost.Put(0, 9u);
  ghost.PutFloats(16, {-4, -5, -6});
  ghost.PutFloats(32, {0, 1, 0, 0});
  const CSigSolidGeneralState s = solid.Read();
  const CSigGhostCarState g = ghost.Read();
  EXPECT_EQ(s.objectIndex, 7u);
  EXPECT_EQ(s.position.y, 5);
  EXPECT_EQ(s.orientation.w, 1);
  EXPECT_EQ(g.objectIndex, 9u);
  EXPECT_EQ(g.position.z, -6);
  EXPECT_EQ(g.orientation.y, 1);
}

TEST(RecordLayoutTest, WindscreenCornersAreSixteenBytesApart) {
  CRawRecord<CSigWindscreenData> raw;
  for (int k = 0; k < 4; ++k) raw.PutFloats(48 + 16 * k, {1.0f + k, 2.0f + k, 3.0f + k});
  const CSigWindscreenData r = raw.Read();
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(r.corners[k].value.x, 1.0f + k);
    EXPECT_EQ(r.corners[k].value.y, 2.0f + k);
    EXPECT_EQ(r.corners[k].value.z, 3.0f + k);
  }
}

TEST(RecordLayoutTest, IncarShakeWords) {
  CRawRecord<CSigIncarShake> raw;
  raw.Put(0, 1u);
  // Word w lies at byte 4 w: shake vector k in words 4k+4..4k+6, the body shift in 24..26.
  for (int k = 0; k < 5; ++k)
    for (int c = 0; c < 3; ++c) raw.Put(4 * (4 * k + 4 + c), 100.0f * k + c);
  for (int c = 0; c < 3; ++c) raw.Put(4 * (24 + c), -1.0f - c);
  const CSigIncarShake r = raw.Read();
  EXPECT_EQ(r.person, 1u);
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(r.shakeVectors[k].value.x, 100.0f * k);
    EXPECT_EQ(r.shakeVectors[k].value.y, 100.0f * k + 1);
    EXPECT_EQ(r.shakeVectors[k].value.z, 100.0f * k + 2);
  }
  EXPECT_EQ(r.bodyShift.x, -1.0f);
  EXPECT_EQ(r.bodyShift.z, -3.0f);
}

TEST(RecordLayoutTest, SmallRecords) {
  CRawRecord<CSigWiperRotation> wiper;
  wiper.PutFloats(0, {0.25f, -0.25f});
  EXPECT_EQ(wiper.Read().leftAngle, 0.25f);
  EXPECT_EQ(wiper.Read().rightAngle, -0.25f);

  CRawRecord<CSigDetachFromParent> detach;
  detach.Put(0, 42u);
  EXPECT_EQ(detach.Read().objectIndex, 42u);

  CRawRecord<CSigWiperPosition> position;
  position.PutFloats(0, {1, 2, 3, 4});
  const CSigWiperPosition p = position.Read();
  EXPECT_EQ(p.leftU, 1);
  EXPECT_EQ(p.leftV, 2);
  EXPECT_EQ(p.rightU, 3);
  EXPECT_EQ(p.rightV, 4);
}

// The signal object against the hub's byte layout: 32-bit offsets, doubled in a 64-bit build.
TEST(RecordLayoutTest, SignalObjectFollowsTheHubLayout) {
  const std::size_t scale = sizeof(void*) / 4;
  EXPECT_EQ(zk_hub::kListEntrySize, 16 * scale);
  CSignalObject<CSigWiperPosition> s{};
  const auto* base = reinterpret_cast<const unsigned char*>(&s);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&s.applicationState) - base,
            static_cast<long>(4 * scale));
  for (int k = 0; k < 32; ++k)
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&s.stateLists[k].list) - base,
              static_cast<long>((8 + 16 * k) * scale));
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&s.allStatesList.list) - base,
            static_cast<long>((8 + 16 * 32) * scale));
  EXPECT_EQ(sizeof(s), (8 + 16 * 33) * scale);
  // A list header: first, last, count.
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&s.allStatesList.list.count) -
                reinterpret_cast<const unsigned char*>(&s.allStatesList.list),
            static_cast<long>(8 * scale));
}

}  // namespace
