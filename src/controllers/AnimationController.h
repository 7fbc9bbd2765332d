// Animation controllers: turn a time into one animated quantity of a scene node. Leaf controllers
// sample one shared track, composite controllers combine other controllers (owned by the
// controller manager, never by the composite), and the PRS family builds a node's local matrix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "animation/AnimTrack.h"
#include "animation/StructureGeneration.h"
#include "foundation/Math.h"
#include "foundation/ObjectPool.h"

// Kind codes stored in every controller's type field.
enum EControllerType : uint32_t {
  kControllerFloat = 0,
  kControllerPosition = 1,
  kControllerRotation = 2,
  kControllerScale = 3,
  kControllerPRS = 4,
  kControllerPRSLOD = 9,
};

// A counted reference on a shared track: taking a track adds one to its count, letting go
// removes one and destroys the track when the count falls to zero. Holds nothing but the pointer.
template <class Track>
class CZK_TrackReference {
 public:
  CZK_TrackReference() = default;
  CZK_TrackReference(const CZK_TrackReference&) = delete;
  CZK_TrackReference& operator=(const CZK_TrackReference&) = delete;
  ~CZK_TrackReference() { Reset(nullptr); }

  // Takes a reference on track (may be null) and lets go of the previous one.
  void Reset(Track* track) {
    if (track != nullptr) track->AddRef();
    Track* old = m_track;
    m_track = track;
    if (old != nullptr) old->Release();
    NStructureGeneration::Changed();
  }
  Track* Get() const { return m_track; }

 private:
  Track* m_track = nullptr;
};

class CZK_AnimationControllerBase {
 public:
  CZK_AnimationControllerBase(const CZK_AnimationControllerBase&) = delete;
  CZK_AnimationControllerBase& operator=(const CZK_AnimationControllerBase&) = delete;
  virtual ~CZK_AnimationControllerBase() = default;

  // Controllers come from the object pool (see ObjectPool.h); the virtual destructor hands the
  // size of the object's own class back.
  static void* operator new(std::size_t size) { return NObjectPool::Allocate(size); }
  static void operator delete(void* p, std::size_t size) noexcept { NObjectPool::Free(p, size); }

  virtual bool IsLookAtController() const { return false; }
  virtual bool IsLinkConstraintController() const { return false; }

  uint32_t GetType() const { return m_type; }
  const std::string& GetName() const { return m_name; }

 protected:
  // The names a loader builds are moved down the constructors, never copied.
  CZK_AnimationControllerBase(uint32_t type, std::string&& name)
      : m_type(type), m_name(std::move(name)) {}
  CZK_AnimationControllerBase(uint32_t type, const std::string& name)
      : m_type(type), m_name(name) {}

 private:
  uint32_t m_type;
  std::string m_name;
};

// ---- Float ---------------------------------------------------------------------------------

class CZK_AnimationControllerFloat : public CZK_AnimationControllerBase {
 public:
  explicit CZK_AnimationControllerFloat(std::string name)
      : CZK_AnimationControllerBase(kControllerFloat, std::move(name)) {}

  // Takes a reference on the track; the controller lets go of it when destroyed.
  void SetTrack(CZK_AnimTrackFloat* track) { m_track.Reset(track); }
  CZK_AnimTrackFloat* GetTrack() const { return m_track.Get(); }

  // A controller left without a track (the file held a track chunk of another class) yields 0.
  float GetValue(float time) const {
    const CZK_AnimTrackFloat* track = m_track.Get();
    return track != nullptr ? track->Evaluate(time) : 0.0f;
  }

 private:
  CZK_TrackReference<CZK_AnimTrackFloat> m_track;
};

// The x, y and z float controllers of a position-XYZ or Euler-XYZ controller (not owned).
class CZK_FloatAxes {
 public:
  // Out-of-range axes are ignored (Set) or empty (Get).
  void Set(int axis, CZK_AnimationControllerFloat* c) {
    if (axis >= 0 && axis < 3) m_axes[axis] = c;
    NStructureGeneration::Changed();  // the evaluation plans bind the axes' tracks
  }
  CZK_AnimationControllerFloat* Get(int axis) const {
    return axis >= 0 && axis < 3 ? m_axes[axis] : nullptr;
  }
  // The value of axis (0 to 2) at time; an empty axis reads 0.
  float Sample(int axis, float time) const {
    const CZK_AnimationControllerFloat* c = m_axes[axis];
    return c != nullptr ? c->GetValue(time) : 0.0f;
  }

 private:
  CZK_AnimationControllerFloat* m_axes[3] = {};
};

// ---- Position ------------------------------------------------------------------------------

class CZK_AnimationControllerPositionBase : public CZK_AnimationControllerBase {
 public:
  virtual Vector3* Evaluate(Vector3* out, float time) const = 0;

 protected:
  explicit CZK_AnimationControllerPositionBase(std::string&& name)
      : CZK_AnimationControllerBase(kControllerPosition, std::move(name)) {}
  explicit CZK_AnimationControllerPositionBase(const std::string& name)
      : CZK_AnimationControllerBase(kControllerPosition, name) {}
};

class CZK_AnimationControllerPositionVector : public CZK_AnimationControllerPositionBase {
 public:
  explicit CZK_AnimationControllerPositionVector(std::string name)
      : CZK_AnimationControllerPositionBase(std::move(name)) {}

  void SetTrack(CZK_AnimTrackPosition* track) { m_track.Reset(track); }
  CZK_AnimTrackPosition* GetTrack() const { return m_track.Get(); }

  // Without a track the position is the origin.
  Vector3* Evaluate(Vector3* out, float time) const override;

 private:
  CZK_TrackReference<CZK_AnimTrackPosition> m_track;
};

class CZK_AnimationControllerPositionXYZ : public CZK_AnimationControllerPositionBase {
 public:
  explicit CZK_AnimationControllerPositionXYZ(std::string name)
      : CZK_AnimationControllerPositionBase(std::move(name)) {}

  // axis 0, 1, 2 for x, y, z; the controller is not owned.
  void SetAxis(int axis, CZK_AnimationControllerFloat* c) { m_axes.Set(axis, c); }
  CZK_AnimationControllerFloat* GetAxis(int axis) const { return m_axes.Get(axis); }

  // Samples z, then y, then x; an empty axis reads 0.
  Vector3* Evaluate(Vector3* out, float time) const override;

 private:
  CZK_FloatAxes m_axes;
};

// ---- Rotation ------------------------------------------------------------------------------

class CZK_AnimationControllerRotationBase : public CZK_AnimationControllerBase {
 public:
  // worldPosition is the node's position moved by its parent's translation; only the look-at
  // controller reads it. It may be null for the controllers that ignore it.
  virtual Quaternion* Evaluate(Quaternion* out, float time, const Vector3* worldPosition) const = 0;

 protected:
  explicit CZK_AnimationControllerRotationBase(std::string&& name)
      : CZK_AnimationControllerBase(kControllerRotation, std::move(name)) {}
  explicit CZK_AnimationControllerRotationBase(const std::string& name)
      : CZK_AnimationControllerBase(kControllerRotation, name) {}
};

class CZK_AnimationControllerRotationQuaternion : public CZK_AnimationControllerRotationBase {
 public:
  explicit CZK_AnimationControllerRotationQuaternion(std::string name)
      : CZK_AnimationControllerRotationBase(std::move(name)) {}

  void SetTrack(CZK_AnimTrackRotation* track) { m_track.Reset(track); }
  CZK_AnimTrackRotation* GetTrack() const { return m_track.Get(); }

  // Without a track the rotation is the identity.
  Quaternion* Evaluate(Quaternion* out, float time, const Vector3* worldPosition) const override;

 private:
  CZK_TrackReference<CZK_AnimTrackRotation> m_track;
};

class CZK_AnimationControllerEulerXYZ : public CZK_AnimationControllerRotationBase {
 public:
  explicit CZK_AnimationControllerEulerXYZ(std::string name)
      : CZK_AnimationControllerRotationBase(std::move(name)) {}

  // axis 0, 1, 2 for x, y, z; the controller is not owned.
  void SetAxis(int axis, CZK_AnimationControllerFloat* c) { m_axes.Set(axis, c); }
  CZK_AnimationControllerFloat* GetAxis(int axis) const { return m_axes.Get(axis); }

  // Angles in radians; X is applied first, then Y, then Z. An empty axis reads 0.
  Quaternion* Evaluate(Quaternion* out, float time, const Vector3* worldPosition) const override;
  // The rotation of the three angles, as Evaluate works it out from its axes' values.
  static Quaternion* FromAngles(Quaternion* out, float x, float y, float z);

 private:
  CZK_FloatAxes m_axes;
};

// ---- Scale ---------------------------------------------------------------------------------

class CZK_AnimationControllerScale : public CZK_AnimationControllerBase {
 public:
  explicit CZK_AnimationControllerScale(std::string name)
      : CZK_AnimationControllerBase(kControllerScale, std::move(name)) {}

  void SetTrack(CZK_AnimTrackScale* track) { m_track.Reset(track); }
  CZK_AnimTrackScale* GetTrack() const { return m_track.Get(); }

  // The scale factors as a scaling matrix; the scale-axis orientation is ignored. Without a
  // track the result is the identity.
  Matrix* GetMatrix(Matrix* out, float time) const;
  // The three scale factors alone (1, 1, 1 without a track).
  Vector3 GetFactors(float time) const;

 private:
  CZK_TrackReference<CZK_AnimTrackScale> m_track;
};

// ---- PRS family ----------------------------------------------------------------------------

class CZK_AnimationControllerPRS : public CZK_AnimationControllerBase {
 public:
  explicit CZK_AnimationControllerPRS(std::string name)
      : CZK_AnimationControllerBase(kControllerPRS, std::move(name)) {}

  void SetPosition(CZK_AnimationControllerPositionBase* c) {
    m_position = c;
    NStructureGeneration::Changed();
  }
  void SetRotation(CZK_AnimationControllerRotationBase* c) {
    m_rotation = c;
    NStructureGeneration::Changed();
  }
  void SetScale(CZK_AnimationControllerScale* c) {
    m_scale = c;
    NStructureGeneration::Changed();
  }
  CZK_AnimationControllerPositionBase* GetPosition() const { return m_position; }
  CZK_AnimationControllerRotationBase* GetRotation() const { return m_rotation; }
  CZK_AnimationControllerScale* GetScale() const { return m_scale; }

  // The local matrix S·R·T at time. parent is the node's parent world matrix: only its
  // translation is read, to give the rotation controller the node's world position. Null parent
  // counts as the identity.
  virtual Matrix* Evaluate(Matrix* out, float time, const Matrix* parent) const;

 protected:
  // S·R·T from the three sub-controllers. An empty slot (the file held a sub-chunk of another
  // class there) contributes the origin, the identity rotation or the identity scale, so a
  // half-wired controller still gives a usable matrix instead of crashing the frame.
  Matrix* ComposeLocal(Matrix* out, float time, const Matrix* parent) const;

 private:
  CZK_AnimationControllerPositionBase* m_position = nullptr;
  CZK_AnimationControllerRotationBase* m_rotation = nullptr;
  CZK_AnimationControllerScale* m_scale = nullptr;
};

// Pre-sampled local matrices read from the scene file, blended element by element.
class CZK_AnimationControllerPRSSampled : public CZK_AnimationControllerPRS {
 public:
  // Bytes counted per sample in the memory report.
  static constexpr uint32_t kBytesPerSample = 68;
  // Floats per sample: the matrix's four rows of three (the fourth column is 0, 0, 0, 1).
  static constexpr uint32_t kFloatsPerSample = 12;

  explicit CZK_AnimationControllerPRSSampled(std::string name);
  ~CZK_AnimationControllerPRSSampled() override;

  // Adopts both arrays: samples holds count × 12 floats, times count floats. Arrays set earlier
  // are freed.
  void SetSamples(uint32_t count, std::unique_ptr<float[]> samples, std::unique_ptr<float[]> times);
  uint32_t GetSampleCount() const { return m_sampleCount; }
  const float* GetSamples() const { return m_samples.get(); }
  const float* GetSampleTimes() const { return m_sampleTimes.get(); }

  // A controller without samples yields the identity.
  Matrix* Evaluate(Matrix* out, float time, const Matrix* parent) const override;

  // The process-wide count of live sampled controllers and the byte total of those destroyed
  // since the count last stood at zero.
  static uint32_t GetLiveCount();
  static uint32_t GetByteTotal();

 private:
  uint32_t m_sampleCount = 0;
  std::unique_ptr<float[]> m_samples;
  std::unique_ptr<float[]> m_sampleTimes;
};

// A PRS transform straight from three tracks: no sub-controllers, no parent, no world position.
class CZK_AnimationControllerPRSLOD : public CZK_AnimationControllerBase {
 public:
  explicit CZK_AnimationControllerPRSLOD(std::string name)
      : CZK_AnimationControllerBase(kControllerPRSLOD, std::move(name)) {}

  void SetPositionTrack(CZK_AnimTrackPosition* track) { m_position.Reset(track); }
  void SetRotationTrack(CZK_AnimTrackRotation* track) { m_rotation.Reset(track); }
  void SetScaleTrack(CZK_AnimTrackScale* track) { m_scale.Reset(track); }
  CZK_AnimTrackPosition* GetPositionTrack() const { return m_position.Get(); }
  CZK_AnimTrackRotation* GetRotationTrack() const { return m_rotation.Get(); }
  CZK_AnimTrackScale* GetScaleTrack() const { return m_scale.Get(); }

  // S·R·T; a missing track contributes its identity value.
  Matrix* Evaluate(Matrix* out, float time) const;

 private:
  CZK_TrackReference<CZK_AnimTrackPosition> m_position;
  CZK_TrackReference<CZK_AnimTrackRotation> m_rotation;
  CZK_TrackReference<CZK_AnimTrackScale> m_scale;
};

// S·R·T for a position, a rotation and scale factors.
Matrix* ComposeScaleRotationTranslation(Matrix* out, const Vector3& position,
                                        const Quaternion& rotation, float sx, float sy, float sz);
