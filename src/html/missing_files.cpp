#include "html/missing_files.h"

namespace tovra {

std::string TMissingFile::Line() const {
  std::string line = file;
  switch (reason) {
    case TMissingReason::NotOnDisk:
      if (!referrer.empty()) line += " (ローカルに無い)";
      break;
    case TMissingReason::OutsideSite:
      line += kOutsideSiteMark;
      break;
    case TMissingReason::Unrepresentable:
      line += kUnrepresentableMark;
      break;
    case TMissingReason::CaseDiffers:
      line += " (大文字小文字が違います: ディスクにあるのは " + existing + ")";
      break;
  }
  if (!referrer.empty()) line += "  参照元: " + referrer;
  return line;
}

void TMissingFiles::Add(TMissingFile entry) {
  if (!listed_.insert(static_cast<char>('0' + static_cast<int>(entry.reason)) + entry.file).second) return;
  ++counts_[static_cast<std::size_t>(entry.reason)];
  entries_.push_back(std::move(entry));
}

TStringList TMissingFiles::Lines() const {
  TStringList lines;
  for (const auto& entry : entries_) lines.Add(entry.Line());
  return lines;
}

const char* MissingReasonName(TMissingReason reason) {
  switch (reason) {
    case TMissingReason::NotOnDisk:
      return "ローカルに無い";
    case TMissingReason::OutsideSite:
      return "サイト外";
    case TMissingReason::Unrepresentable:
      return "CP932で表せない";
    case TMissingReason::CaseDiffers:
      break;
  }
  return "大文字小文字違い";
}

}  // namespace tovra

namespace tovra {

std::string MissingCountsLine(const TMissingFiles& missing) {
  std::string line;
  for (std::size_t r = 0; r < kMissingReasonCount; ++r) {
    const auto reason = static_cast<TMissingReason>(r);
    if (r >= 2 && missing.Count(reason) == 0) continue;
    if (!line.empty()) line += "、";
    line += std::string(MissingReasonName(reason)) + " " + std::to_string(missing.Count(reason)) + " 件";
  }
  return line;
}

}  // namespace tovra
