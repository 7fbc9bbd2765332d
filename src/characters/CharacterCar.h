// The car body: a character whose wheels, suspension links, wipers and detachable parts follow
// the host's simulation through signals rather than keyframes, and which measures, once after
// loading, where the people in it sit and where the driver's right hand goes.
#pragma once

#include <zelkar/Connection.h>
#include <zelkar/Signals.h>

#include <cstdint>
#include <string>

#include "characters/Character.h"
#include "foundation/Math.h"

class CZK_Node;

// A fixed-capacity array: a count, the capacity and the storage, so that rebuilding the wheels
// and updating them never allocates.
template <class T, uint32_t Capacity>
struct CZK_CarArray {
  uint32_t count = 0;
  uint32_t capacity = Capacity;
  T storage[Capacity] = {};

  // Empties the array and gives every slot its default value again.
  void Reset() {
    for (T& item : storage) item = T{};
    count = 0;
    capacity = Capacity;
  }
  // The next free record, or null when the array is full.
  T* Add() { return count < capacity ? &storage[count++] : nullptr; }
  T* begin() { return storage; }
  T* end() { return storage + count; }
  const T* begin() const { return storage; }
  const T* end() const { return storage + count; }
};

constexpr uint32_t kCarWheelCapacity = 4;
constexpr uint32_t kCarWheelPartCapacity = 4;

// One suspension link of a wheel, turned each frame so that its aim row points at its target.
struct CZK_CarWheelPart {
  CZK_Node* node = nullptr;    // the link
  CZK_Node* target = nullptr;  // its aim point
  uint32_t aimAxis = 0;        // the row (0, 1 or 2) that points at the target
  uint32_t keepAxis = 0;       // the row copied from the car's reference frame
  uint32_t flip = 0;           // 1: the aim row points away from the target
};

struct CZK_CarWheel {
  uint32_t side = 0;            // 0 left, 1 right
  CZK_Node* hubNode = nullptr;  // "e_wheelgrunk_<wheel>": receives the wheel's transform
  Quaternion orientation = {0.0f, 0.0f, 0.0f, 1.0f};  // from the last car general state
  Vector3 position = {0.0f, 0.0f, 0.0f};              // from the last car general state
  CZK_CarArray<CZK_CarWheelPart, kCarWheelPartCapacity> parts;
};

class CZK_CharacterCar : public CZK_Character {
 public:
  CZK_CharacterCar(const std::string& name, const CZK_RuntimeContext& runtime);
  ~CZK_CharacterCar() override;

  // Measures the seat and hand dummies, finds the wipers and the reference frame, subscribes.
  void OnHierarchyLoaded() override;
  // Evaluates the body at time 0, then turns the wipers, places the wheels and aims the links.
  void Update(float time) override;
  // Rebuilds the four wheels and their links (the nodes' animated objects change with each
  // added animation, the nodes themselves do not).
  void OnAnimationAdded() override;

  // What the people in the car read. Points are in the people's units (× 1000), relative to
  // the driver's seat; the seats themselves are in the car's units.
  const Vector3& GetDriverSeat() const { return driverSeat; }
  const Vector3& GetCoDriverSeat() const { return coDriverSeat; }
  const Vector3& GetSteeringWheelPoint() const { return steeringWheelPoint; }
  const Vector3& GetGearHandPoint() const { return gearHandPoint; }
  const Vector3& GetGearPushedHandPoint() const { return gearPushedHandPoint; }
  const Vector3& GetHandbrakeHandPoint() const { return handbrakeHandPoint; }
  const Vector3& GetHandbrakePulledHandPoint() const { return handbrakePulledHandPoint; }
  int32_t GetNoGearLever() const { return noGearLever; }
  CZK_Node* GetSteeringWheelNode() const { return steeringWheelNode; }

  // Inspection for tools and tests.
  const CZK_CarArray<CZK_CarWheel, kCarWheelCapacity>& GetWheels() const { return wheels; }
  const float* GetWiperAngles() const { return wiperAngles; }
  CZK_Node* GetParentNode() const { return parentNode; }

  // The signal handlers, reached through the car's connections.
  void OnCarGeneralState(const CSigCarGeneralState& record);
  void OnWiperRotation(const CSigWiperRotation& record);
  void OnDetachFromParent(const CSigDetachFromParent& record);
  void OnWindscreenData(const CSigWindscreenData& record);

  // The left wiper angle the wipers were last turned to, shared by every car of the process:
  // a car turns its wipers only in a frame where its left angle differs from it. π at load, so
  // the first update after loading turns them even when both angles are 0.
  static float lastWiperAngle;

 private:
  using WiperConnection = CConnection<CZK_CharacterCar, const CSigWiperRotation&>;
  using WindscreenConnection = CConnection<CZK_CharacterCar, const CSigWindscreenData&>;
  using DetachConnection = CConnection<CZK_CharacterCar, const CSigDetachFromParent&>;
  using CarStateConnection = CConnection<CZK_CharacterCar, const CSigCarGeneralState&>;

  // Both append the names of missing nodes to `missing`, for one log line per rebuild.
  void AddWheel(const char* wheelName, uint32_t side, uint32_t flip, std::string& missing);
  void AddWheelPart(CZK_CarWheel& wheel, const char* partName, const char* wheelName,
                    uint32_t aimAxis, uint32_t keepAxis, uint32_t flip, std::string& missing);
  void SetRestState(CZK_CarWheel& wheel) const;
  void UpdateWipers();
  void UpdateWheel(const CZK_CarWheel& wheel, const Matrix& frame, uint32_t hubEntry);
  // Logs `message` at level 4 the first time `flag` is reported for this car.
  void ReportOnce(uint32_t flag, const char* message);

  float wiperAngles[2] = {0.0f, 0.0f};  // left, right
  Vector3 driverSeat = {0.0f, 0.0f, 0.0f};
  Vector3 coDriverSeat = {0.0f, 0.0f, 0.0f};
  Vector3 steeringWheelPoint = {0.0f, 0.0f, 0.0f};
  Vector3 gearHandPoint = {0.0f, 0.0f, 0.0f};
  Vector3 gearPushedHandPoint = {0.0f, 0.0f, 0.0f};
  Vector3 handbrakeHandPoint = {0.0f, 0.0f, 0.0f};
  Vector3 handbrakePulledHandPoint = {0.0f, 0.0f, 0.0f};
  CZK_Node* steeringWheelNode = nullptr;
  CZK_Node* innerWiperRight = nullptr;
  CZK_Node* innerWiperLeft = nullptr;
  CZK_Node* outerWiperRight = nullptr;
  CZK_Node* outerWiperLeft = nullptr;
  CZK_Node* parentNode = nullptr;
  int32_t noGearLever = 0;
  CZK_CarArray<CZK_CarWheel, kCarWheelCapacity> wheels;
  WiperConnection* wiperConnections[3] = {nullptr, nullptr, nullptr};
  WindscreenConnection* windscreenConnection = nullptr;
  DetachConnection* detachConnection = nullptr;
  CarStateConnection* carStateConnection = nullptr;

  // Which survivable faults this car has already logged, so that a fault met every frame
  // (a bad record sent each frame) is reported once rather than flooding the log.
  uint32_t reported = 0;
  // Wheel k's hub in the plan, found at its build (hubsBuild), whose range is re-evaluated
  // under the wheel's transform every frame.
  uint32_t hubEntries[kCarWheelCapacity] = {};
  uint64_t hubsBuild = 0;
};
