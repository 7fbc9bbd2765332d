// What a drive leaves behind: the .glb of every node's motion, a CSV of chosen nodes' positions
// and one HTML page that plays the .glb. All three are written under temporary names and renamed
// only when every one is complete, so a failure leaves nothing that looks finished.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "AnimationRecorder.h"
#include "Drive.h"
#include "Stage.h"

namespace zk_drive {

struct SOutputPaths {
  std::string glb, csv, page;
};

// The outputs of a stage in a folder: <folder>/<stage name>.glb, .csv and .html.
SOutputPaths OutputPaths(const std::string& folder, const std::string& stageName);

// Makes the folder if needed and checks that a file can be created in it; throws
// std::runtime_error naming the folder and the reason.
void PrepareFolder(const std::string& folder);

// Base64 of bytes (RFC 4648, with padding).
std::string Base64(const unsigned char* bytes, std::size_t size);

// The three outputs, made as the drive goes: each frame's chosen nodes go to the CSV's
// temporary file and every node's motion into the animation's keys (reduced as `reduction`
// says), so the run's memory does not grow with its frames. Finish writes the .glb and the page
// and renames all three into place; a writer destroyed before that removes what it wrote. Every
// failure throws std::runtime_error naming the file.
class CDriveOutputs final : public IFrameSink {
 public:
  CDriveOutputs(const SStage& stage, const SOutputPaths& paths, float rate,
                const zk_gltf::SReduction& reduction, std::string threeDir);
  ~CDriveOutputs() override;
  CDriveOutputs(const CDriveOutputs&) = delete;
  CDriveOutputs& operator=(const CDriveOutputs&) = delete;

  void Begin(const SDrive& drive) override;
  void Frame(float time, const Matrix* worlds) override;
  // What the .glb holds: its keys, over all channels.
  void Finish(const SDrive& drive);
  std::size_t Keys() const { return m_keys; }

 private:
  class CState;
  std::unique_ptr<CState> m_state;
  std::size_t m_keys = 0;
};

}  // namespace zk_drive
