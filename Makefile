# The two set-up commands: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test bench clean

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The site needs only its executable, not the tests.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target tavobook
	mkdir -p data
	@echo
	@echo "TavoBook: open http://127.0.0.1:8080/ in a browser (Ctrl-C stops the site)."
	@echo "On its first start the site creates the superuser \"admin\" and prints the"
	@echo "password below, once only: log in with it at http://127.0.0.1:8080/admin.asp"
	@echo "and change it at once on the menu's password page (用户密码、电子邮件修改)."
	@echo
	$(BUILD)/tavobook serve --listen 127.0.0.1:8080 --db ./data/tavobook.db

# The browser suite runs once the unit and server tests have passed; the
# soak and fault tests of the running server come last.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -E '^e2e$$' -LE '^soak$$'
	cd $(BUILD) && ctest --output-on-failure -R '^e2e$$'
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L '^soak$$'

# The load benchmark against nginx and the micro-benchmarks (bench/run);
# BENCH_SECONDS and BENCH_ROUNDS shorten or lengthen it.
bench: deps
	bench/run

clean:
	rm -rf $(BUILD)
