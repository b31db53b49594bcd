// What the run driver and the path resolver need from the operating system.
//
// One implementation per system (the posix_*.cpp and win32_*.cpp files, one
// set chosen by the build) and an in-memory fake for the tests. Paths and
// names are UTF-16 on every system; error codes are the system's own (errno
// values on POSIX, Win32 codes on Windows).
//
// One rule for every call that can fail: it returns its error code, 0
// meaning success, and hands what it makes back through its last
// parameters. There is no last-error side channel. A callback answers with
// Go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using ErrorCode = uint32_t;

// A callback's answer: go on, or stop here.
enum class Go { kOn, kStop };

// The fixed facts of a system that the run needs to know.
struct Traits {
  // Written in front of an absolute path so that the system takes it as it
  // stands, without a length limit ("\\?\" on Windows, empty on POSIX).
  std::u16string_view longPathPrefix;
  // The same for a path on a network share, in place of its two leading
  // separators ("\\?\UNC\" on Windows, empty on POSIX).
  std::u16string_view longUncPrefix;
  // Separates a directory path from an entry name.
  char16_t separator;
  // Every unit that separates path components ("\" and "/" on Windows).
  std::u16string_view separators;
  // The error code of a rename whose new name is taken.
  ErrorCode targetExists;
  // The error code of a name the system cannot take as one entry's name.
  ErrorCode invalidName;
  // The error code of a name that names no entry.
  ErrorCode missing;
  // The error code of a directory of a tree that is no longer the one
  // listed (moved away and replaced, or made a link since).
  ErrorCode changedDirectory;
  // True when names are byte strings: a unit U+DC80 to U+DCFF then stands
  // for a byte that is not part of well-formed UTF-8.
  bool namesAreBytes;
  // True when the listing comes in no order of its own (the order a file
  // system keeps), so that the run puts it in the order NTFS lists names:
  // the same names come out of the same directory on every volume.
  bool sortListing;
  // The error code of a write to a pipe whose reader has gone, and the exit
  // status a program that only shows something ends with then (as `yes |
  // head -1` leaves `yes`).
  ErrorCode closedPipe;
  int closedPipeStatus;
};

// One entry of a directory listing. `name` stays valid until the next call
// to Directory::Next.
struct Entry {
  std::u16string_view name;
  bool isDirectory = false;
  // The file this program's standard output or standard error is written
  // to (a report saved in the directory being cut).
  bool isOutput = false;
};

// What a path names.
enum class Kind { kNothing, kDirectory, kOther };

// One entry of a tree listing: its directory (the index of that directory's
// entry, or kTop for the directory listed), and its name as a range of the
// listing's names.
struct TreeEntry {
  static constexpr uint32_t kTop = UINT32_MAX;
  uint32_t parent;
  uint32_t nameOffset;
  uint32_t nameLength;
  // A directory (its name keeps no extension). Its entries are listed too,
  // unless it is a mount point, a junction or a directory link: those are
  // entries of the tree, never a part of it.
  bool isDirectory;
  bool isLink;    // a symbolic link (see Tree::ReadLink)
  bool isOutput;  // as Entry::isOutput
};

// A directory of a tree whose entries could not be listed (all of them, or
// the rest after some), and why.
struct TreeError {
  uint32_t node;  // its entry
  ErrorCode error;
  bool partWay;   // some entries were read before the failure
};

// The entries of a tree, each directory's entries after it.
struct TreeListing {
  std::vector<TreeEntry> entries;
  std::u16string names;  // every name, end to end
  std::u16string_view Name(uint32_t node) const {
    return std::u16string_view(names).substr(entries[node].nameOffset,
                                             entries[node].nameLength);
  }
};

// A directory opened for work on the whole tree below it. Every directory
// below is reached from it one name at a time, never by a path the system
// resolves again: a directory is entered only when it is a directory on
// the same mount, not a link, and (once listed) still the directory that
// was listed. At most a few directories are open at once, at any depth.
class Tree {
 public:
  virtual ~Tree() = default;

  // Lists every entry below the directory; the listing stays the tree's.
  // A directory that cannot be listed gets its line in `errors`, and none
  // of its entries is listed. After each directory `goOn` is told how many
  // entries are listed so far; when it answers Go::kStop, the listing stops.
  // Up to `jobs` directories are listed at once, each reached on a way of
  // its own from the top and checked as the walk checks its own; each job
  // holds up to 21 descriptors or handles, the walk 16, and where the
  // process may open too few for that, fewer jobs run (none but the walk
  // itself at a limit of 73 or fewer). The listing is the same whatever
  // `jobs` is.
  using Progress = std::function<Go(size_t listed)>;
  virtual const TreeListing& List(std::vector<TreeError>& errors, const Progress& goOn,
                                  unsigned jobs) = 0;

  // Renames the listed entry `node` to `newName` in its directory, never
  // replacing an entry that already holds the name (Traits::targetExists).
  // Fails with Traits::changedDirectory when a directory on the way is no
  // longer the one listed. Returns 0, or the error code of the failure.
  virtual ErrorCode Rename(uint32_t node, std::u16string_view newName) = 0;

  // The error code a rename of the listed entry `node` would fail with
  // whatever its new name, or 0 when none is known (see
  // Directory::RenameRefusal).
  virtual ErrorCode RenameRefusal(uint32_t node) = 0;

  // Sets `target` to what the link `node` points to, as its text says.
  virtual ErrorCode ReadLink(uint32_t node, std::u16string& target) = 0;

  // Sets `path` to the directory's own path as the system finds it, every
  // link on it resolved.
  virtual ErrorCode RealPath(std::u16string& path) = 0;

  // Renames `oldName` to `newName` in the directory reached from the top
  // through `below` (names joined by "/", empty for the top itself), which
  // holds no link and no mount point; never replacing anything. The
  // listing is not needed for this.
  virtual ErrorCode RenameBelow(std::u16string_view below, std::u16string_view oldName,
                                std::u16string_view newName) = 0;

  // 0 when the entry `name` is in the directory reached as RenameBelow
  // reaches it; else the error code of the way there or of the lookup.
  virtual ErrorCode LookBelow(std::u16string_view below, std::u16string_view name) = 0;

  // One rename of many (see Renames): the listed entry `node` to
  // `newName`; or where `node` is TreeEntry::kTop, `oldName` to `newName`
  // in the directory reached through `below`, as RenameBelow does. Where
  // `refused` is not 0, nothing is renamed: the rename fails with it. With
  // `ask`, nothing is renamed either: it fails with what RenameRefusal
  // says of the listed entry.
  struct RenameOrder {
    uint32_t node = TreeEntry::kTop;
    std::u16string below, oldName, newName;
    ErrorCode refused = 0;
    bool ask = false;
    // Empties it for the next rename, keeping the room of its names.
    void Reset() {
      node = TreeEntry::kTop;
      below.clear();
      oldName.clear();
      newName.clear();
      refused = 0;
      ask = false;
    }
  };
  // Makes `count` renames, the i-th as `next(i, order)` gives it, up to
  // `jobs` at once, each checked as Rename and RenameBelow check theirs.
  // `done(i, error)` is told of the i-th, in order, once it and every one
  // before it are finished (error 0: renamed). No rename starts more than
  // `jobs` places after the first one not yet finished, nor while one in a
  // directory above it or below it is in flight. Once `next` or `done`
  // answers Go::kStop, no more start, and those started are still told of,
  // in order (one that was waiting is not: a gap). Where memory runs out,
  // the same, and then std::bad_alloc.
  using NextRename = std::function<Go(size_t index, RenameOrder& order)>;
  using Renamed = std::function<Go(size_t index, ErrorCode error)>;
  virtual void Renames(size_t count, unsigned jobs, const NextRename& next,
                       const Renamed& done) = 0;

  // True where the tree is on a file share or a file system served by a
  // program (FUSE): every call waits for another machine or process, and
  // calls in flight together wait together.
  virtual bool OnShare() = 0;

 protected:
  // The renames of Renames one after another, through Rename and
  // RenameBelow.
  void RenameEach(size_t count, const NextRename& next, const Renamed& done) {
    RenameOrder order;
    for (size_t index = 0; index < count; ++index) {
      order.Reset();
      if (next(index, order) != Go::kOn) return;
      const ErrorCode error = order.refused != 0 ? order.refused
                              : order.ask        ? RenameRefusal(order.node)
                              : order.node != TreeEntry::kTop
                                  ? Rename(order.node, order.newName)
                                  : RenameBelow(order.below, order.oldName, order.newName);
      if (done(index, error) != Go::kOn) return;
    }
  }
};

// An open listing of one directory, through which its entries are renamed.
// Paths given to it are full paths of entries of this directory whose names
// begin at `nameStart`.
class Directory {
 public:
  virtual ~Directory() = default;

  // Fills `entry` with the next entry and sets `end` to false; at the end
  // of the listing sets `end` to true. Returns 0, or the error code of the
  // read that failed (the listing ends there).
  virtual ErrorCode Next(Entry& entry, bool& end) = 0;

  // Renames the entry `oldPath` to `newPath`, never replacing an entry that
  // already holds the new name (that failure is Traits::targetExists). Both
  // are entries of this directory: their names, from `nameStart` on, are
  // single names. Returns 0, or the error code of the failure.
  virtual ErrorCode Rename(const char16_t* oldPath, const char16_t* newPath,
                           size_t nameStart) = 0;

  // Looks the name of `path` up the way a rename to it would, without
  // renaming anything: Traits::targetExists when an entry of that name
  // exists (ignoring case where the system does), 0 when the name is free,
  // or the error code of the lookup.
  virtual ErrorCode LookUp(const char16_t* path, size_t nameStart) = 0;

  // The error code every rename in this directory would fail with whatever
  // the names (no permission to change the directory), or 0 when none is
  // known. Cheap checks only: a rename can still fail for other reasons.
  virtual ErrorCode RenameBarrier() = 0;

  // The error code a rename of the entry `path` would fail with whatever
  // its new name (it, or the directory that holds it, may not be changed by
  // this user), or 0 when none is known.
  virtual ErrorCode RenameRefusal(const char16_t* path, size_t nameStart) = 0;
};

enum class Stream { Out, Err };

// A file of the user's own that lines are added to, each with one write.
class LineFile {
 public:
  virtual ~LineFile() = default;
  // Adds `line` and a line break, with one write, as WriteLine writes to a
  // file (a line feed inside `line` ends a line too). Returns 0, or the
  // error code.
  virtual ErrorCode Add(std::u16string_view line) = 0;
  // Sets aside room for adding `units` units at once without memory.
  // Throws std::bad_alloc when memory has run out.
  virtual void Reserve(size_t units) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual const Traits& traits() const = 0;

  // Both path services set `length` the same way: when the result fits in
  // `room` code units (terminator included) they write it and set its
  // length without the terminator; when it does not fit, the room needed,
  // terminator included.
  //
  // Makes `path` absolute against the current directory.
  virtual ErrorCode AbsolutePath(const char16_t* path, uint32_t room, char16_t* destination,
                                 uint32_t& length) = 0;
  // Rewrites the existing path in `buffer` in place in its long form (every
  // short 8.3 component expanded); fails when the path does not exist.
  virtual ErrorCode LongForm(char16_t* buffer, uint32_t room, uint32_t& length) = 0;

  // Opens the listing of the directory `path` (its full path and the
  // separator) into `directory`.
  virtual ErrorCode OpenDirectory(const char16_t* path, std::unique_ptr<Directory>& directory) = 0;

  // What `path` (as the user typed it) names, following links.
  virtual Kind KindOf(const char16_t* path) = 0;

  // Opens the directory `path` (its full path and the separator) into
  // `tree`, for work on the tree below it.
  virtual ErrorCode OpenTree(const char16_t* path, std::unique_ptr<Tree>& tree) = 0;

  // Reads the file `path` (standard input when null) from its start,
  // handing each piece read to `take`, until its end or until `take`
  // answers Go::kStop. Returns 0, or the error code of the failure; a read
  // that the user's request to stop broke off fails too (see Interrupted).
  using Pieces = std::function<Go(std::string_view piece)>;
  virtual ErrorCode ReadFile(const char16_t* path, const Pieces& take) = 0;

  // Writes `line` and a line break to the stream with one write, so that a
  // line written has reached the system before the call returns. A line
  // feed inside `line` ends a line too (several written at once). Needs no
  // memory for a line within the room set aside: kLineReserve units from
  // the start, more after ReserveLine. Returns 0, or the error code of the
  // failure.
  static constexpr size_t kLineReserve = 16 * 1024;
  virtual ErrorCode WriteLine(Stream stream, std::u16string_view line) = 0;
  // Sets aside room for writing a line of `units` units: the line of a
  // rename is made ready before the rename. Throws std::bad_alloc when
  // memory has run out.
  virtual void ReserveLine(size_t units) = 0;

  // The folder the programs keep the journal of their runs in, made if
  // missing: $XDG_STATE_HOME/snipdir, else ~/.local/state/snipdir on POSIX,
  // %LOCALAPPDATA%\snipdir on Windows. Sets `folder` to its path and a
  // separator. Returns 0, or the error code.
  virtual ErrorCode JournalFolder(std::u16string& folder) = 0;
  // Sets `names` to the names of the files in `folder` (its path and a
  // separator). Returns 0, or the error code.
  virtual ErrorCode FilesIn(const std::u16string& folder, std::vector<std::u16string>& names) = 0;
  // Opens the file `path` into `file` to add lines to: a new one (never
  // replacing another: Traits::targetExists), or with `existing` one that
  // is there.
  virtual ErrorCode OpenLineFile(const std::u16string& path, bool existing,
                                 std::unique_ptr<LineFile>& file) = 0;
  // Removes the file `path`. Returns 0, or the error code.
  virtual ErrorCode RemoveFile(const std::u16string& path) = 0;

  // True when standard error is a terminal, where a line that shows how far
  // a long run has come can be written and written over.
  virtual bool ShowsProgress() const = 0;
  // Writes `text` to standard error as it is, without a line break.
  virtual void WriteProgress(std::u16string_view text) = 0;

  // True once the user asked the program to stop: Ctrl+C, a termination
  // signal, the console closing. A second request ends the program at once.
  virtual bool Interrupted() const = 0;
  // Ends the program the way a program stopped by the user ends on this
  // system. Returns (the exit status to use) only where it cannot.
  virtual int ExitInterrupted() = 0;
};

// The platform of the system this program was built for. It catches the
// user's requests to stop (see Interrupted) and makes a closed pipe a write
// error rather than the end of the program.
std::unique_ptr<Platform> MakeSystemPlatform();

// Writes `line` and a line break to standard output without allocating
// memory: for when memory ran out before anything else could be set up.
void WriteEmergencyLine(const char* line);

// The command-line arguments as UTF-16, program name first. On Windows they
// come from the wide command line (wildcards are not expanded) and `argv` is
// not used.
std::vector<std::u16string> CommandLine(int argc, char** argv);

}  // namespace platform
