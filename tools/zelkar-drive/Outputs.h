// What a drive leaves behind: the .glb of every node's motion, a CSV of chosen nodes' positions
// and one HTML page that plays the .glb. All three are written under temporary names and renamed
// only when every one is complete, so a failure leaves nothing that looks finished.
#pragma once

#include <string>
#include <vector>

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

// "time,character,node,x,y,z", one row per frame and chosen node, in the order the stage lists
// them: the translation row of each node's world matrix.
std::string CsvText(const SStage& stage, const SDrive& drive);

// Base64 of bytes (RFC 4648, with padding).
std::string Base64(const unsigned char* bytes, std::size_t size);

// Writes all three outputs; throws std::runtime_error naming the file that failed, after
// removing every temporary file.
void WriteOutputs(const SStage& stage, const SDrive& drive, float rate, const SOutputPaths& paths,
                  const std::string& threeDir);

}  // namespace zk_drive
