// Connection list surgery: appending, destroying connections anywhere in a list, counts.
#include <gtest/gtest.h>
#include <zelkar/Connection.h>
#include <zelkar/Signals.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <random>
#include <vector>

namespace {

struct CRecorder {
  std::vector<int>* calls = nullptr;
  int id = 0;
  void OnRecord(const CSigWiperRotation&) { calls->push_back(id); }
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

class ConnectionListTest : public ::testing::Test {
 protected:
  std::unique_ptr<CWiperConnection> Make() {
    CRecorder& r = recorders.emplace_back();
    r.calls = &calls;
    r.id = static_cast<int>(recorders.size()) - 1;
    return std::make_unique<CWiperConnection>(&recorders.back(), &CRecorder::OnRecord);
  }
  void Append(const std::unique_ptr<CWiperConnection>& c) { c->AppendTo(&list); }

  CSignalList<CSigWiperRotation> list{};
  std::vector<int> calls;
  std::deque<CRecorder> recorders;  // stable addresses for the connections' owners
};

// Random appends and destructions against a plain model of the list.
TEST_F(ConnectionListTest, RandomSurgeryMatchesModel) {
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
