#include "devkit/apps/bench/polls_during_scans.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "devkit/apps/bench/items_file.h"
#include "devkit/apps/bench/latency_summary.h"
#include "devkit/apps/bench/reply_checks.h"
#include "devkit/apps/bench/report_file.h"
#include "devkit/apps/bench/scan_timeline.h"
#include "devkit/driver/protocol/method_envelopes.h"
#include "messaging/encodable_value.h"

namespace devkit {
namespace {

constexpr LONG kPollPeriodMs = 5;
constexpr int kIconSize = 96;
// Generous: a scan takes a quarter of a second under Wine on a good day, five times that on a
// busy one.
constexpr DWORD kScanTimeoutMs = 60000;
// For the last polls, sent just before the end, to be answered.
constexpr DWORD kLastPollsTimeoutMs = 5000;

std::vector<uint8_t> ScanMessage(const std::string& method, const std::vector<std::string>& items) {
  if (method != "getIcons") return EncodeMethodCall(method);
  flutter::EncodableMap paths;
  for (size_t i = 0; i < items.size(); ++i) {
    paths[flutter::EncodableValue(static_cast<int32_t>(i))] = flutter::EncodableValue(items[i]);
  }
  return EncodeMethodCall(method, flutter::EncodableValue(flutter::EncodableMap{
                                      {"size", kIconSize}, {"items", std::move(paths)}}));
}

double Microseconds(LONGLONG ticks, const LARGE_INTEGER& frequency) {
  return static_cast<double>(ticks) * 1e6 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

std::unique_ptr<PollsDuringScans> PollsDuringScans::Start(const KeeloPeerInterface& peer,
                                                          const BenchOptions& options,
                                                          std::string* error) {
  std::optional<std::vector<std::string>> items = ReadItemsFile(options.items);
  if (!items) {
    *error = "cannot read the scan's items from \"" + options.items + "\"";
    return nullptr;
  }
  return std::unique_ptr<PollsDuringScans>(new PollsDuringScans(peer, options, std::move(*items)));
}

PollsDuringScans::PollsDuringScans(const KeeloPeerInterface& peer, const BenchOptions& options,
                                   std::vector<std::string> items)
    : peer_(peer),
      options_(options),
      items_(std::move(items)),
      scan_message_(ScanMessage(options.scan_method, items_)),
      poll_message_(EncodeMethodCall("getIdleSeconds")),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      polls_end_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  QueryPerformanceFrequency(&frequency_);
  thread_ = std::thread(&PollsDuringScans::RunScans, this);
}

PollsDuringScans::~PollsDuringScans() {
  SetEvent(stop_.get());
  if (thread_.joinable()) thread_.join();
}

void PollsDuringScans::OnReply(const uint8_t* data, size_t size, void* user_data) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  auto* call = static_cast<Call*>(user_data);
  if (call->replies.fetch_add(1) != 0) return;
  call->replied = now;
  if (data != nullptr) call->bytes.assign(data, data + size);
  call->filled = true;
  call->answers->count.fetch_add(1);
  SetEvent(call->answers->arrived.get());
}

bool PollsDuringScans::Send(const std::vector<uint8_t>& message, Call& call, std::string* error) {
  QueryPerformanceCounter(&call.sent);
  if (peer_.send_with_reply(peer_.context, options_.channel.c_str(), message.data(), message.size(),
                            &PollsDuringScans::OnReply, &call)) {
    return true;
  }
  *error = "the engine refused a call on " + options_.channel;
  return false;
}

bool PollsDuringScans::WaitForAnswers(const Answers& answers, size_t expected, DWORD timeout_ms,
                                      std::string* error) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  while (answers.count.load() < expected) {
    const ULONGLONG now = GetTickCount64();
    const HANDLE events[] = {answers.arrived.get(), stop_.get()};
    const DWORD waited = WaitForMultipleObjects(
        2, events, FALSE, now < deadline ? static_cast<DWORD>(deadline - now) : 0);
    if (waited == WAIT_OBJECT_0 + 1) {
      stopped_ = true;
      return false;
    }
    if (waited != WAIT_OBJECT_0 && answers.count.load() < expected) {
      *error = std::to_string(expected - answers.count.load()) + " of " + std::to_string(expected) +
               " calls got no reply within " + std::to_string(timeout_ms) + " ms";
      return false;
    }
  }
  return true;
}

bool PollsDuringScans::Scan() {
  Call& scan = scans_.emplace_back(&scan_answers_);
  return Send(scan_message_, scan, &scan_error_) &&
         WaitForAnswers(scan_answers_, scans_.size(), kScanTimeoutMs, &scan_error_);
}

void PollsDuringScans::RunScans() {
  std::thread polls(&PollsDuringScans::RunPolls, this);
  // The first scan starts the host's shell worker and pages its code in; what it does to the
  // polls is not counted, nor is it.
  bool going = Scan();
  const int64_t measured_from = going ? scans_.back().replied.QuadPart : 0;
  for (size_t i = 0; going && i < options_.scans; ++i) {
    going = Scan();
    if (!going) break;
    const Call& scan = scans_.back();
    const auto pause_ms = static_cast<DWORD>(
        Microseconds(scan.replied.QuadPart - scan.sent.QuadPart, frequency_) / 1000.0);
    if (WaitForSingleObject(stop_.get(), pause_ms) == WAIT_OBJECT_0) stopped_ = true;
    going = !stopped_;
  }
  SetEvent(polls_end_.get());
  polls.join();
  if (stopped_) return;
  Report(measured_from);
}

void PollsDuringScans::RunPolls() {
  const ScopedHandle timer(CreateWaitableTimerW(nullptr, FALSE, nullptr));
  LARGE_INTEGER due;
  due.QuadPart = 0;
  if (!timer || !SetWaitableTimer(timer.get(), &due, kPollPeriodMs, nullptr, nullptr, FALSE)) {
    poll_error_ = "cannot make the polls' timer (error " + std::to_string(GetLastError()) + ")";
    return;
  }
  // A tick missed while this thread did not run is not made up for: an auto-reset timer stays
  // signalled once, however many periods went by.
  const HANDLE events[] = {timer.get(), polls_end_.get(), stop_.get()};
  for (;;) {
    const DWORD waited = WaitForMultipleObjects(3, events, FALSE, INFINITE);
    if (waited == WAIT_OBJECT_0 + 2) {
      stopped_ = true;
      return;
    }
    if (waited != WAIT_OBJECT_0) break;
    if (!Send(poll_message_, polls_.emplace_back(&poll_answers_), &poll_error_)) return;
  }
  CancelWaitableTimer(timer.get());
  WaitForAnswers(poll_answers_, polls_.size(), kLastPollsTimeoutMs, &poll_error_);
}

void PollsDuringScans::Report(int64_t measured_from) {
  std::vector<CallSpan> polls;
  // How far apart the polls went out, which a busy machine may stretch beyond the period.
  std::vector<double> poll_gaps_us;
  for (size_t i = 0; i < polls_.size(); ++i) {
    const Call& poll = polls_[i];
    if (poll.filled.load()) polls.push_back({poll.sent.QuadPart, poll.replied.QuadPart});
    if (i > 0 && poll.sent.QuadPart >= measured_from) {
      poll_gaps_us.push_back(
          Microseconds(poll.sent.QuadPart - polls_[i - 1].sent.QuadPart, frequency_));
    }
  }
  // The warm-up scan is left out of the spans as well: only polls after its reply count.
  std::vector<CallSpan> scans;
  std::vector<double> scan_us;
  for (size_t i = 1; i < scans_.size(); ++i) {
    const Call& scan = scans_[i];
    if (!scan.filled.load()) continue;
    scans.push_back({scan.sent.QuadPart, scan.replied.QuadPart});
    scan_us.push_back(Microseconds(scan.replied.QuadPart - scan.sent.QuadPart, frequency_));
  }
  const RoundTripsBySpan split =
      SplitPollsByScans(polls, scans, measured_from, frequency_.QuadPart);

  BenchResults results;
  results.Add("scan_method", options_.scan_method);
  results.Add("scans", std::to_string(options_.scans));
  results.Add("items", std::to_string(items_.size()));
  results.Add("poll_period_ms", std::to_string(kPollPeriodMs));
  for (const std::string* error : {&scan_error_, &poll_error_}) {
    if (!error->empty()) results.Add("error", *error);
  }
  Check(&results);
  results.Add("during_count", std::to_string(split.during_scan_us.size()));
  results.Add("without_count", std::to_string(split.without_scan_us.size()));
  AddLatencySummary("during", split.during_scan_us, &results);
  AddLatencySummary("without", split.without_scan_us, &results);
  AddLatencySummary("scan", scan_us, &results);
  AddLatencySummary("poll_gap", poll_gaps_us, &results);
  if (!WriteReportFile(options_.out, results)) {
    std::fprintf(stderr, "bench app: cannot write the report to %s\n", options_.out.c_str());
  }
}

void PollsDuringScans::Check(BenchResults* results) const {
  size_t scans_ok = 0;
  size_t polls_ok = 0;
  size_t not_once = 0;
  size_t malformed = 0;
  const auto check = [&](const Call& call, const auto& well_formed, size_t& ok) {
    // A reply still being filled in came after its wait ran out: not in time, so not once.
    if (call.replies.load() != 1 || !call.filled.load()) {
      ++not_once;
    } else if (!well_formed(call.bytes)) {
      ++malformed;
    } else {
      ++ok;
    }
  };
  const auto is_scan_reply = [this](const Bytes& bytes) {
    return options_.scan_method == "getIcons" ? IsIconsReply(bytes, items_.size(), kIconSize)
                                              : IsCatalogueReply(bytes, items_);
  };
  for (const Call& scan : scans_) check(scan, is_scan_reply, scans_ok);
  for (const Call& poll : polls_) check(poll, IsIdleSecondsReply, polls_ok);
  // The warm-up scan is planned and checked too.
  results->Add("scans_planned", std::to_string(options_.scans + 1));
  results->Add("scans_made", std::to_string(scans_.size()));
  results->Add("scans_ok", std::to_string(scans_ok));
  results->Add("polls_made", std::to_string(polls_.size()));
  results->Add("polls_ok", std::to_string(polls_ok));
  results->Add("replies_not_once", std::to_string(not_once));
  results->Add("replies_malformed", std::to_string(malformed));
}

}  // namespace devkit
