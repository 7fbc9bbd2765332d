// Cost of delivering a record through the hub against calling the handlers directly.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "signals/Emit.h"

namespace {

struct CReceiver {
  float sum = 0.0f;
  void OnWiperPosition(const CSigWiperPosition& r) { sum += r.leftU + r.rightV; }
};

using CWiperConnection = CConnection<CReceiver, const CSigWiperPosition&>;

struct CFixture {
  explicit CFixture(int count) : receivers(static_cast<std::size_t>(count)) {
    signal.applicationState = &state;
    for (CReceiver& r : receivers) {
      connections.push_back(std::make_unique<CWiperConnection>(&r, &CReceiver::OnWiperPosition));
      connections.back()->AppendTo(&signal.stateLists[state].list);
    }
  }
  int state = 1;
  CSignalObject<CSigWiperPosition> signal{};
  std::vector<CReceiver> receivers;
  std::vector<std::unique_ptr<CWiperConnection>> connections;
};

const CSigWiperPosition kRecord{0.1f, 0.2f, 0.3f, 0.4f};

// Baseline: the same handlers called through member pointers, no list.
void BM_DirectCalls(benchmark::State& st) {
  CFixture f(static_cast<int>(st.range(0)));
  void (CReceiver::*handler)(const CSigWiperPosition&) = &CReceiver::OnWiperPosition;
  benchmark::DoNotOptimize(handler);
  for (auto _ : st) {
    for (CReceiver& r : f.receivers) (r.*handler)(kRecord);
    benchmark::ClobberMemory();
  }
}

void BM_NotifyEach(benchmark::State& st) {
  CFixture f(static_cast<int>(st.range(0)));
  for (auto _ : st) {
    NotifyEach(f.signal.stateLists[f.state].list, kRecord);
    benchmark::ClobberMemory();
  }
}

void BM_Emit(benchmark::State& st) {
  CFixture f(static_cast<int>(st.range(0)));
  for (auto _ : st) {
    Emit(f.signal, kRecord);
    benchmark::ClobberMemory();
  }
}

// A signal nobody listens to in the current state: the check before any delivery.
void BM_EmitUnheard(benchmark::State& st) {
  CFixture f(1);
  f.state = 2;
  for (auto _ : st) {
    Emit(f.signal, kRecord);
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_DirectCalls)->Arg(1)->Arg(8);
BENCHMARK(BM_NotifyEach)->Arg(1)->Arg(8);
BENCHMARK(BM_Emit)->Arg(1)->Arg(8);
BENCHMARK(BM_EmitUnheard);

}  // namespace

BENCHMARK_MAIN();
