# Installs, on Debian 12, what the named parts of the work need and the
# machine lacks:
#   run      building the Linux programs
#   native   the Linux program and its tests
#   asan     the sanitizer build and the fuzzers (clang)
#   win64    the 64-bit twin of the Windows programs and every Windows
#            suite (MinGW-w64 for x86_64, wine64)
#   win32    the shipped 32-bit Windows programs, run under 32-bit Wine, and
#            the twin and Linux programs they are compared with
#   volumes  the file system tools and FUSE drivers the volume tests mount
#            with, the image makers trees are fitted for, libfuse3 for the
#            file system as slow as a share, and what the win64 part needs
#   release  the packages and their checks (lintian, mandoc), and 32-bit
#            Wine for the programs of the zip
#   bench    the benchmark (strace, GNU time; the share rows need what
#            volumes needs)
# Sourced by the other scripts: snipdir_setup native win32 ...
#
# Wine and libfuse3's headers come from the release's own suite (apt-get
# -t), where every library they need has the version of its twin (i386 and
# amd64, or the -dev and the library installed) even when an update suite's
# index is out of step. Where the kernel runs no 32-bit code,
# 32-bit Wine runs through qemu-user, registered for 32-bit programs (as
# root only).

# Where Debian keeps the 64-bit Wine, which it does not put on PATH.
snipdir_wine64() {
  command -v wine64 || echo /usr/lib/wine/wine64
}

snipdir_missing() {
  local missing=() part
  command -v cmake >/dev/null || missing+=(cmake)
  command -v g++ >/dev/null || missing+=(g++)
  command -v make >/dev/null || missing+=(make)
  command -v python3 >/dev/null || missing+=(python3)
  for part in "$@"; do
    case $part in
      native | asan | win32 | win64 | volumes)
        [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
        [ -f /usr/share/unicode/auxiliary/GraphemeBreakTest.txt ] || missing+=(unicode-data) ;;&
      native | asan)
        command -v setpriv >/dev/null || missing+=(util-linux) ;;&
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
        command -v pkg-config >/dev/null || missing+=(pkg-config)
        [ -f /usr/include/fuse3/fuse.h ] || missing+=(libfuse3-dev)
        command -v losetup >/dev/null || missing+=(mount)
        command -v xorriso >/dev/null || missing+=(xorriso)
        command -v isoinfo >/dev/null || missing+=(genisoimage) ;;&
      win32 | win64 | release | volumes)
        command -v groff >/dev/null || missing+=(groff-base)
        command -v wine >/dev/null || missing+=(wine) ;;&
      win32 | win64 | volumes)
        command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64)
        [ -x "$(snipdir_wine64)" ] || missing+=(wine64) ;;&
      win32 | release)
        command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686)
        dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386) ;;
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

# True when this machine runs 32-bit programs, natively or through a
# registered emulator.
snipdir_runs_32bit() {
  [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# Registers qemu-user's i386 emulator for 32-bit programs (ELF executables
# and shared objects of the i386 machine), opened now so that it works in
# every mount namespace.
snipdir_register_qemu() {
  local binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
  [ -e "$binfmt/qemu-i386" ] && echo -1 >"$binfmt/qemu-i386"
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
    >"$binfmt/register"
}

snipdir_setup() {
  local missing sudo="" suite=() others=() package
  [ "$(id -u)" = 0 ] || sudo=sudo
  missing=$(snipdir_missing "$@")
  if [ -n "${missing// /}" ]; then
    echo "Installing: $missing"
    case " $missing " in
      *":i386 "*) $sudo dpkg --add-architecture i386 ;;
    esac
    # An index that fails to download is reported and the one before used.
    $sudo apt-get update -qq || true
    for package in $missing; do
      case $package in
        wine | wine64 | wine32:i386 | libfuse3-dev) suite+=("$package") ;;
        *) others+=("$package") ;;
      esac
    done
    if [ ${#others[@]} -gt 0 ]; then
      DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${others[@]}" || return 1
    fi
    if [ ${#suite[@]} -gt 0 ]; then
      # shellcheck disable=SC1091
      DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        -t "$(. /etc/os-release && echo "$VERSION_CODENAME")" "${suite[@]}" || {
        echo "ERROR: ${suite[*]} could not be installed from the release's own suite (above)." >&2
        return 1
      }
    fi
  fi
  case " $* " in
    *" win32 "* | *" release "*) ;;
    *) return 0 ;;
  esac
  snipdir_runs_32bit && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "ERROR: this kernel runs no 32-bit programs; as root, scripts/setup.sh registers" \
      "qemu-user for them." >&2
    return 1
  fi
  echo "This kernel runs no 32-bit programs: 32-bit Wine runs through qemu-user (binfmt_misc)."
  if ! command -v qemu-i386 >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user ||
      return 1
  fi
  snipdir_register_qemu && snipdir_runs_32bit || {
    echo "ERROR: qemu-i386 could not be registered for 32-bit programs." >&2
    return 1
  }
}
