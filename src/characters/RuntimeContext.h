// What the characters and the loader reach of the library's running state: the two managers and
// the slot of the current car. Handed down when a loader or a character is made; the library
// global above fills one in from its own fields.
#pragma once

class CZK_ControllerManager;
class CZK_CharacterManager;
class CZK_CharacterCar;

struct CZK_RuntimeContext {
  CZK_ControllerManager* controllers = nullptr;
  CZK_CharacterManager* characters = nullptr;
  // Where the most recently created car is kept (null in it when there is none).
  CZK_CharacterCar** currentCar = nullptr;
};
