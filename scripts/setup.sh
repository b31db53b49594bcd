# Installs, on Debian 12, what the named parts of the work need and the
# machine lacks:
#   run      building the Linux programs
#   native   the Linux program and its tests
#   asan     the sanitizer build and the fuzzers (clang)
#   win32    the Windows programs and their tests (MinGW-w64, 32-bit Wine)
#   volumes  the file system tools and FUSE drivers the volume tests mount
#            with, the image makers trees are fitted for, and what the
#            win32 part needs
#   release  the packages and their checks (lintian, mandoc)
#   bench    the benchmark (strace, GNU time)
# Sourced by the other scripts: snipdir_setup native win32 ...

snipdir_missing() {
  local missing=() part
  command -v cmake >/dev/null || missing+=(cmake)
  command -v g++ >/dev/null || missing+=(g++)
  command -v make >/dev/null || missing+=(make)
  command -v python3 >/dev/null || missing+=(python3)
  for part in "$@"; do
    case $part in
      native | asan)
        [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest) ;;&
      native | asan)
        command -v setpriv >/dev/null || missing+=(util-linux) ;;&
      native | asan | win32)
        [ -f /usr/share/unicode/auxiliary/GraphemeBreakTest.txt ] || missing+=(unicode-data) ;;&
      asan)
        command -v clang++ >/dev/null || missing+=(clang)
        ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
          missing+=(libclang-rt-14-dev) ;;
      volumes)
        command -v mkfs.exfat >/dev/null || missing+=(exfatprogs)
        command -v mount.exfat-fuse >/dev/null || missing+=(exfat-fuse)
        command -v ntfs-3g >/dev/null || missing+=(ntfs-3g)
        command -v fusefat >/dev/null || missing+=(fusefat)
        command -v mkfs.vfat >/dev/null || missing+=(dosfstools)
        command -v bindfs >/dev/null || missing+=(bindfs)
        command -v mkfs.xfs >/dev/null || missing+=(xfsprogs)
        command -v mkfs.btrfs >/dev/null || missing+=(btrfs-progs)
        command -v fusermount3 >/dev/null || missing+=(fuse3)
        command -v losetup >/dev/null || missing+=(mount)
        command -v xorriso >/dev/null || missing+=(xorriso)
        command -v isoinfo >/dev/null || missing+=(genisoimage) ;;&
      win32 | release | volumes)
        command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686)
        command -v groff >/dev/null || missing+=(groff-base)
        command -v wine >/dev/null || missing+=(wine)
        dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386) ;;&
      win32 | volumes)
        [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest) ;;
      release)
        command -v dpkg-shlibdeps >/dev/null || missing+=(dpkg-dev)
        command -v lintian >/dev/null || missing+=(lintian)
        command -v mandoc >/dev/null || missing+=(mandoc)
        command -v man >/dev/null || missing+=(man-db) ;;
      bench)
        command -v strace >/dev/null || missing+=(strace)
        [ -x /usr/bin/time ] || missing+=(time) ;;
    esac
  done
  printf '%s\n' "${missing[@]}" | sort -u | tr '\n' ' '
}

snipdir_setup() {
  local missing
  missing=$(snipdir_missing "$@")
  [ -z "${missing// /}" ] && return 0
  echo "Installing: $missing"
  local sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  case " $missing " in
    *":i386 "*) $sudo dpkg --add-architecture i386 ;;
  esac
  # An index that fails to download is reported and the older one used;
  # what cannot be installed then shows below.
  $sudo apt-get update -qq || true
  # shellcheck disable=SC2086
  if DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing; then
    return 0
  fi
  # The 32-bit Wine needs the i386 side of every library it uses at the same
  # version as the system's: when the registry cannot offer that (an i386
  # index out of step with its release), everything else is installed, and
  # the parts that need Wine say that they could not run.
  local others
  # shellcheck disable=SC2086
  others=$(printf '%s\n' $missing | grep -vx 'wine\|wine32:i386' | tr '\n' ' ' || true)
  if [ -n "${others// /}" ]; then
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $others ||
      return 1
  fi
  if ! command -v wine >/dev/null || ! dpkg -s wine32:i386 >/dev/null 2>&1; then
    SNIPDIR_NO_WINE="the package registry cannot install wine32:i386 here (apt-get install failed above)"
    export SNIPDIR_NO_WINE
    echo "WARNING: $SNIPDIR_NO_WINE; the Windows programs are built but not run." >&2
  fi
}
