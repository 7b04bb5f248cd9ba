# Trawlix: `make run` starts the program, `make test` runs the whole suite.
BUILD   ?= build
DEBS    := cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
           libjpeg62-turbo-dev libssl-dev libnghttp2-dev libgumbo-dev
SUDO    := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

PREFIX  ?= /usr/local

.PHONY: all deps configure build run test test-install install package bench sanitize screenshots clean

all: build

# Installs only what is missing; the package lists are refreshed only then.
deps:
	@missing=""; for p in $(DEBS) $(EXTRA_DEBS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display: Trawlix is a desktop program and needs an X11 or Wayland session (DISPLAY is not set)."; \
	  echo "For a headless look use: QT_QPA_PLATFORM=offscreen $(BUILD)/app/trawlix, or 'make screenshots'."; \
	  exit 1; \
	fi
	$(BUILD)/app/trawlix

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

# `make install PREFIX=~/.local` or `make install DESTDIR=/tmp/stage`.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack

# The installation and the .deb checked as a user gets them; the validators
# are installed where apt-get can, and their checks skipped where not.
test-install: build
	@$(MAKE) --no-print-directory deps EXTRA_DEBS="desktop-file-utils appstream dpkg-dev" \
	  || echo "The validators could not be installed: their checks are skipped."
	tests/install/check-install.sh $(BUILD)

bench: EXTRA_DEBS = curl wget wget2 nginx-light xvfb xauth
bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_extraction
	$(BUILD)/bench/bench_httpcli
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_runs
	@echo "The gallery again in a real window (X server of its own):"
	xvfb-run -a -s "-screen 0 1600x1000x24" env QT_QPA_PLATFORM=xcb $(BUILD)/bench/bench_runs gallery
	$(BUILD)/bench/bench_https
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_delayed
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_readers
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_sizecheck

sanitize:
	$(MAKE) test BUILD=build-asan CMAKE_ARGS="-DTRAWLIX_SANITIZE=ON -DTRAWLIX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug"

screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/app/trawlix_screenshots resources/screenshots

clean:
	rm -rf $(BUILD) build-asan
