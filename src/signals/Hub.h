// Where the library finds the host's signal hub, and how an owner subscribes to one of its lists.
#pragma once

#include <cstddef>

#include <zelkar/Connection.h>

// The hub the library links its connections into (word 0 of the global object). Process attach
// sets it; null before attach and after detach.
void* GetSignalHub();
void SetSignalHub(void* hub);

// Appends c at the tail of the connection list that lies at byte offset `offset` of the hub
// (offsets from zk_hub in HubLayout.h, already scaled for the build's pointer size).
template <class Arg>
void LinkIntoHub(CConnectionBase<Arg>* c, std::size_t offset) {
  using List = typename CConnectionBase<Arg>::List;
  c->AppendTo(reinterpret_cast<List*>(static_cast<char*>(GetSignalHub()) + offset));
}
