#include "devkit/apps/bench/message_census.h"

#include "common/text_conversion.h"

namespace devkit {
namespace {

// Written on the UI thread by Install and the destructor only.
MessageCensus* installed_census = nullptr;

}  // namespace

std::unique_ptr<MessageCensus> MessageCensus::Install(HMODULE engine, HMODULE host) {
  if (installed_census != nullptr) return nullptr;
  std::unique_ptr<MessageCensus> census(new MessageCensus(engine, host));
  installed_census = census.get();
  census->retrieval_hook_ = SetWindowsHookExW(WH_GETMESSAGE, &MessageCensus::GetMessageProc,
                                              nullptr, GetCurrentThreadId());
  census->sent_hook_ = SetWindowsHookExW(WH_CALLWNDPROC, &MessageCensus::CallWindowProcHook,
                                         nullptr, GetCurrentThreadId());
  // The destructor takes out whichever went in.
  if (census->retrieval_hook_ == nullptr || census->sent_hook_ == nullptr) return nullptr;
  return census;
}

MessageCensus::~MessageCensus() {
  if (retrieval_hook_ != nullptr) UnhookWindowsHookEx(retrieval_hook_);
  if (sent_hook_ != nullptr) UnhookWindowsHookEx(sent_hook_);
  installed_census = nullptr;
}

LRESULT CALLBACK MessageCensus::GetMessageProc(int code, WPARAM wparam, LPARAM lparam) {
  // A peek that leaves the message queued is not a wake-up of its own: the retrieval that takes
  // it is counted.
  if (code == HC_ACTION && wparam == PM_REMOVE && installed_census != nullptr) {
    const MSG& message = *reinterpret_cast<const MSG*>(lparam);
    installed_census->Record(message.hwnd, message.message, false);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK MessageCensus::CallWindowProcHook(int code, WPARAM wparam, LPARAM lparam) {
  // |wparam| is zero for a message another thread sent.
  if (code == HC_ACTION && wparam == 0 && installed_census != nullptr) {
    const CWPSTRUCT& message = *reinterpret_cast<const CWPSTRUCT*>(lparam);
    installed_census->Record(message.hwnd, message.message, true);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void MessageCensus::Record(HWND window, UINT message, bool sent) {
  Origin origin = Origin::kHost;
  std::string window_class = "(thread message)";
  if (window != nullptr) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    window_class = WideToUtf8(name);
    const auto module = reinterpret_cast<HMODULE>(GetClassLongPtrW(window, GCLP_HMODULE));
    if (module == engine_) {
      origin = Origin::kEngine;
    } else if (module != host_ && message != WM_TIMER) {
      origin = Origin::kSystem;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ++counts_[{origin, sent, window_class, message}];
}

void MessageCensus::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_.clear();
}

std::vector<MessageCensus::Entry> MessageCensus::Snapshot() const {
  std::vector<Entry> entries;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [key, count] : counts_) {
    const auto& [origin, sent, window_class, message] = key;
    entries.push_back({origin, sent, window_class, message, count});
  }
  return entries;
}

const char* OriginName(MessageCensus::Origin origin) {
  switch (origin) {
    case MessageCensus::Origin::kEngine:
      return "engine";
    case MessageCensus::Origin::kHost:
      return "host";
    case MessageCensus::Origin::kSystem:
      break;
  }
  return "system";
}

}  // namespace devkit
