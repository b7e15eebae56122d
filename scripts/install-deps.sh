#!/usr/bin/env bash
# Installs the Debian packages and Python packages a job needs, skipping what is
# already present. Usage: scripts/install-deps.sh build|test
set -euo pipefail
kind=${1:-build}

debs=(g++ cmake libxxhash-dev)
pips=(scikit-build-core ninja)
if [ "$kind" = test ]; then
  debs+=(libgtest-dev libsodium-dev valgrind)
  pips+=(pytest hypothesis xxhash pynacl tqdm pyarrow "dask[distributed]" mypy)
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

PIP_ROOT_USER_ACTION=ignore python3 -m pip install -q --disable-pip-version-check "${pips[@]}"
