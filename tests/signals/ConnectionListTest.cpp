// Connection list surgery: appending, destroying connections anywhere in a list, counts.
#include <gtest/gtest.h>
#include <zelkar/Connection.h>
#include <zelkar/Signals.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace {

struct CRecorder {
  void OnRecord(const CSigWiperRotation&) {}
};

using CWiperConnection = CConnection<CRecorder, const CSigWiperRotation&>;

// The list's links as seen walking forward, checked against walking backward and the count.
std::vector<const CSignalConnection<CSigWiperRotation>*> Walk(
    const CSignalList<CSigWiperRotation>& list) {
  std::vector<const CSignalConnection<CSigWiperRotation>*> forward;
  for (auto* c = list.first; c != nullptr; c = c->next) forward.push_back(c);
  std::vector<const CSignalConnection<CSigWiperRotation>*> backward;
  for (auto* c = list.last; c != nullptr; c = c->prev) backward.push_back(c);
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(forward, backward);
  EXPECT_EQ(forward.size(), list.count);
  if (!forward.empty()) {
    EXPECT_EQ(forward.front()->prev, nullptr);
    EXPECT_EQ(forward.back()->next, nullptr);
  }
  for (auto* c : forward) EXPECT_EQ(c->list, &list);
  return forward;
}

// Random appends and destructions against a plain model of the list.
TEST(ConnectionListTest, RandomSurgeryMatchesModel) {
  CSignalList<CSigWiperRotation> list{};
  std::mt19937 random(1234);
  std::vector<std::unique_ptr<CWiperConnection>> live;
  for (int step = 0; step < 2000; ++step) {
    if (live.empty() || (random() % 3 != 0 && live.size() < 40)) {
      // No delivery runs here, so the connections need no owner.
      live.push_back(std::make_unique<CWiperConnection>(nullptr, &CRecorder::OnRecord));
      live.back()->AppendTo(&list);
    } else {
      live.erase(live.begin() + static_cast<long>(random() % live.size()));
    }
    std::vector<const CSignalConnection<CSigWiperRotation>*> expected;
    for (auto& c : live) expected.push_back(c.get());
    ASSERT_EQ(Walk(list), expected) << "step " << step;
  }
}

}  // namespace
