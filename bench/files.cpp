// File core throughput: many small members of one archive read with the archive cache against
// reopening the archive for every member, and one large loose file read whole.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "../tests/files/FilesTestSupport.h"
#include "files/File.h"
#include "files/ZipArchive.h"

namespace {

constexpr int kMembers = 200;
constexpr std::size_t kMemberSize = 2048;
constexpr std::size_t kLargeSize = 32u << 20;

struct Data {
  files_test::TempDir dir;
  std::vector<std::string> memberPaths;
  std::string largePath;

  Data() {
    files_test::Members members;
    for (int i = 0; i < kMembers; ++i) {
      std::string content(kMemberSize, '\0');
      for (std::size_t k = 0; k < content.size(); ++k)
        content[k] = static_cast<char>((k * 31 + i * 7) % 251);
      members.emplace_back("scenes/scene" + std::to_string(i) + ".rsc", content);
      memberPaths.push_back(dir / ("scenes/scene" + std::to_string(i) + ".rsc"));
    }
    files_test::MakeZip(dir / "scenes.rbz", members);
    std::string large(kLargeSize, '\0');
    for (std::size_t k = 0; k < large.size(); ++k) large[k] = static_cast<char>(k * 13);
    largePath = dir / "large.bin";
    files_test::WriteFile(largePath, large);
  }
};

Data& Shared() {
  static Data data;
  return data;
}

std::uint32_t ReadOne(const std::string& path) {
  NRQLib2::NFileCore::CFile file(path);
  std::uint32_t size = 0;
  std::uint8_t* data = nullptr;
  if (!file.ReadAll(size, data)) return 0;
  benchmark::DoNotOptimize(data[size / 2]);
  NRQLib2::NFileCore::HeapFreeBuffer(data);
  return size;
}

void BM_ArchiveMembersCached(benchmark::State& state) {
  Data& data = Shared();
  NRQLib2::NFileCore::DestroyArchiveCache();
  std::uint64_t bytes = 0;
  for (auto _ : state)
    for (const std::string& path : data.memberPaths) bytes += ReadOne(path);
  state.SetItemsProcessed(state.iterations() * kMembers);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  NRQLib2::NFileCore::DestroyArchiveCache();
}
BENCHMARK(BM_ArchiveMembersCached)->Unit(benchmark::kMillisecond);

void BM_ArchiveMembersReopened(benchmark::State& state) {
  Data& data = Shared();
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    for (const std::string& path : data.memberPaths) {
      bytes += ReadOne(path);
      // Closing the cached archive makes the next member open it again.
      NRQLib2::NFileCore::DestroyArchiveCache();
    }
  }
  state.SetItemsProcessed(state.iterations() * kMembers);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ArchiveMembersReopened)->Unit(benchmark::kMillisecond);

void BM_LargeLooseFile(benchmark::State& state) {
  Data& data = Shared();
  std::uint64_t bytes = 0;
  for (auto _ : state) bytes += ReadOne(data.largePath);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_LargeLooseFile)->Unit(benchmark::kMillisecond);

// The same bytes copied from memory: the ceiling for reading a file whole.
void BM_LargeMemoryCopy(benchmark::State& state) {
  const std::string source(kLargeSize, 'x');
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    auto* copy = static_cast<std::uint8_t*>(NRQLib2::NFileCore::HeapAllocZeroed(source.size()));
    std::memcpy(copy, source.data(), source.size());
    benchmark::DoNotOptimize(copy[source.size() / 2]);
    NRQLib2::NFileCore::HeapFreeBuffer(copy);
    bytes += source.size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_LargeMemoryCopy)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
