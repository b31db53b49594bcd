// How the parts of the POSIX platform reach each other: the process part
// (posix_process.cpp) opens directories and trees through these.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

// The listing of the directory `path`, read whole.
ErrorCode OpenPosixDirectory(const std::string& path, std::unique_ptr<Directory>& directory);

// The directory `path` opened for work on its tree.
ErrorCode OpenPosixTree(const std::string& path, std::unique_ptr<Tree>& tree);

// The files of the user's own (Platform::JournalFolder, FilesIn,
// OpenLineFile), with paths as bytes.
ErrorCode PosixJournalFolder(std::string& folder);
ErrorCode PosixFilesIn(const std::string& folder, std::vector<std::u16string>& names);
ErrorCode PosixOpenLineFile(const std::string& path, bool existing,
                            std::unique_ptr<LineFile>& file);

}  // namespace platform
