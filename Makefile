# make test: set up the machine, build, run every test under Wine.
# make demo: set up, build, record a demo window end to end.
SHELL := /bin/bash
TEST_ARCH := $(shell scripts/test-arch)
SHIP := build/i686
TREE := build/$(TEST_ARCH)
ifeq ($(TEST_ARCH),i686)
SHIP_TESTS := ON
else
SHIP_TESTS := OFF
endif

.PHONY: setup build test demo clean

setup:
	@bash scripts/setup

build: setup
	cmake -S . -B $(SHIP) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DBRIDGE_TESTS=$(SHIP_TESTS) >/dev/null
	cmake --build $(SHIP) -j2
	scripts/check-binary $(SHIP)/bin/LUMARO_ScreenRecBridge.exe
ifneq ($(TEST_ARCH),i686)
	cmake -S . -B $(TREE) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$(TEST_ARCH).cmake >/dev/null
	cmake --build $(TREE) -j2
endif

test: build
	scripts/run-tests $(TREE) $(TEST_ARCH)

demo: build
	scripts/demo $(TREE) $(TEST_ARCH)

clean:
	-scripts/wine-rig down $(TREE) $(TEST_ARCH)
	rm -rf build out
