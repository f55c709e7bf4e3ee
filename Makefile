# make test:      set up the machine, build, run every test under Wine in this
#                 machine's lane (scripts/lane; LUMARO_LANE forces one): the shipped
#                 32-bit programs wherever 32-bit code can run or be emulated
# make test-x64:  the same suite on a 64-bit build of the same sources
# make demo:      set up, build, record a demo window end to end
# make dist:      set up, build the Windows package dist/lumaro-bridge-VERSION-win32.zip
.PHONY: setup build test test-x64 demo dist clean

setup:
	@bash scripts/setup

build: setup
	scripts/build

test: build
	arch=$$(scripts/lane arch) && scripts/run-tests build/$$arch $$arch

test-x64: setup
	scripts/build x86_64
	scripts/run-tests build/x86_64 x86_64

demo: build
	arch=$$(scripts/lane arch) && scripts/demo build/$$arch $$arch

dist:
	@bash scripts/setup packages
	scripts/dist

clean:
	rm -rf build out dist
