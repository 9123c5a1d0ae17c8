# The two set-up commands of the README:
#   make example   install what is missing, build Release, run the example
#   make test      install what is missing, build Debug+sanitizers and Release, run every test
#   make fuzz-run  build the scene-file and image-decode fuzzers with clang and run each for 60 s (the committed corpora are the seeds)
PACKAGES := cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev libtinyxml-dev libmeshoptimizer-dev libstb-dev libpng-dev libjpeg-dev libgif-dev libtiff-dev libcereal-dev
JOBS     ?= $(shell nproc)
RELEASE  := build/release
SANITIZE := build/asan
DRN      := $(RELEASE)/tools/drn
FUZZ     := build/fuzz
FUZZ_SECONDS ?= 60

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
	$(DRN) eval $(RELEASE)/sample.drn 0 250 500 1000
	$(DRN) sample --tree $(RELEASE)/example.spt
	$(DRN) tree $(RELEASE)/example.spt
	$(DRN) export examples/scenes/g5_character.xml $(RELEASE)/export
	$(DRN) info $(RELEASE)/export/g5_character.zAvatar

test: asan release
	ctest --test-dir $(SANITIZE) --output-on-failure -j $(JOBS)
	ctest --test-dir $(RELEASE) --output-on-failure -j $(JOBS)

# The fuzzer works on a copy of the committed seed corpus, so what it adds
# stays out of the tree; inputs that fail land in $(FUZZ)/artifacts.
fuzz-run: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
	  -DKT_BUILD_FUZZ=ON -DKT_SANITIZE=ON -DKT_BUILD_TESTS=OFF -DKT_BUILD_BENCH=OFF
	cmake --build $(FUZZ) -j $(JOBS) --target scene_load_fuzzer image_decode_fuzzer
	rm -rf $(FUZZ)/corpus-work $(FUZZ)/image-corpus-work
	mkdir -p $(FUZZ)/corpus-work $(FUZZ)/image-corpus-work $(FUZZ)/artifacts
	cp fuzz/corpus/* $(FUZZ)/corpus-work/
	cp fuzz/image_corpus/* $(FUZZ)/image-corpus-work/
	# The length limit admits the largest seed (the whole sample scene).
	$(FUZZ)/fuzz/scene_load_fuzzer -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=$$(stat -c %s fuzz/corpus/* | sort -n | tail -1) \
	  -artifact_prefix=$(FUZZ)/artifacts/ $(FUZZ)/corpus-work
	$(FUZZ)/fuzz/image_decode_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=65536 \
	  -rss_limit_mb=4096 -artifact_prefix=$(FUZZ)/artifacts/ $(FUZZ)/image-corpus-work

clean:
	rm -rf build
