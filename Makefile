# The two set-up commands of the README:
#   make example   install what is missing, build Release, run the example
#   make test      install what is missing, build Debug+sanitizers and Release, run every test
PACKAGES := cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev libtinyxml-dev
JOBS     ?= $(shell nproc)
RELEASE  := build/release
SANITIZE := build/asan
DRN      := $(RELEASE)/tools/drn

.PHONY: deps example test release asan fuzz-run clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	fi

release: deps
	cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(RELEASE) -j $(JOBS)

asan: deps
	cmake -S . -B $(SANITIZE) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKT_SANITIZE=ON -DKT_BUILD_BENCH=OFF
	cmake --build $(SANITIZE) -j $(JOBS)

example: release
	$(DRN) sample $(RELEASE)/sample.drn
	$(DRN) info $(RELEASE)/sample.drn
	$(DRN) dump $(RELEASE)/sample.drn

test: asan release
	ctest --test-dir $(SANITIZE) --output-on-failure -j $(JOBS)
	ctest --test-dir $(RELEASE) --output-on-failure -j $(JOBS)

clean:
	rm -rf build
