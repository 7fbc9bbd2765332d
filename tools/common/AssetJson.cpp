#include "AssetJson.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <set>

#include "AssetError.h"

namespace NZelkarAsset {

namespace {

// ---------------------------------------------------------------------------------------------
// Names shared by both directions.

struct ControllerName {
  ControllerType type;
  const char* name;
};

constexpr ControllerName kControllerNames[] = {
    {ControllerType::PRS, "prs"},
    {ControllerType::LinkConstraints, "linkConstraints"},
    {ControllerType::PRSSampled, "prsSampled"},
    {ControllerType::PositionVector, "positionVector"},
    {ControllerType::PositionXYZ, "positionXYZ"},
    {ControllerType::RotationQuaternion, "rotationQuaternion"},
    {ControllerType::LookAt, "lookAt"},
    {ControllerType::EulerXYZ, "eulerXYZ"},
    {ControllerType::Scale, "scale"},
    {ControllerType::Float, "float"},
    {ControllerType::IKChain, "ikChain"},
    {ControllerType::Raw, "chunk"},
};

const char* ControllerTypeName(ControllerType type) {
  for (const ControllerName& entry : kControllerNames)
    if (entry.type == type) return entry.name;
  return "?";
}

constexpr const char* kLookAtParamNames[kLookAtParamCount] = {
    "lookAtParam0", "flipLookAt", "flipUp",     "upNodeMode", "lookAtParam4",
    "lookAtAxis",   "upNodeAxis", "sourceAxis", "upAxisMode"};

constexpr const char* kAxisNames[3] = {"x", "y", "z"};
constexpr const char* kPartNames[3] = {"position", "rotation", "scale"};

// What a controller chunk stands in for, which decides the controller kinds it may be.
enum class Place { Object, Position, Rotation, Scale };

bool PlaceAccepts(Place place, ControllerType type) {
  if (type == ControllerType::Raw || place == Place::Object) return true;
  switch (place) {
    case Place::Position:
      return type == ControllerType::PositionVector || type == ControllerType::PositionXYZ;
    case Place::Rotation:
      return type == ControllerType::RotationQuaternion || type == ControllerType::LookAt ||
             type == ControllerType::EulerXYZ;
    case Place::Scale:
      return type == ControllerType::Scale;
    case Place::Object:
      break;
  }
  return true;
}

const char* PlaceChoices(Place place) {
  switch (place) {
    case Place::Position:
      return "positionVector, positionXYZ or chunk";
    case Place::Rotation:
      return "rotationQuaternion, lookAt, eulerXYZ or chunk";
    case Place::Scale:
      return "scale or chunk";
    case Place::Object:
      break;
  }
  return "";
}

// ---------------------------------------------------------------------------------------------
// Model to JSON.

std::string Hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

// Each byte becomes the character of the same value, encoded as UTF-8.
std::string NameToJson(const std::string& name) {
  std::string text;
  for (unsigned char c : name) {
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

Json RowsToJson(const F32* values, int rows, int cols) {
  Json out = Json::array();
  for (int r = 0; r < rows; ++r) {
    Json row = Json::array();
    for (int c = 0; c < cols; ++c) row.push_back(RealToJson(values[r * cols + c]));
    out.push_back(std::move(row));
  }
  return out;
}

Json OutOfRangeToJson(uint32_t value) {
  const char* name = OutOfRangeName(value);
  return name ? Json(name) : Json(value);
}

void PutTrailing(Json& out, const Bytes& trailing) {
  if (!trailing.empty()) out["trailing"] = Hex(trailing);
}

Json RawToJson(const RawChunk& raw) {
  Json out;
  out["type"] = "chunk";
  out["class"] = raw.chunkClass;
  out["subclass"] = raw.subclass;
  out["bytes"] = Hex(raw.payload);
  if (!raw.note.empty()) out["note"] = raw.note;
  return out;
}

Json KeyToJson(const KeyTypeInfo& info, const F32* record) {
  Json key;
  for (int f = 0; f < info.fieldCount; ++f) {
    const KeyField& field = info.fields[f];
    if (field.rows == 1 && field.cols == 1) {
      key[field.name] = RealToJson(record[field.index[0]]);
      continue;
    }
    Json rows = Json::array();
    for (int r = 0; r < field.rows; ++r) {
      Json row = Json::array();
      for (int c = 0; c < field.cols; ++c)
        row.push_back(RealToJson(record[field.index[r * field.cols + c]]));
      rows.push_back(std::move(row));
    }
    key[field.name] = field.rows == 1 ? rows[0] : rows;
  }
  return key;
}

Json SlotToJson(const TrackSlot& slot) {
  if (slot.isRaw) return RawToJson(slot.raw);
  const Track& track = slot.track;
  const KeyTypeInfo* info = FindKeyType(track.keyType);
  Json out;
  out["keyType"] = info->name;
  out["before"] = OutOfRangeToJson(track.before);
  out["after"] = OutOfRangeToJson(track.after);
  Json keys = Json::array();
  for (size_t i = 0; i + info->floatCount <= track.values.size(); i += info->floatCount)
    keys.push_back(KeyToJson(*info, &track.values[i]));
  out["keys"] = std::move(keys);
  PutTrailing(out, track.trailing);
  return out;
}

Json ControllerToJson(const Controller& c) {
  if (c.type == ControllerType::Raw) return RawToJson(c.raw);
  Json out;
  out["type"] = ControllerTypeName(c.type);
  switch (c.type) {
    case ControllerType::LinkConstraints: {
      Json links = Json::array();
      for (const Link& link : c.links)
        links.push_back({{"parent", NameToJson(link.parent)}, {"start", RealToJson(link.start)}});
      out["links"] = std::move(links);
      if (c.storedLinkCount) out["linkCount"] = *c.storedLinkCount;
      [[fallthrough]];
    }
    case ControllerType::PRS:
      for (size_t i = 0; i < c.parts.size() && i < 3; ++i)
        out[kPartNames[i]] = ControllerToJson(c.parts[i]);
      break;
    case ControllerType::PRSSampled: {
      Json samples = Json::array();
      for (const Sample& s : c.samples)
        samples.push_back(
            {{"time", RealToJson(s.time)}, {"transform", RowsToJson(s.rows.data(), 4, 3)}});
      out["samples"] = std::move(samples);
      break;
    }
    case ControllerType::Scale:
      if (c.scaleSubclass != kDefaultScaleSubclass) out["subclass"] = c.scaleSubclass;
      [[fallthrough]];
    case ControllerType::PositionVector:
    case ControllerType::RotationQuaternion:
    case ControllerType::Float:
      out["track"] = SlotToJson(c.slot);
      break;
    case ControllerType::PositionXYZ:
    case ControllerType::EulerXYZ:
      for (size_t i = 0; i < c.axes.size() && i < 3; ++i) {
        const Axis& axis = c.axes[i];
        Json a;
        if (axis.chunkClass != kDefaultAxisClass || axis.subclass != kDefaultAxisSubclass) {
          a["class"] = axis.chunkClass;
          a["subclass"] = axis.subclass;
        }
        a["track"] = SlotToJson(axis.slot);
        PutTrailing(a, axis.trailing);
        out[kAxisNames[i]] = std::move(a);
      }
      break;
    case ControllerType::LookAt: {
      Json targets = Json::array();
      for (const Target& t : c.targets)
        targets.push_back({{"name", NameToJson(t.name)}, {"weight", RealToJson(t.weight)}});
      out["targets"] = std::move(targets);
      if (c.storedTargetCount) out["targetCount"] = *c.storedTargetCount;
      Json params;
      for (int i = 0; i < kLookAtParamCount; ++i) params[kLookAtParamNames[i]] = c.lookAtParams[i];
      out["params"] = std::move(params);
      break;
    }
    case ControllerType::IKChain: {
      Json joints = Json::array();
      for (const IKJoint& joint : c.joints)
        joints.push_back({{"name", NameToJson(joint.name)}, {"id", joint.id}});
      out["joints"] = std::move(joints);
      out["upperLength"] = RealToJson(c.upperLength);
      out["lowerLength"] = RealToJson(c.lowerLength);
      break;
    }
    case ControllerType::Raw:
      break;
  }
  PutTrailing(out, c.trailing);
  return out;
}

Json NodeToJson(const Node& node) {
  Json out;
  out["name"] = NameToJson(node.name);
  if (node.subclass == kNodeTransform)
    out["type"] = "transform";
  else if (node.subclass == kNodePositionScale)
    out["type"] = "positionScale";
  else
    out["type"] = node.subclass;
  out["kind"] = node.kind;
  out["id"] = node.id;
  out["parent"] = node.parent;
  out["transform"] = RowsToJson(node.rows.data(), 4, 3);
  if (node.chunkClass != kDefaultNodeClass) out["class"] = node.chunkClass;
  if (node.storedLength) out["length"] = *node.storedLength;
  return out;
}

Json TopToJson(const TopChunk& top) {
  Json out;
  switch (top.type) {
    case TopType::Raw:
      return RawToJson(top.raw);
    case TopType::Object:
      out["type"] = "object";
      out["name"] = NameToJson(top.name);
      out["controller"] = ControllerToJson(top.controller);
      break;
    case TopType::Range:
      out["type"] = "range";
      out["start"] = RealToJson(top.start);
      out["end"] = RealToJson(top.end);
      if (top.subclass != kDefaultRangeSubclass) out["subclass"] = top.subclass;
      break;
    case TopType::Hierarchy: {
      out["type"] = "hierarchy";
      if (top.subclass != kDefaultHierarchySubclass) out["subclass"] = top.subclass;
      Json nodes = Json::array();
      for (const Node& node : top.nodes) nodes.push_back(NodeToJson(node));
      out["nodes"] = std::move(nodes);
      break;
    }
  }
  PutTrailing(out, top.trailing);
  return out;
}

// ---------------------------------------------------------------------------------------------
// JSON to model.

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw CAssetError((path.empty() ? std::string("/") : path) + ": " + what);
}

// A JSON pointer token: '~' and '/' escaped.
std::string PathToken(const std::string& key) {
  std::string token;
  for (char c : key) {
    if (c == '~')
      token += "~0";
    else if (c == '/')
      token += "~1";
    else
      token += c;
  }
  return token;
}

std::string Index(const std::string& path, size_t i) { return path + "/" + std::to_string(i); }

// One JSON object being read: required and optional fields, and no others.
class CObject {
 public:
  CObject(const Json& json, std::string path) : m_json(json), m_path(std::move(path)) {
    if (!json.is_object()) Fail(m_path, "expected an object");
  }

  const Json& Need(const char* key) {
    m_used.insert(key);
    auto it = m_json.find(key);
    if (it == m_json.end()) Fail(At(key), "missing");
    return *it;
  }

  const Json* Maybe(const char* key) {
    m_used.insert(key);
    auto it = m_json.find(key);
    return it == m_json.end() ? nullptr : &*it;
  }

  std::string At(const char* key) const { return m_path + "/" + PathToken(key); }
  const std::string& Path() const { return m_path; }

  // Every field must have been asked for: a misspelt field is an error, not a silent default.
  void Done() const {
    for (auto it = m_json.begin(); it != m_json.end(); ++it)
      if (!m_used.count(it.key())) Fail(m_path + "/" + PathToken(it.key()), "unknown field");
  }

 private:
  const Json& m_json;
  std::string m_path;
  std::set<std::string> m_used;
};

uint32_t U32FromJson(const Json& json, const std::string& path) {
  if (json.is_number_unsigned()) {
    const uint64_t value = json.get<uint64_t>();
    if (value <= std::numeric_limits<uint32_t>::max()) return static_cast<uint32_t>(value);
  } else if (json.is_number_integer() && json.get<int64_t>() >= 0 &&
             json.get<int64_t>() <= std::numeric_limits<uint32_t>::max()) {
    return static_cast<uint32_t>(json.get<int64_t>());
  }
  Fail(path, "expected an unsigned 32-bit integer");
}

int32_t I32FromJson(const Json& json, const std::string& path) {
  if (json.is_number_integer()) {
    if (json.is_number_unsigned()) {
      const uint64_t value = json.get<uint64_t>();
      if (value <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        return static_cast<int32_t>(value);
    } else {
      const int64_t value = json.get<int64_t>();
      if (value >= std::numeric_limits<int32_t>::min() &&
          value <= std::numeric_limits<int32_t>::max())
        return static_cast<int32_t>(value);
    }
  }
  Fail(path, "expected a signed 32-bit integer");
}

std::string NameFromJson(const Json& json, const std::string& path) {
  if (!json.is_string()) Fail(path, "expected a string");
  const std::string& text = json.get_ref<const std::string&>();
  std::string name;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t code;
    if (c < 0x80) {
      code = c;
      i += 1;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size() &&
               (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
      code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
      i += 2;
    } else {
      code = 0x100;  // any longer sequence is above U+00FF
    }
    if (code > 0xFF)
      Fail(path, "holds a character above U+00FF; names are stored one byte per character");
    if (code == 0) Fail(path, "holds a zero character, which would end the stored string");
    name += static_cast<char>(code);
  }
  if (name.size() > kMaxStringLength)
    Fail(path, "is " + std::to_string(name.size()) + " characters long; at most " +
                   std::to_string(kMaxStringLength) + " can be stored");
  return name;
}

Bytes HexFromJson(const Json& json, const std::string& path) {
  if (!json.is_string()) Fail(path, "expected a string of hex digits");
  const std::string& text = json.get_ref<const std::string&>();
  if (text.size() % 2) Fail(path, "expected an even number of hex digits");
  Bytes bytes(text.size() / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      Fail(path, "expected hex digits, found '" + std::string(1, c) + "'");
    bytes[i / 2] = static_cast<uint8_t>(bytes[i / 2] << 4 | digit);
  }
  return bytes;
}

void RowsFromJson(const Json& json, const std::string& path, int rows, int cols, F32* out) {
  const std::string shape = std::to_string(rows) + " rows of " + std::to_string(cols);
  if (!json.is_array() || json.size() != static_cast<size_t>(rows))
    Fail(path, "expected an array of " + shape + " numbers");
  for (int r = 0; r < rows; ++r) {
    const Json& row = json[r];
    if (!row.is_array() || row.size() != static_cast<size_t>(cols))
      Fail(Index(path, r), "expected an array of " + std::to_string(cols) + " numbers");
    for (int c = 0; c < cols; ++c)
      out[r * cols + c] = RealFromJson(row[c], Index(Index(path, r), c));
  }
}

uint32_t OutOfRangeFromJson(const Json& json, const std::string& path) {
  if (json.is_string()) {
    for (uint32_t v = 0; OutOfRangeName(v); ++v)
      if (json.get_ref<const std::string&>() == OutOfRangeName(v)) return v;
    Fail(path, "unknown out-of-range kind \"" + json.get<std::string>() +
                   "\" (expected hold, cycle, loop, pingPong or a number)");
  }
  return U32FromJson(json, path);
}

std::string TypeFromJson(CObject& object) {
  const Json& type = object.Need("type");
  if (!type.is_string()) Fail(object.At("type"), "expected a string");
  return type.get<std::string>();
}

Bytes TrailingFromJson(CObject& object) {
  const Json* trailing = object.Maybe("trailing");
  return trailing ? HexFromJson(*trailing, object.At("trailing")) : Bytes{};
}

// The fields of a raw chunk after its "type".
RawChunk RawFromJson(CObject& object) {
  RawChunk raw;
  raw.chunkClass = U32FromJson(object.Need("class"), object.At("class"));
  raw.subclass = U32FromJson(object.Need("subclass"), object.At("subclass"));
  raw.payload = HexFromJson(object.Need("bytes"), object.At("bytes"));
  if (const Json* note = object.Maybe("note")) {
    if (!note->is_string()) Fail(object.At("note"), "expected a string");
    raw.note = note->get<std::string>();
  }
  object.Done();
  return raw;
}

const KeyTypeInfo& KeyTypeFromJson(const Json& json, const std::string& path, ValueKind kind,
                                   const char* owner) {
  const KeyTypeInfo* info = nullptr;
  if (json.is_string()) {
    info = FindKeyTypeByName(json.get<std::string>());
    if (!info) Fail(path, "unknown key type \"" + json.get<std::string>() + "\"");
  } else {
    const uint32_t value = U32FromJson(json, path);
    info = FindKeyType(value);
    if (!info) Fail(path, "unknown key type " + std::to_string(value) + " (expected 35 to 46)");
  }
  if (info->kind != kind)
    Fail(path, std::string("key type ") + info->name + " (" + std::to_string(info->keyType) +
                   ") does not fit its " + owner + " controller, which takes " +
                   ValueKindName(kind) + " keys");
  return *info;
}

void KeyFromJson(const Json& json, const std::string& path, const KeyTypeInfo& info, F32* record) {
  CObject key(json, path);
  for (int f = 0; f < info.fieldCount; ++f) {
    const KeyField& field = info.fields[f];
    const Json& value = key.Need(field.name);
    const std::string at = key.At(field.name);
    F32 group[12];
    if (field.rows == 1 && field.cols == 1) {
      group[0] = RealFromJson(value, at);
    } else if (field.rows == 1) {
      if (!value.is_array() || value.size() != field.cols)
        Fail(at, "expected an array of " + std::to_string(field.cols) + " numbers");
      for (int c = 0; c < field.cols; ++c) group[c] = RealFromJson(value[c], Index(at, c));
    } else {
      RowsFromJson(value, at, field.rows, field.cols, group);
    }
    for (int i = 0; i < field.rows * field.cols; ++i) record[field.index[i]] = group[i];
  }
  key.Done();
}

TrackSlot SlotFromJson(const Json& json, const std::string& path, ValueKind kind,
                       const char* owner) {
  CObject object(json, path);
  TrackSlot slot;
  if (const Json* type = object.Maybe("type")) {
    if (!type->is_string() || (*type != "chunk" && *type != "track"))
      Fail(object.At("type"), "expected \"track\" or \"chunk\"");
    if (*type == "chunk") {
      slot.isRaw = true;
      slot.raw = RawFromJson(object);
      return slot;
    }
  }
  Track& track = slot.track;
  const KeyTypeInfo& info =
      KeyTypeFromJson(object.Need("keyType"), object.At("keyType"), kind, owner);
  track.keyType = info.keyType;
  track.before = OutOfRangeFromJson(object.Need("before"), object.At("before"));
  track.after = OutOfRangeFromJson(object.Need("after"), object.At("after"));
  const Json& keys = object.Need("keys");
  const std::string keysPath = object.At("keys");
  if (!keys.is_array()) Fail(keysPath, "expected an array of keys");
  track.values.resize(keys.size() * info.floatCount);
  for (size_t i = 0; i < keys.size(); ++i)
    KeyFromJson(keys[i], Index(keysPath, i), info, &track.values[i * info.floatCount]);
  track.trailing = TrailingFromJson(object);
  object.Done();
  return slot;
}

std::optional<int32_t> StoredCountFromJson(CObject& object, const char* key, size_t listSize) {
  const Json* count = object.Maybe(key);
  if (!count) return std::nullopt;
  const int32_t value = I32FromJson(*count, object.At(key));
  // A list is stored with its own size; only an empty list can carry another count, one the
  // readers take as none (0 or less).
  if (value > 0 || listSize != 0)
    Fail(object.At(key), "only an empty list can carry a count, and only one of 0 or less");
  return value;
}

void LinksFromJson(CObject& object, Controller& c) {
  const Json& links = object.Need("links");
  const std::string at = object.At("links");
  if (!links.is_array()) Fail(at, "expected an array of links");
  for (size_t i = 0; i < links.size(); ++i) {
    CObject link(links[i], Index(at, i));
    Link item;
    item.parent = NameFromJson(link.Need("parent"), link.At("parent"));
    item.start = RealFromJson(link.Need("start"), link.At("start"));
    link.Done();
    c.links.push_back(std::move(item));
  }
  c.storedLinkCount = StoredCountFromJson(object, "linkCount", c.links.size());
}

void SamplesFromJson(CObject& object, Controller& c) {
  const Json& samples = object.Need("samples");
  const std::string at = object.At("samples");
  if (!samples.is_array()) Fail(at, "expected an array of samples");
  for (size_t i = 0; i < samples.size(); ++i) {
    CObject sample(samples[i], Index(at, i));
    Sample item;
    item.time = RealFromJson(sample.Need("time"), sample.At("time"));
    RowsFromJson(sample.Need("transform"), sample.At("transform"), 4, 3, item.rows.data());
    sample.Done();
    c.samples.push_back(item);
  }
}

void AxesFromJson(CObject& object, Controller& c, const char* owner) {
  for (const char* axisName : kAxisNames) {
    CObject axis(object.Need(axisName), object.At(axisName));
    Axis item;
    if (const Json* cls = axis.Maybe("class"))
      item.chunkClass = U32FromJson(*cls, axis.At("class"));
    if (const Json* sub = axis.Maybe("subclass"))
      item.subclass = U32FromJson(*sub, axis.At("subclass"));
    item.slot = SlotFromJson(axis.Need("track"), axis.At("track"), ValueKind::Float, owner);
    item.trailing = TrailingFromJson(axis);
    axis.Done();
    c.axes.push_back(std::move(item));
  }
}

void LookAtFromJson(CObject& object, Controller& c) {
  const Json& targets = object.Need("targets");
  const std::string at = object.At("targets");
  if (!targets.is_array()) Fail(at, "expected an array of targets");
  for (size_t i = 0; i < targets.size(); ++i) {
    CObject target(targets[i], Index(at, i));
    Target item;
    item.name = NameFromJson(target.Need("name"), target.At("name"));
    item.weight = RealFromJson(target.Need("weight"), target.At("weight"));
    target.Done();
    c.targets.push_back(std::move(item));
  }
  c.storedTargetCount = StoredCountFromJson(object, "targetCount", c.targets.size());
  CObject params(object.Need("params"), object.At("params"));
  for (int i = 0; i < kLookAtParamCount; ++i)
    c.lookAtParams[i] =
        U32FromJson(params.Need(kLookAtParamNames[i]), params.At(kLookAtParamNames[i]));
  params.Done();
}

void IKChainFromJson(CObject& object, Controller& c) {
  const Json& joints = object.Need("joints");
  const std::string at = object.At("joints");
  if (!joints.is_array() || joints.size() != 4) Fail(at, "expected an array of 4 joints");
  for (size_t i = 0; i < 4; ++i) {
    CObject joint(joints[i], Index(at, i));
    c.joints[i].name = NameFromJson(joint.Need("name"), joint.At("name"));
    c.joints[i].id = U32FromJson(joint.Need("id"), joint.At("id"));
    joint.Done();
  }
  c.upperLength = RealFromJson(object.Need("upperLength"), object.At("upperLength"));
  c.lowerLength = RealFromJson(object.Need("lowerLength"), object.At("lowerLength"));
}

Controller ControllerFromJson(const Json& json, const std::string& path, Place place) {
  CObject object(json, path);
  const std::string typeName = TypeFromJson(object);
  Controller c;
  bool known = false;
  for (const ControllerName& entry : kControllerNames)
    if (typeName == entry.name) {
      c.type = entry.type;
      known = true;
    }
  if (!known) Fail(object.At("type"), "unknown controller kind \"" + typeName + "\"");
  if (!PlaceAccepts(place, c.type))
    Fail(object.At("type"), "a " + typeName + " controller cannot stand in the " +
                                kPartNames[static_cast<int>(place) - 1] +
                                " place of a transform controller (expected " +
                                PlaceChoices(place) + ")");
  const char* owner = ControllerTypeName(c.type);
  switch (c.type) {
    case ControllerType::Raw:
      c.raw = RawFromJson(object);
      return c;
    case ControllerType::LinkConstraints:
      LinksFromJson(object, c);
      [[fallthrough]];
    case ControllerType::PRS:
      for (int i = 0; i < 3; ++i)
        c.parts.push_back(ControllerFromJson(object.Need(kPartNames[i]), object.At(kPartNames[i]),
                                             static_cast<Place>(i + 1)));
      break;
    case ControllerType::PRSSampled:
      SamplesFromJson(object, c);
      break;
    case ControllerType::Scale:
      if (const Json* sub = object.Maybe("subclass"))
        c.scaleSubclass = U32FromJson(*sub, object.At("subclass"));
      [[fallthrough]];
    case ControllerType::PositionVector:
    case ControllerType::RotationQuaternion:
    case ControllerType::Float: {
      ValueKind kind;
      ControllerTakesKeys(c.type, &kind);
      c.slot = SlotFromJson(object.Need("track"), object.At("track"), kind, owner);
      break;
    }
    case ControllerType::PositionXYZ:
    case ControllerType::EulerXYZ:
      AxesFromJson(object, c, owner);
      break;
    case ControllerType::LookAt:
      LookAtFromJson(object, c);
      break;
    case ControllerType::IKChain:
      IKChainFromJson(object, c);
      break;
  }
  c.trailing = TrailingFromJson(object);
  object.Done();
  return c;
}

Node NodeFromJson(const Json& json, const std::string& path) {
  CObject object(json, path);
  Node node;
  node.name = NameFromJson(object.Need("name"), object.At("name"));
  const Json& type = object.Need("type");
  if (type == "transform")
    node.subclass = kNodeTransform;
  else if (type == "positionScale")
    node.subclass = kNodePositionScale;
  else if (type.is_number())
    node.subclass = U32FromJson(type, object.At("type"));
  else
    Fail(object.At("type"), "expected \"transform\", \"positionScale\" or a subclass number");
  node.kind = U32FromJson(object.Need("kind"), object.At("kind"));
  node.id = I32FromJson(object.Need("id"), object.At("id"));
  node.parent = I32FromJson(object.Need("parent"), object.At("parent"));
  RowsFromJson(object.Need("transform"), object.At("transform"), 4, 3, node.rows.data());
  if (const Json* cls = object.Maybe("class"))
    node.chunkClass = U32FromJson(*cls, object.At("class"));
  if (const Json* length = object.Maybe("length"))
    node.storedLength = U32FromJson(*length, object.At("length"));
  object.Done();
  return node;
}

TopChunk TopFromJson(const Json& json, const std::string& path) {
  CObject object(json, path);
  const std::string type = TypeFromJson(object);
  object.Maybe("comment");
  TopChunk top;
  if (type == "chunk") {
    top.type = TopType::Raw;
    top.raw = RawFromJson(object);
    return top;
  }
  if (type == "object") {
    top.type = TopType::Object;
    top.name = NameFromJson(object.Need("name"), object.At("name"));
    top.controller =
        ControllerFromJson(object.Need("controller"), object.At("controller"), Place::Object);
  } else if (type == "range") {
    top.type = TopType::Range;
    top.subclass = kDefaultRangeSubclass;
    top.start = RealFromJson(object.Need("start"), object.At("start"));
    top.end = RealFromJson(object.Need("end"), object.At("end"));
  } else if (type == "hierarchy") {
    top.type = TopType::Hierarchy;
    top.subclass = kDefaultHierarchySubclass;
    const Json& nodes = object.Need("nodes");
    const std::string at = object.At("nodes");
    if (!nodes.is_array()) Fail(at, "expected an array of nodes");
    for (size_t i = 0; i < nodes.size(); ++i)
      top.nodes.push_back(NodeFromJson(nodes[i], Index(at, i)));
  } else {
    Fail(object.At("type"),
         "unknown chunk kind \"" + type + "\" (expected object, range, hierarchy or chunk)");
  }
  if (top.type != TopType::Object)
    if (const Json* sub = object.Maybe("subclass"))
      top.subclass = U32FromJson(*sub, object.At("subclass"));
  top.trailing = TrailingFromJson(object);
  object.Done();
  return top;
}

// ---------------------------------------------------------------------------------------------
// Text layout.

// Appends the one-line form of json to out; gives up (false) once out is longer than limit, so
// that laying out a large document does not print every deep value many times over.
bool AppendInline(const Json& json, size_t limit, std::string& out) {
  if (json.is_array()) {
    out += '[';
    for (size_t i = 0; i < json.size(); ++i) {
      if (i) out += ", ";
      if (!AppendInline(json[i], limit, out)) return false;
    }
    out += ']';
  } else if (json.is_object()) {
    out += '{';
    bool first = true;
    for (auto it = json.begin(); it != json.end(); ++it) {
      if (!first) out += ", ";
      first = false;
      out += Json(it.key()).dump();
      out += ": ";
      if (!AppendInline(it.value(), limit, out)) return false;
    }
    out += '}';
  } else {
    out += json.dump();
  }
  return out.size() <= limit;
}

constexpr size_t kLineWidth = 100;

void Layout(const Json& json, size_t indent, size_t column, std::string& out) {
  std::string flat;
  const size_t room = column < kLineWidth ? kLineWidth - column : 0;
  if (AppendInline(json, json.is_structured() && !json.empty() ? room : SIZE_MAX, flat)) {
    out += flat;
    return;
  }
  out += json.is_array() ? '[' : '{';
  out += '\n';
  bool first = true;
  for (auto it = json.begin(); it != json.end(); ++it) {
    if (!first) out += ",\n";
    first = false;
    out.append(indent + 2, ' ');
    size_t valueColumn = indent + 2;
    if (json.is_object()) {
      const std::string key = Json(it.key()).dump();
      out += key;
      out += ": ";
      valueColumn += key.size() + 2;
    }
    Layout(it.value(), indent + 2, valueColumn, out);
  }
  out += '\n';
  out.append(indent, ' ');
  out += json.is_array() ? ']' : '}';
}

}  // namespace

Json RealToJson(F32 bits) {
  const float value = std::bit_cast<float>(bits);
  if (!std::isfinite(value)) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08x", bits);
    return text;
  }
  // The shortest decimal that reads back as this float, when its nearest double also rounds to
  // it (almost always); otherwise the float's exact double value, which always does.
  char text[48];
  const auto printed = std::to_chars(text, text + sizeof(text), value);
  double shortest = 0;
  const auto parsed = std::from_chars(text, printed.ptr, shortest);
  if (printed.ec == std::errc() && parsed.ec == std::errc() &&
      std::bit_cast<uint32_t>(static_cast<float>(shortest)) == bits)
    return shortest;
  return static_cast<double>(value);
}

F32 RealFromJson(const Json& json, const std::string& path) {
  if (json.is_number()) {
    const double value = json.get<double>();
    // Halfway between the largest float and 2^128: anything below rounds to a finite float.
    constexpr double kRoundsToFinite = 0x1.ffffffp+127;
    if (!(std::fabs(value) < kRoundsToFinite))
      Fail(path, "out of the range of a 32-bit float (write other values as \"0x\" bit patterns)");
    return std::bit_cast<uint32_t>(static_cast<float>(value));
  }
  if (json.is_string()) {
    const std::string& text = json.get_ref<const std::string&>();
    uint32_t bits = 0;
    if (text.size() == 10 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      const auto r = std::from_chars(text.data() + 2, text.data() + 10, bits, 16);
      if (r.ec == std::errc() && r.ptr == text.data() + 10) return bits;
    }
  }
  Fail(path, "expected a number or a bit pattern \"0x\" + 8 hex digits");
}

Json DocumentToJson(const Document& document) {
  Json chunks = Json::array();
  for (const TopChunk& top : document.chunks) chunks.push_back(TopToJson(top));
  Json out;
  out["chunks"] = std::move(chunks);
  return out;
}

Document DocumentFromJson(const Json& json) {
  CObject object(json, "");
  object.Maybe("comment");
  const Json& chunks = object.Need("chunks");
  if (!chunks.is_array()) Fail("/chunks", "expected an array of chunks");
  Document document;
  for (size_t i = 0; i < chunks.size(); ++i)
    document.chunks.push_back(TopFromJson(chunks[i], Index("/chunks", i)));
  object.Done();
  return document;
}

std::string FormatJson(const Json& json) {
  std::string out;
  Layout(json, 0, 0, out);
  return out;
}

}  // namespace NZelkarAsset
