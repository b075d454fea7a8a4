#include "parallel.h"

#include "platform.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class TPool {
public:
    static TPool& instance() {
        static TPool pool;
        return pool;
    }

    int threads() const { return FThreads.load(); }

    void setThreads(int AThreads) {
        const int hw = int(std::max(1u, std::thread::hardware_concurrency()));
        FThreads = AThreads > 0 ? std::min(AThreads, 256) : hw;
    }

    void run(int ACount, const std::function<void(int)>& AWork) {
        const int helpers = std::min(threads(), ACount) - 1;
        if (helpers <= 0) {
            runHere(ACount, AWork);
            return;
        }
        // One job at a time: nested or concurrent callers run serially inside the pool. The
        // workers, and the process that made them, are read and changed only under this lock.
        std::unique_lock<std::mutex> job(FJobMutex, std::try_to_lock);
        // A forked child has none of its parent's workers (and, if the parent was running a
        // job when it forked, finds this lock taken).
        if (!job.owns_lock() || (!FWorkers.empty() && FOwner != CurrentProcessId())) {
            runHere(ACount, AWork);
            return;
        }
        ensureWorkers(helpers);
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FWork = &AWork;
            FCount = ACount;
            FNext = 0;
            FHelpers = helpers;
            FActive = helpers;
            FError = nullptr;
            ++FGeneration;
        }
        FWake.notify_all();
        drain();
        std::unique_lock<std::mutex> lock(FMutex);
        FDone.wait(lock, [&] { return FActive == 0; });
        FWork = nullptr;
        if (FError)
            std::rethrow_exception(FError);
    }

private:
    TPool() { setThreads(0); }
    ~TPool() {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FQuit = true;
            ++FGeneration;
        }
        FWake.notify_all();
        for (std::thread& t : FWorkers)
            t.join();
    }

    static void runHere(int ACount, const std::function<void(int)>& AWork) {
        for (int i = 0; i < ACount; ++i)
            AWork(i);
    }

    // Under FJobMutex.
    void ensureWorkers(int AHelpers) {
        FOwner = CurrentProcessId();
        while (int(FWorkers.size()) < AHelpers)
            FWorkers.emplace_back([this, id = int(FWorkers.size())] { loop(id); });
    }

    // Takes items until none are left.
    void drain() {
        for (;;) {
            const int i = FNext.fetch_add(1);
            if (i >= FCount)
                return;
            try {
                (*FWork)(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(FMutex);
                if (!FError)
                    FError = std::current_exception();
                FNext = FCount; // stop handing out items
            }
        }
    }

    void loop(int AId) {
        uint64_t seen = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(FMutex);
                FWake.wait(lock, [&] { return FQuit || FGeneration != seen; });
                if (FQuit)
                    return;
                seen = FGeneration;
                if (AId >= FHelpers)
                    continue; // not needed for this job
            }
            drain();
            {
                std::lock_guard<std::mutex> lock(FMutex);
                --FActive;
            }
            FDone.notify_all();
        }
    }

    std::atomic<int> FThreads{1};
    long FOwner = 0;                   // under FJobMutex
    std::vector<std::thread> FWorkers; // under FJobMutex
    std::mutex FJobMutex, FMutex;
    std::condition_variable FWake, FDone;
    const std::function<void(int)>* FWork = nullptr;
    int FCount = 0;
    std::atomic<int> FNext{0};
    int FHelpers = 0; // workers taking part in the current job
    int FActive = 0;  // of those, the ones still working
    uint64_t FGeneration = 0;
    bool FQuit = false;
    std::exception_ptr FError;
};

} // namespace

void ParallelFor(int ACount, const std::function<void(int)>& AWork) {
    TPool::instance().run(ACount, AWork);
}

int WorkerThreads() {
    return TPool::instance().threads();
}

void SetWorkerThreads(int AThreads) {
    TPool::instance().setThreads(AThreads);
}
