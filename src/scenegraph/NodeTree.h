// What the nodes of one tree share: the controller manager their animated objects live in, and
// a count of changes to the tree's shape and bindings. The evaluation plans of the tree compare
// the count with the one they were built at, so a change to one character's tree rebuilds that
// character's plans and no other.
#pragma once

#include <cstdint>

class CZK_ControllerManager;

struct CZK_NodeTree {
  CZK_ControllerManager* controllers = nullptr;
  uint64_t structure = 0;
};
