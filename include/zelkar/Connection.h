/// @file
/// Connections: intrusive list nodes that a subscriber links into the connection lists of the
/// host's signal hub. The host delivers a record by calling Notify on each connection of a list,
/// in list order, reading next after each call.
#pragma once

#include <cstdint>

/// Header of one connection list inside the hub. In the hub every header is padded to the entry
/// size (16 bytes in a 32-bit build, 32 in a 64-bit build); see HubLayout.h.
template <class T>
struct CConnectionList {
  T* first;        ///< first connection, null when empty
  T* last;         ///< last connection, null when empty
  uint32_t count;  ///< number of connections
};

/// Intrusive link of a connection.
template <class T>
struct CLink {
  T* next = nullptr;                   ///< the following connection, or null
  T* prev = nullptr;                   ///< the preceding connection, or null
  CConnectionList<T>* list = nullptr;  ///< the list it is in, null when unlinked
};

/// A subscription to one signal. Arg is the record parameter type, e.g. const CSigCarControl&.
template <class Arg>
class CConnectionBase : public CLink<CConnectionBase<Arg>> {
 public:
  /// The list type this connection goes into.
  using List = CConnectionList<CConnectionBase<Arg>>;

  CConnectionBase() = default;  ///< unlinked
  CConnectionBase(const CConnectionBase&) = delete;
  CConnectionBase& operator=(const CConnectionBase&) = delete;

  /// Slot 0. Lowers the list's count and unlinks the connection, if it is in a list.
  virtual ~CConnectionBase() {
    if (this->list != nullptr) {
      --this->list->count;
      Unlink();
    }
    this->next = nullptr;
    this->prev = nullptr;
    this->list = nullptr;
  }

  /// Slot 1. Delivers one record to the subscriber.
  virtual void Notify(Arg record) = 0;

  /// Appends this connection at the tail of list.
  void AppendTo(List* list) {
    this->prev = list->last;
    this->next = nullptr;
    if (list->last != nullptr)
      list->last->next = this;
    else
      list->first = this;
    list->last = this;
    this->list = list;
    ++list->count;
  }

  /// Takes this connection out of its list; the caller has already lowered the list's count.
  /// Unlinking a connection that is in no list does nothing.
  void Unlink() {
    List* l = this->list;
    if (l == nullptr) return;
    CConnectionBase* n = this->next;
    CConnectionBase* p = this->prev;
    if (n != nullptr && p != nullptr) {
      n->prev = p;
      p->next = n;
    } else if (n != nullptr) {
      n->prev = nullptr;
      l->first = n;
    } else if (p != nullptr) {
      p->next = nullptr;
      l->last = p;
    } else {
      l->first = nullptr;
      l->last = nullptr;
    }
    this->next = nullptr;
    this->prev = nullptr;
    this->list = nullptr;
  }
};

/// A connection that calls a member function of its owner.
template <class Owner, class Arg>
class CConnection : public CConnectionBase<Arg> {
 public:
  /// The owner's handler.
  using Handler = void (Owner::*)(Arg);

  /// Unlinked; the owner appends it to a hub list.
  CConnection(Owner* owner, Handler handler) : m_owner(owner), m_handler(handler) {}
  /// Clears owner and handler, then unlinks.
  ~CConnection() override {
    m_owner = nullptr;
    m_handler = nullptr;
  }

  /// Calls the handler on the owner.
  void Notify(Arg record) override { (m_owner->*m_handler)(record); }

 private:
  Owner* m_owner;
  Handler m_handler;
};
