/// @file
/// Signal payload records and the hub's signal objects.
///
/// Records are plain structs whose fields lie at fixed byte offsets, the same in 32-bit and 64-bit
/// builds (they hold no pointers). Only the fields the library reads or writes are named; the
/// bytes between them belong to the host and are kept as explicit padding (`hostBytes`) so that
/// every offset is fixed. Positions are in the host's axes; quaternions are x, y, z, w.
/// docs/signals.md tells who hears each record and what it does with it.
#pragma once

#include <zelkar/Connection.h>
#include <zelkar/HubLayout.h>
#include <zelkar/MathTypes.h>

#include <cstddef>
#include <cstdint>

/// A 3-vector followed by four host bytes: the 16-byte stride of vectors inside the records.
struct CSigVector3Slot {
  Vector3 value;  ///< the vector
  uint8_t hostBytes[4];
};

/// The host ends a session: every character, scene, controller and handle is destroyed. Nothing
/// of the record is read.
struct CSigPC_SessionCleanup {
  uint8_t hostBytes[4];
};

/// Driver input, heard by the driver.
struct CSigCarControl {
  uint8_t hostBytes0[8];
  float handbrake;  ///< byte 8: handbrake value
  uint8_t hostBytes1[4];
  float steering;    ///< byte 16: steering input
  uint32_t buttons;  ///< byte 20: bits 0 and 1 are the gear change
};

/// Where the car and its wheels are; heard by the car and the in-car people.
struct CSigCarGeneralState {
  uint8_t hostBytes0[16];
  Vector3 position;  ///< byte 16: the car's position, host axes
  uint8_t hostBytes1[4];
  Quaternion orientation;  ///< byte 32: the car's orientation
  uint8_t hostBytes2[48];
  CSigVector3Slot wheelPositions[4];  ///< byte 96 + 16 i: wheel i's position
  Quaternion wheelOrientations[4];    ///< byte 160 + 16 i: wheel i's orientation
};

/// Placement of one animated object, shared by the solid-object and ghost-car records. The
/// controller manager pins the object there (it becomes static), with the host's y and z
/// exchanged.
struct CSigObjectState {
  uint32_t objectIndex;  ///< byte 0: animated-object index; 0 (or one out of range) is ignored
  uint8_t hostBytes0[12];
  Vector3 position;  ///< byte 16: position, host axes
  uint8_t hostBytes1[4];
  Quaternion orientation;  ///< byte 32: orientation
};

/// A solid object's state (heard on seven lists).
struct CSigSolidGeneralState : CSigObjectState {};
/// A ghost car's state (heard on two lists).
struct CSigGhostCarState : CSigObjectState {};

/// A detachable car part leaves its parent; heard by the car.
struct CSigDetachFromParent {
  uint32_t objectIndex;  ///< byte 0: the part's animated-object index
};

/// The four corners of the windscreen; heard by the car.
struct CSigWindscreenData {
  uint8_t hostBytes0[48];
  CSigVector3Slot corners[4];  ///< bytes 48, 64, 80, 96
};

/// The wipers' angles; heard by the car.
struct CSigWiperRotation {
  float leftAngle;   ///< byte 0
  float rightAngle;  ///< byte 4
};

/// Sway of one in-car person; the receiver copies all 112 bytes.
struct CSigIncarShake {
  uint32_t person;  ///< byte 0: 0 the driver, 1 the co-driver
  uint8_t hostBytes0[12];
  CSigVector3Slot shakeVectors[5];  ///< words 4k+4 to 4k+6, k = 0 to 4
  Vector3 bodyShift;                ///< words 24 to 26
  uint8_t hostBytes1[4];
};

/// Emitted by the car: both wipers' positions in windscreen coordinates.
struct CSigWiperPosition {
  float leftU;   ///< byte 0
  float leftV;   ///< byte 4
  float rightU;  ///< byte 8
  float rightV;  ///< byte 12
};

#define ZK_SIG_FIELD_AT(Record, field, offset) \
  static_assert(offsetof(Record, field) == (offset), #Record "::" #field " is misplaced")

ZK_SIG_FIELD_AT(CSigCarControl, handbrake, 8);
ZK_SIG_FIELD_AT(CSigCarControl, steering, 16);
ZK_SIG_FIELD_AT(CSigCarControl, buttons, 20);
static_assert(sizeof(CSigCarControl) == 24);

ZK_SIG_FIELD_AT(CSigCarGeneralState, position, 16);
ZK_SIG_FIELD_AT(CSigCarGeneralState, orientation, 32);
ZK_SIG_FIELD_AT(CSigCarGeneralState, wheelPositions, 96);
ZK_SIG_FIELD_AT(CSigCarGeneralState, wheelOrientations, 160);
static_assert(sizeof(CSigVector3Slot) == 16);
static_assert(sizeof(CSigCarGeneralState) == 224);

ZK_SIG_FIELD_AT(CSigSolidGeneralState, objectIndex, 0);
ZK_SIG_FIELD_AT(CSigSolidGeneralState, position, 16);
ZK_SIG_FIELD_AT(CSigSolidGeneralState, orientation, 32);
static_assert(sizeof(CSigSolidGeneralState) == 48);
ZK_SIG_FIELD_AT(CSigGhostCarState, objectIndex, 0);
ZK_SIG_FIELD_AT(CSigGhostCarState, position, 16);
ZK_SIG_FIELD_AT(CSigGhostCarState, orientation, 32);
static_assert(sizeof(CSigGhostCarState) == 48);

ZK_SIG_FIELD_AT(CSigDetachFromParent, objectIndex, 0);
static_assert(sizeof(CSigDetachFromParent) == 4);

ZK_SIG_FIELD_AT(CSigWindscreenData, corners, 48);
static_assert(sizeof(CSigWindscreenData) == 112);

ZK_SIG_FIELD_AT(CSigWiperRotation, leftAngle, 0);
ZK_SIG_FIELD_AT(CSigWiperRotation, rightAngle, 4);
static_assert(sizeof(CSigWiperRotation) == 8);

ZK_SIG_FIELD_AT(CSigIncarShake, person, 0);
ZK_SIG_FIELD_AT(CSigIncarShake, shakeVectors, 16);
ZK_SIG_FIELD_AT(CSigIncarShake, bodyShift, 96);
static_assert(sizeof(CSigIncarShake) == 112);

ZK_SIG_FIELD_AT(CSigWiperPosition, leftU, 0);
ZK_SIG_FIELD_AT(CSigWiperPosition, leftV, 4);
ZK_SIG_FIELD_AT(CSigWiperPosition, rightU, 8);
ZK_SIG_FIELD_AT(CSigWiperPosition, rightV, 12);
static_assert(sizeof(CSigWiperPosition) == 16);

static_assert(sizeof(CSigPC_SessionCleanup) == 4);

#undef ZK_SIG_FIELD_AT

// ---------------------------------------------------------------------------------------------
// Connection lists as they lie in the hub.

/// The connection type that carries records of type Rec.
template <class Rec>
using CSignalConnection = CConnectionBase<const Rec&>;
/// The connection list type that carries records of type Rec.
template <class Rec>
using CSignalList = CConnectionList<CSignalConnection<Rec>>;

/// One entry of the hub: a list header padded to the entry size.
template <class Rec>
struct CHubListEntry {
  CSignalList<Rec> list;  ///< the list header
  uint8_t hostBytes[zk_hub::kListEntrySize - sizeof(CSignalList<Rec>)];
};

/// A signal of the hub: the lists of its subscribers, one per application state plus one that
/// hears the signal in every state.
template <class Rec>
struct CSignalObject {
  uint32_t emitting;      ///< non-zero while an emission of this signal runs
  int* applicationState;  ///< the host's current application state, or null
  CHubListEntry<Rec> stateLists[zk_hub::kApplicationStateCount];  ///< one list per state
  CHubListEntry<Rec> allStatesList;                               ///< subscribers in every state
};

static_assert(sizeof(CHubListEntry<CSigWiperPosition>) == zk_hub::kListEntrySize);
static_assert(offsetof(CSignalObject<CSigWiperPosition>, emitting) ==
              zk_hub::kSignalEmittingOffset);
static_assert(offsetof(CSignalObject<CSigWiperPosition>, applicationState) ==
              zk_hub::kSignalApplicationStateOffset);
static_assert(offsetof(CSignalObject<CSigWiperPosition>, stateLists) ==
              zk_hub::kSignalStateListsOffset);
static_assert(offsetof(CSignalObject<CSigWiperPosition>, allStatesList) ==
              zk_hub::kSignalAllStatesListOffset);
static_assert(sizeof(CSignalObject<CSigWiperPosition>) == zk_hub::kSignalObjectSize);

/// Delivers record to every connection of list, first to last. The next connection is read only
/// after Notify returns, so a handler may append to the list it is called from; it must not
/// destroy its own connection.
template <class Rec>
void NotifyEach(const CSignalList<Rec>& list, const Rec& record) {
  CSignalConnection<Rec>* c = list.first;
  while (c != nullptr) {
    c->Notify(record);
    c = c->next;
  }
}
