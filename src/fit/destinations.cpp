#include "fit/destinations.h"

#include <iterator>

#include "naming/destination_names.h"

namespace fit {
namespace {

using naming::Unit;

// Every destination but Linux's stores names as Unicode: a unit of no
// character is refused.
constexpr uint32_t kWindowsRules = naming::kWindowsCharacters | naming::kTrailingDots |
                                   naming::kTrailingSpaces | naming::kDeviceNames |
                                   naming::kWellFormed;
constexpr uint32_t kOfficeRules = naming::kWindowsCharacters | naming::kLeadingSpaces |
                                  naming::kTrailingSpaces | naming::kTrailingDots |
                                  naming::kDeviceNames | naming::kOfficeNames |
                                  naming::kWellFormed;

constexpr Destination kDestinations[] = {
    {u"windows", Unit::kUtf16, 255, Unit::kUtf16, 259, 247, false, 0, 0, 0, kWindowsRules, true,
     false, true,
     u"Microsoft, \"Naming Files, Paths, and Namespaces\" and \"Maximum Path Length "
     u"Limitation\": MAX_PATH 260 with its terminator, 12 kept for an 8.3 name in a new "
     u"directory, 255 per name"},
    {u"onedrive", Unit::kUtf16, 255, Unit::kUtf16, 400, 400, true, -1, 259, 247, kOfficeRules,
     true, false, true,
     u"Microsoft, \"Restrictions and limitations in OneDrive and SharePoint\": 400 for the "
     u"decoded path, the characters, names and prefixes listed there; the synced folder "
     u"as windows (where Windows strips a trailing dot)"},
    {u"sharepoint", Unit::kUtf16, 255, Unit::kUtf16, 400, 400, true, -1, 259, 247,
     kOfficeRules, true, false, true, u"the same page as onedrive"},
    {u"dropbox", Unit::kUtf16, 255, Unit::kUtf16, 259, 259, false, 0, 0, 0,
     naming::kWindowsCharacters | naming::kTrailingDots | naming::kTrailingSpaces |
         naming::kWellFormed,
     true, false, true,
     u"Dropbox Help Center, \"Naming Dropbox files and folders\": paths fewer than 260 "
     u"characters (a pair counts two), its characters, no trailing space or period; 255 "
     u"per name as its API takes"},
    {u"linux", Unit::kUtf8, 255, Unit::kUtf8, 4095, 4095, false, 0, 0, 0, 0, false, false, false,
     u"Linux NAME_MAX 255 and PATH_MAX 4096 with its terminator, in bytes (ext4, xfs, "
     u"btrfs, tmpfs)"},
    {u"ecryptfs", Unit::kUtf8, 143, Unit::kUtf8, 4095, 4095, false, 0, 0, 0, 0, false, false,
     false,
     u"eCryptfs with encrypted names: 143 bytes (its FAQ); paths as linux"},
    {u"joliet", Unit::kUtf16, 64, Unit::kUcs2Bytes, 240, 240, true, 1, 0, 0,
     naming::kJolietCharacters, true, false, false,
     u"Joliet: 64 UCS-2 characters per name; a path below the root as libisofs (xorriso "
     u"1.5.4) counts it, 2 bytes a character, 1 a name and 1 more, at most 240 (found by "
     u"trying xorriso -as mkisofs -J at several depths); the characters it replaces"},
    {u"macos", Unit::kNfdUtf16, 255, Unit::kNfdUtf8, 1023, 1023, false, 0, 0, 0,
     naming::kWellFormed, true, true, false,
     u"Apple, APFS and HFS+: 255 UTF-16 units per name once decomposed; PATH_MAX 1024 "
     u"with its terminator, in bytes; names compared decomposed and ignoring case"},
};

}  // namespace

const Destination* Destinations(size_t& count) {
  count = std::size(kDestinations);
  return kDestinations;
}

const Destination* FindDestination(std::u16string_view name) {
  for (const Destination& destination : kDestinations) {
    if (destination.name == name) return &destination;
  }
  return nullptr;
}

}  // namespace fit
