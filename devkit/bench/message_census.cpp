#include "devkit/bench/message_census.h"

#include "devkit/common/text_conversion.h"

namespace devkit {
namespace {

// Written on the UI thread by Install and the destructor only.
MessageCensus* installed_census = nullptr;

}  // namespace

std::unique_ptr<MessageCensus> MessageCensus::Install(HMODULE engine, HMODULE host) {
  if (installed_census != nullptr) return nullptr;
  std::unique_ptr<MessageCensus> census(new MessageCensus(engine, host));
  installed_census = census.get();
  census->hook_ = SetWindowsHookExW(WH_GETMESSAGE, &MessageCensus::GetMessageProc, nullptr,
                                    GetCurrentThreadId());
  if (census->hook_ == nullptr) {
    installed_census = nullptr;
    return nullptr;
  }
  return census;
}

MessageCensus::~MessageCensus() {
  UnhookWindowsHookEx(hook_);
  installed_census = nullptr;
}

LRESULT CALLBACK MessageCensus::GetMessageProc(int code, WPARAM wparam, LPARAM lparam) {
  // A peek that leaves the message queued is not a wake-up of its own: the retrieval that takes
  // it is counted.
  if (code == HC_ACTION && wparam == PM_REMOVE && installed_census != nullptr) {
    installed_census->Record(*reinterpret_cast<const MSG*>(lparam));
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void MessageCensus::Record(const MSG& message) {
  Origin origin = Origin::kHost;
  std::string window_class = "(thread message)";
  if (message.hwnd != nullptr) {
    wchar_t name[256] = {};
    GetClassNameW(message.hwnd, name, 256);
    window_class = WideToUtf8(name);
    const auto module = reinterpret_cast<HMODULE>(GetClassLongPtrW(message.hwnd, GCLP_HMODULE));
    if (module == engine_) {
      origin = Origin::kEngine;
    } else if (module != host_ && message.message != WM_TIMER) {
      origin = Origin::kSystem;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ++counts_[{origin, window_class, message.message}];
}

void MessageCensus::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_.clear();
}

std::vector<MessageCensus::Entry> MessageCensus::Snapshot() const {
  std::vector<Entry> entries;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [key, count] : counts_) {
    const auto& [origin, window_class, message] = key;
    entries.push_back({origin, window_class, message, count});
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
