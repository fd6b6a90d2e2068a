#ifndef DEVKIT_APPS_BENCH_ROUND_TRIPS_H_
#define DEVKIT_APPS_BENCH_ROUND_TRIPS_H_

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/scoped_handles.h"
#include "devkit/app_api/app_interface.h"
#include "devkit/apps/bench/bench_options.h"
#include "devkit/apps/bench/bench_results.h"

namespace devkit {

// Times "getIdleSeconds" on the host's desktop channel against the floor: the same message on a
// channel the host has no handler for. The engine answers that one itself with the empty reply,
// but from the same place and by the same way as a handler would: the message is a task on the
// UI thread, the reply another task back. So the floor is two task hops with no host work, and
// the difference is what the host adds. Calls go one after another from a thread of the
// application, as a real UI application's isolate would make them, in alternating blocks of the
// two kinds so that both see the same machine. Each call is timed from just before it is sent to
// the moment its reply function starts on the UI thread.
class RoundTrips {
 public:
  // Starts the calling thread at once; the calls wait in the engine's queue until the host's
  // message loop runs.
  RoundTrips(const KeeloPeerInterface& peer, const BenchOptions& options);
  // Ends the thread; a report not yet written is never written.
  ~RoundTrips();

  RoundTrips(const RoundTrips&) = delete;
  RoundTrips& operator=(const RoundTrips&) = delete;

 private:
  // One call's reply, filled on the UI thread and read by the calling thread once |arrived| is
  // signalled (which orders the two).
  struct Reply {
    RoundTrips* owner = nullptr;
    LARGE_INTEGER received{};
    std::atomic<int> count{0};
    std::vector<uint8_t> bytes;
  };
  enum class Kind { kHost, kFloor };

  static void OnReply(const uint8_t* data, size_t size, void* user_data);
  void Run();
  // Sends the next call and waits for its reply; its time in microseconds, or a negative value
  // with |error_| set when the reply did not come, or |stopped_| when the application stops.
  double Call(Kind kind);
  // Adds, for every call made, whether it had exactly one well-formed reply.
  void Check(BenchResults* results) const;

  const KeeloPeerInterface peer_;
  const BenchOptions options_;
  const std::string floor_channel_;
  const std::vector<uint8_t> message_;
  ScopedHandle arrived_;
  ScopedHandle stop_;
  LARGE_INTEGER frequency_{};
  // Every call's slot, made before the first call, so that a late or doubled reply still finds
  // its own.
  std::unique_ptr<Reply[]> replies_;
  std::vector<Kind> kinds_;
  size_t next_ = 0;
  std::string error_;
  bool stopped_ = false;
  std::thread thread_;
};

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_ROUND_TRIPS_H_
