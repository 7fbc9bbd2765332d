// Help for scenes written by hand: a scene of every node's rest pose to start from, a check of
// which nodes a scene leaves without an object, and laying one scene's objects over another's.
//
// A node plays the object named "<node>::PRS" (or "<node>::Position" / "<node>::Scale") of its
// scene as its LOCAL transform, relative to its parent; a node without one takes its parent's
// matrix unchanged, so its rest pose is lost. Hierarchy files hold WORLD transforms.
#pragma once

#include <string>
#include <vector>

#include "AssetModel.h"

namespace zk_gltf {

// A scene with one "<node>::PRS" object per node of the hierarchy (a "::Position" and a "::Scale"
// object for position-and-scale nodes), holding its rest pose as a local transform
// (world · parent world⁻¹) in one key each, and the range 0 to 0.
NZelkarAsset::Document RestScene(const NZelkarAsset::Document& hierarchy);

// One line per node of the hierarchy without an object in the scene, and per node object of the
// scene ("<name>::PRS", "::Position", "::Scale") whose name is no node of the hierarchy.
std::vector<std::string> CheckSceneCoverage(const NZelkarAsset::Document& hierarchy,
                                            const NZelkarAsset::Document& scene);

// base with over's objects laid on it: an object of over replaces base's of the same name, new
// ones are added after base's; the range runs from the earlier start to the later end.
NZelkarAsset::Document MergeScenes(const NZelkarAsset::Document& base,
                                   const NZelkarAsset::Document& over);

}  // namespace zk_gltf
