#ifndef DEVKIT_APPS_BENCH_IDLE_WATCH_H_
#define DEVKIT_APPS_BENCH_IDLE_WATCH_H_

#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "common/scoped_handles.h"
#include "devkit/apps/bench/bench_options.h"
#include "devkit/apps/bench/message_census.h"

namespace devkit {

// The idle mode: the application makes no call at all, and counts the UI thread's wake-ups
// between the harness's two events (<control>-start and <control>-stop). Its own thread only
// waits for those, so it wakes nothing on the UI thread.
class IdleWatch {
 public:
  // On the UI thread, which is the one the census watches. Null, with |error| set, when the
  // events or the hook are missing.
  static std::unique_ptr<IdleWatch> Start(const BenchOptions& options, std::string* error);
  ~IdleWatch();

  IdleWatch(const IdleWatch&) = delete;
  IdleWatch& operator=(const IdleWatch&) = delete;

 private:
  IdleWatch() = default;
  void Run();

  std::string out_;
  std::unique_ptr<MessageCensus> census_;
  ScopedHandle start_;
  ScopedHandle stop_;
  ScopedHandle quit_;
  std::thread thread_;
};

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_IDLE_WATCH_H_
