# make test: set up the machine, build, run every test under Wine.
# make demo: set up, build, record a demo window end to end.
.PHONY: setup build test demo clean

setup:
	@bash scripts/setup

build: setup
	scripts/build

test: build
	scripts/run-tests build/$$(scripts/test-arch) $$(scripts/test-arch)

demo: build
	scripts/demo build/$$(scripts/test-arch) $$(scripts/test-arch)

clean:
	-scripts/wine-rig down build/$$(scripts/test-arch) $$(scripts/test-arch)
	rm -rf build out
