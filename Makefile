# make demo: install what is missing, build the module, run the protocol end to end.
# make test: install what the tests need, run every C++ and Python test.
# make wheel: an sdist and, built from it, a self-contained manylinux wheel in dist/.
# make dist: the release files: the sdist and, built from it with zig, the
#   cp311-abi3-manylinux_2_28 wheels for x86_64 and aarch64, in dist/.
PYTHON ?= python3
JOBS ?= 2
TEST_BUILD := build/tests

.PHONY: demo test wheel dist deps-build deps-test deps-wheel install cpp-test py-test ct-check

demo: deps-build install
	$(PYTHON) scripts/demo.py

test: deps-test cpp-test ct-check install py-test

deps-build:
	PYTHON=$(PYTHON) bash scripts/install-deps.sh build

deps-test:
	PYTHON=$(PYTHON) bash scripts/install-deps.sh test

deps-wheel:
	PYTHON=$(PYTHON) bash scripts/install-deps.sh wheel

# The wheel is built from the sdist, not from the tree, so a file missing from
# the sdist fails here; auditwheel then checks the extension against the
# manylinux policies and tags it with the oldest one it meets.
wheel: deps-wheel
	PYTHON=$(PYTHON) JOBS=$(JOBS) bash scripts/build_wheel.sh

dist: deps-wheel
	PYTHON=$(PYTHON) JOBS=$(JOBS) bash scripts/build_dist.sh

install:
	PIP_ROOT_USER_ACTION=ignore CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) $(PYTHON) -m pip install -q --disable-pip-version-check --no-build-isolation .

cpp-test:
	cmake -S . -B $(TEST_BUILD) -G Ninja -DVELTRANE_BUILD_TESTS=ON -DVELTRANE_BUILD_EXTENSION=OFF
	cmake --build $(TEST_BUILD) -j $(JOBS)
	ctest --test-dir $(TEST_BUILD) --output-on-failure

ct-check:
	@if [ -x scripts/ct_check.sh ]; then bash scripts/ct_check.sh $(TEST_BUILD); fi

# The Python suite once per backend this machine can run (see the script).
py-test:
	PYTHON=$(PYTHON) bash scripts/py_test.sh
