# The two set-up commands: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build run test clean

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	mkdir -p data
	$(BUILD)/tavobook serve --listen 127.0.0.1:8080 --db ./data/tavobook.db

# The browser suite runs last, once the unit and server tests have passed.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -E '^e2e$$'
	cd $(BUILD) && ctest --output-on-failure -R '^e2e$$'

clean:
	rm -rf $(BUILD)
