#include "devkit/apps/bench/round_trips.h"

#include <algorithm>
#include <cstdio>

#include "devkit/apps/bench/latency_summary.h"
#include "devkit/apps/bench/reply_checks.h"
#include "devkit/apps/bench/report_file.h"
#include "devkit/driver/protocol/method_envelopes.h"

namespace devkit {
namespace {

// Unmeasured calls of each kind first: the first ones pay for the host's and the engine's
// first-time work (code paged in, the codec's and the channel's allocations).
constexpr size_t kWarmUpCalls = 200;
constexpr size_t kBlockCalls = 100;
constexpr DWORD kReplyTimeoutMs = 5000;
// The floor's channel: the bridge registers nothing under it.
constexpr char kFloorSuffix[] = "/bench-no-handler";

}  // namespace

RoundTrips::RoundTrips(const KeeloPeerInterface& peer, const BenchOptions& options)
    : peer_(peer),
      options_(options),
      floor_channel_(options.channel + kFloorSuffix),
      message_(EncodeMethodCall("getIdleSeconds")),
      arrived_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  QueryPerformanceFrequency(&frequency_);
  // The warm-up, the measured calls in alternating blocks, and one last floor call after which
  // any doubled reply would have arrived, since the engine runs its tasks in order.
  for (size_t i = 0; i < kWarmUpCalls; ++i) {
    kinds_.push_back(Kind::kHost);
    kinds_.push_back(Kind::kFloor);
  }
  for (size_t done = 0, block = 0; done < options_.calls; done += kBlockCalls, ++block) {
    const size_t count = std::min(kBlockCalls, options_.calls - done);
    const Kind first = block % 2 == 0 ? Kind::kHost : Kind::kFloor;
    const Kind second = first == Kind::kHost ? Kind::kFloor : Kind::kHost;
    kinds_.insert(kinds_.end(), count, first);
    kinds_.insert(kinds_.end(), count, second);
  }
  kinds_.push_back(Kind::kFloor);
  replies_ = std::make_unique<Reply[]>(kinds_.size());
  for (size_t i = 0; i < kinds_.size(); ++i) replies_[i].owner = this;
  thread_ = std::thread(&RoundTrips::Run, this);
}

RoundTrips::~RoundTrips() {
  SetEvent(stop_.get());
  if (thread_.joinable()) thread_.join();
}

void RoundTrips::OnReply(const uint8_t* data, size_t size, void* user_data) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  auto* reply = static_cast<Reply*>(user_data);
  if (reply->count.fetch_add(1) != 0) return;
  reply->received = now;
  if (data != nullptr) reply->bytes.assign(data, data + size);
  SetEvent(reply->owner->arrived_.get());
}

double RoundTrips::Call(Kind kind) {
  Reply& reply = replies_[next_];
  const std::string& channel = kind == Kind::kHost ? options_.channel : floor_channel_;
  LARGE_INTEGER sent;
  QueryPerformanceCounter(&sent);
  if (!peer_.send_with_reply(peer_.context, channel.c_str(), message_.data(), message_.size(),
                             &RoundTrips::OnReply, &reply)) {
    error_ = "the engine refused call " + std::to_string(next_) + " on " + channel;
    return -1;
  }
  const HANDLE events[] = {arrived_.get(), stop_.get()};
  const DWORD waited = WaitForMultipleObjects(2, events, FALSE, kReplyTimeoutMs);
  if (waited == WAIT_OBJECT_0 + 1) {
    stopped_ = true;
    return -1;
  }
  if (waited != WAIT_OBJECT_0) {
    error_ = "call " + std::to_string(next_) + " on " + channel + " got no reply within " +
             std::to_string(kReplyTimeoutMs) + " ms";
    return -1;
  }
  ++next_;
  return static_cast<double>(reply.received.QuadPart - sent.QuadPart) * 1e6 /
         static_cast<double>(frequency_.QuadPart);
}

void RoundTrips::Run() {
  std::vector<double> host_us;
  std::vector<double> floor_us;
  host_us.reserve(options_.calls);
  floor_us.reserve(options_.calls);
  const size_t measured_end = kinds_.size() - 1;
  while (next_ < kinds_.size()) {
    const size_t index = next_;
    const Kind kind = kinds_[index];
    const double us = Call(kind);
    if (us < 0) break;
    if (index < 2 * kWarmUpCalls || index >= measured_end) continue;
    (kind == Kind::kHost ? host_us : floor_us).push_back(us);
  }
  if (stopped_) return;

  BenchResults results;
  results.Add("calls", std::to_string(options_.calls));
  results.Add("channel", options_.channel);
  results.Add("floor_channel", floor_channel_);
  if (!error_.empty()) results.Add("error", error_);
  Check(&results);
  AddLatencySummary("host", host_us, &results);
  AddLatencySummary("floor", floor_us, &results);
  if (!WriteReportFile(options_.out, results)) {
    std::fprintf(stderr, "bench app: cannot write the report to %s\n", options_.out.c_str());
  }
}

void RoundTrips::Check(BenchResults* results) const {
  size_t host_ok = 0;
  size_t floor_ok = 0;
  size_t not_once = 0;
  size_t malformed = 0;
  for (size_t i = 0; i < next_; ++i) {
    const Reply& reply = replies_[i];
    if (reply.count.load() != 1) {
      ++not_once;
      continue;
    }
    const bool host = kinds_[i] == Kind::kHost;
    // The floor's only right answer is the empty reply; anything else means a handler answered.
    const bool well_formed = host ? IsIdleSecondsReply(reply.bytes) : reply.bytes.empty();
    if (!well_formed) {
      ++malformed;
    } else if (host) {
      ++host_ok;
    } else {
      ++floor_ok;
    }
  }
  // Measured and warm-up calls alike, and the last floor call too.
  results->Add("calls_made", std::to_string(next_));
  results->Add("calls_planned", std::to_string(kinds_.size()));
  results->Add("host_ok", std::to_string(host_ok));
  results->Add("floor_ok", std::to_string(floor_ok));
  results->Add("replies_not_once", std::to_string(not_once));
  results->Add("replies_malformed", std::to_string(malformed));
}

}  // namespace devkit
