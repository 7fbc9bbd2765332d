// What a host programmer relies on and can trip over, checked against the numbers the host
// contract writes down (not against the library's own constants): the hub's list offsets and the
// global object's size and words in this build's width, the exceptions a host catches by type
// across the dlopen boundary, the lookups that answer 0 or -1, the calls that quietly do
// nothing, and Update's absolute clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zelkar/Exceptions.h>
#include <zelkar/HubLayout.h>
#include <zelkar/ZelkarFacade.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "hostkit/Host.h"
#include "hostkit/LoadedLibrary.h"
#include "interface/LibraryGlobal.h"
#include "interface/ProcessEntry.h"

namespace {

constexpr bool k32 = sizeof(void*) == 4;

// Byte offsets as the contract gives them for a 32-bit host, and for a 64-bit host.
struct SContractOffset {
  const char* what;
  std::size_t actual;
  std::size_t bytes32, bytes64;
};

TEST(HostContractTest, HubAndGlobalObjectLayoutOfThisWidth) {
  using namespace zk_hub;
  const SContractOffset table[] = {
      {"session clean-up list", kSessionCleanupList, 64840, 129680},
      {"solid state list 0", kSolidGeneralStateLists[0], 10744, 21488},
      {"solid state list 1", kSolidGeneralStateLists[1], 10776, 21552},
      {"solid state list 2", kSolidGeneralStateLists[2], 10792, 21584},
      {"solid state list 3", kSolidGeneralStateLists[3], 10856, 21712},
      {"solid state list 4", kSolidGeneralStateLists[4], 10872, 21744},
      {"solid state list 5", kSolidGeneralStateLists[5], 10888, 21776},
      {"solid state list 6", kSolidGeneralStateLists[6], 10968, 21936},
      {"ghost car list 0", kGhostCarStateLists[0], 32184, 64368},
      {"ghost car list 1", kGhostCarStateLists[1], 32296, 64592},
      {"car control list 0", kCarControlLists[0], 3240, 6480},
      {"car control list 1 (same list)", kCarControlLists[1], 3240, 6480},
      {"car control list 2", kCarControlLists[2], 3352, 6704},
      {"car control list 3", kCarControlLists[3], 3384, 6768},
      {"wiper rotation list 0", kWiperRotationLists[0], 8600, 17200},
      {"wiper rotation list 1", kWiperRotationLists[1], 8712, 17424},
      {"wiper rotation list 2", kWiperRotationLists[2], 8744, 17488},
      {"windscreen list", kWindscreenDataList, 8128, 16256},
      {"detach list", kDetachFromParentList, 48224, 96448},
      {"car general state list", kCarGeneralStateList, 12312, 24624},
      {"in-car shake list", kIncarShakeList, 51440, 102880},
      {"wiper position signal", kWiperPositionSignal, 9112, 18224},
      {"list entry size", kListEntrySize, 16, 32},
      {"signal: application state", kSignalApplicationStateOffset, 4, 8},
      {"signal: state lists", kSignalStateListsOffset, 8, 16},
      {"signal: all-states list", kSignalAllStatesListOffset, 520, 1040},
      {"global object size", kGlobalObjectSize, 88, 176},
      {"global object words", kGlobalObjectWords, 22, 22},
  };
  for (const SContractOffset& row : table)
    EXPECT_EQ(row.actual, k32 ? row.bytes32 : row.bytes64) << row.what;
}

// The library reads words 0, 15 and 20 at byte offsets 0, 60 and 80 (0, 120, 160 in 64 bits) of
// a block exactly that big: written here as raw bytes, read back through process attach.
TEST(HostContractTest, LibraryReadsTheWordsAtTheirByteOffsets) {
  zk_hostkit::CHost host;
  const int fd = shm_open(zk_hostkit::CGlobalObject::Name().c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  struct stat info {};
  ASSERT_EQ(fstat(fd, &info), 0);
  EXPECT_EQ(static_cast<std::size_t>(info.st_size), k32 ? 88u : 176u);
  void* raw = mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ | PROT_WRITE,
                   MAP_SHARED, fd, 0);
  close(fd);
  ASSERT_NE(raw, MAP_FAILED);
  auto* bytes = static_cast<unsigned char*>(raw);
  int surface = 0, gate = 0;
  void* surfacePointer = &surface;
  void* gatePointer = &gate;
  std::memcpy(bytes + (k32 ? 60 : 120), &surfacePointer, sizeof(void*));
  std::memcpy(bytes + (k32 ? 80 : 160), &gatePointer, sizeof(void*));
  void* hubPointer = nullptr;
  std::memcpy(&hubPointer, bytes, sizeof(void*));
  munmap(raw, static_cast<std::size_t>(info.st_size));

  ZelkarProcessAttach();
  EXPECT_EQ(GetGlobalObjectWord(0), host.hub.Data());
  EXPECT_EQ(hubPointer, host.hub.Data());
  EXPECT_EQ(GetGlobalObjectWord(15), &surface);
  EXPECT_EQ(GetGlobalObjectWord(20), &gate);
  ZelkarProcessDetach();
}

// The built libzelkar.so, loaded as a host loads it, with the sample assets when they are built.
class HostTripsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (zk_hostkit::CLoadedLibrary::IsLoaded(ZELKAR_SHARED_LIBRARY_PATH))
      GTEST_SKIP() << "the library is still loaded from an earlier test";
    m_host = std::make_unique<zk_hostkit::CHost>();
    m_library = std::make_unique<zk_hostkit::CLoadedLibrary>(ZELKAR_SHARED_LIBRARY_PATH);
    auto create = m_library->Function<ZK_CreateFunction>("ZK_Create");
    ASSERT_NE(create, nullptr);
    m_zk.reset(static_cast<CZelkarInterfaceExt*>(create()));
  }
  void TearDown() override {
    m_zk.reset();
    if (m_library) m_library->Close();
    // A library the loader kept still unlinks itself from the hub at exit.
    if (zk_hostkit::CLoadedLibrary::IsLoaded(ZELKAR_SHARED_LIBRARY_PATH))
      static_cast<void>(m_host.release());
  }
  // A spectator playing idle_loop; false when the samples are not built.
  bool Spectator() {
#ifdef ZELKAR_SAMPLES_DIR
    m_zk->LoadAnimationScene(ZELKAR_SAMPLES_DIR "/idle_loop.zka", "idle_loop");
    m_zk->CreateHumanCharacter(ZELKAR_SAMPLES_DIR "/human_skeleton.zkh", "", "Spectator",
                               "Spectator");
    m_zk->AddAnimation("Spectator", "idle_loop", 0);
    return true;
#else
    return false;
#endif
  }

  std::unique_ptr<zk_hostkit::CHost> m_host;
  std::unique_ptr<zk_hostkit::CLoadedLibrary> m_library;
  std::unique_ptr<CZelkarInterfaceExt> m_zk;
};

// Which handler of a host's catch chain a call ends in, and with what text.
std::string Caught(const std::function<void()>& call, std::string* message) {
  try {
    call();
    return "nothing";
  } catch (const NRQLib2::CRQ_DiskIOException& e) {
    *message = e.what();
    return "CRQ_DiskIOException";
  } catch (const CZK_Exception& e) {
    *message = e.what();
    return "CZK_Exception";
  } catch (const std::exception& e) {
    *message = e.what();
    return "std::exception";
  }
}

TEST_F(HostTripsTest, ExceptionsAreCaughtByTheirPublicType) {
  const std::string damaged = ::testing::TempDir() + "zelkar-damaged.zka";
  std::ofstream(damaged, std::ios::binary) << "not a scene file at all, only text";
  struct SCase {
    const char* what;
    std::function<void()> call;
    const char* type;
    std::string text;
  } cases[] = {
      {"missing scene", [&] { m_zk->LoadAnimationScene("/no/such.zka", "s"); },
       "CRQ_DiskIOException", "/no/such.zka"},
      {"missing hierarchy", [&] { m_zk->CreateHumanCharacter("/no/such.zkh", "", "A", "B"); },
       "CRQ_DiskIOException", "/no/such.zkh"},
      {"damaged scene", [&] { m_zk->LoadAnimationScene(damaged, "s"); }, "CZK_Exception",
       "valid header"},
      {"unknown character", [&] { m_zk->GetCharacterIndex("nobody"); }, "std::exception",
       "Character not found"},
  };
  for (const SCase& c : cases) {
    std::string message;
    EXPECT_EQ(Caught(c.call, &message), c.type) << c.what;
    EXPECT_NE(message.find(c.text), std::string::npos) << c.what << ": " << message;
  }
  std::remove(damaged.c_str());
}

TEST_F(HostTripsTest, LookupsAnswerZeroOrMinusOneAndUnknownNamesAreIgnored) {
  if (!Spectator()) GTEST_SKIP() << "sample assets not built";
  const int spectator = m_zk->GetCharacterIndex("Spectator");
  const int head = m_zk->FindNodeIndex(spectator, "B_head");
  ASSERT_GT(head, 0);
  EXPECT_EQ(m_zk->GetNodeIndex("Spectator", "B_head"), head);
  // A missing key: GetNodeIndex gives 0, which is the first node of the first character.
  EXPECT_EQ(m_zk->GetNodeIndex("Spectator", "B_tail"), 0);
  EXPECT_EQ(m_zk->FindNodeIndex(spectator, "B_tail"), -1);
  EXPECT_EQ(m_zk->FindController("no such controller"), -1);

  // An unknown character: nothing at all. An unknown scene: an animation that moves no node.
  EXPECT_EQ(m_zk->GetAnimationCount(spectator, 0), 1);
  m_zk->AddAnimation("Nobody", "idle_loop", 0);
  EXPECT_EQ(m_zk->GetAnimationCount(spectator, 0), 1);
  m_zk->AddAnimation("Spectator", "no_such_scene", 0);
  EXPECT_EQ(m_zk->GetAnimationCount(spectator, 0), 2);
}

TEST_F(HostTripsTest, UpdateTakesTheHostClockNotAStep) {
  if (!Spectator()) GTEST_SKIP() << "sample assets not built";
  const int spectator = m_zk->GetCharacterIndex("Spectator");
  const int hand = m_zk->FindNodeIndex(spectator, "B_hand L");
  // The animation starts at the clock of the last Update, here 100 s.
  m_zk->Update(100.0f);
  m_zk->SetAnimation(spectator, 0, 0);
  const float whole = m_zk->GetRemainingTime(spectator);
  m_zk->Update(100.5f);
  const Matrix first = *m_zk->GetNodeMatrix(hand);
  m_zk->Update(100.5f);  // the same time again: the same pose, nothing advances
  EXPECT_EQ(std::memcmp(&first, m_zk->GetNodeMatrix(hand), sizeof(Matrix)), 0);
  EXPECT_NEAR(m_zk->GetRemainingTime(spectator), whole - 0.5f, 1e-4f);
}

}  // namespace
