#include "AssetWriter.h"

#include "MemorySink.h"
#include "foundation/DiskWriter.h"

namespace NZelkarAsset {

namespace {

template <class Sink>
class CWriter {
 public:
  explicit CWriter(Sink& sink) : m_sink(sink) {}

  void PutDocument(const NZelkarAsset::Document& document) {
    m_sink.WriteBytes(kHeaderText, kHeaderSize);  // the text and its zero
    for (const TopChunk& top : document.chunks) PutTopChunk(top);
  }

 private:
  void PutBegin(uint32_t chunkClass, uint32_t subclass) {
    const uint8_t id[8] = {
        static_cast<uint8_t>(chunkClass),       static_cast<uint8_t>(chunkClass >> 8),
        static_cast<uint8_t>(chunkClass >> 16), static_cast<uint8_t>(chunkClass >> 24),
        static_cast<uint8_t>(subclass),         static_cast<uint8_t>(subclass >> 8),
        static_cast<uint8_t>(subclass >> 16),   static_cast<uint8_t>(subclass >> 24)};
    m_sink.BeginChunk(id, kChunkIdLength);
  }

  // Reals go out as their bit patterns, so that any NaN is stored exactly as it came in.
  void PutReal(F32 bits) { m_sink.WriteDword(bits); }

  void PutRaw(const Bytes& bytes) {
    if (!bytes.empty()) m_sink.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }

  void PutRawChunk(const NZelkarAsset::RawChunk& raw) {
    PutBegin(raw.chunkClass, raw.subclass);
    PutRaw(raw.payload);
    m_sink.EndChunk();
  }

  void PutMatrix(const std::array<F32, 12>& rows) {
    for (int column = 0; column < 3; ++column)
      for (int row = 0; row < 4; ++row) PutReal(rows[row * 3 + column]);
  }

  void PutTopChunk(const NZelkarAsset::TopChunk& top) {
    switch (top.type) {
      case TopType::Raw:
        PutRawChunk(top.raw);
        return;
      case TopType::Object:
        PutBegin(kClassObject, kSubclassObject);
        m_sink.WriteString(top.name);
        PutController(top.controller);
        break;
      case TopType::Range:
        PutBegin(kClassRange, top.subclass);
        PutReal(top.start);
        PutReal(top.end);
        break;
      case TopType::Hierarchy:
        PutBegin(kClassHierarchy, top.subclass);
        m_sink.WriteDword(static_cast<uint32_t>(top.nodes.size()));
        for (const Node& node : top.nodes) PutNode(node);
        break;
    }
    PutRaw(top.trailing);
    m_sink.EndChunk();
  }

  void PutNode(const NZelkarAsset::Node& node) {
    // Written field by field: the record's length word may differ from its true size.
    m_sink.WriteDword(kChunkIdLength);
    m_sink.WriteDword(node.chunkClass);
    m_sink.WriteDword(node.subclass);
    m_sink.WriteDword(node.storedLength.value_or(NodeRecordSize(node)));
    m_sink.WriteString(node.name);
    m_sink.WriteDword(static_cast<uint32_t>(node.id));
    m_sink.WriteDword(static_cast<uint32_t>(node.parent));
    PutMatrix(node.rows);
    m_sink.WriteDword(node.kind);
  }

  void PutController(const NZelkarAsset::Controller& c) {
    if (c.type == ControllerType::Raw) {
      PutRawChunk(c.raw);
      return;
    }
    PutBegin(ControllerClass(c), ControllerSubclass(c));
    switch (c.type) {
      case ControllerType::LinkConstraints:
        m_sink.WriteDword(static_cast<uint32_t>(
            c.storedLinkCount.value_or(static_cast<int32_t>(c.links.size()))));
        for (const Link& link : c.links) {
          m_sink.WriteString(link.parent);
          PutReal(link.start);
        }
        [[fallthrough]];
      case ControllerType::PRS:
        for (const NZelkarAsset::Controller& part : c.parts) PutController(part);
        break;
      case ControllerType::PRSSampled:
        m_sink.WriteDword(static_cast<uint32_t>(c.samples.size()));
        for (const Sample& s : c.samples) PutReal(s.time);
        for (const Sample& s : c.samples) PutMatrix(s.rows);
        break;
      case ControllerType::PositionVector:
      case ControllerType::RotationQuaternion:
      case ControllerType::Scale:
      case ControllerType::Float:
        PutTrackSlot(c.slot);
        break;
      case ControllerType::PositionXYZ:
      case ControllerType::EulerXYZ:
        for (const Axis& axis : c.axes) {
          PutBegin(axis.chunkClass, axis.subclass);
          PutTrackSlot(axis.slot);
          PutRaw(axis.trailing);
          m_sink.EndChunk();
        }
        break;
      case ControllerType::LookAt:
        m_sink.WriteDword(static_cast<uint32_t>(
            c.storedTargetCount.value_or(static_cast<int32_t>(c.targets.size()))));
        for (const Target& target : c.targets) {
          m_sink.WriteString(target.name);
          PutReal(target.weight);
        }
        for (uint32_t word : c.lookAtParams) m_sink.WriteDword(word);
        break;
      case ControllerType::IKChain:
        for (const IKJoint& joint : c.joints) {
          m_sink.WriteString(joint.name);
          m_sink.WriteDword(joint.id);
        }
        PutReal(c.upperLength);
        PutReal(c.lowerLength);
        break;
      case ControllerType::Raw:
        break;
    }
    PutRaw(c.trailing);
    m_sink.EndChunk();
  }

  void PutTrackSlot(const NZelkarAsset::TrackSlot& slot) {
    if (slot.isRaw) {
      PutRawChunk(slot.raw);
      return;
    }
    const Track& track = slot.track;
    const KeyTypeInfo* info = FindKeyType(track.keyType);
    PutBegin(kClassTrack, track.keyType);
    m_sink.WriteDword(track.before);
    m_sink.WriteDword(track.after);
    m_sink.WriteDword(static_cast<uint32_t>(info ? track.values.size() / info->floatCount : 0));
    for (F32 value : track.values) PutReal(value);
    PutRaw(track.trailing);
    m_sink.EndChunk();
  }

  Sink& m_sink;
};

}  // namespace

uint32_t NodeRecordSize(const Node& node) {
  return static_cast<uint32_t>(node.name.size() + 1) + 4 + 4 + 48 + 4;
}

template <class Sink>
void WriteDocument(const Document& document, Sink& sink) {
  CWriter<Sink>(sink).PutDocument(document);
}

template void WriteDocument<CDiskWriter>(const Document&, CDiskWriter&);
template void WriteDocument<CMemorySink>(const Document&, CMemorySink&);

Bytes DocumentBytes(const Document& document) {
  CMemorySink sink;
  WriteDocument(document, sink);
  return sink.Data();
}

}  // namespace NZelkarAsset
