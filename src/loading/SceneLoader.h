// The reader of the chunked files exported from 3ds Max: hierarchy files become the nodes of a
// character, scene files become controllers, tracks, scene records and IK chains in the
// controller manager. A loader is made for one load (or one character creation) and discarded.
//
// Damaged input never makes the loader read outside its buffer. Every chunk must lie inside its
// parent, every count is checked against the bytes its records need before anything is built, and
// a file that does not hold together is refused with a CZK_Exception naming the file and the byte
// offset. A refused file leaves the library as it was before the call.
#pragma once

#include <cstdint>
#include <string>

#include "animation/SceneFormat.h"
#include "characters/RuntimeContext.h"

class CDiskReader;
class CZK_Character;

class CZK_3DSMAXAnimationLoader {
 public:
  // The 22 characters every file starts with; a zero byte follows them.
  static constexpr const char* kHeaderText = NSceneFormat::kHeaderText;
  static constexpr std::uint32_t kHeaderSize = NSceneFormat::kHeaderSize;

  // What is loaded goes into the runtime's controller manager, and characters' nodes into its
  // character manager's registry; a car created becomes its current car.
  explicit CZK_3DSMAXAnimationLoader(const CZK_RuntimeContext& runtime) : m_runtime(runtime) {}
  CZK_3DSMAXAnimationLoader(const CZK_3DSMAXAnimationLoader&) = delete;
  CZK_3DSMAXAnimationLoader& operator=(const CZK_3DSMAXAnimationLoader&) = delete;
  virtual ~CZK_3DSMAXAnimationLoader();

  // Reads the scene at path (or, when reader is given, the reader's buffer from its start) into
  // the controller manager, naming every controller "<sceneName>::<object>...". A file that
  // cannot be read throws CRQ_DiskIOException "error opening file: <path>".
  void LoadScene(const std::string& path, const std::string& sceneName, CDiskReader* reader);

  // Reads a scene buffer from the reader's cursor, under the scene name and prefix set by
  // LoadScene or SetSceneName.
  void LoadSceneFromBuf(CDiskReader* reader);

  // Reads a hierarchy buffer from the reader's cursor into character: every node is attached to
  // the character and registered in the character manager's node registry. With human set,
  // ordinary transform nodes become human nodes. On refusal no node of this file stays in the
  // registry; nodes already attached stay in the character's tree until the character goes.
  void LoadHierarchyFromBuf(CDiskReader* reader, CZK_Character* character, bool human);

  // Builds a character from the hierarchy file at path: a car for the kind "Car" (any letter
  // case), which then becomes the library's current car, and a plain character for any other
  // kind. The caller registers the result with the character manager. On any failure the character
  // is destroyed and its nodes leave the registry before the exception goes on.
  CZK_Character* CreateCharacter(const std::string& path, const std::string& name,
                                 const std::string& kind);
  // The same for people: "Driver" and "CoDriver" (ignoring case) make the driver and the
  // co-driver, each of which needs a car to exist; every other kind is a plain human. reserved
  // is not read.
  CZK_Character* CreateHumanCharacter(const std::string& path, const std::string& reserved,
                                      const std::string& name, const std::string& kind);

  // Sets the scene name and the name prefix "<sceneName>::", as LoadScene does.
  void SetSceneName(const std::string& name);
  void SetNamePrefix(const std::string& prefix) { m_namePrefix = prefix; }

  CDiskReader* GetReader() const { return m_reader; }
  const std::string& GetPath() const { return m_path; }
  const std::string& GetCurrentObjectName() const { return m_currentObjectName; }
  const std::string& GetNamePrefix() const { return m_namePrefix; }
  const std::string& GetSceneName() const { return m_sceneName; }
  // The index of the scene record made by the last scene range chunk read.
  std::uint32_t GetSceneRangeIndex() const { return m_sceneRangeIndex; }

 private:
  CZK_Character* CreateCharacterOfKind(const std::string& path, const std::string& name,
                                       CZK_Character* (*make)(const std::string& name,
                                                              const CZK_RuntimeContext& runtime),
                                       bool human);

  CZK_RuntimeContext m_runtime;
  CDiskReader* m_reader = nullptr;  // owned only while LoadScene runs with a reader of its own
  std::string m_path;
  std::string m_currentObjectName;
  std::string m_namePrefix;
  std::string m_sceneName;
  std::uint32_t m_sceneRangeIndex = 0;
};
