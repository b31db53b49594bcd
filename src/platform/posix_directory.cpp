// The listing of one directory on POSIX, and the renames of its entries,
// each one name relative to the directory's descriptor.

#include <fcntl.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/posix_files.h"
#include "platform/posix_internal.h"
#include "platform/posix_rename.h"
#include "text/utf8.h"

namespace platform {
namespace {

// The listing, read whole when the directory is opened: renaming while
// reading would make the file system deliver renamed entries again.
class PosixDirectory final : public Directory {
 public:
  explicit PosixDirectory(Descriptor fd) : fd_(std::move(fd)) {}

  // 0, or the error code when the listing cannot even be started.
  ErrorCode ReadAll() {
    if (fstat(fd_.get(), &status_) != 0) return Errno();
    const OutputFiles outputs;
    size_t read = 0;
    listingError_ = ReadListing(fd_.get(), read, [&](const ListedRecord& record) {
      entries_.push_back({names_.size(), static_cast<uint32_t>(record.name.size()),
                          record.type == DT_DIR, outputs.Holds(status_.st_dev, record.inode)});
      names_ += record.name;
    });
    // Nothing at all read: the directory cannot be listed.
    return read == 0 ? listingError_ : 0;
  }

  ErrorCode Next(Entry& entry, bool& end) override {
    end = next_ >= entries_.size();
    if (end) {
      // Read to its end: the listing is not needed any more, and the
      // failure that ended it early, if any, is said once.
      names_ = std::string();
      entries_ = std::vector<Listed>();
      next_ = 0;
      return std::exchange(listingError_, 0);
    }
    const Listed& listed = entries_[next_++];
    text::DecodeName(std::string_view(names_).substr(listed.offset, listed.length), name_);
    entry.name = name_;
    entry.isDirectory = listed.isDirectory;
    entry.isOutput = listed.isOutput;
    return 0;
  }

  ErrorCode Rename(const char16_t* oldPath, const char16_t* newPath,
                   size_t nameStart) override {
    text::EncodeName(oldPath + nameStart, oldName_);
    text::EncodeName(newPath + nameStart, newName_);
    return renamer_.Rename({fd_.get(), status_}, oldName_.c_str(), newName_.c_str());
  }

  ErrorCode LookUp(const char16_t* path, size_t nameStart) override {
    text::EncodeName(path + nameStart, newName_);
    struct stat status;
    if (fstatat(fd_.get(), newName_.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
      return EEXIST;
    }
    return errno == ENOENT ? 0 : Errno();
  }

  ErrorCode RenameBarrier() override { return platform::RenameBarrier(fd_.get()); }

  ErrorCode RenameRefusal(const char16_t* path, size_t nameStart) override {
    text::EncodeName(path + nameStart, oldName_);
    return EntryRefusal({fd_.get(), status_}, oldName_.c_str());
  }

 private:
  struct Listed {
    size_t offset;
    uint32_t length;
    bool isDirectory;
    bool isOutput;
  };

  Descriptor fd_;
  struct stat status_ = {};
  NoReplaceRenamer renamer_;
  ErrorCode listingError_ = 0;  // why the listing ended early, or 0
  std::string names_;  // every name of the listing, end to end
  std::vector<Listed> entries_;
  size_t next_ = 0;
  std::u16string name_;
  std::string oldName_;
  std::string newName_;
};

}  // namespace

ErrorCode OpenPosixDirectory(const std::string& path, std::unique_ptr<Directory>& directory) {
  Descriptor fd = OpenPath(path, O_RDONLY | O_DIRECTORY);
  if (!fd.valid()) return Errno();
  auto listing = std::make_unique<PosixDirectory>(std::move(fd));
  if (const ErrorCode error = listing->ReadAll()) return error;
  directory = std::move(listing);
  return 0;
}

}  // namespace platform
