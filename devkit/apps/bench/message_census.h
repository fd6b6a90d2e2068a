#ifndef DEVKIT_APPS_BENCH_MESSAGE_CENSUS_H_
#define DEVKIT_APPS_BENCH_MESSAGE_CENSUS_H_

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace devkit {

// Counts the messages the host's UI thread takes from its queue, each a wake-up of that thread,
// by whose code asked for it. A window's messages belong to the module that registered its class:
// the engine's (its task window, the view and the view's holder) or the host's (its main window).
// Thread messages and timers outside the engine are the host's too, since nothing else in the
// process posts them to that thread on purpose; what belongs to neither (the system's own windows)
// is counted apart. Messages sent from other threads wake the thread too, without a queue: they
// are counted by window in the same way, but apart, since another thread asked for them. What the
// thread sends itself is a call, not a wake-up, and Wine's own internal messages never leave its
// message retrieval.
class MessageCensus {
 public:
  enum class Origin { kEngine, kHost, kSystem };
  struct Entry {
    Origin origin;
    // Sent from another thread rather than taken from the queue.
    bool sent;
    std::string window_class;
    UINT message;
    uint64_t count;
  };

  // Hooks the calling thread's message retrieval; null when the hook cannot be installed. One
  // census at a time per process, since the hook procedure carries no user data.
  static std::unique_ptr<MessageCensus> Install(HMODULE engine, HMODULE host);
  ~MessageCensus();

  MessageCensus(const MessageCensus&) = delete;
  MessageCensus& operator=(const MessageCensus&) = delete;

  // Forgets what was counted so far.
  void Reset();
  // What was counted since the last reset, from any thread.
  std::vector<Entry> Snapshot() const;

 private:
  MessageCensus(HMODULE engine, HMODULE host) : engine_(engine), host_(host) {}

  static LRESULT CALLBACK GetMessageProc(int code, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK CallWindowProcHook(int code, WPARAM wparam, LPARAM lparam);
  void Record(HWND window, UINT message, bool sent);

  const HMODULE engine_;
  const HMODULE host_;
  HHOOK retrieval_hook_ = nullptr;
  HHOOK sent_hook_ = nullptr;
  mutable std::mutex mutex_;
  std::map<std::tuple<Origin, bool, std::string, UINT>, uint64_t> counts_;
};

const char* OriginName(MessageCensus::Origin origin);

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_MESSAGE_CENSUS_H_
