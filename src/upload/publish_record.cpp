#include "upload/publish_record.h"

#include <charconv>

#include "platform/files.h"
#include "sites/dmConfig.h"

namespace tovra {

namespace {

constexpr char kHeader[] = "tovra publish record 1\n";

// Tab, CR, LF and the backslash written as backslash pairs. Byte-wise:
// none of the three control bytes is ever a CP932 trail byte, and every
// 0x5C byte is doubled, so the escaping undoes exactly.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::vector<std::string> SplitFields(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    fields.push_back(Unescape(line.substr(start, tab == std::string_view::npos ? tab : tab - start)));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::string JoinFields(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) line += (i == 0 ? "" : "\t") + Escape(fields[i]);
  return line + "\n";
}

bool ParseNumber(const std::string& text, std::int64_t& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string> FileFields(const TPublishedFile& f) {
  return {"F", f.path, std::to_string(f.size), std::to_string(f.mtime), f.sha256, f.remoteName};
}

}  // namespace

void TPublishRecord::Load() {
  files_.clear();
  leftovers_.clear();
  if (!FileExists(file_)) return;
  const std::string bytes = ReadFileBytes(file_);
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) break;  // cut off mid-write
    std::string_view line(bytes.data() + start, end - start);
    if (start > 0 || std::string(line) + "\n" != kHeader) Apply(SplitFields(line));
    start = end + 1;
  }
}

void TPublishRecord::Apply(const std::vector<std::string>& fields) {
  const std::string& kind = fields[0];
  if (kind == "F" && fields.size() == 6) {
    TPublishedFile f{fields[1], 0, 0, fields[4], fields[5]};
    if (ParseNumber(fields[2], f.size) && ParseNumber(fields[3], f.mtime) && !f.path.empty()) files_[f.path] = f;
  } else if (kind == "D" && fields.size() == 2) {
    files_.erase(fields[1]);
  } else if (kind == "T" && fields.size() == 2) {
    leftovers_.insert(fields[1]);
  } else if (kind == "t" && fields.size() == 2) {
    leftovers_.erase(fields[1]);
  }
}

void TPublishRecord::Append(const std::vector<std::string>& fields) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!FileExists(file_)) WriteFileAtomic(file_, kHeader, 0600);
  AppendFileBytes(file_, JoinFields(fields));
  Apply(fields);
}

void TPublishRecord::Confirm(const TPublishedFile& file) { Append(FileFields(file)); }
void TPublishRecord::Forget(const std::string& path) { Append({"D", path}); }
void TPublishRecord::StoreBegun(const std::string& remotePath) { Append({"T", remotePath}); }
void TPublishRecord::StoreEnded(const std::string& remotePath) { Append({"t", remotePath}); }

void TPublishRecord::Save() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (files_.empty() && leftovers_.empty()) {
    DeleteFile(file_);
    return;
  }
  std::string bytes = kHeader;
  for (const auto& [path, file] : files_) bytes += JoinFields(FileFields(file));
  for (const auto& leftover : leftovers_) bytes += JoinFields({"T", leftover});
  WriteFileAtomic(file_, bytes, 0600);
}

std::vector<TPublishedFile> LoadPublishedFiles(const std::string& siteName) {
  std::vector<TPublishedFile> files;
  TPublishRecord record(PublishRecordFileName(siteName));
  record.Load();
  for (const auto& [path, file] : record.Files()) files.push_back(file);
  return files;
}

}  // namespace tovra
