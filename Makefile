# The commands of the README. Both install what is missing (Debian, as root) and build first.
.PHONY: run test bench soak look dist build clean

BUILD_DIR ?= build

run:
	BUILD_DIR=$(BUILD_DIR) scripts/run.sh

test:
	BUILD_DIR=$(BUILD_DIR) scripts/test.sh

bench:
	BUILD_DIR=$(BUILD_DIR) scripts/benchmark.sh

soak:
	BUILD_DIR=$(BUILD_DIR) scripts/soak.sh

look:
	BUILD_DIR=$(BUILD_DIR) scripts/look.sh

dist:
	BUILD_DIR=$(BUILD_DIR) scripts/dist.sh

build:
	scripts/deps.sh
	scripts/build.sh $(BUILD_DIR)

clean:
	scripts/bench.sh stop $(BUILD_DIR)
	rm -rf $(BUILD_DIR)
