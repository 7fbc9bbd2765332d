// Emission on a signal object: which lists hear a record, in what order, and when it is dropped.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "signals/Emit.h"

namespace {

struct CListener {
  std::vector<std::string>* log;
  std::string tag;
  std::function<void(const CSigWiperPosition&)> action;
  void OnWiperPosition(const CSigWiperPosition& record) {
    log->push_back(tag);
    if (action) action(record);
  }
};

using CWiperConnection = CConnection<CListener, const CSigWiperPosition&>;

class EmitTest : public ::testing::Test {
 protected:
  CListener& Listener(const std::string& tag) {
    listeners.push_back(CListener{&log, tag, nullptr});
    return listeners.back();
  }
  // Subscribes `listener` to the list of `state`, or to the all-states list for state -1.
  void Subscribe(CListener& listener, int state) {
    connections.push_back(
        std::make_unique<CWiperConnection>(&listener, &CListener::OnWiperPosition));
    auto& list = state < 0 ? signal.allStatesList.list : signal.stateLists[state].list;
    connections.back()->AppendTo(&list);
  }

  CSignalObject<CSigWiperPosition> signal{};
  int state = 3;
  std::vector<std::string> log;
  std::deque<CListener> listeners;
  std::vector<std::unique_ptr<CWiperConnection>> connections;
  const CSigWiperPosition record{1.0f, 2.0f, 3.0f, 4.0f};
};

TEST_F(EmitTest, NestedEmissionOfTheSameSignalIsDropped) {
  signal.applicationState = &state;
  CListener& l = Listener("handler");
  uint32_t emittingInside = 0;
  l.action = [&](const CSigWiperPosition& r) {
    emittingInside = signal.emitting;
    Emit(signal, r);  // dropped: the signal is still emitting
  };
  Subscribe(l, -1);
  Subscribe(Listener("after"), 3);
  Emit(signal, record);
  EXPECT_EQ(emittingInside, 1u);
  EXPECT_EQ(log, (std::vector<std::string>{"handler", "after"}));
  EXPECT_EQ(signal.emitting, 0u);
  // Not queued either: a later emission is delivered once, as usual.
  log.clear();
  Emit(signal, record);
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(EmitTest, StateOutsideTheTableReachesOnlyAllStates) {
  signal.applicationState = &state;
  Subscribe(Listener("all"), -1);
  for (int s = 0; s < 32; ++s) Subscribe(Listener("state"), s);
  for (int outside : {32, 33, 1000, -1, -32}) {
    log.clear();
    state = outside;
    Emit(signal, record);
    EXPECT_EQ(log, std::vector<std::string>{"all"}) << outside;
    EXPECT_EQ(signal.emitting, 0u);
  }
}

}  // namespace
