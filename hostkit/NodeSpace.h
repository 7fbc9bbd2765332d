/// @file
/// Where the library leaves each node's matrix, and a node's world matrix from it.
///
/// GetNodeMatrix answers in one of two spaces. Bones, and every node of a kind other than 0 and 1,
/// stay in the character's own space: the host carries them into the world by the character's
/// matrix (GetMatrix), as it draws a skinned mesh. Placed nodes (kind 1) hold the character's
/// world matrix itself, and attached nodes (kind 0) are carried into the world by it after each
/// update, except the driver's: the driver's update seats the person and places the placed nodes
/// only, and leaves the attached ones (and the root) in the character's space.
///
/// The character's matrix is its scale, rotation and translation as the host set them (for a
/// spectator: SetPosition, SetRotation, SetScale, or SetMatrix); the people in the car are placed
/// by the car's state and scaled from millimetres to metres by the library.
#pragma once

#include <zelkar/MathTypes.h>
#include <zelkar/Zelkar.h>

#include <cstdint>

namespace zk_hostkit {

/// How a character was made: the kind given to CreateCharacter or CreateHumanCharacter.
enum class ECharacterKind {
  kCharacter,  ///< CreateCharacter with any kind but "Car"
  kCar,        ///< CreateCharacter, "Car"
  kHuman,      ///< CreateHumanCharacter with any kind but "Driver" and "CoDriver" (spectators)
  kDriver,     ///< CreateHumanCharacter, "Driver"
  kCoDriver,   ///< CreateHumanCharacter, "CoDriver"
};

// The node kinds of the hierarchy files.
inline constexpr uint32_t kNodeAttached = 0;  ///< node kind 0: attached
inline constexpr uint32_t kNodePlaced = 1;    ///< node kind 1: placed
inline constexpr uint32_t kNodeBone = 2;      ///< node kind 2: bone

/// Whether GetNodeMatrix of a node of kind nodeKind of such a character is already in the world.
bool IsNodeMatrixInWorld(ECharacterKind character, uint32_t nodeKind);

/// a·b, row vectors as the library's matrices are (a applied first).
Matrix MultiplyMatrices(const Matrix& a, const Matrix& b);

/// The world matrix of node `node` (of kind nodeKind) of character `character`, as the library
/// left it after the last Update: GetNodeMatrix, carried by GetMatrix(character) where the node
/// is in the character's space.
Matrix NodeWorldMatrix(CZelkarInterface& zk, int character, int node, uint32_t nodeKind,
                       ECharacterKind kind);

}  // namespace zk_hostkit
