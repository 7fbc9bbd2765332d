/// @file
/// The library's entry for hosts: the facade interface CZelkarInterface (slots 0 to 27) and the
/// two exported functions.
///
/// A host loads libzelkar.so (usually with `dlopen`), calls ZK_Create for a facade and drives
/// everything through the facade's virtual operations; the operations of slots 28 to 37 are in
/// ZelkarFacade.h. See docs/host-contract.md for what the host prepares before loading.
///
/// **Rules every operation follows**
/// - *One thread.* Every call, every signal delivery and the library's load and unload run on the
///   host's thread, one at a time. Nothing is locked.
/// - *Shared state.* All facades share the library's two process-wide managers (characters and
///   their nodes; scenes, controllers and animated objects). An operation ignores which facade
///   it was called on.
/// - *Handles* (character, node, animated-object and controller indices) are 32-bit signed
///   indices into those managers' lists, counted from 0 in the order things were made, valid
///   until the next session clean-up signal. **They are not validated:** an index that was never
///   handed out, or one from before a clean-up, reads or writes outside the library's lists. Ask
///   for a handle again after a clean-up.
/// - *Names* are exact and case-sensitive (except the character kinds "Car", "Driver" and
///   "CoDriver"). A node's key is the character name followed directly by the node name.
/// - *Exceptions* (types in Exceptions.h) leave an operation only where it says so:
///   NRQLib2::CRQ_DiskIOException for a file that cannot be read, CZK_Exception for damaged data,
///   and CZK_Exception from every operation when the library is not attached (its managers do
///   not exist). All of them derive from std::exception.
/// - *Matrices* are row-major, points are row vectors (p' = p·M), the translation is the fourth
///   row (elements 12, 13, 14).
#pragma once

#include <zelkar/Export.h>
#include <zelkar/MathTypes.h>

#include <string>
#include <vector>

class CZK_AnimationControllerBase;

/// One key of CZelkarInterface::CreatePositionController: a position and its time in seconds.
struct CZK_PositionKey {
  float x;     ///< position, library axes
  float y;     ///< position, library axes
  float z;     ///< position, library axes
  float time;  ///< seconds of animation time
};
static_assert(sizeof(CZK_PositionKey) == 16);

/// The facade's first 28 operations, in virtual slot order (slot 0 is the destructor).
///
/// The object ZK_Create returns is a CZelkarInterfaceExt (ZelkarFacade.h), which adds slots 28
/// to 37. The usual order of calls for one session:
/// 1. LoadAnimationScene for each scene, then ResolveSceneTargets for each scene;
/// 2. CreateCharacter (the car) and CreateHumanCharacter (driver, co-driver, spectators); a
///    driver or co-driver sits in the most recently created car, so create the car first;
/// 3. AddAnimation to give characters their scenes; GetCharacterIndex and FindNodeIndex for the
///    handles the game keeps;
/// 4. each frame: emit the signals (car state, controls), Update(host time), read matrices;
/// 5. the session clean-up signal destroys everything of 1 to 3; start again at 1.
class CZelkarInterface {
 public:
  /// Slot 0. Destroys the facade and takes its session clean-up subscription out of the hub.
  /// Characters, scenes and controllers stay: they belong to the library, not to the facade.
  virtual ~CZelkarInterface() {}
  /// Slot 1. Returns true; does nothing else. May be called at any time.
  virtual bool Initialize() = 0;
  /// Slot 2. Does nothing. The library is shut down by unloading it.
  virtual void Shutdown() = 0;
  /// Slot 3. Advances every character to the host's clock.
  ///
  /// @param time the host's absolute time in seconds (a clock, **not** a step since the last
  ///   call). Calling it twice with the same time gives the same pose. A character samples its
  ///   scene at: scene start + (time − the clock when SetAnimation selected it) × speed +
  ///   offset.
  /// Characters are updated in creation order; a frozen one is skipped. Afterwards every
  /// GetNodeMatrix and GetMatrix pointer holds the new pose. Throws CZK_Exception when the
  /// library is not attached.
  virtual void Update(float time) = 0;
  /// Slot 4. Builds a character from a hierarchy file and registers it under name.
  ///
  /// @param path hierarchy file (".zkh"), loose or inside a ".rbz" archive along its path
  /// @param name the character's name: unique, the prefix of its node keys
  /// @param kind "Car" (any letter case) makes the car, which the driver and co-driver created
  ///   after it sit in; any other kind makes a plain character
  /// The character index is not returned: ask GetCharacterIndex(name). Throws
  /// NRQLib2::CRQ_DiskIOException when the file cannot be read and CZK_Exception when it is not
  /// a valid hierarchy (or the kind is not available in this build); nothing is registered then.
  virtual void CreateCharacter(const std::string& path, const std::string& name,
                               const std::string& kind) = 0;
  /// Slot 5. As CreateCharacter, for people.
  ///
  /// @param path hierarchy file
  /// @param reserved not read; pass an empty string
  /// @param name the character's name
  /// @param kind "Driver" or "CoDriver" (any letter case) make the in-car people; every other
  ///   kind, "Spectator" included, makes a plain human
  /// Throws as CreateCharacter.
  virtual void CreateHumanCharacter(const std::string& path, const std::string& reserved,
                                    const std::string& name, const std::string& kind) = 0;
  /// Slot 6. Reads a scene file into the library under sceneName.
  ///
  /// @param path scene file (".zka"), loose or inside a ".rbz" archive along its path
  /// @param sceneName the name AddAnimation and ResolveSceneTargets use; controllers are named
  ///   sceneName + "::" + object name
  /// Throws NRQLib2::CRQ_DiskIOException when the file cannot be read and CZK_Exception (with
  /// the file name and byte offset) when it is damaged. Call ResolveSceneTargets afterwards.
  virtual void LoadAnimationScene(const std::string& path, const std::string& sceneName) = 0;
  /// Slot 7. Gives a character a loaded scene as the next animation of a category.
  ///
  /// @param characterName a registered character's name
  /// @param sceneName a loaded scene's name
  /// @param category 0 to 3 (another value throws CZK_Exception); within a category, animations
  ///   are numbered 0, 1, ... in the order added
  /// **An unknown character name does nothing, silently.** A scene name that was never loaded
  /// still adds an animation (GetAnimationCount counts it) that binds no node to anything: a
  /// misspelt or not yet loaded scene goes unnoticed here. Load scenes before adding them.
  virtual void AddAnimation(const std::string& characterName, const std::string& sceneName,
                            int category) = 0;
  /// Slot 8. Binds the look-at and link controllers of a loaded scene to their targets by name.
  /// Call once per scene after loading it (and after loading the scenes its targets live in).
  /// An unknown scene name does nothing.
  virtual void ResolveSceneTargets(const std::string& sceneName) = 0;
  /// Slot 9. The node index of characterName + nodeName (joined with no separator).
  /// @return the node index, or **0 when there is no such node**, which is also the index of
  ///   the first character's first node: use FindNodeIndex to tell "missing" from "found".
  virtual int GetNodeIndex(const std::string& characterName, const std::string& nodeName) = 0;
  /// Slot 10. The animated object most recently connected to a node's transform.
  /// @param nodeIndex a valid node index (not validated)
  /// @return its animated-object index, 0 when none was connected
  virtual int GetNodeAnimObject(int nodeIndex) = 0;
  /// Slot 11. The node's matrix after the last Update: in the world for placed nodes (and, but
  /// for the driver's, attached ones), in the character's own space for bones and helpers, which
  /// GetMatrix carries into the world (docs/host-contract.md, "Which space GetNodeMatrix answers
  /// in"; hostkit/NodeSpace.h).
  /// @param nodeIndex a valid node index (not validated)
  /// @return a pointer that stays valid while the node lives (until the session clean-up) and
  ///   that every Update rewrites
  virtual const Matrix* GetNodeMatrix(int nodeIndex) = 0;
  /// Slot 12. The value at time 0 of the float controller bound to an animated object.
  /// @param animObjectIndex a valid animated-object index (not validated)
  virtual float GetAnimObjectFloat(int animObjectIndex) = 0;
  /// Slot 13. The position at time 0 of the animated object's position controller.
  /// @param animObjectIndex a valid animated-object index (not validated)
  /// @return the position, or (0, 0, 0) when the bound controller is not a position controller
  virtual Vector3 GetAnimObjectPosition(int animObjectIndex) = 0;
  /// Slot 14. Makes and registers a position controller that moves through keys along a TCB
  /// curve.
  /// @param name zero-terminated controller name, found again with FindController
  /// @param keys the keys in time order (copied)
  virtual void CreatePositionController(const char* name, std::vector<CZK_PositionKey> keys) = 0;
  /// Slot 15. Non-zero freezes a character: Update leaves its pose as it is.
  /// @param characterIndex a valid character index (not validated)
  /// @param frozen 0 to let it move again
  virtual void SetFrozen(int characterIndex, int frozen) = 0;
  /// Slot 16. The character index of a registered character.
  /// @return its index
  /// Throws a std::exception whose `what()` is "Character not found" (not one of the types of
  /// Exceptions.h) when no character has that name.
  virtual int GetCharacterIndex(const std::string& name) = 0;
  /// Slot 17. Seconds added to the character's local time.
  /// @param characterIndex a valid character index (not validated)
  /// @param offset seconds
  virtual void SetTimeOffset(int characterIndex, float offset) = 0;
  /// Slot 18. Playback speed of the character's animation (1 is as authored).
  /// @param characterIndex a valid character index (not validated)
  /// @param speed factor on the host time elapsed since the animation was selected
  virtual void SetSpeed(int characterIndex, float speed) = 0;
  /// Slot 19. Selects an animation and restarts it at the time of the **last Update** (call
  /// Update with the current host time first).
  /// @param characterIndex a valid character index (not validated)
  /// @param category 0 to 3
  /// @param index 0 to GetAnimationCount − 1 of that category
  virtual void SetAnimation(int characterIndex, int category, int index) = 0;
  /// Slot 20. How many animations AddAnimation gave a category of a character.
  /// @param characterIndex a valid character index (not validated)
  /// @param category 0 to 3
  /// @return the count, 0 for none
  virtual int GetAnimationCount(int characterIndex, int category) = 0;
  /// Slot 21. Seconds left in the current animation at the clock of the last Update (scene end
  /// minus the time the character sampled); 1 for a character that was never given an
  /// animation.
  /// @param characterIndex a valid character index (not validated)
  virtual float GetRemainingTime(int characterIndex) = 0;
  /// Slot 22. Places the character.
  /// @param characterIndex a valid character index (not validated)
  /// @param position in library axes (the host's y and z exchanged); read at once
  virtual void SetPosition(int characterIndex, const Vector3* position) = 0;
  /// Slot 23. Orients the character.
  /// @param characterIndex a valid character index (not validated)
  /// @param x radians about x
  /// @param y radians about y
  /// @param z radians about z
  virtual void SetRotation(int characterIndex, float x, float y, float z) = 0;
  /// Slot 24. Scales the character.
  /// @param characterIndex a valid character index (not validated)
  /// @param x factor along x
  /// @param y factor along y
  /// @param z factor along z
  virtual void SetScale(int characterIndex, float x, float y, float z) = 0;
  /// Slot 25. Sets the character's world matrix directly, in place of position, rotation and
  /// scale.
  /// @param characterIndex a valid character index (not validated)
  /// @param matrix read at once
  virtual void SetMatrix(int characterIndex, const Matrix* matrix) = 0;
  /// Slot 26. The character's world matrix.
  /// @param characterIndex a valid character index (not validated)
  /// @return a pointer valid while the character lives
  virtual Matrix* GetMatrix(int characterIndex) = 0;
  /// Slot 27. Searches one character's node tree, depth first, for a node name.
  /// @param characterIndex a valid character index (not validated)
  /// @param nodeName the node's own name, without the character name
  /// @return its node index, or **−1** when the character has no such node
  virtual int FindNodeIndex(int characterIndex, const std::string& nodeName) = 0;
};

extern "C" {
/// A new facade, or null when it cannot be allocated. Each call makes a new facade with its own
/// session clean-up subscription; all facades share the library's state. Destroy it with
/// `delete` (its virtual destructor) before unloading the library.
ZK_API CZelkarInterface* ZK_Create();
/// Does nothing; a facade is destroyed through its virtual destructor.
ZK_API void ZK_Delete();
}

/// Type of ZK_Create, for hosts that look it up with `dlsym`.
using ZK_CreateFunction = CZelkarInterface* (*)();
/// Type of ZK_Delete, for hosts that look it up with `dlsym`.
using ZK_DeleteFunction = void (*)();
