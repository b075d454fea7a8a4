// The maker options' figures for vorm-bench's summary (bench_maker.cpp).
#pragma once

// Takes --photo=FILE, --maker-runs=N and --maker-only; false for any other argument.
bool MakerFlag(const char* AArg);
// --maker-only: the maker figures alone.
bool MakerOnly();
void MakerSummary();
