#include "XmlCheck.h"

#include <cctype>
#include <set>
#include <vector>

namespace zk_play_test {
namespace {

class CXmlChecker {
 public:
  explicit CXmlChecker(const std::string& text) : m_text(text) {}

  std::string Check() {
    if (m_text.compare(0, 5, "<?xml") == 0) {
      const std::size_t end = m_text.find("?>");
      if (end == std::string::npos) return At("unended XML declaration");
      m_at = end + 2;
    }
    SkipSpace();
    if (!Element()) return m_problem;
    SkipSpace();
    if (m_at != m_text.size()) return At("content after the root element");
    return {};
  }

 private:
  std::string At(const std::string& problem) const {
    return problem + " at byte " + std::to_string(m_at);
  }
  bool Fail(const std::string& problem) {
    if (m_problem.empty()) m_problem = At(problem);
    return false;
  }
  void SkipSpace() {
    while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at]))) ++m_at;
  }
  static bool NameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == ':' ||
           c == '.';
  }
  std::string Name() {
    const std::size_t start = m_at;
    while (m_at < m_text.size() && NameChar(m_text[m_at])) ++m_at;
    return m_text.substr(start, m_at - start);
  }
  // Text up to stop, with every '&' starting a known entity.
  bool CharacterData(char stop) {
    while (m_at < m_text.size() && m_text[m_at] != stop) {
      const char c = m_text[m_at];
      if (c == '<') return Fail("'<' inside text or an attribute");
      if (c == '&') {
        const std::size_t end = m_text.find(';', m_at);
        if (end == std::string::npos) return Fail("unended entity");
        const std::string entity = m_text.substr(m_at + 1, end - m_at - 1);
        static const std::set<std::string> kNamed{"amp", "lt", "gt", "quot", "apos"};
        bool ok = kNamed.count(entity) > 0;
        if (!ok && entity.size() > 1 && entity[0] == '#') {
          ok = true;
          for (std::size_t i = 1; i < entity.size(); ++i)
            ok = ok && std::isdigit(static_cast<unsigned char>(entity[i]));
        }
        if (!ok) return Fail("unknown entity &" + entity + ";");
        m_at = end + 1;
      } else {
        ++m_at;
      }
    }
    return true;
  }
  bool Element() {
    if (m_at >= m_text.size() || m_text[m_at] != '<') return Fail("element expected");
    ++m_at;
    const std::string name = Name();
    if (name.empty()) return Fail("element without a name");
    std::set<std::string> attributes;
    while (true) {
      const std::size_t before = m_at;
      SkipSpace();
      if (m_at >= m_text.size()) return Fail("unended start tag <" + name + ">");
      if (m_text.compare(m_at, 2, "/>") == 0) {
        m_at += 2;
        return true;
      }
      if (m_text[m_at] == '>') {
        ++m_at;
        break;
      }
      if (m_at == before) return Fail("attributes must be separated by space");
      const std::string attribute = Name();
      if (attribute.empty()) return Fail("attribute name expected in <" + name + ">");
      if (!attributes.insert(attribute).second) return Fail("attribute " + attribute + " twice");
      if (m_at >= m_text.size() || m_text[m_at] != '=') return Fail("'=' expected");
      ++m_at;
      if (m_at >= m_text.size() || (m_text[m_at] != '"' && m_text[m_at] != '\''))
        return Fail("attribute value not quoted");
      const char quote = m_text[m_at++];
      if (!CharacterData(quote)) return false;
      if (m_at >= m_text.size()) return Fail("unended attribute value");
      ++m_at;
    }
    // Content: text and child elements up to the matching end tag.
    while (true) {
      if (!CharacterData('<')) return false;
      if (m_at >= m_text.size()) return Fail("element <" + name + "> is never closed");
      if (m_text.compare(m_at, 2, "</") == 0) {
        m_at += 2;
        const std::string end = Name();
        SkipSpace();
        if (end != name) return Fail("</" + end + "> closes <" + name + ">");
        if (m_at >= m_text.size() || m_text[m_at] != '>') return Fail("unended end tag");
        ++m_at;
        return true;
      }
      if (!Element()) return false;
    }
  }

  const std::string& m_text;
  std::size_t m_at = 0;
  std::string m_problem;
};

}  // namespace

std::string XmlProblem(const std::string& text) { return CXmlChecker(text).Check(); }

}  // namespace zk_play_test
