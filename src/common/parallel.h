// A small pool of worker threads for the engine and the codecs. Work is split into items that
// never depend on the order in which threads take them, so results are the same for any number
// of threads.
#pragma once

#include <functional>

// Calls AWork(i) for every i in [0, ACount), spread over the pool and the calling thread, and
// returns when all are done. The first exception thrown by an item is rethrown here.
void ParallelFor(int ACount, const std::function<void(int)>& AWork);

// The number of threads used, the calling one included: the machine's cores by default.
int WorkerThreads();
// 0 restores the default. For measurement and tests.
void SetWorkerThreads(int AThreads);
