#include "SkeletonSvg.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Format.h"

namespace zk_play {
namespace {

// Pixel sizes: a view's longer side, the padding inside a view, the gaps around.
constexpr double kViewSize = 360;
constexpr double kPad = 26;
constexpr double kGap = 28;
constexpr double kMargin = 20;
constexpr double kHeader = 96;
// Characters per line of the note on nodes left out.
constexpr std::size_t kNoteLineLength = 110;
constexpr double kRowLabel = 26;
constexpr double kMinWidth = 760;
// Helper nodes further than this share of the bones' extent from them are left out of the view,
// so that a far look-at target does not shrink the person to a few pixels.
constexpr double kFitMargin = 0.25;

const char* const kLeftColour = "#1f5fa8";
const char* const kRightColour = "#c0392b";
const char* const kMiddleColour = "#333333";
const char* const kHelperColour = "#8a8a8a";

// One axis of a view: which coordinate, and its sign.
struct SAxis {
  int index;
  double sign;
  double Of(const Vector3& p) const {
    const float c[3] = {p.x, p.y, p.z};
    return sign * c[index];
  }
};

struct SView {
  const char* caption;
  SAxis horizontal, vertical;
  SAxis away;  // grows away from the viewer: far things are drawn first
};

// The person in the files faces -y with +x on their left: the front view looks at their face,
// the side view at their right flank, so that they face right.
constexpr SView kZUpViews[2] = {
    {"front: x right, z up", {0, 1}, {2, 1}, {1, 1}},
    {"side: \xe2\x88\x92y right, z up", {1, -1}, {2, 1}, {0, 1}},
};
constexpr SView kYUpViews[2] = {
    {"front: x right, y up", {0, 1}, {1, 1}, {2, 1}},
    {"side: z right, y up", {2, 1}, {1, 1}, {0, -1}},
};

enum class ESide { Left, Right, Middle };

bool EndsWithSide(const std::string& name, char side) {
  const std::size_t n = name.size();
  return n >= 2 && (name[n - 1] == side || name[n - 1] == side + ('a' - 'A')) &&
         (name[n - 2] == ' ' || name[n - 2] == '_' || name[n - 2] == '.');
}

ESide SideOf(const std::string& name) {
  if (EndsWithSide(name, 'L')) return ESide::Left;
  if (EndsWithSide(name, 'R')) return ESide::Right;
  return ESide::Middle;
}

const char* ColourOf(const SHierarchyNode& node) {
  if (node.kind != 2) return kHelperColour;
  switch (SideOf(node.name)) {
    case ESide::Left:
      return kLeftColour;
    case ESide::Right:
      return kRightColour;
    default:
      return kMiddleColour;
  }
}

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        // Control characters are not allowed in XML 1.0 text.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
          out += '?';
        } else if (static_cast<unsigned char>(c) >= 0x80) {
          // Names are one byte per character (Latin-1); write them as character references.
          out += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string Px(double value) { return FormatFixed(value, 1); }

bool Finite(const Vector3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

struct SBox {
  double low[3] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                   std::numeric_limits<double>::max()};
  double high[3] = {-std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                    -std::numeric_limits<double>::max()};
  bool Empty() const { return low[0] > high[0]; }
  void Add(const Vector3& p) {
    const double c[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], c[k]);
      high[k] = std::max(high[k], c[k]);
    }
  }
  bool Contains(const Vector3& p) const {
    const double c[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; ++k)
      if (c[k] < low[k] || c[k] > high[k]) return false;
    return true;
  }
  void Grow(double amount) {
    for (int k = 0; k < 3; ++k) {
      low[k] -= amount;
      high[k] += amount;
    }
  }
  double Extent(int k) const { return high[k] - low[k]; }
  // The range of an axis of a view, in its signed coordinate.
  void Range(const SAxis& axis, double& from, double& to) const {
    from = axis.sign > 0 ? low[axis.index] : -high[axis.index];
    to = axis.sign > 0 ? high[axis.index] : -low[axis.index];
  }
};

// Which nodes appear, and the box the views show.
SBox FitBox(const SSkeletonDrawing& d, std::vector<bool>& shown, std::vector<std::string>& left) {
  const std::size_t n = d.nodes.size();
  bool anyBone = false;
  for (std::size_t i = 0; i < n; ++i) anyBone = anyBone || (d.drawn[i] && d.nodes[i].kind == 2);
  SBox box;
  for (const SSkeletonFrame& frame : d.frames)
    for (std::size_t i = 0; i < n; ++i)
      if (d.drawn[i] && (!anyBone || d.nodes[i].kind == 2) && Finite(frame.positions[i]))
        box.Add(frame.positions[i]);
  if (box.Empty()) return box;
  box.Grow(kFitMargin * std::max({box.Extent(0), box.Extent(1), box.Extent(2), 1.0}));
  shown.assign(n, false);
  for (std::size_t i = 0; i < n; ++i) {
    if (!d.drawn[i]) continue;
    bool inside = true;
    for (const SSkeletonFrame& frame : d.frames)
      inside = inside && Finite(frame.positions[i]) && box.Contains(frame.positions[i]);
    if (inside) {
      shown[i] = true;
    } else {
      left.push_back(d.nodes[i].name);
    }
  }
  // The view is the box of what is shown, with a little air.
  SBox tight;
  for (const SSkeletonFrame& frame : d.frames)
    for (std::size_t i = 0; i < n; ++i)
      if (shown[i]) tight.Add(frame.positions[i]);
  tight.Grow(0.03 * std::max({tight.Extent(0), tight.Extent(1), tight.Extent(2), 1.0}));
  return tight;
}

// A round length for the scale bar: about a fifth of the largest extent.
double ScaleBarLength(double extent) {
  const double target = extent / 5;
  const double power = std::pow(10.0, std::floor(std::log10(target)));
  for (double step : {1.0, 2.0, 5.0})
    if (step * power * 1.5 >= target) return step * power;
  return 10 * power;
}

// "t = 0.0833 s, frame 2.5": rounded for reading; the CSV has the exact times.
std::string TimeLabel(float time) {
  auto trimmed = [](std::string text) {
    if (text.find('.') == std::string::npos) return text;
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
  };
  return "t = " + trimmed(FormatFixed(time, 4)) + " s, frame " +
         trimmed(FormatFixed(time * 30.0, 1));
}

// One element of a view, sorted far to near before it is written.
struct SElement {
  double depth;
  std::string text;
};

class CViewPainter {
 public:
  CViewPainter(const SSkeletonDrawing& d, const std::vector<bool>& shown,
               const std::vector<int>& link, const SView& view, double scale, double hFrom,
               double vTo, double x, double y)
      : m_d(d),
        m_shown(shown),
        m_link(link),
        m_view(view),
        m_scale(scale),
        m_hFrom(hFrom),
        m_vTo(vTo),
        m_x(x),
        m_y(y) {}

  double X(const Vector3& p) const {
    return m_x + kPad + (m_view.horizontal.Of(p) - m_hFrom) * m_scale;
  }
  double Y(const Vector3& p) const {
    return m_y + kPad + (m_vTo - m_view.vertical.Of(p)) * m_scale;
  }

  void Paint(const SSkeletonFrame& frame, std::string& out) const {
    std::vector<SElement> elements;
    const std::size_t n = m_d.nodes.size();
    for (std::size_t i = 0; i < n; ++i) {
      if (!m_shown[i]) continue;
      const Vector3& p = frame.positions[i];
      const SHierarchyNode& node = m_d.nodes[i];
      const std::string name = Escape(node.name);
      const int a = m_link[i];
      if (a >= 0) {
        const Vector3& q = frame.positions[static_cast<std::size_t>(a)];
        const bool bone = node.kind == 2 && m_d.nodes[static_cast<std::size_t>(a)].kind == 2;
        std::string line = "<line x1=\"" + Px(X(q)) + "\" y1=\"" + Px(Y(q)) + "\" x2=\"" +
                           Px(X(p)) + "\" y2=\"" + Px(Y(p)) + "\" stroke=\"" + ColourOf(node) +
                           (bone ? "\" stroke-width=\"3.5\" stroke-linecap=\"round\">"
                                 : "\" stroke-width=\"1\" stroke-dasharray=\"4 3\">") +
                           "<title>" + Escape(m_d.nodes[static_cast<std::size_t>(a)].name) +
                           " \xe2\x86\x92 " + name + "</title></line>\n";
        elements.push_back({(m_view.away.Of(p) + m_view.away.Of(q)) / 2, std::move(line)});
      }
      std::string mark;
      if (node.kind == 2) {
        mark = "<circle cx=\"" + Px(X(p)) + "\" cy=\"" + Px(Y(p)) + "\" r=\"3.2\" fill=\"" +
               ColourOf(node) + "\" stroke=\"#ffffff\" stroke-width=\"1\"><title>" + name +
               "</title></circle>\n";
      } else {
        mark = "<rect x=\"" + Px(X(p) - 3.5) + "\" y=\"" + Px(Y(p) - 3.5) +
               "\" width=\"7\" height=\"7\" fill=\"none\" stroke=\"" + kHelperColour +
               "\" stroke-width=\"1.5\"><title>" + name + "</title></rect>\n";
      }
      // A joint sits on top of the bones that meet at it.
      elements.push_back({m_view.away.Of(p) - 1e-3, std::move(mark)});
    }
    std::stable_sort(elements.begin(), elements.end(),
                     [](const SElement& a, const SElement& b) { return a.depth > b.depth; });
    for (const SElement& e : elements) out += e.text;
  }

 private:
  const SSkeletonDrawing& m_d;
  const std::vector<bool>& m_shown;
  const std::vector<int>& m_link;
  const SView& m_view;
  double m_scale, m_hFrom, m_vTo, m_x, m_y;
};

// The legend under the title: colours, helper nodes, the scale bar and what was left out.
// Returns the height of the header it makes.
double Legend(std::string& out, double largest, double scale,
              const std::vector<std::string>& offView) {
  double x = kMargin;
  const double legendY = 50;
  auto swatch = [&](const char* colour, const char* label) {
    out += "<line x1=\"" + Px(x) + "\" y1=\"" + Px(legendY - 4) + "\" x2=\"" + Px(x + 22) +
           "\" y2=\"" + Px(legendY - 4) + "\" stroke=\"" + colour +
           "\" stroke-width=\"3.5\" stroke-linecap=\"round\"/>\n";
    out += "<text x=\"" + Px(x + 28) + "\" y=\"" + Px(legendY) + "\">" + label + "</text>\n";
    x += 28 + 7.0 * static_cast<double>(std::char_traits<char>::length(label)) + 18;
  };
  swatch(kLeftColour, "left bones (\xe2\x80\xa6 L)");
  swatch(kRightColour, "right bones (\xe2\x80\xa6 R)");
  swatch(kMiddleColour, "middle bones");
  out += "<rect x=\"" + Px(x) + "\" y=\"" + Px(legendY - 8) +
         "\" width=\"7\" height=\"7\" fill=\"none\" stroke=\"" + kHelperColour +
         "\" stroke-width=\"1.5\"/>\n<text x=\"" + Px(x + 14) + "\" y=\"" + Px(legendY) +
         "\">helper nodes (not bones), dashed links</text>\n";
  const double bar = ScaleBarLength(largest);
  const double barY = legendY + 22;
  out += "<line x1=\"" + Px(kMargin) + "\" y1=\"" + Px(barY - 4) + "\" x2=\"" +
         Px(kMargin + bar * scale) + "\" y2=\"" + Px(barY - 4) +
         "\" stroke=\"#000000\" stroke-width=\"2\"/>\n";
  out += "<text x=\"" + Px(kMargin + bar * scale + 10) + "\" y=\"" + Px(barY) + "\">" +
         FormatFloat(static_cast<float>(bar)) +
         " units. Hover over a joint or bone for its name; the faint lines cross at the "
         "origin.</text>\n";
  double header = kHeader;
  if (!offView.empty()) {
    // Wrapped by hand: SVG text does not wrap.
    std::vector<std::string> lines{"Outside the view, not drawn:"};
    for (std::size_t i = 0; i < offView.size(); ++i) {
      const std::string item = " " + offView[i] + (i + 1 < offView.size() ? "," : ".");
      if (lines.back().size() + item.size() > kNoteLineLength) lines.emplace_back();
      lines.back() += item;
    }
    for (const std::string& line : lines) {
      out += "<text x=\"" + Px(kMargin) + "\" y=\"" + Px(header - 6) + "\">" + Escape(line) +
             "</text>\n";
      header += 18;
    }
  }
  return header;
}

}  // namespace

std::string RenderSkeletonSvg(const SSkeletonDrawing& d) {
  const std::size_t n = d.nodes.size();
  std::vector<bool> shown(n, false);
  std::vector<std::string> offView;
  SBox box = FitBox(d, shown, offView);
  if (box.Empty()) {
    box.Add({-500, -500, -500});
    box.Add({500, 500, 500});
  }
  // Each shown node links to its nearest shown ancestor.
  std::vector<int> link(n, -1);
  for (std::size_t i = 0; i < n; ++i) {
    int a = d.nodes[i].parent;
    for (std::size_t guard = 0; a >= 0 && !shown[static_cast<std::size_t>(a)] && guard < n; ++guard)
      a = d.nodes[static_cast<std::size_t>(a)].parent;
    link[i] = a >= 0 && shown[static_cast<std::size_t>(a)] ? a : -1;
  }

  const SView* views = d.yUp ? kYUpViews : kZUpViews;
  double hFrom[2], hTo[2], vFrom, vTo;
  box.Range(views[0].horizontal, hFrom[0], hTo[0]);
  box.Range(views[1].horizontal, hFrom[1], hTo[1]);
  box.Range(views[0].vertical, vFrom, vTo);
  const double largest = std::max({hTo[0] - hFrom[0], hTo[1] - hFrom[1], vTo - vFrom, 1e-6});
  const double scale = kViewSize / largest;  // pixels per unit, the same in every view
  const double viewW[2] = {(hTo[0] - hFrom[0]) * scale + 2 * kPad,
                           (hTo[1] - hFrom[1]) * scale + 2 * kPad};
  const double viewH = (vTo - vFrom) * scale + 2 * kPad;
  const double width = std::max(kMinWidth, 2 * kMargin + viewW[0] + kGap + viewW[1]);
  const double rowH = kRowLabel + viewH + kGap;

  // The body first: the header's height depends on the notes it holds.
  std::string out;
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  out += "<text x=\"" + Px(kMargin) + "\" y=\"26\" font-size=\"15\" font-weight=\"bold\">" +
         Escape(d.title) + "</text>\n";

  const double header = Legend(out, largest, scale, offView);

  for (std::size_t r = 0; r < d.frames.size(); ++r) {
    const SSkeletonFrame& frame = d.frames[r];
    const double top = header + rowH * static_cast<double>(r);
    out += "<g>\n<text x=\"" + Px(kMargin) + "\" y=\"" + Px(top + 17) +
           "\" font-size=\"14\" font-weight=\"bold\">" + TimeLabel(frame.time) + "</text>\n";
    double left = kMargin;
    for (int v = 0; v < 2; ++v) {
      const SView& view = views[v];
      const double y = top + kRowLabel;
      out += "<rect x=\"" + Px(left) + "\" y=\"" + Px(y) + "\" width=\"" + Px(viewW[v]) +
             "\" height=\"" + Px(viewH) + "\" fill=\"#f7f7f4\" stroke=\"#c8c8c8\"/>\n";
      const CViewPainter painter(d, shown, link, view, scale, hFrom[v], vTo, left, y);
      // The origin's lines, where they fall inside the view.
      const Vector3 origin{0, 0, 0};
      if (hFrom[v] <= 0 && hTo[v] >= 0)
        out += "<line x1=\"" + Px(painter.X(origin)) + "\" y1=\"" + Px(y) + "\" x2=\"" +
               Px(painter.X(origin)) + "\" y2=\"" + Px(y + viewH) +
               "\" stroke=\"#dcdcdc\" stroke-width=\"1\"/>\n";
      if (vFrom <= 0 && vTo >= 0)
        out += "<line x1=\"" + Px(left) + "\" y1=\"" + Px(painter.Y(origin)) + "\" x2=\"" +
               Px(left + viewW[v]) + "\" y2=\"" + Px(painter.Y(origin)) +
               "\" stroke=\"#dcdcdc\" stroke-width=\"1\"/>\n";
      out += "<text x=\"" + Px(left + 6) + "\" y=\"" + Px(y + 15) + "\" fill=\"#666666\">" +
             view.caption + "</text>\n";
      painter.Paint(frame, out);
      left += viewW[v] + kGap;
    }
    out += "</g>\n";
  }
  out += "</svg>\n";

  const double height = header + rowH * static_cast<double>(d.frames.size()) + kMargin;
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         Px(width) + "\" height=\"" + Px(height) + "\" viewBox=\"0 0 " + Px(width) + " " +
         Px(height) + "\" font-family=\"sans-serif\" font-size=\"12\">\n" + out;
}

}  // namespace zk_play
