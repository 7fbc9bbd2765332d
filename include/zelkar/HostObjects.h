/// @file
/// The two host objects the library queries through the global object.
///
/// Both are the host's C++ objects; these interfaces have only virtual functions and no virtual
/// destructor, so their slot numbers count from the first function. The host implements the slot
/// the library calls and may use the others as it likes; the library never calls them.
#pragma once

/// Word 20 of the global object: decides whether the driver applies car-control records. A null
/// word 20 applies them always.
class IZK_ControlGate {
 public:
  virtual void HostSlot0() {}  ///< slot 0: the host's, never called
  virtual void HostSlot1() {}  ///< slot 1: the host's, never called
  virtual void HostSlot2() {}  ///< slot 2: the host's, never called
  virtual void HostSlot3() {}  ///< slot 3: the host's, never called
  /// Slot 4: 0 while the driver must ignore car-control records, anything else to apply them.
  virtual int IsCarControlApplied() = 0;

 protected:
  /// Not virtual: the host owns and destroys its objects as their own type.
  ~IZK_ControlGate() = default;
};

/// Word 15 of the global object: tells the class of the road surface under the car.
class IZK_SurfaceClass {
 public:
  virtual void HostSlot0() {}  ///< slot 0: the host's, never called
  virtual void HostSlot1() {}  ///< slot 1: the host's, never called
  virtual void HostSlot2() {}  ///< slot 2: the host's, never called
  virtual void HostSlot3() {}  ///< slot 3: the host's, never called
  virtual void HostSlot4() {}  ///< slot 4: the host's, never called
  virtual void HostSlot5() {}  ///< slot 5: the host's, never called
  virtual void HostSlot6() {}  ///< slot 6: the host's, never called
  virtual void HostSlot7() {}  ///< slot 7: the host's, never called
  virtual void HostSlot8() {}  ///< slot 8: the host's, never called
  virtual void HostSlot9() {}  ///< slot 9: the host's, never called
  /// Slot 10: the road surface class, 0 to 6.
  virtual int GetSurfaceClass() = 0;

 protected:
  /// Not virtual, as for IZK_ControlGate.
  ~IZK_SurfaceClass() = default;
};
