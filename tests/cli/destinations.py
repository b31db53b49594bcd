"""What each destination of snipdir-fit takes, written from the published
rules (not from the programs), for the suites to check fitted trees with.

Sources:
- windows: Microsoft Learn, "Naming Files, Paths, and Namespaces" (reserved
  characters < > : " / \\ | ? * and 1-31, no trailing space or period,
  CON PRN AUX NUL COM0-9 LPT0-9 and the superscript digits, also before an
  extension) and "Maximum Path Length Limitation" (MAX_PATH 260 with the
  terminator; 12 kept for an 8.3 name when making a directory).
- onedrive, sharepoint: Microsoft Support, "Restrictions and limitations in
  OneDrive and SharePoint", section "Invalid file names and file types":
  " * : < > ? / \\ | anywhere; no leading or trailing space; the names .lock,
  CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, desktop.ini; no name beginning
  ~$; _vti_ nowhere; 400 characters for the whole decoded path. The sync
  client keeps the files on a Windows PC, where a trailing period is
  stripped (the windows rules above).
- dropbox: Dropbox Help Center, "Naming Dropbox files and folders": paths
  fewer than 260 characters (most emoji count two), / \\ < > : " | ? *, no
  trailing period or space.
- linux: NAME_MAX 255 and PATH_MAX 4096 bytes (limits.h); ecryptfs: 143 bytes
  per encrypted name (eCryptfs FAQ).
- joliet: what xorriso 1.5.4 (-as mkisofs -J, libisofs) takes, found by
  trying: names of 64 UCS-2 characters; a path below the root counts 2
  bytes a character, 1 a name and 1 more, at most 240 (one directory down
  119 characters of path pass and 120 do not, three down 120 pass); no
  * / : ; ? \\ or 1-31, nothing outside UCS-2.
- macos: 255 UTF-16 units per name after decomposition as HFS+ does it
  (NFD but for three ranges, Apple's File System Guide); PATH_MAX 1024
  bytes with the terminator; names compared decomposed and ignoring case.
- Every destination but linux and ecryptfs stores names as Unicode: a
  byte that is not part of UTF-8 (here a lone surrogate, as Python's
  surrogateescape decodes it) cannot be stored.
- Names that are one name there (ignoring case, and for macos after
  decomposition) cannot stand side by side in one directory.
"""
import unicodedata

DEVICES = {"CON", "PRN", "AUX", "NUL"} | {f"{kind}{digit}" for kind in ("COM", "LPT")
                                          for digit in "0123456789\u00b9\u00b2\u00b3"}


def utf16(text):
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


def utf8(text):
    return len(text.encode("utf-8", "surrogateescape"))


def macos_nfd(text):
    """NFD as HFS+ applies it: characters of U+2000-U+2FFF, U+F900-U+FAFF
    and U+2F800-U+2FAFF are left as they are."""
    def kept(c):
        return 0x2000 <= ord(c) <= 0x2FFF or 0xF900 <= ord(c) <= 0xFAFF or 0x2F800 <= ord(c) <= 0x2FAFF
    return "".join(c if kept(c) else unicodedata.normalize("NFD", c) for c in text)


def nfd16(text):
    return utf16(macos_nfd(text))


def nfd8(text):
    return utf8(macos_nfd(text))


def no_character(name):
    """True when the name holds a byte that is not part of UTF-8."""
    return any(0xD800 <= ord(c) <= 0xDFFF for c in name)


def windows_refuses(name):
    return (any(c in '<>:"/\\|?*' or ord(c) < 32 for c in name) or name[-1] in " ." or
            name.split(".")[0].rstrip(" ").upper() in DEVICES or no_character(name))


def office_refuses(name):
    return (any(c in '"*:<>?/\\|' for c in name) or name[0] == " " or name[-1] in " ." or
            name.lower() in (".lock", "desktop.ini") or name.startswith("~$") or
            "_vti_" in name.lower() or name.split(".")[0].rstrip(" ").upper() in DEVICES or
            no_character(name))


def dropbox_refuses(name):
    return any(c in '/\\<>:"|?*' for c in name) or name[-1] in " ." or no_character(name)


def joliet_refuses(name):
    return any(c in "*/:;?\\" or ord(c) < 32 or ord(c) > 0xFFFF for c in name) or \
        no_character(name)


def ucs2_bytes(text):
    return 2 * utf16(text)


def upper(name):
    """Each character in uppercase where that is one character."""
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in name)


# name: (name unit, name limit, path unit, file budget, directory budget,
#        paths from the top of the tree (None: the full path; else what a
#        path counts before its first name), how names compare there (None:
#        unit for unit), refuses)
DESTINATIONS = {
    "windows": (utf16, 255, utf16, 259, 247, None, upper, windows_refuses),
    "onedrive": (utf16, 255, utf16, 400, 400, -1, upper, office_refuses),
    "sharepoint": (utf16, 255, utf16, 400, 400, -1, upper, office_refuses),
    "dropbox": (utf16, 255, utf16, 259, 259, None, upper, dropbox_refuses),
    "linux": (utf8, 255, utf8, 4095, 4095, None, None, lambda name: False),
    "ecryptfs": (utf8, 143, utf8, 4095, 4095, None, None, lambda name: False),
    "joliet": (utf16, 64, ucs2_bytes, 240, 240, 1, upper, joliet_refuses),
    "macos": (nfd16, 255, nfd8, 1023, 1023, None, lambda name: upper(macos_nfd(name)),
              no_character),
}


def on_windows(place):
    return place[1:2] == ":" or place.startswith("\\\\")


def over(destination, place, path, is_directory, headroom=0):
    """How far `path` (names joined by "/") below the folder `place` is over
    what `destination` takes (0 or less: it fits)."""
    _, _, unit, file_budget, directory_budget, top, _, _ = DESTINATIONS[destination]
    names = path.split("/")
    below = sum(unit(name) for name in names) + len(names) - 1
    budget = (directory_budget if is_directory else file_budget) - headroom
    if top is None:
        return unit(place.rstrip("/\\")) + 1 + below - budget
    local = 0
    if destination in ("onedrive", "sharepoint") and on_windows(place):
        local = utf16(place.rstrip("/\\")) + 1 + below - ((247 if is_directory else 259) - headroom)
    return max(top + 1 + below - budget, local)


def name_over(destination, name, headroom=0):
    unit, limit, *_ = DESTINATIONS[destination]
    return unit(name) - (limit - headroom)


def refuses(destination, name):
    return DESTINATIONS[destination][-1](name)


def twins(destination, names):
    """The names of one directory that are one name where it is going."""
    key = DESTINATIONS[destination][6]
    if key is None:
        return []
    seen, found = {}, []
    for name in names:
        other = seen.setdefault(key(name), name)
        if other != name:
            found.append((other, name))
    return found
