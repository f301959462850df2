# The whole set-up on a fresh Debian 12 machine: `make run` or `make test`.
PRESET ?= dev
BUILD_DIR := build/$(PRESET)

.PHONY: run test demo gallery build deps

run: build
	$(BUILD_DIR)/bin/plimsy

test: build
	scripts/test $(BUILD_DIR)

demo: build
	scripts/demo $(BUILD_DIR)

gallery: build
	scripts/gallery $(BUILD_DIR)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build --preset $(PRESET)

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja: | deps
	cmake --preset $(PRESET)
