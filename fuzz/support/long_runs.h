// Long inputs from short ones, so that the fuzzers reach the 64 KiB line
// limits without mutating huge files: in the input, the byte FE, a count n
// (1..255) and a filler byte stand for the filler repeated n * 512 times;
// FE followed by 00 stands for FE itself. An FE too near the end is kept.
// Runs are for long lines, not for many: a run of LF is one LF. Runs stop
// growing the text at kMaxExpandedBytes. Both keep every run quick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr unsigned char kRunMark = 0xFE;
constexpr size_t kRunUnit = 512;
// Room for one line past the 64 KiB limits and more, while every buffer
// stays small enough for the sanitizer's ordinary allocator (larger ones
// are mapped and unmapped each run, which is slow).
constexpr size_t kMaxExpandedBytes = 120 * 1024;

std::string ExpandRuns(const uint8_t* data, size_t size);
