/// @file
/// For programs that link the static library libzelkar.a (CMake `zelkar::zelkar_static`,
/// `pkg-config --static zelkar`): process attach and detach, and the log's sink.
///
/// libzelkar.so runs process attach when it is loaded and detach when it is unloaded. The static
/// library has no such entry: the program calls ZelkarProcessAttach itself, after preparing the
/// host's global object and hub (docs/host-contract.md) or without them (the library then supplies
/// an empty hub), and before ZK_Create; until then every facade operation throws CZK_Exception
/// ("the library is not attached"). ZelkarProcessDetach takes it all apart again, after the last
/// facade is deleted and before the host's hub goes away.
///
/// @code
/// #include <zelkar/StaticLibrary.h>
/// #include <zelkar/ZelkarFacade.h>
///
/// ZelkarProcessAttach();
/// {
///   std::unique_ptr<CZelkarInterfaceExt> zk(static_cast<CZelkarInterfaceExt*>(ZK_Create()));
///   // ... load scenes, create characters, update ...
/// }
/// ZelkarProcessDetach();
/// @endcode
///
/// These functions are not in libzelkar.so, which exports only ZK_Create and ZK_Delete: a program
/// that links or loads the shared library must not call them.
#pragma once

/// Process attach: maps the host's global object (or makes private words when there is none),
/// supplies an empty signal hub when the host put none in it, and makes the library's managers,
/// which subscribe to the hub. A second call without a detach in between does nothing.
void ZelkarProcessAttach();

/// Process detach: destroys the managers (their subscriptions leave the hub), forgets the global
/// object and frees what attach made, along with the archive cache and the log. Does nothing
/// when the library is not attached, apart from those two. Attach may follow again.
void ZelkarProcessDetach();

namespace zk_platform {

/// Receives the library's log, one zero-terminated piece of text at a time (a line may come in
/// several pieces; each line ends with '\n').
using DebugSink = void (*)(const char* text);

/// Replaces the sink of the library's log; null restores the default, standard error. Returns
/// the previous sink. Until a sink is set the log goes to standard error, or nowhere when the
/// environment variable ZELKAR_DEBUG_OUTPUT is `none`. The sink stays across detach and attach.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace zk_platform
