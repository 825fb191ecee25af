#include "upload/ReceivedFiles.h"

#include "core/Cp1252.h"
#include "core/Log.h"

namespace fernpad::upload {
namespace fs = std::filesystem;

namespace {

std::optional<fs::path> Refuse(const std::string& fileName, const char* reason, ContentReader& content) {
  log::Verbose("upload: refused to store \"", log::SafeLine(fileName), "\": ", reason);
  content.Skip();
  return std::nullopt;
}

}  // namespace

std::optional<fs::path> StoreReceivedFile(UploadFileSystem& files, const std::string& folder,
                                          const WireString& fileName, ContentReader& content,
                                          NameRules rules) {
  if (fileName.overlong) return Refuse(fileName.bytes, "the name is too long", content);
  if (const char* reason = FileNameRefusal(fileName.bytes, rules))
    return Refuse(fileName.bytes, reason, content);
  const fs::path directory(folder);
  if (!directory.is_absolute()) {
    return Refuse(fileName.bytes, "the destination folder is not an absolute path", content);
  }
  const auto free = files.FreeBytes(directory);
  if (free && static_cast<std::uint64_t>(content.Size()) > *free) {
    return Refuse(fileName.bytes, "the folder has not enough free space", content);
  }
  const std::string utf8 = Cp1252ToUtf8(fileName.bytes);
  const fs::path target = directory / fs::path(std::u8string(utf8.begin(), utf8.end()));
  const std::unique_ptr<PendingFile> file = files.Create(directory, target);
  for (auto chunk = content.Next(); !chunk.empty(); chunk = content.Next()) file->Write(chunk);
  file->Commit();
  log::Verbose("upload: stored ", content.Size(), " bytes as ", log::SafeLine(target.string()));
  return target;
}

}  // namespace fernpad::upload
