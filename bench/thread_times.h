#ifndef BENCH_THREAD_TIMES_H_
#define BENCH_THREAD_TIMES_H_

#include <windows.h>

namespace keelo::bench {

// The user and kernel time, in milliseconds, of the threads process |process_id| has now;
// negative when its threads cannot be listed. Wine 8 answers GetProcessTimes for another process
// with a constant, but each thread's times for real (from the kernel's per-thread counters, in
// 10 ms ticks), so the sum over the threads is what another process can learn. Threads that
// already ended are not in it.
double ThreadsCpuMilliseconds(DWORD process_id);

}  // namespace keelo::bench

#endif  // BENCH_THREAD_TIMES_H_
