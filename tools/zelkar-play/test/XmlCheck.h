// A small XML well-formedness check for the drawings the player writes: one root element,
// matched tags, quoted and unique attributes, known entities, nothing after the root.
#pragma once

#include <string>

namespace zk_play_test {

// Empty when text is well formed, else what is wrong and where.
std::string XmlProblem(const std::string& text);

}  // namespace zk_play_test
