#include "HierarchyNames.h"

#include <cstring>
#include <stdexcept>
#include <unordered_map>

namespace zk_play {
namespace {

constexpr char kHeader[] = "[[ZELKAR:SCENE:HDR]]!!";  // and its zero byte: 23 bytes
constexpr std::size_t kHeaderSize = sizeof(kHeader);
constexpr uint32_t kIdLength = 8;
constexpr uint32_t kHierarchyClass = 18;
constexpr std::size_t kMaxNameLength = 255;
// A node record past its name: id, parent id, 12 reals, kind.
constexpr std::size_t kNodeFieldsSize = 4 + 4 + 12 * 4 + 4;
constexpr std::size_t kRecordHeaderSize = 16;

class CCursor {
 public:
  CCursor(const std::vector<unsigned char>& bytes, const std::string& name)
      : m_bytes(bytes), m_name(name), m_end(bytes.size()) {}

  [[noreturn]] void Fail(std::size_t offset, const std::string& problem) const {
    throw std::runtime_error(m_name + ": byte " + std::to_string(offset) + ": " + problem);
  }

  std::size_t Position() const { return m_position; }
  std::size_t Left() const { return m_end - m_position; }
  void Seek(std::size_t position) { m_position = position; }
  // Reads stop at end from now on (a chunk's end); it may only shrink.
  void Limit(std::size_t end) { m_end = end; }

  void Need(std::size_t count, const char* what) const {
    if (Left() < count)
      Fail(m_position, std::string(what) + " needs " + std::to_string(count) + " bytes, only " +
                           std::to_string(Left()) + " are left");
  }

  uint32_t U32(const char* what) {
    Need(4, what);
    const unsigned char* p = m_bytes.data() + m_position;
    m_position += 4;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }

  std::string String(const char* what) {
    const std::size_t start = m_position;
    const unsigned char* begin = m_bytes.data() + m_position;
    const void* zero = std::memchr(begin, 0, Left());
    if (zero == nullptr) Fail(start, std::string(what) + " has no end before its chunk ends");
    const std::size_t length = static_cast<const unsigned char*>(zero) - begin;
    if (length > kMaxNameLength)
      Fail(start,
           std::string(what) + " is " + std::to_string(length) + " bytes long, more than 255");
    m_position += length + 1;
    return std::string(reinterpret_cast<const char*>(begin), length);
  }

 private:
  const std::vector<unsigned char>& m_bytes;
  const std::string& m_name;
  std::size_t m_position = 0;
  std::size_t m_end;
};

void ReadNodes(CCursor& in, std::vector<SHierarchyNode>& nodes) {
  const std::size_t countAt = in.Position();
  const uint32_t count = in.U32("node count");
  if (count > in.Left() / (kRecordHeaderSize + 1 + kNodeFieldsSize))
    in.Fail(countAt, std::to_string(count) + " nodes cannot fit in the " +
                         std::to_string(in.Left()) + " bytes left in the chunk");
  for (uint32_t i = 0; i < count; ++i) {
    const std::size_t start = in.Position();
    if (in.U32("node record") != kIdLength) in.Fail(start, "node record id length is not 8");
    in.U32("node record class");
    in.U32("node record subclass");
    in.U32("node record length");  // the fields follow each other whatever it says
    SHierarchyNode node;
    node.name = in.String("node name");
    in.Need(kNodeFieldsSize, "node record");
    node.id = in.U32("node id");
    node.parentId = in.U32("parent id");
    for (int k = 0; k < 12; ++k) in.U32("transform");
    node.kind = in.U32("node kind");
    node.parent = -1;
    nodes.push_back(std::move(node));
  }
}

}  // namespace

std::vector<SHierarchyNode> ReadHierarchyNodes(const std::vector<unsigned char>& bytes,
                                               const std::string& name) {
  CCursor in(bytes, name);
  if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kHeader, kHeaderSize) != 0)
    in.Fail(0, "not a hierarchy file (no valid header)");
  in.Seek(kHeaderSize);

  std::vector<SHierarchyNode> nodes;
  while (in.Position() < bytes.size()) {
    const std::size_t start = in.Position();
    in.Limit(bytes.size());
    if (in.U32("chunk id length") != kIdLength) in.Fail(start, "chunk id length is not 8");
    const uint32_t cls = in.U32("chunk class");
    in.U32("chunk subclass");
    const uint32_t length = in.U32("chunk length");
    const std::size_t payload = in.Position();
    if (length > in.Left())
      in.Fail(start, "chunk of " + std::to_string(length) + " bytes runs past the end of the file");
    if (cls == kHierarchyClass) {
      in.Limit(payload + length);
      ReadNodes(in, nodes);
    }
    in.Seek(payload + length);
  }

  // Parents by id, as the library hangs nodes: id -1 is the character's root, any other the
  // earlier node with that id (the first of them, should ids repeat). A parent that is not in the
  // file is taken as the root.
  constexpr uint32_t kRootId = 0xFFFFFFFFu;
  std::unordered_map<uint32_t, int> byId;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const auto parent = byId.find(nodes[i].parentId);
    nodes[i].parent = nodes[i].parentId != kRootId && parent != byId.end() ? parent->second : -1;
    byId.emplace(nodes[i].id, static_cast<int>(i));
  }
  return nodes;
}

}  // namespace zk_play
