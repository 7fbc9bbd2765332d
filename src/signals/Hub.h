// Where the library finds the host's signal hub, and how an owner subscribes to one of its lists.
#pragma once

#include <zelkar/Connection.h>
#include <zelkar/Signals.h>

#include <cstddef>

// The hub the library links its connections into (word 0 of the global object). Process attach
// sets it; null before attach and after detach.
void* GetSignalHub();
void SetSignalHub(void* hub);

// Word `index` (0 to 21) of the process's global object: 0 the signal hub, 15 the surface-class
// object (IZK_SurfaceClass), 20 the control gate (IZK_ControlGate). Null while the library is
// not attached and for an index out of range.
void* GetGlobalObjectWord(std::size_t index);
// Process attach hands over the mapped words (zk_hub::kGlobalObjectWords of them); detach null.
void SetGlobalObjectWords(void* const* words);

// Appends c at the tail of the connection list that lies at byte offset `offset` of the hub
// (offsets from zk_hub in HubLayout.h, already scaled for the build's pointer size).
// Without a hub (the library is not attached) c stays unlinked, which its destructor accepts.
template <class Arg>
void LinkIntoHub(CConnectionBase<Arg>* c, std::size_t offset) {
  using List = typename CConnectionBase<Arg>::List;
  char* hub = static_cast<char*>(GetSignalHub());
  if (hub == nullptr) return;
  c->AppendTo(reinterpret_cast<List*>(hub + offset));
}

// The signal object that begins at byte offset `offset` of the hub (scaled as above), or null
// without a hub.
template <class Rec>
CSignalObject<Rec>* HubSignal(std::size_t offset) {
  char* hub = static_cast<char*>(GetSignalHub());
  return hub != nullptr ? reinterpret_cast<CSignalObject<Rec>*>(hub + offset) : nullptr;
}
