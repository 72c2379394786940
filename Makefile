# Zanvel: `make run` builds and starts the program, `make test` runs the whole suite,
# `make bench` prints the benchmark table. Each installs the Debian packages that are missing.

BUILD       ?= build
TSAN_BUILD  ?= build-tsan
FUZZ_BUILD  ?= build-fuzz
BENCH_BUILD ?= build-bench
JOBS        ?= $(shell nproc)
# CI builds treat warnings as errors.
WERROR      ?= $(if $(CI),ON,OFF)
ZANVEL_ARGS ?=

.PHONY: all deps build run test test-unit test-tsan test-fuzz bench screenshots install package clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANVEL_WERROR=$(WERROR)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

# Declares Zanvel's signature as a MIME type of the user's desktop, so that other programs
# can start it by signature, then starts it.
run: build
	@mkdir -p $(HOME)/.local/share/applications $(HOME)/.local/share/icons/hicolor/256x256/apps
	@cp data/zanvel.png $(HOME)/.local/share/icons/hicolor/256x256/apps/zanvel.png
	@sed 's|^Exec=.*|Exec=$(CURDIR)/$(BUILD)/src/app/zanvel|; s|^TryExec=.*|TryExec=$(CURDIR)/$(BUILD)/src/app/zanvel|' \
	  data/zanvel.desktop > $(HOME)/.local/share/applications/zanvel.desktop
	-@update-desktop-database -q $(HOME)/.local/share/applications 2>/dev/null || true
	-@gio mime application/x-vnd.morl-Zanvel zanvel.desktop >/dev/null 2>&1 || true
	./$(BUILD)/src/app/zanvel $(ZANVEL_ARGS)

# The windows of a real run on the test pattern, as PNG files in docs/screenshots.
screenshots: build
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/src/app/zanvel-screenshots docs/screenshots

# Installs the programs, desktop file, icon, manual pages and documentation under PREFIX
# (DESTDIR works as usual).
PREFIX      ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the installed files, in $(BUILD).
package: build
	cd $(BUILD) && cpack -G DEB

# The sanitizer and fuzzing builds run first; the main suite's summary closes the output.
test: deps test-tsan test-fuzz test-unit

test-unit: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) --timeout 600

test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANVEL_SANITIZE=thread \
	  -DZANVEL_BUILD_APP=OFF -DZANVEL_BUILD_BENCH=OFF -DZANVEL_WERROR=$(WERROR)
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target tsan_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -L tsan

test-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANVEL_FUZZ=ON \
	  -DZANVEL_BUILD_APP=OFF -DZANVEL_BUILD_TESTS=OFF -DZANVEL_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS)
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -L fuzz

# The whole-program row runs the programs of $(BUILD), the build `make run` starts.
bench: deps build
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DZANVEL_BUILD_TESTS=OFF -DZANVEL_BUILD_APP=OFF \
	  -DZANVEL_RUN_BUILD=$(CURDIR)/$(BUILD)
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target benches
	bash bench/run $(BENCH_BUILD)

clean:
	rm -rf $(BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
