// The facade's operations beyond CZelkarInterface (slots 28 to 36). The object ZK_Create returns
// is a CZelkarInterfaceExt, so a host that needs these operations converts the pointer with
// static_cast<CZelkarInterfaceExt*>.
#pragma once

#include <zelkar/Zelkar.h>

class CZelkarInterfaceExt : public CZelkarInterface {
 public:
  virtual Matrix GetAnimObjectMatrix(int animObjectIndex) = 0;  // 28
  // The translation row of `reference` is the controller's world position.
  virtual Quaternion GetAnimObjectRotation(int animObjectIndex,
                                           const Matrix* reference) = 0;  // 29
  virtual Matrix GetAnimObjectScale(int animObjectIndex) = 0;             // 30
  virtual bool IsAnimObjectStatic(int animObjectIndex) = 0;               // 31
  // Takes ownership of the controller; returns its controller index.
  virtual int AddController(CZK_AnimationControllerBase* controller) = 0;  // 32
  virtual int Reserved0(int value) = 0;                                    // 33
  virtual int Reserved1(int value) = 0;                                    // 34
  virtual int Reserved2(int value) = 0;                                    // 35
  virtual int FindController(const char* name) = 0;                        // 36
};
