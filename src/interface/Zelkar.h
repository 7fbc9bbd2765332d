// The facade: what ZK_Create hands to the host. It owns no animation state; every operation
// works on the process-wide managers of the library global.
#pragma once

#include <zelkar/Connection.h>
#include <zelkar/Signals.h>
#include <zelkar/ZelkarFacade.h>

class CZK_Zelkar : public CZelkarInterfaceExt {
 public:
  using CleanupConnection = CConnection<CZK_Zelkar, const CSigPC_SessionCleanup&>;

  // Subscribes to the host's session clean-up signal.
  CZK_Zelkar();
  // Unsubscribes.
  ~CZK_Zelkar() override;
  CZK_Zelkar(const CZK_Zelkar&) = delete;
  CZK_Zelkar& operator=(const CZK_Zelkar&) = delete;

  bool Initialize() override;
  void Shutdown() override;
  void Update(float time) override;
  void CreateCharacter(const std::string& path, const std::string& name,
                       const std::string& kind) override;
  void CreateHumanCharacter(const std::string& path, const std::string& reserved,
                            const std::string& name, const std::string& kind) override;
  void LoadAnimationScene(const std::string& path, const std::string& sceneName) override;
  void AddAnimation(const std::string& characterName, const std::string& sceneName,
                    int category) override;
  void ResolveSceneTargets(const std::string& sceneName) override;
  int GetNodeIndex(const std::string& characterName, const std::string& nodeName) override;
  int GetNodeAnimObject(int nodeIndex) override;
  const Matrix* GetNodeMatrix(int nodeIndex) override;
  float GetAnimObjectFloat(int animObjectIndex) override;
  Vector3 GetAnimObjectPosition(int animObjectIndex) override;
  void CreatePositionController(const char* name, std::vector<CZK_PositionKey> keys) override;
  void SetFrozen(int characterIndex, int frozen) override;
  int GetCharacterIndex(const std::string& name) override;
  void SetTimeOffset(int characterIndex, float offset) override;
  void SetSpeed(int characterIndex, float speed) override;
  void SetAnimation(int characterIndex, int category, int index) override;
  int GetAnimationCount(int characterIndex, int category) override;
  float GetRemainingTime(int characterIndex) override;
  void SetPosition(int characterIndex, const Vector3* position) override;
  void SetRotation(int characterIndex, float x, float y, float z) override;
  void SetScale(int characterIndex, float x, float y, float z) override;
  void SetMatrix(int characterIndex, const Matrix* matrix) override;
  Matrix* GetMatrix(int characterIndex) override;
  int FindNodeIndex(int characterIndex, const std::string& nodeName) override;
  Matrix GetAnimObjectMatrix(int animObjectIndex) override;
  Quaternion GetAnimObjectRotation(int animObjectIndex, const Matrix* reference) override;
  Matrix GetAnimObjectScale(int animObjectIndex) override;
  bool IsAnimObjectStatic(int animObjectIndex) override;
  int AddController(CZK_AnimationControllerBase* controller) override;
  int Reserved0(int value) override;
  int Reserved1(int value) override;
  int Reserved2(int value) override;
  int FindController(const char* name) override;
  void RemoveCharacter(int characterIndex) override;

  // Session clean-up handler, reached through cleanupConnection; the record is not read.
  void OnSessionCleanup(const CSigPC_SessionCleanup& record);

  const CleanupConnection* GetCleanupConnection() const { return cleanupConnection; }

 private:
  CleanupConnection* cleanupConnection;
};
