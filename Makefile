# The two set-up commands: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test sanitize-build sanitize fuzz bench clean

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The site's port and store: `make run PORT=8090 STORE=/srv/tavobook.db`.
PORT ?= 8080
STORE ?= ./var/tavobook.db

# The site needs only its executable and its own packages, not the tests. The
# build's output goes to a log, shown only when the build fails, so that the
# server's first lines (the admin password among them) stand alone.
run:
	@scripts/install-deps --run
	@mkdir -p $(BUILD)
	@echo "building $(BUILD)/tavobook (output in $(BUILD)/make-run.log)"
	@{ cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release && \
	  cmake --build $(BUILD) -j $(JOBS) --target tavobook; } >$(BUILD)/make-run.log 2>&1 || \
	  { cat $(BUILD)/make-run.log; echo "make run: the build failed" >&2; exit 1; }
	@if [ "$(STORE)" = ./var/tavobook.db ]; then scripts/move-old-store; fi
	@echo
	@echo "TavoBook: open http://127.0.0.1:$(PORT)/ in a browser (Ctrl-C stops the site)."
	@echo "The store: $(STORE). On its first start the site creates the superuser \"admin\""
	@echo "and prints the password below, once only: log in with it at"
	@echo "http://127.0.0.1:$(PORT)/admin.asp and change it at once on the menu's"
	@echo "password page (用户密码、电子邮件修改)."
	@echo
	@$(BUILD)/tavobook serve --listen 127.0.0.1:$(PORT) --db $(STORE)

# The browser suite runs once the unit and server tests have passed; the
# soak and fault tests of the running server follow; then the unit and server
# tests again under AddressSanitizer and UndefinedBehaviorSanitizer, and each
# fuzz target for 20 s.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -E '^e2e$$' -LE '^soak$$'
	cd $(BUILD) && ctest --output-on-failure -R '^e2e$$'
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L '^soak$$'
	$(MAKE) --no-print-directory sanitize
	fuzz/run $(SANITIZE_BUILD) 20

# The checking build: clang with both sanitizers (and libFuzzer's coverage, for
# the fuzz targets), asserts on; any sanitizer report fails the test.
SANITIZE_BUILD = $(BUILD)/sanitize
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

sanitize-build: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DTB_SANITIZE=ON \
		-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
		-DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=16 >/dev/null
	$(SANITIZE_ENV) cmake --build $(SANITIZE_BUILD) -j $(JOBS)

sanitize: sanitize-build
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS) \
		-E '^(e2e|headers)$$' -LE '^soak$$'

# The fuzz targets alone, FUZZ_SECONDS each (two at a time), or only
# FUZZ_TARGET: FUZZ_SECONDS=600 FUZZ_TARGET=ubb_html make fuzz
FUZZ_SECONDS ?= 600
fuzz: sanitize-build
	fuzz/run $(SANITIZE_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGET)

# The load benchmark against nginx and the micro-benchmarks (bench/run);
# BENCH_SECONDS and BENCH_ROUNDS shorten or lengthen it.
bench: deps
	bench/run

clean:
	rm -rf $(BUILD)
