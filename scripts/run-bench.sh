#!/usr/bin/env bash
# Runs the benchmarks of a build folder and prints their figures and the targets' verdicts.
# Usage: scripts/run-bench.sh BUILD_DIR [extra Google Benchmark flags]
# BL_BENCH_RECORDS and BL_BENCH_SYNC_RECORDS shrink the run (see bench/bench_table.cpp).
set -euo pipefail

BUILD="${1:?usage: $0 BUILD_DIR}"
shift
BIN="$BUILD/bench/bench_table"
if [ ! -x "$BIN" ]; then
  echo "no benchmarks in $BUILD: Google Benchmark (libbenchmark-dev) was not found at configure time" >&2
  exit 1
fi

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "(other load on the machine disturbs these figures)"
"$BIN" --benchmark_counters_tabular=true "$@"
# The list window (needs the windows library; absent in builds without it).
if [ -x "$BUILD/bench/bench_procura" ]; then
  echo
  QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BUILD/bench/bench_procura" --benchmark_counters_tabular=true "$@"
fi
# The list window's booking-number search against the engine's locate.
if [ -x "$BUILD/bench/bench_procura_search" ]; then
  echo
  QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BUILD/bench/bench_procura_search" "$@"
fi
# The grid's cell texts: its own text painter against QPainter.
if [ -x "$BUILD/bench/bench_gridtext" ]; then
  echo
  QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BUILD/bench/bench_gridtext" "$@"
fi
# The transfer window: a transfer against a plain engine append, and opening it over a big register.
if [ -x "$BUILD/bench/bench_transfer" ]; then
  echo
  QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BUILD/bench/bench_transfer" "$@"
fi
# What power safety costs: flushed post, delete and transfer, and the unflushed append.
if [ -x "$BUILD/bench/bench_durability" ]; then
  echo
  "$BUILD/bench/bench_durability" --benchmark_counters_tabular=true "$@"
fi
# The printed B/L through the report engine (needs the print library).
if [ -x "$BUILD/bench/bench_report" ]; then
  echo
  QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BUILD/bench/bench_report" "$@"
fi
