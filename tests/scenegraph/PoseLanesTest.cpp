// The four-lane blend against the scalar routines it stands for, lane by lane and to the bit,
// on random pairs: curved and straight, either hemisphere, held values, scaled rows, and the
// same pairs blended again; through every instruction set the processor has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "scenegraph/PoseLanes.h"

TEST(PoseLanes, FourLanesGiveTheScalarMatricesToTheBit) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> v(-1.0f, 1.0f);
  const auto turn = [&] {
    return QuaternionFromAxisAngle(Vec3Normalized({v(rng), v(rng), 0.3f}), 3 * v(rng));
  };
  struct SPath {
    const char* name;
    void (*blend)(NPoseLanes::SInputs&, NPoseLanes::SLocals*);
  };
  std::vector<SPath> paths = {{"Blend", NPoseLanes::Blend}};
#if defined(__SSE2__)
  paths.push_back({"SSE2", NPoseLanes::BlendSse2});
  if (NAnimTrackSlerp::kCpuHasAvx) paths.push_back({"AVX", NPoseLanes::BlendAvx});
#endif
  for (size_t round = 0; round < 2000; ++round) {
    NPoseLanes::SInputs in;
    for (size_t l = 0; l < NPoseLanes::kLanes; ++l) {
      const Quaternion a = turn();
      // Every other round a lane holds its values, once with an infinity and a -0; every
      // fifth round all pairs are straight (opposite keys).
      if (round % 2 == 1 && l == round % 4) {
        in.HoldRotation(l, {-0.0f, a.y, a.z, a.w});
        in.HoldPosition(l, {std::numeric_limits<float>::infinity(), -0.0f, v(rng)});
      } else {
        const Quaternion b = l == 3 || round % 5 == 0 ? Quaternion{-a.x, -a.y, -a.z, -a.w} : turn();
        in.SetRotation(l, a, b, (v(rng) + 1) / 2, NAnimTrackSlerp::ShorterArcSignedAngle(a, b));
        in.SetPosition(l, {v(rng), v(rng), v(rng)}, {v(rng), v(rng), v(rng)}, (v(rng) + 1) / 2);
      }
      in.SetScale(l, {1.0f, round % 3 == 0 ? 1.5f : 1.0f, v(rng)});
    }
    // Every path the processor can take blends a copy of its own, which keeps the reciprocal
    // sines of its first blend for the second.
    std::vector<NPoseLanes::SInputs> copies(paths.size(), in);
    NPoseLanes::SLocals fast, scalar;
    const auto check = [&](const char* when) {
      NPoseLanes::BlendScalar(in, &scalar);
      for (size_t p = 0; p < paths.size(); ++p) {
        paths[p].blend(copies[p], &fast);
        EXPECT_EQ(std::memcmp(&fast, &scalar, sizeof(fast)), 0)
            << paths[p].name << ", round " << round << when;
      }
    };
    check("");
    // The same pairs at new fractions, and every third round a lane on a new pair among them.
    float u[NPoseLanes::kLanes];
    for (float& f : u) f = (v(rng) + 1) / 2;
    const Quaternion a = turn(), b = turn();
    const auto edit = [&](NPoseLanes::SInputs& x) {
      std::copy(u, u + NPoseLanes::kLanes, x.rotationU);
      if (round % 3 == 0)
        x.SetRotation(round % 4, a, b, 0.25f, NAnimTrackSlerp::ShorterArcSignedAngle(a, b));
    };
    edit(in);
    for (NPoseLanes::SInputs& x : copies) edit(x);
    check(", again");
    if (round % 2 == 1) {
      // A held position comes out as it went in, an infinity and a -0 included.
      const float* held = fast.Lane(round % 4);
      EXPECT_EQ(held[9 * NPoseLanes::kLanes], std::numeric_limits<float>::infinity());
      EXPECT_TRUE(std::signbit(held[10 * NPoseLanes::kLanes]));
    }
  }
}
