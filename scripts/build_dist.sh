#!/usr/bin/env bash
# The release files: the sdist and, built from it, one abi3 wheel per
# architecture, cp311-abi3-manylinux_2_28_{x86_64,aarch64}, in dist/.
#
# The wheels are compiled by zig's clang (the ziglang package), which targets
# glibc 2.28 whatever the build machine's glibc is and links its own C++
# runtime (libc++) statically, so the extension needs only libc. The module
# uses the limited API alone, so the x86-64 machine's CPython headers serve
# both targets. xxHash's header is the system's (libxxhash-dev), copied alone
# into the build folder: the target's compiler must not see the rest of the
# build machine's /usr/include.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
python="${PYTHON:-python3}"
export CMAKE_BUILD_PARALLEL_LEVEL="${JOBS:-2}"
work="$root/build/dist"
dist="$root/dist"
rm -rf "$work" "$dist"
mkdir -p "$work/include" "$dist"
cp "$(echo '#include <xxhash.h>' | cpp -H -o /dev/null 2>&1 | awk '/xxhash.h$/ {print $2; exit}')" \
   "$work/include/"

cd "$root"
"$python" -m build --sdist --no-isolation --outdir "$dist" .
sdist="$(ls "$dist"/*.tar.gz)"
python_include="$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["include"])')"

# One wheel; both are built at once (see below).
build_wheel() {  # arch
  local arch="$1" tool target raw
  local tools="$work/$arch/bin"
  mkdir -p "$tools"
  for tool in c++ ar ranlib; do
    target=""
    [ "$tool" = c++ ] && target="-target $arch-linux-gnu.2.28"
    printf '#!/bin/sh\nexec "%s" -m ziglang %s %s "$@"\n' "$python" "$tool" "$target" >"$tools/zig-$tool"
    chmod +x "$tools/zig-$tool"
  done
  # scikit-build-core tags the wheel for _PYTHON_HOST_PLATFORM; CMake builds
  # for CMAKE_SYSTEM_PROCESSOR, which also selects the lane files.
  _PYTHON_HOST_PLATFORM="linux-$arch" "$python" -m pip wheel -q --disable-pip-version-check \
    --no-build-isolation --no-deps --wheel-dir "$work/$arch/raw" \
    -C build-dir="$work/$arch/cmake" \
    -C cmake.define.CMAKE_SYSTEM_NAME=Linux \
    -C cmake.define.CMAKE_SYSTEM_PROCESSOR="$arch" \
    -C cmake.define.CMAKE_CXX_COMPILER="$tools/zig-c++" \
    -C cmake.define.CMAKE_AR="$tools/zig-ar" \
    -C cmake.define.CMAKE_RANLIB="$tools/zig-ranlib" \
    -C cmake.define.CMAKE_MODULE_LINKER_FLAGS=-s \
    -C cmake.define.XXHASH_INCLUDE_DIR="$work/include" \
    -C cmake.define.Python_INCLUDE_DIR="$python_include" \
    -C cmake.define.Python_SOSABI=abi3 \
    "$sdist"
  raw="$(ls "$work/$arch/raw"/*.whl)"
  # The wheel says linux_<arch>; its extension meets manylinux_2_28, which
  # scripts/check_dist.sh proves with auditwheel, readelf and pip.
  "$python" -m wheel tags --remove --platform-tag "manylinux_2_28_$arch" "$raw" >/dev/null
  mv "$work/$arch/raw"/*manylinux_2_28_"$arch".whl "$dist/"
}

# The two wheels side by side: with zig's cache cold, most of the time goes
# into building each target's C++ runtime, which zig does on one processor,
# so two builds at once take little longer than one.
# shellcheck source=side_by_side.sh
. "$root/scripts/side_by_side.sh"
side_by_side_add "x86_64 wheel" build_wheel x86_64
side_by_side_add "aarch64 wheel" build_wheel aarch64
JOBS=2 side_by_side_run
"$python" -m twine check --strict "$dist"/*
ls -l "$dist"
