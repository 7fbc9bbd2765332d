/// @file
/// The facade's operations beyond CZelkarInterface (slots 28 to 37).
#pragma once

#include <zelkar/Zelkar.h>

/// The whole facade: CZelkarInterface and ten more operations.
///
/// The object ZK_Create returns is a CZelkarInterfaceExt, so a host that needs these operations
/// converts the pointer with `static_cast<CZelkarInterfaceExt*>`. The rules of Zelkar.h hold here
/// too: an animated-object index that names no object gives the neutral answer listed with each
/// operation, and every operation throws CZK_Exception when the library is not attached.
///
/// Animated objects are what the controllers drive: the library makes one for each node bound
/// to a scene (AddAnimation) and keeps index 0 for the "dummy controller" object, which stands
/// still at the identity. Values "at time 0" are the bound controller evaluated at animation
/// time 0, whatever the host's clock.
class CZelkarInterfaceExt : public CZelkarInterface {
 public:
  /// Slot 28. The world matrix the animated object kept from its last evaluation (the last
  /// Update of a node it drives); a signal that places an object shows here after the next
  /// Update. The identity for an object that holds no transform.
  /// @param animObjectIndex an animated-object index
  /// @return the matrix, by value; the identity when the index names no object
  virtual Matrix GetAnimObjectMatrix(int animObjectIndex) = 0;
  /// Slot 29. The rotation at time 0 of the animated object's rotation controller.
  /// @param animObjectIndex an animated-object index
  /// @param reference its translation row is the controller's world position (a look-at
  ///   controller aims from there); read at once
  /// @return the rotation, or the identity (0, 0, 0, 1) when the bound controller is not a
  ///   rotation controller or the index names no object
  virtual Quaternion GetAnimObjectRotation(int animObjectIndex, const Matrix* reference) = 0;
  /// Slot 30. The scale at time 0 of the animated object's scale controller, as a matrix.
  /// @param animObjectIndex an animated-object index
  /// @return the scale matrix, or the identity when the bound controller is not a scale
  ///   controller or the index names no object
  virtual Matrix GetAnimObjectScale(int animObjectIndex) = 0;
  /// Slot 31. Whether the animated object stands for its fixed matrix and consults no
  /// controller. True for object 0 and for objects a solid-object or ghost-car signal placed.
  /// @param animObjectIndex an animated-object index
  /// @return false when the index names no object
  virtual bool IsAnimObjectStatic(int animObjectIndex) = 0;
  /// Slot 32. Registers a controller the host built; the library owns it from then on and
  /// deletes it at the session clean-up.
  /// @param controller a controller of the library's own classes (only a program linked with
  ///   the static library can make one)
  /// @return its controller index, or −1 for null
  virtual int AddController(CZK_AnimationControllerBase* controller) = 0;
  /// Slot 33. Reserved: returns 0 for any argument.
  /// @param value not read
  virtual int Reserved0(int value) = 0;
  /// Slot 34. Reserved: returns 0 for any argument.
  /// @param value not read
  virtual int Reserved1(int value) = 0;
  /// Slot 35. Reserved: returns 0 for any argument.
  /// @param value not read
  virtual int Reserved2(int value) = 0;
  /// Slot 36. Finds a controller by its full name (scene name + "::" + object name, and
  /// "::pos", "::rot" or "::scale" for a part).
  /// @param name zero-terminated
  /// @return its controller index, or **−1** when there is none (or name is null). "dummy
  /// controller" is an
  ///   animated object, not a controller: it is not found here.
  virtual int FindController(const char* name) = 0;
  /// Slot 37. Destroys one character, as the session clean-up destroys them all: its nodes'
  /// indices and matrix pointers stand for nothing afterwards, and its name (and its nodes'
  /// names) may be created again. Every other character and node keeps its index. The driver
  /// and co-driver sit in the most recently created car: removing it seats them in the most
  /// recent car left, or, when none is left, in no car (no seat, no steering wheel) until
  /// another is created. Scenes and controllers stay.
  /// @param characterIndex a character index; one out of range or already removed does nothing
  virtual void RemoveCharacter(int characterIndex) = 0;
};
