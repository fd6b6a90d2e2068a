#ifndef DEVKIT_APPS_BENCH_POLLS_DURING_SCANS_H_
#define DEVKIT_APPS_BENCH_POLLS_DURING_SCANS_H_

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/scoped_handles.h"
#include "devkit/app_api/app_interface.h"
#include "devkit/apps/bench/bench_options.h"
#include "devkit/apps/bench/bench_results.h"

namespace devkit {

// The scan mode: whether a long call holds up the host's other calls. One thread of the
// application makes the scan ("listApps", or "getIcons" of the harness's items) once unmeasured,
// then again and again, each followed by a pause as long as it took; a second thread sends
// "getIdleSeconds" every 5 ms, whether or not the one before was answered, as a UI application's
// timer would, and times each as the round trips mode does. A poll that was in flight at any
// moment of a scan counts as during the scan, the others as without one: the two sets cover
// stretches of equal length. Every reply is checked, each call answered exactly once, each poll
// with whole seconds, each scan with all it was asked for, so that a host answering wrongly or
// sparingly cannot give a figure.
class PollsDuringScans {
 public:
  // Starts both threads at once; their calls wait in the engine's queue until the host's message
  // loop runs. Null, with |error| set, when the items cannot be read.
  static std::unique_ptr<PollsDuringScans> Start(const KeeloPeerInterface& peer,
                                                 const BenchOptions& options, std::string* error);
  // Ends both threads; a report not yet written is never written.
  ~PollsDuringScans();

  PollsDuringScans(const PollsDuringScans&) = delete;
  PollsDuringScans& operator=(const PollsDuringScans&) = delete;

 private:
  // The replies of one kind of call: how many came, and the event that says another did.
  struct Answers {
    std::atomic<size_t> count{0};
    ScopedHandle arrived{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  };
  // One call, its reply filled on the UI thread and read by its sender once |filled| says so.
  struct Call {
    explicit Call(Answers* answers) : answers(answers) {}
    Answers* const answers;
    LARGE_INTEGER sent{};
    LARGE_INTEGER replied{};
    std::atomic<int> replies{0};
    // The first reply's time and bytes are in place.
    std::atomic<bool> filled{false};
    std::vector<uint8_t> bytes;
  };

  PollsDuringScans(const KeeloPeerInterface& peer, const BenchOptions& options,
                   std::vector<std::string> items);

  static void OnReply(const uint8_t* data, size_t size, void* user_data);
  // Sends |message| as |call|; false, with |error| set, when the engine refuses it.
  bool Send(const std::vector<uint8_t>& message, Call& call, std::string* error);
  // Waits until |answers| counts |expected| replies; false when the application stops (|stopped_|)
  // or the time runs out (|error| set).
  bool WaitForAnswers(const Answers& answers, size_t expected, DWORD timeout_ms,
                      std::string* error);
  void RunScans();
  void RunPolls();
  // One scan, sent and answered; false as WaitForAnswers.
  bool Scan();
  void Report(int64_t measured_from);
  void Check(BenchResults* results) const;

  const KeeloPeerInterface peer_;
  const BenchOptions options_;
  // For "listApps" the executables every catalogue must hold; for "getIcons" the items asked for.
  const std::vector<std::string> items_;
  const std::vector<uint8_t> scan_message_;
  const std::vector<uint8_t> poll_message_;
  LARGE_INTEGER frequency_{};
  // Manual-reset: the application stops.
  ScopedHandle stop_;
  // Manual-reset: the scans are over, and so are the polls.
  ScopedHandle polls_end_;
  std::atomic<bool> stopped_{false};
  Answers scan_answers_;
  Answers poll_answers_;
  // Appended to by their own thread only; a deque, so that a reply on the UI thread still finds
  // its call while later ones are added.
  std::deque<Call> scans_;
  std::deque<Call> polls_;
  std::string scan_error_;
  // Written by the polling thread, read once it has ended.
  std::string poll_error_;
  std::thread thread_;
};

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_POLLS_DURING_SCANS_H_
