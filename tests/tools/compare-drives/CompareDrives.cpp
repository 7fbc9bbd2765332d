// compare_drives A B [--relative R]: the outputs of two drives of one stage, by two builds (A and B
// are zelkar-drive output folders, each with one .csv and one .glb of the same name). Compares
// the CSV's rows (the same time, character and node text, positions numerically) and every
// animation of the .glb: the same channels on the same nodes, and each sampler's times and values
// numerically. Prints how many values differ, the largest absolute and relative differences and
// where they are; exit code 1 when a relative difference passes R (default 1e-6) or the files do
// not match in shape, 2 for bad arguments or unreadable files.
//
// Two relative measures are printed: the plain one, |a - b| / max(|a|, |b|), which is large
// wherever nearly equal values cancel to a few units of rounding near zero (a quaternion component
// of 3e-8 against 4e-8), and the one the limit applies to, |a - b| / max(|a|, |b|, 1): values of
// magnitude below 1 (metres, unit quaternion components, seconds) are measured against 1, so the
// limit is 1e-6 of a metre or of a unit there.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "GltfImport.h"
#include "ImportSteps.h"
#include "TinyGltf.h"

namespace {

constexpr double kFloor = 1.0;

// The largest differences seen in one file, and where.
struct SDiff {
  struct SMax {
    double value = 0;
    std::string at;
  };
  size_t values = 0;
  size_t different = 0;
  SMax abs, rel, scaled;
  std::vector<std::string> shape;  // mismatches that stop a numeric comparison

  void Add(double a, double b, const std::string& where) {
    ++values;
    if (a == b) return;
    ++different;
    const double d = std::fabs(a - b), m = std::max(std::fabs(a), std::fabs(b));
    const auto keep = [&](SMax& max, double value) {
      if (value <= max.value) return;
      char pair[96];
      std::snprintf(pair, sizeof pair, ": %.9g vs %.9g", a, b);
      max = {value, where + pair};
    };
    keep(abs, d);
    keep(rel, d / m);
    keep(scaled, d / std::max(m, kFloor));
  }
  bool Print(const char* what, double limit) const {
    std::printf("%s: %zu values, %zu differ\n", what, values, different);
    const std::pair<const char*, const SMax*> maxima[3] = {
        {"max abs", &abs}, {"max rel", &rel}, {"max rel (to at least 1)", &scaled}};
    for (const auto& [name, max] : maxima)
      std::printf("  %s %.3g%s%s\n", name, max->value, max->at.empty() ? "" : " at ",
                  max->at.c_str());
    for (const std::string& s : shape) std::printf("  %s\n", s.c_str());
    return shape.empty() && scaled.value <= limit;
  }
};

std::string FindOutput(const std::filesystem::path& dir, const char* extension) {
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == extension) return entry.path().string();
  throw std::runtime_error(dir.string() + ": no " + extension + " file");
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream s(line);
  for (std::string f; std::getline(s, f, ',');) fields.push_back(f);
  return fields;
}

// time,character,node,x,y,z: the texts of the first three must match, all but the names compare
// as numbers.
SDiff CompareCsv(const std::string& a, const std::string& b) {
  SDiff d;
  const std::vector<std::string> la = Lines(a), lb = Lines(b);
  if (la.size() != lb.size()) {
    d.shape.push_back(std::to_string(la.size()) + " lines against " + std::to_string(lb.size()));
    return d;
  }
  for (size_t i = 1; i < la.size(); ++i) {
    const std::vector<std::string> fa = Fields(la[i]), fb = Fields(lb[i]);
    if (fa.size() != 6 || fb.size() != 6 || fa[1] != fb[1] || fa[2] != fb[2]) {
      d.shape.push_back("line " + std::to_string(i + 1) + " differs in its names: " + la[i] +
                        " | " + lb[i]);
      if (d.shape.size() > 5) return d;
      continue;
    }
    const char* columns[6] = {"time", "", "", "x", "y", "z"};
    for (int c : {0, 3, 4, 5})
      d.Add(std::stod(fa[c]), std::stod(fb[c]),
            "line " + std::to_string(i + 1) + " t=" + fa[0] + " " + fa[1] + " " + fa[2] + " " +
                columns[c]);
  }
  return d;
}

tinygltf::Model Load(const std::string& path) {
  tinygltf::Model model;
  zk_gltf::LoadGltf(path, &model);
  return model;
}

std::vector<double> Accessor(const tinygltf::Model& model, int index, const std::string& name) {
  if (index < 0 || size_t(index) >= model.accessors.size())
    throw std::runtime_error(name + ": accessor " + std::to_string(index) + " does not exist");
  return zk_gltf::importing::ReadAccessor(model, index, model.accessors[size_t(index)].type, true,
                                          name, "the comparison");
}

// Every animation: channels on the same node names and paths, samplers with the same numbers of
// keys, and their times and values.
SDiff CompareGlb(const std::string& a, const std::string& b) {
  SDiff d;
  const tinygltf::Model ma = Load(a), mb = Load(b);
  if (ma.animations.size() != mb.animations.size()) {
    d.shape.push_back(std::to_string(ma.animations.size()) + " animations against " +
                      std::to_string(mb.animations.size()));
    return d;
  }
  const auto nodeName = [](const tinygltf::Model& m, int node) {
    if (node >= 0 && size_t(node) < m.nodes.size()) return m.nodes[size_t(node)].name;
    std::string unnamed = "node ";
    unnamed += std::to_string(node);
    return unnamed;
  };
  for (size_t n = 0; n < ma.animations.size(); ++n) {
    const tinygltf::Animation &aa = ma.animations[n], &ab = mb.animations[n];
    if (aa.channels.size() != ab.channels.size()) {
      d.shape.push_back("animation " + std::to_string(n) + ": " +
                        std::to_string(aa.channels.size()) + " channels against " +
                        std::to_string(ab.channels.size()));
      continue;
    }
    for (size_t c = 0; c < aa.channels.size(); ++c) {
      const tinygltf::AnimationChannel &ca = aa.channels[c], &cb = ab.channels[c];
      const std::string target = nodeName(ma, ca.target_node) + " " + ca.target_path;
      const std::string where =
          "animation " + std::to_string(n) + " channel " + std::to_string(c) + " (" + target + ")";
      if (target != nodeName(mb, cb.target_node) + " " + cb.target_path || ca.sampler < 0 ||
          cb.sampler < 0 || size_t(ca.sampler) >= aa.samplers.size() ||
          size_t(cb.sampler) >= ab.samplers.size()) {
        d.shape.push_back(where + ": another target or sampler");
        continue;
      }
      const tinygltf::AnimationSampler &sa = aa.samplers[size_t(ca.sampler)],
                                       &sb = ab.samplers[size_t(cb.sampler)];
      const std::vector<double> ta = Accessor(ma, sa.input, a), tb = Accessor(mb, sb.input, b);
      const std::vector<double> va = Accessor(ma, sa.output, a), vb = Accessor(mb, sb.output, b);
      if (ta.size() != tb.size() || va.size() != vb.size() ||
          sa.interpolation != sb.interpolation) {
        d.shape.push_back(where + ": " + std::to_string(ta.size()) + " keys against " +
                          std::to_string(tb.size()));
        continue;
      }
      for (size_t k = 0; k < ta.size(); ++k)
        d.Add(ta[k], tb[k], where + " key " + std::to_string(k) + " time");
      const size_t width = ta.empty() ? 0 : va.size() / ta.size();
      for (size_t v = 0; v < va.size(); ++v) {
        const size_t key = width != 0 ? v / width : 0;
        char at[128];
        std::snprintf(at, sizeof at, " key %zu (t=%.6g) component %zu", key,
                      key < ta.size() ? ta[key] : 0.0, width != 0 ? v % width : 0);
        d.Add(va[v], vb[v], where + at);
      }
    }
  }
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  double limit = 1e-6;
  std::vector<std::string> dirs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--relative" && i + 1 < argc)
      limit = std::stod(argv[++i]);
    else
      dirs.push_back(arg);
  }
  if (dirs.size() != 2) {
    std::fprintf(stderr, "usage: compare_drives A B [--relative R]\n");
    return 2;
  }
  try {
    const SDiff csv = CompareCsv(FindOutput(dirs[0], ".csv"), FindOutput(dirs[1], ".csv"));
    const SDiff glb = CompareGlb(FindOutput(dirs[0], ".glb"), FindOutput(dirs[1], ".glb"));
    const bool csvOk = csv.Print("csv", limit);
    const bool glbOk = glb.Print("glb animations", limit);
    return csvOk && glbOk ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "compare_drives: %s\n", e.what());
    return 2;
  }
}
