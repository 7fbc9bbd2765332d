#include "Stage.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "FileBytes.h"
#include "HierarchyNames.h"

namespace zk_drive {
namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

constexpr float kInf = std::numeric_limits<float>::infinity();
// An hour of input at the default rate is 216000 frames of every node: more than a page plays.
constexpr float kMaxDuration = 3600;

const char* const kKinds[] = {"Car", "Driver", "CoDriver", "Spectator", "Character"};

// A key as a JSON pointer token: "~" and "/" are escaped.
std::string Token(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '~')
      out += "~0";
    else if (c == '/')
      out += "~1";
    else
      out += c;
  }
  return out;
}

class CReader {
 public:
  CReader(std::string file, std::string root) : m_file(std::move(file)), m_root(std::move(root)) {}

  [[noreturn]] void Fail(const std::string& path, const std::string& reason) const {
    throw CStageError(m_file, path, reason);
  }

  // j must be an object whose keys are all among known; "comment" is allowed everywhere.
  void Object(const json& j, const std::string& path, std::initializer_list<const char*> known,
              std::initializer_list<const char*> required = {}) const {
    if (!j.is_object()) Fail(path, "expected an object, found " + std::string(j.type_name()));
    for (const auto& item : j.items()) {
      const std::string& key = item.key();
      if (key == "comment") continue;
      if (std::none_of(known.begin(), known.end(), [&](const char* k) { return key == k; })) {
        std::string list;
        for (const char* k : known) list += (list.empty() ? "" : ", ") + std::string(k);
        Fail(path + "/" + Token(key), "unknown key \"" + key + "\" (known here: " + list + ")");
      }
    }
    for (const char* key : required)
      if (!j.contains(key)) Fail(path + "/" + key, "missing");
  }

  float Number(const json& j, const std::string& path, float lo = -kInf, float hi = kInf) const {
    if (!j.is_number()) Fail(path, "expected a number, found " + std::string(j.type_name()));
    const double v = j.get<double>();
    // Compared as the float it becomes: a time written as the duration is within it, and a
    // number beyond the float range is refused rather than made infinite.
    const bool inFloat = std::isfinite(v) && std::fabs(v) <= std::numeric_limits<float>::max();
    const float f = inFloat ? static_cast<float>(v) : 0.0f;
    if (!inFloat || f < lo || f > hi) {
      std::ostringstream range;
      range << "value " << v << " outside [" << lo << ", " << hi << "]";
      Fail(path, range.str());
    }
    return f;
  }

  std::string String(const json& j, const std::string& path) const {
    if (!j.is_string() || j.get<std::string>().empty())
      Fail(path, "expected a non-empty string, found " + std::string(j.type_name()));
    return j.get<std::string>();
  }

  const json& Array(const json& j, const std::string& path, std::size_t size = 0) const {
    if (!j.is_array()) Fail(path, "expected an array, found " + std::string(j.type_name()));
    if (size != 0 && j.size() != size)
      Fail(path,
           "expected " + std::to_string(size) + " entries, found " + std::to_string(j.size()));
    return j;
  }

  // Appends n numbers of the array at path to out.
  void Numbers(const json& j, const std::string& path, std::size_t n, float* out) const {
    Array(j, path, n);
    for (std::size_t i = 0; i < n; ++i) out[i] = Number(j[i], path + "/" + std::to_string(i));
  }

  // The file must exist where the library will look for it.
  std::vector<unsigned char> Asset(const std::string& file, const std::string& path) const {
    try {
      return zk_play::ReadFileBytes((fs::path(m_root) / file).string());
    } catch (const std::exception& e) {
      Fail(path, e.what());
    }
  }

 private:
  std::string m_file, m_root;
};

void AddKey(SChannel& channel, float time, const float* values) {
  channel.times.push_back(time);
  channel.values.insert(channel.values.end(), values, values + channel.width);
}

const SStageCharacter& CharacterNamed(const SStage& stage, const CReader& r, const json& j,
                                      const std::string& path) {
  const std::string name = r.String(j, path);
  for (const SStageCharacter& c : stage.characters)
    if (c.name == name) return c;
  r.Fail(path, "no character named \"" + name + "\" in /characters");
}

void CheckNode(const SStageCharacter& c, const std::vector<std::string>& nodes, const CReader& r,
               const std::string& node, const std::string& path) {
  if (std::find(nodes.begin(), nodes.end(), node) == nodes.end())
    r.Fail(path, c.name + "'s hierarchy " + c.hierarchy + " has no node \"" + node + "\"");
}

void ReadShake(const CReader& r, const json& j, const std::string& path, float* out) {
  r.Object(j, path, {"vectors", "body"}, {"vectors", "body"});
  r.Array(j["vectors"], path + "/vectors", 5);
  for (int k = 0; k < 5; ++k)
    r.Numbers(j["vectors"][k], path + "/vectors/" + std::to_string(k), 3, out + 3 * k);
  r.Numbers(j["body"], path + "/body", 3, out + 15);
}

// The sections of a stage document, read in order: a later section refers to names an earlier
// one made (scenes, characters and their nodes).
class CStageParser {
 public:
  CStageParser(const CReader& r, const json& doc, SStage& stage)
      : m_r(r), m_doc(doc), m_stage(stage) {}

  void Settings() {
    const json& doc = m_doc;
    m_r.Object(doc, "",
               {"root", "duration", "firstGear", "wheelRadius", "steeringLock", "scenes",
                "characters", "csv", "timeline"},
               {"duration", "scenes", "characters", "timeline"});
    m_stage.duration = m_r.Number(doc["duration"], "/duration", 0.0f, kMaxDuration);
    if (m_stage.duration <= 0) m_r.Fail("/duration", "must be more than 0 seconds");
    if (doc.contains("firstGear"))
      m_stage.firstGear = static_cast<int>(m_r.Number(doc["firstGear"], "/firstGear", -1, 9));
    if (doc.contains("wheelRadius"))
      m_stage.wheelRadius = m_r.Number(doc["wheelRadius"], "/wheelRadius", 0.05f, 5.0f);
    if (doc.contains("steeringLock"))
      m_stage.steeringLock = m_r.Number(doc["steeringLock"], "/steeringLock", 0.0f, 1.5f);
  }

  void Scenes() {
    const json& scenes = m_r.Array(m_doc["scenes"], "/scenes");
    for (std::size_t i = 0; i < scenes.size(); ++i) {
      const std::string path = "/scenes/" + std::to_string(i);
      m_r.Object(scenes[i], path, {"file", "name"}, {"file", "name"});
      SStageScene scene{m_r.String(scenes[i]["file"], path + "/file"),
                        m_r.String(scenes[i]["name"], path + "/name")};
      for (const SStageScene& other : m_stage.scenes)
        if (other.name == scene.name)
          m_r.Fail(path + "/name", "scene \"" + scene.name + "\" twice");
      m_r.Asset(scene.file, path + "/file");
      m_stage.scenes.push_back(scene);
    }
  }

  void Characters() {
    const json& characters = m_r.Array(m_doc["characters"], "/characters");
    bool carSoFar = false;
    for (std::size_t i = 0; i < characters.size(); ++i) {
      m_stage.characters.push_back(
          Character(characters[i], "/characters/" + std::to_string(i), carSoFar));
      carSoFar = carSoFar || m_stage.characters.back().kind == "Car";
    }
  }

  void Csv() {
    if (!m_doc.contains("csv")) return;
    const json& csv = m_r.Array(m_doc["csv"], "/csv");
    for (std::size_t i = 0; i < csv.size(); ++i) {
      const std::string path = "/csv/" + std::to_string(i);
      m_r.Object(csv[i], path, {"character", "nodes"}, {"character", "nodes"});
      const std::size_t c = CharacterIndex(csv[i]["character"], path + "/character");
      SNodeList list{m_stage.characters[c].name, {}};
      const json& nodes = m_r.Array(csv[i]["nodes"], path + "/nodes");
      for (std::size_t k = 0; k < nodes.size(); ++k) {
        const std::string at = path + "/nodes/" + std::to_string(k);
        list.nodes.push_back(m_r.String(nodes[k], at));
        CheckNode(m_stage.characters[c], m_nodeNames[c], m_r, list.nodes.back(), at);
      }
      m_stage.csv.push_back(list);
    }
  }

  void Timeline() {
    const int widths[kChannelCount] = {1, 1, 2, 4, 1, 18, 18};
    for (int c = 0; c < kChannelCount; ++c) m_stage.channels[c].width = widths[c];
    m_stage.channels[kHandbrake].held = true;

    const json& timeline = m_r.Array(m_doc["timeline"], "/timeline");
    float last = 0;
    for (std::size_t i = 0; i < timeline.size(); ++i) {
      const std::string path = "/timeline/" + std::to_string(i);
      const json& j = timeline[i];
      m_r.Object(j, path,
                 {"time", "steering", "handbrake", "wipers", "car", "rough", "shake", "gear",
                  "windscreen", "detach", "pin", "cleanup", "remove", "create"},
                 {"time"});
      const float t = m_r.Number(j["time"], path + "/time", 0.0f, m_stage.duration);
      if (t < last) {
        std::ostringstream why;
        why << "time " << t << " goes back before the previous entry's " << last;
        m_r.Fail(path + "/time", why.str());
      }
      last = t;
      CastEvents(j, path, t);
      ChannelKeys(j, path, t);
      GearAndWindscreen(j, path, t);
      for (const char* key : {"detach", "pin"})
        if (j.contains(key)) NodeEvent(j[key], path + "/" + key, t, std::string(key) == "pin");
    }
    Cast();
  }

 private:
  SStageCharacter Character(const json& j, const std::string& path, bool carSoFar) {
    m_r.Object(j, path, {"name", "kind", "hierarchy", "scenes", "position", "heading", "scale"},
               {"name", "kind", "hierarchy"});
    SStageCharacter c;
    c.name = m_r.String(j["name"], path + "/name");
    for (const SStageCharacter& other : m_stage.characters)
      if (other.name == c.name) m_r.Fail(path + "/name", "character \"" + c.name + "\" twice");
    c.kind = m_r.String(j["kind"], path + "/kind");
    if (std::find(std::begin(kKinds), std::end(kKinds), c.kind) == std::end(kKinds))
      m_r.Fail(path + "/kind", "\"" + c.kind +
                                   "\" is not one of Car, Driver, CoDriver, "
                                   "Spectator, Character");
    const bool seated = c.kind == "Driver" || c.kind == "CoDriver";
    if (seated && !carSoFar)
      m_r.Fail(path + "/kind", "a " + c.kind + " sits in the car: list a Car before it");
    if (seated && (j.contains("position") || j.contains("heading")))
      m_r.Fail(path, "a " + c.kind + " sits in the car: it takes no position or heading");
    c.hierarchy = m_r.String(j["hierarchy"], path + "/hierarchy");
    const std::vector<unsigned char> bytes = m_r.Asset(c.hierarchy, path + "/hierarchy");
    try {
      c.nodes = zk_play::ReadHierarchyNodes(bytes, c.hierarchy);
    } catch (const std::exception& e) {
      m_r.Fail(path + "/hierarchy", e.what());
    }
    if (c.nodes.empty()) m_r.Fail(path + "/hierarchy", c.hierarchy + " holds no node");
    std::vector<std::string> names;
    for (const zk_play::SHierarchyNode& node : c.nodes) names.push_back(node.name);
    m_nodeNames.push_back(names);
    if (j.contains("scenes")) {
      const json& list = m_r.Array(j["scenes"], path + "/scenes");
      for (std::size_t k = 0; k < list.size(); ++k) {
        const std::string at = path + "/scenes/" + std::to_string(k);
        const std::string name = m_r.String(list[k], at);
        if (std::none_of(m_stage.scenes.begin(), m_stage.scenes.end(),
                         [&](const SStageScene& s) { return s.name == name; }))
          m_r.Fail(at, "no scene named \"" + name + "\" in /scenes");
        c.scenes.push_back(name);
      }
    }
    if (j.contains("position"))
      m_r.Numbers(j["position"], path + "/position", 3, c.position.data());
    if (j.contains("heading")) c.heading = m_r.Number(j["heading"], path + "/heading", -360, 360);
    if (j.contains("scale")) c.scale = m_r.Number(j["scale"], path + "/scale", 1e-6f, 1e6f);
    return c;
  }

  std::size_t CharacterIndex(const json& j, const std::string& path) const {
    return static_cast<std::size_t>(&CharacterNamed(m_stage, m_r, j, path) -
                                    m_stage.characters.data());
  }

  // The continuous inputs of a timeline entry, each a key of its channel.
  void ChannelKeys(const json& j, const std::string& path, float t) {
    float v[18] = {};
    // The channels that take one number in a range.
    static const struct {
      const char* key;
      int channel;
      float low, high;
    } scalars[] = {
        {"steering", kSteering, -1, 1}, {"handbrake", kHandbrake, 0, 1}, {"rough", kRough, 0, 1}};
    for (const auto& s : scalars) {
      if (!j.contains(s.key)) continue;
      v[0] = m_r.Number(j[s.key], path + "/" + s.key, s.low, s.high);
      AddKey(m_stage.channels[s.channel], t, v);
    }
    if (j.contains("wipers")) {
      m_r.Numbers(j["wipers"], path + "/wipers", 2, v);
      AddKey(m_stage.channels[kWipers], t, v);
    }
    if (j.contains("car")) {
      const json& car = j["car"];
      m_r.Object(car, path + "/car", {"position", "heading"}, {"position", "heading"});
      m_r.Numbers(car["position"], path + "/car/position", 3, v);
      v[3] = m_r.Number(car["heading"], path + "/car/heading", -3600, 3600);
      AddKey(m_stage.channels[kCar], t, v);
    }
    if (j.contains("shake")) {
      m_r.Object(j["shake"], path + "/shake", {"driver", "coDriver"});
      const char* people[] = {"driver", "coDriver"};
      for (int p = 0; p < 2; ++p) {
        if (!j["shake"].contains(people[p])) continue;
        ReadShake(m_r, j["shake"][people[p]], path + "/shake/" + people[p], v);
        AddKey(m_stage.channels[kShakeDriver + p], t, v);
      }
    }
  }

  void GearAndWindscreen(const json& j, const std::string& path, float t) {
    if (j.contains("gear")) {
      const std::string way = m_r.String(j["gear"], path + "/gear");
      if (way != "up" && way != "down") m_r.Fail(path + "/gear", "expected \"up\" or \"down\"");
      SEvent e;
      e.time = t;
      e.kind = way == "up" ? EEventKind::GearUp : EEventKind::GearDown;
      m_stage.events.push_back(e);
    }
    if (j.contains("windscreen")) {
      SEvent e;
      e.time = t;
      e.kind = EEventKind::Windscreen;
      m_r.Array(j["windscreen"], path + "/windscreen", 4);
      for (int k = 0; k < 4; ++k)
        m_r.Numbers(j["windscreen"][k], path + "/windscreen/" + std::to_string(k), 3,
                    e.values.data() + 3 * k);
      m_stage.events.push_back(e);
    }
  }

  // The entry's changes of cast, in the order they happen within a frame: the clean-up, then a
  // removal, then a creation.
  void CastEvents(const json& j, const std::string& path, float t) {
    if (j.contains("cleanup")) {
      if (!j["cleanup"].is_boolean() || !j["cleanup"].get<bool>())
        m_r.Fail(path + "/cleanup", "expected true");
      SEvent e;
      e.time = t;
      e.kind = EEventKind::Cleanup;
      e.jsonPath = path + "/cleanup";
      m_stage.events.push_back(e);
    }
    for (const char* key : {"remove", "create"}) {
      if (!j.contains(key)) continue;
      SEvent e;
      e.time = t;
      e.kind = std::string(key) == "create" ? EEventKind::Create : EEventKind::Remove;
      e.jsonPath = path + "/" + key;
      e.character = CharacterNamed(m_stage, m_r, j[key], e.jsonPath).name;
      m_stage.events.push_back(e);
    }
  }

  // Who is in the drive when: a character the timeline creates before it removes it starts
  // absent. A creation needs the character absent (and, for the people in the car, a car
  // present); a removal, detach or pin needs it present; so does the start and every clean-up,
  // which make the cast present then in stage order.
  void Cast() {
    const std::size_t count = m_stage.characters.size();
    std::vector<bool> decided(count, false);
    for (const SEvent& e : m_stage.events) {
      if (e.kind != EEventKind::Create && e.kind != EEventKind::Remove) continue;
      const std::size_t c = Index(e.character);
      if (!decided[c]) m_stage.characters[c].fromStart = e.kind != EEventKind::Create;
      decided[c] = true;
    }
    std::vector<bool> present(count);
    for (std::size_t c = 0; c < count; ++c) present[c] = m_stage.characters[c].fromStart;
    CastSeated(present, "/characters", "at the start");
    for (const SEvent& e : m_stage.events) {
      std::ostringstream when;
      when << "at " << e.time << " s";
      if (e.kind == EEventKind::Cleanup) {
        CastSeated(present, e.jsonPath, "after the clean-up " + when.str());
      } else if (e.kind == EEventKind::Create || e.kind == EEventKind::Remove) {
        const std::size_t c = Index(e.character);
        const bool create = e.kind == EEventKind::Create;
        if (present[c] == create)
          m_r.Fail(e.jsonPath, "\"" + e.character + "\" is " + (create ? "already" : "not") +
                                   " in the drive " + when.str());
        present[c] = create;
        const std::string& kind = m_stage.characters[c].kind;
        if (create && (kind == "Driver" || kind == "CoDriver") && !CarPresent(present, count))
          m_r.Fail(e.jsonPath,
                   "a " + kind + " sits in the car: no car is in the drive " + when.str());
      } else if ((e.kind == EEventKind::Detach || e.kind == EEventKind::Pin) &&
                 !present[Index(e.character)]) {
        m_r.Fail(e.jsonPath + "/character",
                 "\"" + e.character + "\" is not in the drive " + when.str());
      }
    }
  }

  // The people in the car present when the cast is made in stage order need a car made before.
  void CastSeated(const std::vector<bool>& present, const std::string& path,
                  const std::string& when) const {
    bool car = false;
    for (std::size_t c = 0; c < present.size(); ++c) {
      if (!present[c]) continue;
      const std::string& kind = m_stage.characters[c].kind;
      if ((kind == "Driver" || kind == "CoDriver") && !car)
        m_r.Fail(path, "a " + kind + " (" + m_stage.characters[c].name +
                           ") sits in the car: no car before it in the drive " + when);
      car = car || kind == "Car";
    }
  }

  bool CarPresent(const std::vector<bool>& present, std::size_t count) const {
    for (std::size_t c = 0; c < count; ++c)
      if (present[c] && m_stage.characters[c].kind == "Car") return true;
    return false;
  }

  std::size_t Index(const std::string& name) const {
    std::size_t c = 0;
    while (m_stage.characters[c].name != name) ++c;  // the name was checked when it was read
    return c;
  }

  // A detach or pin of one character's node.
  void NodeEvent(const json& j, const std::string& at, float t, bool pin) {
    SEvent e;
    e.time = t;
    e.kind = pin ? EEventKind::Pin : EEventKind::Detach;
    e.jsonPath = at;
    if (pin)
      m_r.Object(j, at, {"character", "node", "position", "signal"},
                 {"character", "node", "position"});
    else
      m_r.Object(j, at, {"character", "node"}, {"character", "node"});
    const std::size_t c = CharacterIndex(j["character"], at + "/character");
    e.character = m_stage.characters[c].name;
    e.node = m_r.String(j["node"], at + "/node");
    CheckNode(m_stage.characters[c], m_nodeNames[c], m_r, e.node, at + "/node");
    if (pin) {
      m_r.Numbers(j["position"], at + "/position", 3, e.values.data());
      if (j.contains("signal")) {
        const std::string signal = m_r.String(j["signal"], at + "/signal");
        if (signal != "solid" && signal != "ghost")
          m_r.Fail(at + "/signal", "expected \"solid\" or \"ghost\"");
        e.ghost = signal == "ghost";
      }
    }
    m_stage.events.push_back(e);
  }

  const CReader& m_r;
  const json& m_doc;
  SStage& m_stage;
  // Node names of each character, for the references of later sections.
  std::vector<std::vector<std::string>> m_nodeNames;
};

}  // namespace

SStage ParseStage(const std::string& text, const std::string& file, const std::string& root) {
  const CReader r(file, root);
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::parse_error& e) {
    r.Fail("", std::string("not valid JSON: ") + e.what());
  }
  SStage stage;
  stage.file = file;
  stage.root = root;
  stage.name = fs::path(file).stem().string();
  CStageParser parser(r, doc, stage);
  parser.Settings();
  parser.Scenes();
  parser.Characters();
  parser.Csv();
  parser.Timeline();
  if (doc.contains("root")) r.String(doc["root"], "/root");
  return stage;
}

SStage ReadStage(const std::string& path) {
  const std::vector<unsigned char> bytes = zk_play::ReadLooseFile(path);
  const std::string text(bytes.begin(), bytes.end());
  // The root is read before the rest so the asset checks look in the right folder.
  std::string root = fs::path(path).parent_path().string();
  try {
    const json doc = json::parse(text);
    if (doc.is_object() && doc.contains("root") && doc["root"].is_string())
      root = (fs::path(root) / doc["root"].get<std::string>()).lexically_normal().string();
  } catch (const json::parse_error&) {
    // ParseStage reports it with its position.
  }
  if (root.empty()) root = ".";
  return ParseStage(text, path, root);
}

void SampleChannel(const SChannel& channel, float t, std::size_t& cursor, float* out) {
  const std::size_t keys = channel.times.size();
  const int w = channel.width;
  if (keys == 0) {
    std::fill(out, out + w, 0.0f);
    return;
  }
  if (cursor >= keys || channel.times[cursor] > t) cursor = 0;  // time went back: search again
  while (cursor + 1 < keys && channel.times[cursor + 1] <= t) ++cursor;
  const float* a = &channel.values[cursor * w];
  const bool before = t < channel.times[cursor];
  if (before || channel.held || cursor + 1 == keys) {
    std::copy(a, a + w, out);
    return;
  }
  const float t0 = channel.times[cursor], t1 = channel.times[cursor + 1];
  const float f = (t - t0) / (t1 - t0);  // t1 > t0: equal times moved the cursor past t0
  const float* b = a + w;
  for (int i = 0; i < w; ++i) out[i] = a[i] + (b[i] - a[i]) * f;
}

}  // namespace zk_drive
