// The library's entry for hosts: the facade interface and the two exported functions.
//
// A host loads libzelkar.so, calls ZK_Create for a facade and drives everything through its
// virtual operations. It destroys a facade with delete; ZK_Delete does nothing. The facade adds
// nine more operations after these (see ZelkarFacade.h).
//
// Handles are 32-bit signed indices into the library's lists, counted from 0 in order of
// insertion and valid until the next session clean-up; they are not validated.
#pragma once

#include <zelkar/Export.h>
#include <zelkar/MathTypes.h>

#include <string>
#include <vector>

class CZK_AnimationControllerBase;

// One key of CreatePositionController: a position and its time in seconds.
struct CZK_PositionKey {
  float x, y, z, time;
};
static_assert(sizeof(CZK_PositionKey) == 16);

class CZelkarInterface {
 public:
  virtual ~CZelkarInterface() {}        // 0
  virtual bool Initialize() = 0;        // 1
  virtual void Shutdown() = 0;          // 2
  virtual void Update(float time) = 0;  // 3
  virtual void CreateCharacter(const std::string& path, const std::string& name,
                               const std::string& kind) = 0;  // 4
  virtual void CreateHumanCharacter(const std::string& path, const std::string& reserved,
                                    const std::string& name,
                                    const std::string& kind) = 0;  // 5
  virtual void LoadAnimationScene(const std::string& path,
                                  const std::string& sceneName) = 0;  // 6
  virtual void AddAnimation(const std::string& characterName, const std::string& sceneName,
                            int category) = 0;                         // 7
  virtual void ResolveSceneTargets(const std::string& sceneName) = 0;  // 8
  virtual int GetNodeIndex(const std::string& characterName,
                           const std::string& nodeName) = 0;       // 9
  virtual int GetNodeAnimObject(int nodeIndex) = 0;                // 10
  virtual const Matrix* GetNodeMatrix(int nodeIndex) = 0;          // 11
  virtual float GetAnimObjectFloat(int animObjectIndex) = 0;       // 12
  virtual Vector3 GetAnimObjectPosition(int animObjectIndex) = 0;  // 13
  virtual void CreatePositionController(const char* name,
                                        std::vector<CZK_PositionKey> keys) = 0;    // 14
  virtual void SetFrozen(int characterIndex, int frozen) = 0;                      // 15
  virtual int GetCharacterIndex(const std::string& name) = 0;                      // 16
  virtual void SetTimeOffset(int characterIndex, float offset) = 0;                // 17
  virtual void SetSpeed(int characterIndex, float speed) = 0;                      // 18
  virtual void SetAnimation(int characterIndex, int category, int index) = 0;      // 19
  virtual int GetAnimationCount(int characterIndex, int category) = 0;             // 20
  virtual float GetRemainingTime(int characterIndex) = 0;                          // 21
  virtual void SetPosition(int characterIndex, const Vector3* position) = 0;       // 22
  virtual void SetRotation(int characterIndex, float x, float y, float z) = 0;     // 23
  virtual void SetScale(int characterIndex, float x, float y, float z) = 0;        // 24
  virtual void SetMatrix(int characterIndex, const Matrix* matrix) = 0;            // 25
  virtual Matrix* GetMatrix(int characterIndex) = 0;                               // 26
  virtual int FindNodeIndex(int characterIndex, const std::string& nodeName) = 0;  // 27
};

extern "C" {
// A new facade, or null when it cannot be allocated.
ZK_API CZelkarInterface* ZK_Create();
// Does nothing; a facade is destroyed through its virtual destructor.
ZK_API void ZK_Delete();
}

// Types of the two exports, for hosts that look them up at run time.
using ZK_CreateFunction = CZelkarInterface* (*)();
using ZK_DeleteFunction = void (*)();
