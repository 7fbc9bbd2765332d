// The two host objects the library queries through the global object. Both are the host's C++
// objects; these interfaces have only virtual functions and no virtual destructor, so their slot
// numbers count from the first function. The host implements the slot the library calls and may
// use the others as it likes; the library never calls them.
#pragma once

// Word 20: decides whether the driver applies car-control records.
class IZK_ControlGate {
 public:
  virtual void HostSlot0() {}
  virtual void HostSlot1() {}
  virtual void HostSlot2() {}
  virtual void HostSlot3() {}
  // Slot 4: 0 while the driver must ignore car-control records, anything else to apply them.
  virtual int IsCarControlApplied() = 0;

 protected:
  // Not virtual: the host owns and destroys its objects as their own type.
  ~IZK_ControlGate() = default;
};

// Word 15: tells the class of the road surface under the car.
class IZK_SurfaceClass {
 public:
  virtual void HostSlot0() {}
  virtual void HostSlot1() {}
  virtual void HostSlot2() {}
  virtual void HostSlot3() {}
  virtual void HostSlot4() {}
  virtual void HostSlot5() {}
  virtual void HostSlot6() {}
  virtual void HostSlot7() {}
  virtual void HostSlot8() {}
  virtual void HostSlot9() {}
  // Slot 10: the road surface class, 0 to 6.
  virtual int GetSurfaceClass() = 0;

 protected:
  ~IZK_SurfaceClass() = default;
};
