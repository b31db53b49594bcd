# Installs what building and testing snipdir needs on Debian 12, where it is
# missing: the compilers, CMake, GoogleTest's sources, clang with libFuzzer,
# the i686 MinGW-w64 cross compiler and 32-bit Wine. Sourced by the other
# scripts; SNIPDIR_RUN_ONLY=1 asks only for what building the Linux program
# needs.

snipdir_missing() {
  local missing=()
  command -v cmake >/dev/null || missing+=(cmake)
  command -v g++ >/dev/null || missing+=(g++)
  command -v make >/dev/null || missing+=(make)
  command -v python3 >/dev/null || missing+=(python3)
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
  if [ "${SNIPDIR_RUN_ONLY:-0}" != 1 ]; then
    command -v setpriv >/dev/null || missing+=(util-linux)
    command -v strace >/dev/null || missing+=(strace)       # the benchmark
    [ -x /usr/bin/time ] || missing+=(time)                 # the benchmark
    command -v clang++ >/dev/null || missing+=(clang)
    ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
      missing+=(libclang-rt-14-dev)
    command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686)
    command -v wine >/dev/null || missing+=(wine)
    dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386)
  fi
  echo "${missing[@]}"
}

snipdir_setup() {
  local missing
  missing=$(snipdir_missing)
  [ -z "$missing" ] && return 0
  echo "Installing: $missing"
  local sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  case " $missing " in
    *":i386 "*) $sudo dpkg --add-architecture i386 ;;
  esac
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}
