#include "XmlCheck.h"

#include <algorithm>
#include <vector>

namespace zk_play_test {

// Walks the tags with a stack of open elements. Enough for the player's own drawings, which
// escape '<', '>' and '&' in text and attribute values.
std::string XmlProblem(const std::string& text) {
  std::vector<std::string> open;
  bool rootClosed = false;
  for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at)) {
    const std::string where = " at byte " + std::to_string(at);
    const std::size_t end = text.find('>', at);
    if (end == std::string::npos) return "unended tag" + where;
    const std::string tag = text.substr(at + 1, end - at - 1);
    at = end + 1;
    if (!tag.empty() && tag[0] == '?') continue;  // the declaration
    if (rootClosed) return "content after the root element" + where;
    if (std::count(tag.begin(), tag.end(), '"') % 2 != 0) return "unbalanced quotes" + where;
    if (!tag.empty() && tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1))
        return "</" + tag.substr(1) + "> closes <" + (open.empty() ? "" : open.back()) + ">" +
               where;
      open.pop_back();
    } else if (tag.empty() || tag.back() != '/') {
      open.push_back(tag.substr(0, tag.find_first_of(" \t\n")));
    }
    rootClosed = open.empty();
  }
  if (!open.empty()) return "element <" + open.back() + "> is never closed";
  return rootClosed ? "" : "no root element";
}

}  // namespace zk_play_test
