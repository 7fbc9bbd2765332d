// Records and the signal object against the sizes and byte offsets the host lays out.
#include <gtest/gtest.h>
#include <zelkar/HubLayout.h>
#include <zelkar/Signals.h>

#include <type_traits>

namespace {

// The record sizes and field offsets are checked where the records are declared; what the host
// also relies on is that it may copy them as bytes.
TEST(RecordLayoutTest, RecordsArePlainData) {
  EXPECT_TRUE(std::is_trivially_copyable_v<CSigIncarShake>);
  EXPECT_TRUE(std::is_standard_layout_v<CSigGhostCarState>);
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
