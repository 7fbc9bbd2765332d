// zelkar-probe: plays the host for libzelkar.so. It prepares the process's global object and a
// signal hub, loads the library, drives a facade through its own operations and the session
// clean-up signal, unloads the library and removes the global object, printing each step.
#include <zelkar/HubLayout.h>
#include <zelkar/Signals.h>
#include <zelkar/Zelkar.h>
#include <zelkar/ZelkarFacade.h>

#include <CLI/CLI.hpp>
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "DefaultLibrary.h"
#include "hostkit/GlobalObject.h"
#include "hostkit/HostHub.h"
#include "hostkit/HostObjects.h"
#include "hostkit/LoadedLibrary.h"

namespace {

// One line of the report.
__attribute__((format(printf, 1, 2))) void Step(const char* format, ...) {
  va_list values;
  va_start(values, format);
  std::vprintf(format, values);
  va_end(values);
  std::printf("\n");
  std::fflush(stdout);
}

unsigned CleanupSubscribers(const zk_hostkit::CHostHub& hub) {
  return hub.CountAt(zk_hub::kSessionCleanupList);
}

int Probe(const std::string& libraryPath) {
  using namespace zk_hostkit;

  CGlobalObject globalObject;
  // The hub outlives this function if the loader keeps the library (see the end).
  auto hub = std::make_unique<CHostHub>();
  CSurfaceClass surface;
  CControlGate gate;
  globalObject.SetWord(zk_hub::kWordSignalHub, hub->Data());
  globalObject.SetWord(zk_hub::kWordSurfaceClass, static_cast<IZK_SurfaceClass*>(&surface));
  globalObject.SetWord(zk_hub::kWordControlGate, static_cast<IZK_ControlGate*>(&gate));
  Step(
      "host: global object %s made, 22 words; hub in word 0, surface class in word 15, "
      "control gate in word 20",
      CGlobalObject::Name().c_str());
  Step("host: application state %d", hub->GetApplicationState());

  CLoadedLibrary library(libraryPath);
  Step("host: loaded %s; the library's subscriptions in the hub: %zu", libraryPath.c_str(),
       hub->TotalConnections());

  auto create = library.Function<ZK_CreateFunction>("ZK_Create");
  auto remove = library.Function<ZK_DeleteFunction>("ZK_Delete");
  if (create == nullptr || remove == nullptr) {
    Step("error: %s does not export ZK_Create and ZK_Delete", libraryPath.c_str());
    return 1;
  }
  std::unique_ptr<CZelkarInterface> facade(create());
  if (facade == nullptr) {
    Step("error: ZK_Create returned null");
    return 1;
  }
  auto* ext = static_cast<CZelkarInterfaceExt*>(facade.get());
  Step("ZK_Create: facade made; session clean-up subscribers: %u", CleanupSubscribers(*hub));
  Step("Initialize: %s", facade->Initialize() ? "true" : "false");
  facade->Shutdown();
  Step("Shutdown: done");
  Step("Reserved0(1) = %d, Reserved1(2) = %d, Reserved2(3) = %d", ext->Reserved0(1),
       ext->Reserved1(2), ext->Reserved2(3));

  ext->CreatePositionController("Probe::Marker", {{0, 0, 0, 0}, {1, 2, 3, 1}});
  Step("CreatePositionController(\"Probe::Marker\"): FindController gives %d",
       ext->FindController("Probe::Marker"));
  try {
    facade->Update(0.0f);
    Step("Update(0): done");
  } catch (const std::exception& error) {
    Step("Update(0): %s", error.what());
  }

  hub->Emit(hub::kSessionCleanupSignal, CSigPC_SessionCleanup{});
  Step(
      "host: session clean-up emitted; FindController(\"Probe::Marker\") gives %d, "
      "IsAnimObjectStatic(0) is %s",
      ext->FindController("Probe::Marker"), ext->IsAnimObjectStatic(0) ? "true" : "false");

  facade.reset();
  remove();
  Step("facade destroyed, ZK_Delete called; session clean-up subscribers: %u",
       CleanupSubscribers(*hub));

  library.Close();
  if (CLoadedLibrary::IsLoaded(libraryPath)) {
    // The loader kept the library, so its detach runs at exit and still needs the hub.
    Step("host: unloaded, but the loader keeps the library until exit; %zu subscriptions stay",
         hub->TotalConnections());
    KeepHubUntilExit(std::move(hub));
  } else {
    Step("host: unloaded; the library's subscriptions in the hub: %zu", hub->TotalConnections());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Loads libzelkar.so as a host would and reports what it answers."};
  std::string libraryPath = zk_tools::DefaultLibraryPath();
  app.add_option("library", libraryPath, "path of libzelkar.so")->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  try {
    const int result = Probe(libraryPath);
    Step("host: global object removed");
    return result;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zelkar-probe: %s\n", error.what());
    return 1;
  }
}
