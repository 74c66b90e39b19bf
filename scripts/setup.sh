#!/usr/bin/env bash
# Prepares a Debian 12 machine (as root) for building and testing Brindle.
# Idempotent: when everything is already in place it returns in well under a second.
set -euo pipefail

DEPS_ROOT=${BRINDLE_DEPS:-/opt/brindle-deps}
SRC_CACHE=${BRINDLE_SRC_CACHE:-/var/cache/brindle-src}
HERE=$(cd "$(dirname "$0")" && pwd)
# i686 is the wizard's architecture; x86_64 is added only where tests need it (see brindle).
ARCH=${1:-i686}
case "$ARCH" in
  i686) MINGW_PKGS=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev) ;;
  x86_64) MINGW_PKGS=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
                      g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev) ;;
  *) echo "setup: unknown architecture $ARCH" >&2; exit 2 ;;
esac

APT_PACKAGES=(
  "${MINGW_PKGS[@]}"
  cmake ninja-build make dpkg-dev
  wine wine64 wine32:i386 fonts-wine fonts-liberation
  xvfb x11-utils imagemagick
  python3 openssl ca-certificates locales iproute2 util-linux
  nlohmann-json3-dev clang-format
  nsis
  chromium libnss3-tools
  tinyproxy-bin
)

log() { printf 'setup: %s\n' "$*" >&2; }

need_root() {
  if [ "$(id -u)" != 0 ]; then
    log "this step needs root ($1); run as root once, later runs need nothing"
    exit 1
  fi
}

missing_packages() {
  local p out=()
  for p in "${APT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || out+=("$p")
  done
  printf '%s\n' "${out[@]}"
}

ensure_apt() {
  local changed=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_root "add i386"
    dpkg --add-architecture i386
    changed=1
  fi
  # Source packages come from the archive this machine already uses.
  local src_list=/etc/apt/sources.list.d/brindle-deb-src.sources
  if [ ! -f "$src_list" ]; then
    need_root "deb-src"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$src_list.tmp"
    else
      grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' >"${src_list%.sources}.list"
      : >"$src_list.tmp"
    fi
    mv "$src_list.tmp" "$src_list"
    changed=1
  fi
  local missing
  missing=$(missing_packages)
  if [ -n "$missing" ] || [ "$changed" = 1 ]; then
    need_root "apt-get install"
    log "installing packages: $(echo $missing | tr '\n' ' ')"
    export DEBIAN_FRONTEND=noninteractive
    # Mirrors are sometimes mid-sync; a partly failed update still lets the install go on.
    local i
    for i in 1 2 3; do apt-get update -qq && break; log "apt-get update failed (try $i)"; sleep 5; done
    # shellcheck disable=SC2086
    if [ -n "$missing" ] && ! apt-get install -y -qq --no-install-recommends $missing >/dev/null; then
      # Multi-arch packages need the same version for amd64 and i386. When one architecture's
      # security index could not be fetched, the main suite is the consistent choice.
      . /etc/os-release
      log "retrying with the $VERSION_CODENAME suite preferred"
      apt-get install -y -qq --no-install-recommends -t "$VERSION_CODENAME" $missing >/dev/null
    fi
  fi
}

# Folder holding only the nlohmann headers: the Linux system include folder must never
# be on the MinGW include path.
ensure_nlohmann() {
  local dir="$DEPS_ROOT/nlohmann-include"
  [ -e "$dir/nlohmann/json.hpp" ] && return 0
  need_root "nlohmann include folder"
  mkdir -p "$dir"
  ln -sfn /usr/include/nlohmann "$dir/nlohmann"
}

fetch_source() { # package -> prints unpacked folder
  local pkg=$1 dir
  mkdir -p "$SRC_CACHE"
  dir=$(find "$SRC_CACHE" -maxdepth 1 -type d -name "$pkg-*" | head -n1)
  if [ -z "$dir" ]; then
    # A security mirror may list a source it does not serve; the release's own is then taken.
    (cd "$SRC_CACHE" && { apt-get source -qq "$pkg" >/dev/null 2>&1 ||
      { . /etc/os-release && apt-get source -qq -t "$VERSION_CODENAME" "$pkg" >/dev/null 2>&1; }; })
    dir=$(find "$SRC_CACHE" -maxdepth 1 -type d -name "$pkg-*" | head -n1)
  fi
  [ -n "$dir" ] || { log "apt-get source $pkg failed"; exit 1; }
  printf '%s\n' "$dir"
}

cross_build() { # arch name srcdir [cmake args...]
  local arch=$1 name=$2 src=$3; shift 3
  local stamp="$DEPS_ROOT/$arch/.$name.built"
  [ -f "$stamp" ] && return 0
  need_root "build $name"
  log "building $name for MinGW $arch"
  local bdir="$SRC_CACHE/build-$name-$arch"
  rm -rf "$bdir"
  cmake -S "$src" -B "$bdir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$HERE/../cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEPS_ROOT/$arch" \
    -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
  cmake --build "$bdir" >/dev/null
  cmake --install "$bdir" >/dev/null
  touch "$stamp"
}

# The stub links these statically, so they are compiled for size. C and C++ without unwind
# tables: the linker drops unused functions only from sections that no unwind table refers to
# (MinGW's linker script keeps every .eh_frame). tinyxml2 without exceptions, as it throws none
# (an allocation failure inside it ends the process), and with msvcrt.dll's printf and scanf
# (cmake/msvcrt_stdio.h), which only its number formatting, unused here, calls.
# Stamps name the flag set, so a change of flags rebuilds them.
SIZE_FLAGS=(-Os -DNDEBUG -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables)

install_lib() { # archive destination: replaced in one step, so a link running meanwhile sees one or the other
  install -m 644 "$1" "$2.tmp" && mv -f "$2.tmp" "$2"
}

# tinyxml2 is one source file, compiled straight into a static library.
build_tinyxml2() { # arch
  local arch=$1 stamp="$DEPS_ROOT/$1/.tinyxml2-small.built"
  [ -f "$stamp" ] && return 0
  need_root "build tinyxml2"
  log "building tinyxml2 for MinGW $arch"
  local src bdir="$SRC_CACHE/build-tinyxml2-small-$arch"
  src=$(fetch_source tinyxml2)
  rm -rf "$bdir"
  mkdir -p "$bdir" "$DEPS_ROOT/$arch/lib" "$DEPS_ROOT/$arch/include"
  "$arch-w64-mingw32-g++-posix" "${SIZE_FLAGS[@]}" -fno-exceptions -D__USE_MINGW_ANSI_STDIO=0 -include stdio.h \
    -c "$src/tinyxml2.cpp" -o "$bdir/tinyxml2.o"
  "$arch-w64-mingw32-ar" rcs "$bdir/libtinyxml2.a" "$bdir/tinyxml2.o"
  install -m 644 "$src/tinyxml2.h" "$DEPS_ROOT/$arch/include/"
  install_lib "$bdir/libtinyxml2.a" "$DEPS_ROOT/$arch/lib/libtinyxml2.a"
  touch "$stamp"
}

# zlib and the unzip half of its minizip contrib, compiled straight into static libraries:
# zlib's CMake file needs the win32 folder that Debian's tarball leaves out, and minizip has
# only autotools files. Function sections let the stub keep only the inflater it calls.
build_zlib() { # arch
  local arch=$1 stamp="$DEPS_ROOT/$1/.zlib-small.built"
  [ -f "$stamp" ] && return 0
  need_root "build zlib"
  log "building zlib and minizip for MinGW $arch"
  local src bdir="$SRC_CACHE/build-zlib-$arch" cc="$arch-w64-mingw32-gcc-posix" ar="$arch-w64-mingw32-ar"
  src=$(fetch_source zlib)
  rm -rf "$bdir"
  mkdir -p "$bdir/zlib" "$bdir/minizip" "$DEPS_ROOT/$arch/lib" "$DEPS_ROOT/$arch/include/minizip"
  local flags=("${SIZE_FLAGS[@]}" -I"$src") f
  for f in adler32 compress crc32 deflate infback inffast inflate inftrees trees uncompr zutil; do
    "$cc" "${flags[@]}" -c "$src/$f.c" -o "$bdir/zlib/$f.o"
  done
  for f in unzip ioapi iowin32; do
    "$cc" "${flags[@]}" -c "$src/contrib/minizip/$f.c" -o "$bdir/minizip/$f.o"
  done
  "$ar" rcs "$bdir/libz.a" "$bdir"/zlib/*.o
  "$ar" rcs "$bdir/libminizip.a" "$bdir"/minizip/*.o
  install -m 644 "$src/zlib.h" "$src/zconf.h" "$DEPS_ROOT/$arch/include/"
  install -m 644 "$src/contrib/minizip/unzip.h" "$src/contrib/minizip/ioapi.h" "$src/contrib/minizip/iowin32.h" \
    "$DEPS_ROOT/$arch/include/minizip/"
  install_lib "$bdir/libz.a" "$DEPS_ROOT/$arch/lib/libz.a"
  install_lib "$bdir/libminizip.a" "$DEPS_ROOT/$arch/lib/libminizip.a"
  touch "$stamp"
}

ensure_cross_libs() {
  local arch=$1
  [ -f "$DEPS_ROOT/$arch/.zlib-small.built" ] && [ -f "$DEPS_ROOT/$arch/.tinyxml2-small.built" ] &&
    [ -f "$DEPS_ROOT/$arch/.googletest.built" ] && return 0
  need_root "dependency builds"
  build_tinyxml2 "$arch"
  cross_build "$arch" googletest "$(fetch_source googletest)" -DBUILD_GMOCK=OFF -Dgtest_force_shared_crt=ON
  build_zlib "$arch"
}

# nginx is a peer for the interoperability tests, which start their own instance on loopback.
# The package's own service must neither run nor hold port 80, now or after a reboot.
ensure_nginx() {
  dpkg-query -W -f='${Status}\n' nginx-light 2>/dev/null | grep -q '^install ok installed$' && return 0
  need_root "apt-get install nginx-light"
  local policy=/usr/sbin/policy-rc.d own_policy=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
    own_policy=1
  fi
  log "installing nginx-light (its service stays off)"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends nginx-light >/dev/null || {
    [ "$own_policy" = 1 ] && rm -f "$policy"
    exit 1
  }
  [ "$own_policy" = 1 ] && rm -f "$policy"
  if [ -d /run/systemd/system ]; then
    systemctl disable --now nginx >/dev/null 2>&1 || true
  else
    update-rc.d nginx disable >/dev/null 2>&1 || true
  fi
  if [ -s /run/nginx.pid ]; then
    nginx -s stop >/dev/null 2>&1 || true
  fi
}

ensure_apt
ensure_nginx
ensure_nlohmann
ensure_cross_libs i686
[ "$ARCH" = i686 ] || ensure_cross_libs "$ARCH"
