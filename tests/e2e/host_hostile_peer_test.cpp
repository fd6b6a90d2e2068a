#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "devkit/engine/engine_diagnostics.h"
#include "tests/e2e/host_control.h"
#include "tests/e2e/host_fixture.h"
#include "tests/e2e/process_metrics.h"
#include "tests/support/host_names.h"
#include "tests/support/hostile_messages.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

using devkit::MethodReply;

constexpr size_t kMessages = 10000;
constexpr size_t kWarmUpMessages = 400;
// A valid call after every few hostile ones shows the host still answering correctly.
constexpr size_t kMessagesPerValidCall = 4;
constexpr uint64_t kDefaultSeed = 20240611;
constexpr std::chrono::milliseconds kCallDeadline{10000};
// The heap keeps some freed memory for reuse rather than returning it, in amounts that depend on
// how its last blocks were split (a run grows by tens of KiB). 1 MiB is about 100 bytes per
// message of the run: a leak of any message's copy, or of one 8 MiB payload, is far above it.
constexpr uint64_t kPrivateBytesAllowance = uint64_t{1} << 20;

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t* const kProxyValues[] = {L"ProxyEnable", L"ProxyServer", L"ProxyOverride",
                                       L"AutoConfigURL"};

uint64_t ChosenSeed() {
  const char* text = std::getenv("KEELO_HOSTILE_SEED");
  if (text == nullptr || *text == '\0') return kDefaultSeed;
  return std::strtoull(text, nullptr, 0);
}

// The value's type and bytes, or "absent".
std::string RegistrySnapshot(const wchar_t* key, const wchar_t* name) {
  DWORD type = REG_NONE;
  BYTE data[1024] = {};
  DWORD size = sizeof(data);
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) !=
      ERROR_SUCCESS) {
    return "absent";
  }
  return std::to_string(type) + ": " + HexDump(std::vector<uint8_t>(data, data + size));
}

std::string MachineSettings() {
  std::string text;
  for (const wchar_t* name : kProxyValues) {
    text += RegistrySnapshot(kInternetSettings, name) + "\n";
  }
  return text + "Run: " + RegistrySnapshot(kRunKeyPath, kRunValueName) + "\n";
}

// Wine's own lines, which it writes whatever the host does (see WINE.md).
bool IsWineNoise(const std::string& line) {
  return line.find("X connection to") != std::string::npos ||
         line.find("Read access denied for device") != std::string::npos;
}

size_t HostLines(const std::string& output) {
  size_t lines = 0;
  std::istringstream stream(output);
  std::string line;
  while (std::getline(stream, line)) {
    if (!IsWineNoise(line)) ++lines;
  }
  return lines;
}

// The first messages of the run and one of every family, all sent again in the run: enough for
// the heaps and buffers of the host's process to reach their working size. The driver lives in
// that process too, and keeps the room its largest frame took.
std::vector<HostileMessage> WarmUp(const std::vector<HostileMessage>& messages) {
  std::vector<HostileMessage> warm_up(messages.begin(), messages.begin() + kWarmUpMessages);
  std::set<HostileKind> kinds;
  for (const HostileMessage& message : messages) {
    if (kinds.insert(message.kind).second) warm_up.push_back(message);
  }
  return warm_up;
}

class HostilePeerTest : public HostTest {
 protected:
  // One message and its reply; false, with the failure recorded, when the host gave no reply or
  // a wrong one.
  bool Send(uint64_t seed, size_t index, const HostileMessage& message) {
    auto reply = client_->Call(message.channel, message.bytes, kCallDeadline);
    const auto describe = [&] {
      return "seed " + std::to_string(seed) + ", message " + std::to_string(index) + " (" +
             HostileKindName(message.kind) + ", on " + message.channel +
             "): " + HexDump(message.bytes);
    };
    if (!reply.ok()) {
      ADD_FAILURE() << reply.error << "\n" << describe();
      return false;
    }
    if (message.expected == ExpectedReply::kNotImplemented && !reply.value.empty()) {
      ADD_FAILURE() << "expected the not-implemented reply, got " << HexDump(reply.value) << "\n"
                    << describe();
      return false;
    }
    if (message.expected == ExpectedReply::kSuccess &&
        (reply.value.empty() || reply.value[0] != 0)) {
      ADD_FAILURE() << "expected a success envelope, got " << HexDump(reply.value) << "\n"
                    << describe();
      return false;
    }
    return true;
  }

  bool IdleSecondsAnswered(uint64_t seed, size_t index) {
    auto idle = client_->InvokeMethod(kDesktopChannel, "getIdleSeconds", flutter::EncodableValue(),
                                      kCallDeadline);
    const bool correct = idle.ok() && idle.value.kind == MethodReply::Kind::kSuccess &&
                         idle.value.value.Holds<int64_t>() && idle.value.value.Get<int64_t>() >= 0;
    EXPECT_TRUE(correct) << idle.error << " seed " << seed << ", after message " << index;
    return correct;
  }

  // Sends |messages|, with the valid call between them; false at the first fault.
  bool SendAll(uint64_t seed, const std::vector<HostileMessage>& messages) {
    for (size_t i = 0; i < messages.size(); ++i) {
      if (!Send(seed, i, messages[i])) return false;
      if (i % kMessagesPerValidCall == kMessagesPerValidCall - 1 && !IdleSecondsAnswered(seed, i)) {
        return false;
      }
    }
    return true;
  }

  uint64_t PrivateBytes() {
    const std::optional<ProcessMetrics> metrics = ReadProcessMetrics(host_->handle());
    EXPECT_TRUE(metrics.has_value());
    return metrics ? metrics->private_bytes : 0;
  }
};

TEST_F(HostilePeerTest, TenThousandBadMessagesLeaveTheHostWorkingAndTheMachineUntouched) {
  const uint64_t seed = ChosenSeed();
  // On the console too, so that a run that crashes the test still tells how to replay it.
  std::cout << "hostile peer seed " << seed << " (KEELO_HOSTILE_SEED replays another)\n";
  SCOPED_TRACE("seed " + std::to_string(seed));

  // Known settings to compare against: a message that reached the proxy or the Run key would
  // change them. The Run value starts absent, since any hostile call that could touch it may
  // only ever create it.
  std::vector<std::unique_ptr<RegistryValueGuard>> guards;
  for (const wchar_t* name : kProxyValues) {
    guards.push_back(std::make_unique<RegistryValueGuard>(kInternetSettings, name));
  }
  guards.push_back(std::make_unique<RegistryValueGuard>(kRunKeyPath, kRunValueName));
  ASSERT_EQ(guards[0]->SetDword(1), ERROR_SUCCESS);
  const wchar_t server[] = L"guarded.invalid:8080";
  const wchar_t bypass[] = L"<local>;guarded.invalid";
  const wchar_t pac[] = L"http://guarded.invalid/proxy.pac";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyServer", REG_SZ, server,
                            sizeof(server)),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyOverride", REG_SZ, bypass,
                            sizeof(bypass)),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kInternetSettings, L"AutoConfigURL", REG_SZ, pac,
                            sizeof(pac)),
            ERROR_SUCCESS);
  guards.back()->Delete();
  const std::string settings_before = MachineSettings();

  const std::vector<HostileMessage> messages = MakeHostileMessages(seed, kMessages);
  const std::vector<HostileMessage> warm_up = WarmUp(messages);
  ASSERT_NO_FATAL_FAILURE(StartHost(L"--minimized"));
  ASSERT_NO_FATAL_FAILURE(WaitForFirstFrame());

  ASSERT_TRUE(SendAll(seed, warm_up));
  const uint64_t private_before = PrivateBytes();

  ASSERT_TRUE(SendAll(seed, messages));

  ASSERT_EQ(host_->WaitForExit(0), std::nullopt) << "the host ended during the run";
  const uint64_t private_after = PrivateBytes();
  EXPECT_LE(private_after, private_before + kPrivateBytesAllowance)
      << "private bytes " << private_before << " before, " << private_after << " after";
  EXPECT_EQ(MachineSettings(), settings_before);

  AskHostToQuit(window_);
  ASSERT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
  // Counted once the host is gone and its output drained, so that no line is still on its way.
  const std::string output = host_->Output();
  size_t may_write = 0;
  for (const std::vector<HostileMessage>* sent : {&warm_up, &messages}) {
    for (const HostileMessage& message : *sent) may_write += message.well_formed ? 0 : 1;
  }
  EXPECT_LE(HostLines(output), may_write) << "more than one line per bad message";
  EXPECT_EQ(output.find(devkit::kStrayResponseDiagnostic), std::string::npos)
      << "a message was answered twice";
  std::cout << "host wrote " << HostLines(output) << " lines for " << may_write
            << " malformed messages; private bytes " << private_before << " -> " << private_after
            << "\n";
}

}  // namespace
}  // namespace keelo::testing
