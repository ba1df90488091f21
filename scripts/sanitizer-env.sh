# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced from the project's top folder by the sanitizer and fuzz scripts:
# every sanitizer finding ends the program with a report; leaks are reported
# except those that scripts/lsan-suppressions.txt lists (system libraries
# only, each with its reason).
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$(pwd)/scripts/lsan-suppressions.txt:print_suppressions=0"
