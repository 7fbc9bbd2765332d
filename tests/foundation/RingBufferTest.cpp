#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/RingBuffer.h"

namespace {

// Records every block sent through slot 1, and counts slot-0 calls separately.
class CapturingSink : public CBinaryFunction<void, const char*, unsigned int> {
 public:
  void operator()(const char* data, unsigned int length) override {
    ++slot0Calls;
    blocks.emplace_back(data, length);
  }
  void Write(const char* data, unsigned int length) override { blocks.emplace_back(data, length); }

  std::vector<std::string> blocks;
  int slot0Calls = 0;
};

const std::string kEnd = "CRingBuffer::Dump -- END OF DUMP";

std::string Range(int first, int last) {
  return "CRingBuffer::Dump -- dump " + std::to_string(first) + " -- " + std::to_string(last) +
         "\n";
}

void WriteText(CRingBuffer& ring, const std::string& text) {
  ring.Write(text.data(), static_cast<unsigned int>(text.size()));
}

// The blocks one dump sends, in order.
std::vector<std::string> DumpBlocks(CRingBuffer& ring) {
  CapturingSink sink;
  ring.Dump(&sink);
  EXPECT_EQ(sink.slot0Calls, 0);  // a dump sends through slot 1 only
  return sink.blocks;
}

// Against a plain model: the dump's concatenated data blocks equal the last
// min(total, capacity) bytes written, and the write position is total mod capacity.
TEST(RingBuffer, DumpGivesTheMostRecentBytesForRandomWriteSequences) {
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 200; ++trial) {
    const uint32_t capacity = 1 + rng() % 17;
    CRingBuffer ring(capacity);
    std::string all;
    const int writes = rng() % 8;
    for (int i = 0; i < writes; ++i) {
      std::string piece(rng() % 40, '\0');
      for (char& c : piece) c = static_cast<char>('a' + rng() % 26);
      WriteText(ring, piece);
      all += piece;
    }
    EXPECT_EQ(ring.GetWritePos(), all.size() % capacity);
    EXPECT_EQ(ring.IsWrapped(), all.size() >= capacity);
    const std::vector<std::string> blocks = DumpBlocks(ring);
    std::string data;
    for (size_t i = 1; i + 1 < blocks.size(); i += 2) data += blocks[i];
    const size_t kept = all.size() < capacity ? all.size() : capacity;
    EXPECT_EQ(data, all.substr(all.size() - kept)) << "capacity " << capacity;
    EXPECT_EQ(blocks.size(), all.size() >= capacity ? 5u : 3u);
  }
}

TEST(RingBuffer, AdoptsACallerBufferAndToleratesNoStorage) {
  uint8_t* storage = new uint8_t[3];
  {
    CRingBuffer ring(3, storage);
    EXPECT_EQ(ring.GetBuffer(), storage);
    WriteText(ring, "abcd");
    EXPECT_EQ(storage[0], 'd');
    EXPECT_EQ(storage[1], 'b');
  }  // the ring buffer frees storage (the leak checker notices otherwise)
  CRingBuffer none(0);
  WriteText(none, "abc");
  CRingBuffer nullStorage(10, nullptr);
  WriteText(nullStorage, "abc");
  EXPECT_EQ(DumpBlocks(nullStorage), (std::vector<std::string>{Range(0, -1), "", kEnd}));
}

}  // namespace
