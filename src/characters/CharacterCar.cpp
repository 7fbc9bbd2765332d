#include "characters/CharacterCar.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

#include "foundation/HostInput.h"
#include "foundation/Logger.h"
#include "scenegraph/Node.h"
#include "signals/Emit.h"
#include "signals/Hub.h"

float CZK_CharacterCar::lastWiperAngle = zk_math::kPi;

namespace {

// The car's measurements are in its own units; the people in it are scaled by 0.001.
constexpr float kPeopleUnitsPerCarUnit = 1000.0f;

// Faults a car reports once (bits of `reported`).
constexpr uint32_t kReportedBadWheelState = 1u << 0;
constexpr uint32_t kReportedBadWiperAngles = 1u << 1;
constexpr uint32_t kReportedNoWindscreenCorner = 1u << 2;
constexpr uint32_t kReportedNoInnerWipers = 1u << 3;
constexpr uint32_t kReportedBadWiperPosition = 1u << 4;

// Wheel offsets beyond this (in the car's units, whatever they are) are not a wheel of this
// car; their products with the reference frame could overflow into infinities and NaNs.
constexpr float kMaxWheelOffset = 1.0e6f;

NRQLib2::NLogger::CLogger& Warn() { return NRQLib2::NLogger::GetLogger().SelectLevel(4); }

Vector3 PositionOf(const CZK_Node* node) {
  return node != nullptr ? MatrixGetTranslation(node->matrix) : Vector3{0.0f, 0.0f, 0.0f};
}

// A wheel state is taken when it can be a placement: finite, the position within reach and
// the quaternion of roughly unit length (a host's rounding is fine, garbage is not).
bool IsUsableWheelState(const Vector3& p, const Quaternion& q) {
  if (!IsFinite(p) || !IsFinite(q)) return false;
  if (std::fabs(p.x) > kMaxWheelOffset || std::fabs(p.y) > kMaxWheelOffset ||
      std::fabs(p.z) > kMaxWheelOffset)
    return false;
  const double n2 = static_cast<double>(q.x) * q.x + static_cast<double>(q.y) * q.y +
                    static_cast<double>(q.z) * q.z + static_cast<double>(q.w) * q.w;
  return n2 > 0.25 && n2 < 4.0;
}

std::string Format(const char* format, const char* a, const char* b = nullptr) {
  char buffer[256];
  if (b != nullptr)
    std::snprintf(buffer, sizeof buffer, format, a, b);
  else
    std::snprintf(buffer, sizeof buffer, format, a);
  return buffer;
}

void AppendName(std::string& list, const std::string& name) {
  if (!list.empty()) list += ", ";
  list += '"' + name + '"';
}

// Whether node is bound to animated object `index` in its first animation. A transform node
// that was never given an animation has no first entry to compare (reading it would run past
// its list), so it is bound to nothing.
bool IsBoundTo(const CZK_Node* node, int index) {
  const auto* prs = dynamic_cast<const CZK_NodePRS*>(node);
  if (prs != nullptr && prs->animObjects.empty()) return false;
  return node->GetAnimObject(0) == index;
}

// Depth-first, the node before its children, children in order.
CZK_Node* FindBoundTo(CZK_Node* node, int index) {
  if (IsBoundTo(node, index)) return node;
  for (CZK_Node* child : node->children)
    if (CZK_Node* found = FindBoundTo(child, index)) return found;
  return nullptr;
}

}  // namespace

CZK_CharacterCar::CZK_CharacterCar(const std::string& carName, const CZK_RuntimeContext& context)
    : CZK_Character(carName, context) {}

CZK_CharacterCar::~CZK_CharacterCar() {
  for (WiperConnection*& c : wiperConnections) {
    delete c;  // unlinks it from the hub's list
    c = nullptr;
  }
  delete windscreenConnection;
  delete detachConnection;
  delete carStateConnection;
  windscreenConnection = nullptr;
  detachConnection = nullptr;
  carStateConnection = nullptr;
  // The people read the current car every frame; a car that goes by any road (session
  // clean-up, process detach, a refused creation) must not stay behind as a dangling current
  // car.
  if (runtime.currentCar != nullptr && *runtime.currentCar == this) *runtime.currentCar = nullptr;
}

void CZK_CharacterCar::ReportOnce(uint32_t flag, const char* message) {
  if (reported & flag) return;
  reported |= flag;
  Warn() << "[CZK_CharacterCar] car \"" << name << "\": " << message << std::endl;
}

void CZK_CharacterCar::OnHierarchyLoaded() {
  auto find = [this](const char* nodeName) { return CZK_Node::FindNodeByName(nodeName, root); };
  std::string missing;
  auto required = [&](const char* nodeName) {
    CZK_Node* node = find(nodeName);
    if (node == nullptr) AppendName(missing, nodeName);
    return node;
  };

  CZK_Node* driver = required("D_driver_use");
  CZK_Node* coDriver = required("D_codriver_use");
  // A car without the gear dummies is a car with a sequential or paddle shift, not a fault.
  CZK_Node* gear = find("D_hand R_gear");
  CZK_Node* gearPushed = find("D_hand R_gear p");
  CZK_Node* handbrake = required("D_hand R_handbrake");
  CZK_Node* handbrakePulled = required("D_hand R_handbrake p");
  steeringWheelNode = required("zDi_steeringwheel");
  noGearLever = (gear == nullptr || gearPushed == nullptr) ? 1 : 0;

  driverSeat = PositionOf(driver);
  coDriverSeat = PositionOf(coDriver);
  auto fromSeat = [this](const CZK_Node* node) {
    return (PositionOf(node) - driverSeat) * kPeopleUnitsPerCarUnit;
  };
  steeringWheelPoint = fromSeat(steeringWheelNode);
  if (!noGearLever) {
    gearHandPoint = fromSeat(gear);
    gearPushedHandPoint = fromSeat(gearPushed);
  }
  handbrakeHandPoint = fromSeat(handbrake);
  handbrakePulledHandPoint = fromSeat(handbrakePulled);

  innerWiperRight = required("i_wiper_r");
  innerWiperLeft = required("i_wiper_l");
  outerWiperRight = required("e_wiper_r");
  outerWiperLeft = required("e_wiper_l");
  parentNode = required("parent");

  if (!missing.empty()) {
    // Missing dummies leave their points at the seat (or the origin); missing wipers switch the
    // wiper rotation off; without "parent" the wheels are placed in the car's own frame.
    Warn() << "[CZK_CharacterCar::OnHierarchyLoaded] car \"" << name << "\" has no node " << missing
           << "; the car goes on without them" << std::endl;
  }

  if (carStateConnection != nullptr) return;  // subscribed already
  for (size_t i = 0; i < 3; ++i) {
    wiperConnections[i] = new WiperConnection(this, &CZK_CharacterCar::OnWiperRotation);
    LinkIntoHub(wiperConnections[i], zk_hub::kWiperRotationLists[i]);
  }
  windscreenConnection = new WindscreenConnection(this, &CZK_CharacterCar::OnWindscreenData);
  LinkIntoHub(windscreenConnection, zk_hub::kWindscreenDataList);
  detachConnection = new DetachConnection(this, &CZK_CharacterCar::OnDetachFromParent);
  LinkIntoHub(detachConnection, zk_hub::kDetachFromParentList);
  carStateConnection = new CarStateConnection(this, &CZK_CharacterCar::OnCarGeneralState);
  LinkIntoHub(carStateConnection, zk_hub::kCarGeneralStateList);
}

// The wheels take no surface-variant node ("e_wheel_tarmac_<w>" and the like chosen by the
// host's road surface class): nothing in the library or the host interface reads such a node,
// asking the host's surface object on every rebuild would make a host that has none (a tool,
// a test) supply one for nothing, and the wheel record stays what the car actually uses.
void CZK_CharacterCar::OnAnimationAdded() {
  wheels.Reset();
  std::string missing;
  AddWheel("lf", 0, 1, missing);
  AddWheel("rf", 1, 0, missing);
  AddWheel("lb", 0, 1, missing);
  AddWheel("rb", 1, 0, missing);
  if (!missing.empty()) {
    // Reported here, once per rebuild, rather than by the update that skips them every frame.
    Warn() << "[CZK_CharacterCar::OnAnimationAdded] car \"" << name << "\" has no node " << missing
           << "; those wheels or links are not moved" << std::endl;
  }
}

// A wheel record is kept even without its hub, so that wheel i of the car-state record still
// lands in record i; the hub is then not placed, and the wheel's links are aimed all the same.
void CZK_CharacterCar::AddWheel(const char* wheelName, uint32_t side, uint32_t flip,
                                std::string& missing) {
  CZK_CarWheel* wheel = wheels.Add();
  if (wheel == nullptr) return;
  wheel->side = side;
  const std::string hubName = Format("e_wheelgrunk_%s", wheelName);
  wheel->hubNode = CZK_Node::FindNodeByName(hubName, root);
  if (wheel->hubNode == nullptr)
    AppendName(missing, hubName);
  else
    SetRestState(*wheel);
  AddWheelPart(*wheel, "hang", wheelName, 0, 1, flip, missing);
  AddWheelPart(*wheel, "prop", wheelName, 0, 1, flip, missing);
  AddWheelPart(*wheel, "stag", wheelName, 0, 1, flip, missing);
  AddWheelPart(*wheel, "susp", wheelName, 1, 0, 1, missing);
}

// Until the host's first car state the wheel stands where the hierarchy has its hub: the state
// that the update turns back into the hub's loaded matrix. A car shown without its simulation
// (a menu, a tool) thus keeps its wheels under it rather than gathered at its origin.
void CZK_CharacterCar::SetRestState(CZK_CarWheel& wheel) const {
  Matrix inverseFrame = g_IdentityMatrix;
  float determinant = 0.0f;
  if (parentNode != nullptr &&
      D3DXMatrixInverse(&inverseFrame, &determinant, &parentNode->bindMatrix) == nullptr)
    return;
  Matrix q;
  D3DXMatrixMultiply(&q, &wheel.hubNode->bindMatrix, &inverseFrame);
  if (wheel.side == 1)
    for (int k : {0, 1, 2, 8, 9, 10}) q.m[k] = -q.m[k];
  Quaternion orientation;
  D3DXQuaternionRotationMatrix(&orientation, &q);
  D3DXQuaternionNormalize(&orientation, &orientation);
  const Vector3 position = {q.m[12], q.m[14], q.m[13]};
  if (!IsUsableWheelState(position, orientation)) return;
  wheel.orientation = orientation;
  wheel.position = position;
}

// A link whose node or target is missing is left out: it has nothing to turn or nothing to
// aim at, and the wheel's other links still work.
void CZK_CharacterCar::AddWheelPart(CZK_CarWheel& wheel, const char* partName,
                                    const char* wheelName, uint32_t aimAxis, uint32_t keepAxis,
                                    uint32_t flip, std::string& missing) {
  const std::string nodeName = Format("e_wheel%s_%s", partName, wheelName);
  const std::string targetName = Format("Point_e_wheel%s_%s", partName, wheelName);
  CZK_Node* node = CZK_Node::FindNodeByName(nodeName, root);
  CZK_Node* target = CZK_Node::FindNodeByName(targetName, root);
  if (node == nullptr) AppendName(missing, nodeName);
  if (target == nullptr) AppendName(missing, targetName);
  if (node == nullptr || target == nullptr) return;
  CZK_CarWheelPart* part = wheel.parts.Add();
  if (part == nullptr) return;
  *part = {node, target, aimAxis, keepAxis, flip};
}

void CZK_CharacterCar::Update(float) {
  // The body is not played against the clock: its animation stands at time 0.
  plan.Run(root, 0.0f, &g_IdentityMatrix);
  UpdateWipers();
  const Matrix frame = parentNode != nullptr ? parentNode->matrix : g_IdentityMatrix;
  if (hubsBuild != plan.GetBuildCount()) {
    hubsBuild = plan.GetBuildCount();
    for (uint32_t i = 0; i < wheels.count; ++i) {
      const CZK_Node* hub = wheels.storage[i].hubNode;
      hubEntries[i] = hub != nullptr ? plan.Find(hub) : CZK_EvaluationPlan::kNoEntry;
    }
  }
  for (uint32_t i = 0; i < wheels.count; ++i) UpdateWheel(wheels.storage[i], frame, hubEntries[i]);
  WriteWorldIntoNodes();
}

void CZK_CharacterCar::UpdateWipers() {
  if (wiperAngles[0] == lastWiperAngle) return;
  if (innerWiperRight == nullptr || innerWiperLeft == nullptr || outerWiperRight == nullptr ||
      outerWiperLeft == nullptr)
    return;
  lastWiperAngle = wiperAngles[0];
  Matrix turn;
  D3DXMatrixRotationY(&turn, wiperAngles[1]);
  D3DXMatrixMultiply(&innerWiperRight->matrix, &turn, &innerWiperRight->matrix);
  D3DXMatrixMultiply(&outerWiperRight->matrix, &turn, &outerWiperRight->matrix);
  D3DXMatrixRotationY(&turn, wiperAngles[0]);
  D3DXMatrixMultiply(&innerWiperLeft->matrix, &turn, &innerWiperLeft->matrix);
  D3DXMatrixMultiply(&outerWiperLeft->matrix, &turn, &outerWiperLeft->matrix);
}

// frame: the world matrix of "parent" (the car's reference frame) as evaluated this frame.
void CZK_CharacterCar::UpdateWheel(const CZK_CarWheel& wheel, const Matrix& frame,
                                   uint32_t hubEntry) {
  Matrix q;
  D3DXMatrixRotationQuaternion(&q, &wheel.orientation);
  // A right wheel is a left wheel turned half about its own Y axis.
  if (wheel.side == 1)
    for (int k : {0, 1, 2, 8, 9, 10}) q.m[k] = -q.m[k];
  // The host's second and third axes are exchanged.
  q.m[12] = wheel.position.x;
  q.m[13] = wheel.position.z;
  q.m[14] = wheel.position.y;
  Matrix m;
  D3DXMatrixMultiply(&m, &q, &frame);

  if (CZK_Node* hub = wheel.hubNode) {
    hub->matrix = m;
    // The hub's children follow the wheel. Updating the hub under M also re-evaluates the hub
    // itself: a transform hub with an animated object takes local · M (its animation acting as
    // an offset within the wheel; identity when its scene has no controller for it), a hub
    // without one keeps M. The sample car's hubs have no controller, so they stand at M.
    if (!hub->children.empty()) {
      if (hubEntry != CZK_EvaluationPlan::kNoEntry)
        plan.Rerun(hubEntry, true, &m);
      else
        hub->Update(0.0f, &m);  // inside a node class of its own, which the plan does not enter
    }
  }

  const float keepSign = wheel.side == 1 ? -1.0f : 1.0f;
  for (const CZK_CarWheelPart& part : wheel.parts) {
    Matrix& pm = part.node->matrix;
    Vector3 rows[3] = {MatrixGetRow(pm, 0), MatrixGetRow(pm, 1), MatrixGetRow(pm, 2)};
    const Vector3 aim = Vec3Normalized(PositionOf(part.target) - PositionOf(part.node));
    rows[part.aimAxis] = part.flip ? aim * -1.0f : aim;
    rows[part.keepAxis] = MatrixGetRow(frame, part.keepAxis) * keepSign;
    uint32_t u = (part.aimAxis + 1) % 3;
    if (u == part.keepAxis) u = (u + 1) % 3;
    rows[u] = Vec3Normalized(Vec3Cross(rows[(u + 2) % 3], rows[(u + 1) % 3]));
    const uint32_t k = part.keepAxis;
    rows[k] = Vec3Normalized(Vec3Cross(rows[(k + 2) % 3], rows[(k + 1) % 3]));
    for (uint32_t r = 0; r < 3; ++r) MatrixSetRow(pm, r, rows[r]);
  }
}

void CZK_CharacterCar::OnCarGeneralState(const CSigCarGeneralState& record) {
  for (uint32_t i = 0; i < wheels.count; ++i) {
    const Vector3& p = record.wheelPositions[i].value;
    const Quaternion& q = record.wheelOrientations[i];
    if (!IsUsableWheelState(p, q)) {
      ReportOnce(kReportedBadWheelState,
                 "a car state carried a wheel that is not finite, out of reach or not a "
                 "rotation; that wheel keeps its last state");
      continue;
    }
    wheels.storage[i].position = p;
    wheels.storage[i].orientation = q;
  }
}

void CZK_CharacterCar::OnWiperRotation(const CSigWiperRotation& record) {
  if (!std::isfinite(record.leftAngle) || !std::isfinite(record.rightAngle)) {
    ReportOnce(kReportedBadWiperAngles,
               "a wiper rotation carried an angle that is not finite; the wipers keep theirs");
    return;
  }
  wiperAngles[0] = record.leftAngle;
  wiperAngles[1] = record.rightAngle;
}

// A record naming no object of this car is ignored without a word: every car hears every
// detach, and the part usually belongs to another one.
void CZK_CharacterCar::OnDetachFromParent(const CSigDetachFromParent& record) {
  if (CZK_Node* node = FindBoundTo(root, static_cast<int>(record.objectIndex))) node->Detach();
}

// When a choice finds no corner (or a corner is not finite, which no comparison accepts), the
// windscreen has no frame to measure in: nothing is emitted, rather than positions measured
// from the search's start values (the largest float), and the fault is logged once. The same
// holds for a car without inner wipers and for results that overflow.
void CZK_CharacterCar::OnWindscreenData(const CSigWindscreenData& record) {
  int p1 = -1, p2 = -1, p3 = -1;
  float p1y = FLT_MAX, p2y = FLT_MAX, p3y = -FLT_MAX;
  for (int i = 0; i < 4; ++i) {
    const Vector3& c = record.corners[i].value;
    if (c.x > 0.0f && c.y < p1y) p1 = i, p1y = c.y;
    if (c.x < 0.0f && c.y < p2y) p2 = i, p2y = c.y;
    if (c.x > 0.0f && c.y > p3y) p3 = i, p3y = c.y;
  }
  if (p1 < 0 || p2 < 0 || p3 < 0) {
    ReportOnce(kReportedNoWindscreenCorner,
               "a windscreen record has no corner for one of its three choices; no wiper "
               "position is emitted for it");
    return;
  }
  if (innerWiperLeft == nullptr || innerWiperRight == nullptr) {
    ReportOnce(kReportedNoInnerWipers, "without inner wipers no wiper position is emitted");
    return;
  }
  const Vector3 origin = record.corners[p1].value;
  const Vector3 u = Vec3Normalized(record.corners[p2].value - origin);
  const Vector3 v = Vec3Normalized(record.corners[p3].value - origin);
  const Vector3 l = PositionOf(innerWiperLeft) - origin;
  const Vector3 r = PositionOf(innerWiperRight) - origin;
  const CSigWiperPosition out = {Vec3Dot(l, u), Vec3Dot(l, v), Vec3Dot(r, u), Vec3Dot(r, v)};
  if (!std::isfinite(out.leftU) || !std::isfinite(out.leftV) || !std::isfinite(out.rightU) ||
      !std::isfinite(out.rightV)) {
    ReportOnce(kReportedBadWiperPosition,
               "the wiper positions on a windscreen record are not finite; none is emitted");
    return;
  }
  if (CSignalObject<CSigWiperPosition>* signal =
          HubSignal<CSigWiperPosition>(zk_hub::kWiperPositionSignal))
    Emit(*signal, out);
}
