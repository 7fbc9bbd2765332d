#include "platform/FileFaults.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zk_platform {
namespace {

struct SFaults {
  std::atomic<EFileFault> fault{EFileFault::kNone};
  std::atomic<unsigned long> k{0};
  std::atomic<unsigned long> writes{0};
  std::atomic<unsigned long> reads{0};

  std::string module;  // the file name of the program or library holding this copy

  SFaults() {
    const char* text = std::getenv("ZELKAR_FAULT");
    if (text == nullptr) return;
    Dl_info info;
    if (::dladdr(reinterpret_cast<void*>(&Module), &info) != 0 && info.dli_fname != nullptr) {
      module = info.dli_fname;
      module.erase(0, module.find_last_of('/') + 1);
    }
    if (std::strcmp(text, "count") == 0) {
      fault = EFileFault::kCount;
      return;
    }
    const bool write = std::strncmp(text, "write:", 6) == 0;
    if (!write && std::strncmp(text, "read:", 5) != 0) return;
    char* end = nullptr;
    const unsigned long n = std::strtoul(text + (write ? 6 : 5), &end, 10);
    if (n == 0 || (*end != '\0' && *end != '@')) return;
    // "@NAME": only the copy in the module whose file name holds NAME.
    if (*end == '@' && module.find(end + 1) == std::string::npos) return;
    k = n;
    fault = write ? EFileFault::kWrite : EFileFault::kRead;
  }
  ~SFaults() {
    if (fault == EFileFault::kCount)
      std::fprintf(stderr, "zelkar-fault: %s: %lu writes, %lu reads\n", module.c_str(),
                   writes.load(), reads.load());
  }

  static void Module() {}
};

SFaults& Faults() {
  static SFaults faults;
  return faults;
}

bool Hit(EFileFault kind, std::atomic<unsigned long>& count) {
  SFaults& f = Faults();
  const EFileFault fault = f.fault.load(std::memory_order_relaxed);
  if (fault == EFileFault::kNone) return false;
  const unsigned long n = count.fetch_add(1, std::memory_order_relaxed) + 1;
  return fault == kind && n == f.k.load(std::memory_order_relaxed);
}

}  // namespace

bool FaultThisWrite() { return Hit(EFileFault::kWrite, Faults().writes); }

bool FaultThisRead() { return Hit(EFileFault::kRead, Faults().reads); }

void SetFileFault(EFileFault fault, unsigned long k) {
  SFaults& f = Faults();
  f.fault = EFileFault::kNone;
  f.writes = 0;
  f.reads = 0;
  f.k = k;
  f.fault = fault;
}

}  // namespace zk_platform
