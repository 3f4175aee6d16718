# The two commands of the README: `make demo` (the main job) and `make test`.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD ?= build
CTEST := ctest --output-on-failure --no-tests=error -j $(JOBS)

.PHONY: all bootstrap test-fuzz native native-tsan native-release win32 win64 test test-native test-native-tsan test-win32 test-win64 bench fuzz demo install deb clean

all: native

bootstrap:
	@scripts/bootstrap

# configure-and-build: $(1) = preset
define build_preset
	cmake --preset $(1) -B $(BUILD)/$(1) >/dev/null
	cmake --build $(BUILD)/$(1) -j $(JOBS)
endef

native: bootstrap
	$(call build_preset,native)
native-tsan: bootstrap
	$(call build_preset,native-tsan)
native-release: bootstrap
	$(call build_preset,native-release)
win32: bootstrap
	$(call build_preset,win32)
win64: bootstrap
	$(call build_preset,win64)

test-native: native
	@echo "=== native suites (AddressSanitizer + UndefinedBehaviorSanitizer)"
	cd $(BUILD)/native && $(CTEST)
test-native-tsan: native-tsan
	@echo "=== native threaded suites (ThreadSanitizer)"
	cd $(BUILD)/native-tsan && $(CTEST) -L threaded
test-win32: win32
	@echo "=== win32 suites (i686, under Wine)"
	scripts/wine-session $(BUILD)/win32 bash -c 'cd $(BUILD)/win32 && $(CTEST)'
test-win64: win64
	@echo "=== win64 suites (x86_64, under Wine)"
	scripts/wine-session $(BUILD)/win64 bash -c 'cd $(BUILD)/win64 && $(CTEST)'

# A short bounded pass of every fuzz target.
test-fuzz: bootstrap
	$(call build_preset,fuzz)
	scripts/run-fuzzers $(BUILD)/fuzz $(CI_FUZZ_SECONDS)
CI_FUZZ_SECONDS ?= 10

# Every suite, native first, then Windows under Wine.
test: bootstrap
	$(MAKE) test-native test-native-tsan test-fuzz test-win32 test-win64
	@echo "=== all suites passed"

bench: native-release
	scripts/run-benchmarks $(BUILD)/native-release

FUZZ_SECONDS ?= 60
fuzz: bootstrap
	$(call build_preset,fuzz)
	scripts/run-fuzzers $(BUILD)/fuzz $(FUZZ_SECONDS)

# The filter and its plug-ins, optimised, then the sample jobs through it;
# the report page out/index.html shows the result.
demo: bootstrap
	cmake --preset native-release -B $(BUILD)/native-release >/dev/null
	cmake --build $(BUILD)/native-release -j $(JOBS) --target corvanta-filter corvanta-demo-report
	scripts/demo $(BUILD)

# The filter, the CUPS backend and the plug-ins, optimised: PREFIX/lib/corvanta,
# with links PREFIX/bin/corvanta-filter and CUPS_SERVERBIN/backend/corvanta.
PREFIX ?= /usr/local
CUPS_SERVERBIN ?= /usr/lib/cups
install: native-release
	DESTDIR="$(DESTDIR)" CORVANTA_CUPS_SERVERBIN="$(CUPS_SERVERBIN)" cmake --install $(BUILD)/native-release --prefix "$(PREFIX)"

# The same files under /usr as a Debian package in $(BUILD)/.
deb: native-release
	scripts/make-deb $(BUILD)/native-release $(BUILD)

clean:
	rm -rf $(BUILD) out
