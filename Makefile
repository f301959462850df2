# The whole set-up on a fresh Debian 12 machine: `make run` or `make test`.
PRESET ?= dev
BUILD_DIR := build/$(PRESET)
# What users run is the optimised build; tests and the demo keep the development build.
RUN_PRESET ?= release

.PHONY: run test demo gallery build deps install fuzz

run:
	@$(MAKE) --no-print-directory build PRESET=$(RUN_PRESET)
	build/$(RUN_PRESET)/bin/plimsy

test: build
	scripts/test $(BUILD_DIR)

demo: build
	scripts/demo $(BUILD_DIR)

gallery: build
	scripts/gallery $(BUILD_DIR)

# Installs Plimsy for the current user (program, desktop entry, icon) and makes it the handler of
# plimsy:// links, which the browser sign-in returns to.
PREFIX ?= $(HOME)/.local
install:
	@$(MAKE) --no-print-directory build PRESET=$(RUN_PRESET)
	install -d $(PREFIX)/bin $(PREFIX)/lib/plimsy
	rm -f $(PREFIX)/bin/plimsy $(PREFIX)/lib/plimsy/libplimsy_webengine.so
	objcopy --strip-debug build/$(RUN_PRESET)/bin/plimsy $(PREFIX)/bin/plimsy
	objcopy --strip-debug build/$(RUN_PRESET)/lib/plimsy/libplimsy_webengine.so $(PREFIX)/lib/plimsy/libplimsy_webengine.so
	chmod 755 $(PREFIX)/bin/plimsy $(PREFIX)/lib/plimsy/libplimsy_webengine.so
	rm -rf $(PREFIX)/share/plimsy/editor
	mkdir -p $(PREFIX)/share/plimsy
	cp -R build/$(RUN_PRESET)/share/plimsy/editor $(PREFIX)/share/plimsy/editor
	sed 's|^Exec=plimsy |Exec=$(PREFIX)/bin/plimsy |' resources/com.tindrel.Plimsy.desktop \
		| install -Dm644 /dev/stdin $(PREFIX)/share/applications/com.tindrel.Plimsy.desktop
	install -Dm644 resources/images/AppIcon.svg $(PREFIX)/share/icons/hicolor/scalable/apps/com.tindrel.Plimsy.svg
	for side in 16 22 24 32 48 64 128 256; do \
		install -Dm644 build/$(RUN_PRESET)/share/icons/hicolor/$${side}x$${side}/apps/com.tindrel.Plimsy.png \
			$(PREFIX)/share/icons/hicolor/$${side}x$${side}/apps/com.tindrel.Plimsy.png || exit 1; \
	done
	rm -f $(PREFIX)/share/icons/hicolor/scalable/status/plimsy-*-symbolic.svg
	install -Dm644 -t $(PREFIX)/share/plimsy/icons/hicolor resources/icons/hicolor/index.theme
	install -Dm644 -t $(PREFIX)/share/plimsy/icons/hicolor/scalable/status resources/icons/hicolor/scalable/status/*.svg
	xdg-mime default com.tindrel.Plimsy.desktop x-scheme-handler/plimsy

# Every reader of untrusted bytes under libFuzzer, FUZZ_SECONDS (default 60) per target; see scripts/fuzz.
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps --fuzz
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz

build: deps $(BUILD_DIR)/build.ninja
	cmake --build --preset $(PRESET)

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja: | deps
	cmake --preset $(PRESET)
