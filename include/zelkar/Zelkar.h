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
///   until the next session clean-up signal. They are checked against the lists: an index that
///   names nothing (negative, past the end, or from before a clean-up that emptied the lists)
///   makes a setter do nothing and a query give the neutral answer its operation lists (null,
///   0, −1, the identity), without an exception. A handle from before a clean-up may name
///   something made after it, though: ask for every handle again after a clean-up.
/// - *Values* the host passes (times, placements, speeds) must be finite: an operation given a
///   NaN or an infinity ignores it and the character keeps what it had, so one bad value does not
///   leave every later pose NaN. Signal records are treated the same way (docs/signals.md).
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
  /// Slot 2. Does nothing, however often it is called: every operation goes on working. The
  /// library is shut down by unloading it.
  virtual void Shutdown() = 0;
  /// Slot 3. Advances every character to the host's clock.
  ///
  /// @param time the host's absolute time in seconds (a clock, **not** a step since the last
  ///   call). Calling it twice with the same time gives the same pose, but for a car's wipers:
  ///   a car turns them only in an Update after their left angle changed, and shows them as its
  ///   scene has them otherwise (docs/signals.md). A character samples its
  ///   scene at: scene start + (time − the clock when SetAnimation selected it) × speed +
  ///   offset.
  /// Characters are updated in creation order; a frozen one is skipped. Afterwards every
  /// GetNodeMatrix and GetMatrix pointer holds the new pose. With nothing loaded it does nothing.
  /// A NaN or infinite time is ignored: the poses and the clock stay as the last Update left
  /// them. Throws CZK_Exception when the library is not attached.
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
  /// Throws as CreateCharacter, and CZK_Exception for a driver or co-driver when no car exists
  /// ("a car is needed first"); nothing is registered then.
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
  /// @param nodeIndex a node index
  /// @return its animated-object index, 0 when none was connected or the index names no node
  virtual int GetNodeAnimObject(int nodeIndex) = 0;
  /// Slot 11. The node's matrix after the last Update: in the world for placed nodes (and, but
  /// for the driver's, attached ones), in the character's own space for bones and helpers, which
  /// GetMatrix carries into the world (docs/host-contract.md, "Which space GetNodeMatrix answers
  /// in"; hostkit/NodeSpace.h).
  /// @param nodeIndex a node index
  /// @return a pointer that stays valid while the node lives (until the session clean-up) and
  ///   that every Update rewrites; **null** when the index names no node
  virtual const Matrix* GetNodeMatrix(int nodeIndex) = 0;
  /// Slot 12. The value at time 0 of the float controller bound to an animated object.
  /// @param animObjectIndex an animated-object index
  /// @return the value, or 0 when the bound controller is not a float controller or the index
  ///   names no object
  virtual float GetAnimObjectFloat(int animObjectIndex) = 0;
  /// Slot 13. The position at time 0 of the animated object's position controller.
  /// @param animObjectIndex an animated-object index
  /// @return the position, or (0, 0, 0) when the bound controller is not a position controller
  ///   or the index names no object
  virtual Vector3 GetAnimObjectPosition(int animObjectIndex) = 0;
  /// Slot 14. Makes and registers a position controller that moves through keys along a TCB
  /// curve.
  /// @param name zero-terminated controller name, found again with FindController
  /// @param keys the keys in time order (copied)
  virtual void CreatePositionController(const char* name, std::vector<CZK_PositionKey> keys) = 0;
  /// Slot 15. Non-zero freezes a character: Update leaves its pose as it is.
  /// @param characterIndex a character index; one that names no character does nothing
  /// @param frozen 0 to let it move again
  virtual void SetFrozen(int characterIndex, int frozen) = 0;
  /// Slot 16. The character index of a registered character.
  /// @return its index
  /// Throws a std::exception whose `what()` is "Character not found" (not one of the types of
  /// Exceptions.h) when no character has that name.
  virtual int GetCharacterIndex(const std::string& name) = 0;
  /// Slot 17. Seconds added to the character's local time.
  /// @param characterIndex a character index; one that names no character does nothing
  /// @param offset seconds; NaN or an infinity is ignored
  virtual void SetTimeOffset(int characterIndex, float offset) = 0;
  /// Slot 18. Playback speed of the character's animation (1 is as authored).
  /// @param characterIndex a character index; one that names no character does nothing
  /// @param speed factor on the host time elapsed since the animation was selected; NaN or an
  ///   infinity is ignored
  virtual void SetSpeed(int characterIndex, float speed) = 0;
  /// Slot 19. Selects an animation and restarts it at the time of the **last Update** (call
  /// Update with the current host time first).
  /// @param characterIndex a character index; one that names no character does nothing
  /// @param category 0 to 3 (another does nothing)
  /// @param index 0 to GetAnimationCount − 1 of that category (another does nothing)
  virtual void SetAnimation(int characterIndex, int category, int index) = 0;
  /// Slot 20. How many animations AddAnimation gave a category of a character.
  /// @param characterIndex a character index
  /// @param category 0 to 3
  /// @return the count, 0 for none, for another category and for an index that names no
  ///   character
  virtual int GetAnimationCount(int characterIndex, int category) = 0;
  /// Slot 21. Seconds left in the current animation at the clock of the last Update (scene end
  /// minus the time the character sampled); 1 for a character that was never given an
  /// animation, and 0 for an index that names no character.
  /// @param characterIndex a character index
  virtual float GetRemainingTime(int characterIndex) = 0;
  /// Slot 22. Places the character.
  /// @param characterIndex a character index; one that names no character does nothing
  /// @param position in library axes (the host's y and z exchanged); read at once. Null, or a
  ///   component that is not finite, is ignored
  virtual void SetPosition(int characterIndex, const Vector3* position) = 0;
  /// Slot 23. Orients the character.
  /// @param characterIndex a character index; one that names no character does nothing
  /// @param x radians about x
  /// @param y radians about y
  /// @param z radians about z
  /// An angle that is not finite is ignored (the rotation stays).
  virtual void SetRotation(int characterIndex, float x, float y, float z) = 0;
  /// Slot 24. Scales the character.
  /// @param characterIndex a character index; one that names no character does nothing
  /// @param x factor along x
  /// @param y factor along y
  /// @param z factor along z
  /// A factor that is not finite is ignored (the scale stays).
  virtual void SetScale(int characterIndex, float x, float y, float z) = 0;
  /// Slot 25. Sets the character's world matrix directly, in place of position, rotation and
  /// scale.
  /// @param characterIndex a character index; one that names no character does nothing
  /// @param matrix read at once; null, or one with an element that is not finite, is ignored
  virtual void SetMatrix(int characterIndex, const Matrix* matrix) = 0;
  /// Slot 26. The character's world matrix.
  /// @param characterIndex a character index
  /// @return a pointer valid while the character lives; **null** when the index names no
  ///   character
  virtual Matrix* GetMatrix(int characterIndex) = 0;
  /// Slot 27. Searches one character's node tree, depth first, for a node name.
  /// @param characterIndex a character index
  /// @param nodeName the node's own name, without the character name
  /// @return its node index, or **−1** when the character has no such node or the index names
  ///   no character
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
