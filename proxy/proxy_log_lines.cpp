#include "proxy/proxy_log_lines.h"

#include "common/text_conversion.h"

namespace {

const char* SourceName(ProxyRestoreSource source) {
  switch (source) {
    case ProxyRestoreSource::kQuit:
      return "quit";
    case ProxyRestoreSource::kSessionEnd:
      return "session end";
    case ProxyRestoreSource::kCloseApp:
      return "close app";
    case ProxyRestoreSource::kTeardown:
      return "teardown";
    case ProxyRestoreSource::kNextStart:
      return "next start";
    case ProxyRestoreSource::kGuard:
      return "guard";
    case ProxyRestoreSource::kSignIn:
      return "sign-in";
    case ProxyRestoreSource::kUninstall:
      return "uninstall";
  }
  return "unknown";
}

std::string Quoted(const std::wstring& text) {
  std::string quoted(1, '"');
  quoted += WideToUtf8(text);
  quoted += '"';
  return quoted;
}

}  // namespace

std::string DescribeProxySettings(const ProxySettings& settings) {
  std::string description = "flags ";
  description += std::to_string(settings.flags);
  description += ", server " + Quoted(settings.server);
  description += ", bypass " + Quoted(settings.bypass);
  description += ", pac " + Quoted(settings.autoconfig_url);
  return description;
}

std::string SetProxyLine(const ProxySettings& requested, bool applied,
                         const std::optional<ProxySettings>& to_restore) {
  std::string line = applied ? "setProxy applied " : "setProxy could not apply ";
  line += DescribeProxySettings(requested);
  if (!to_restore) {
    line += "; nothing to restore on exit";
  } else {
    line += "; to restore on exit: ";
    line += DescribeProxySettings(*to_restore);
  }
  return line;
}

std::string ProxyRestoreLine(ProxyRestoreSource source, const ProxyRestoreOutcome& outcome) {
  std::string line;
  if (outcome.changed_by_others) {
    line = "Proxy left as someone else set it (";
  } else {
    line = outcome.applied ? "Proxy restored (" : "Proxy restore failed (";
  }
  line += SourceName(source);
  line += "): ";
  if (outcome.changed_by_others) {
    line += DescribeProxySettings(*outcome.changed_by_others);
    line += "; not restored: ";
  }
  line += DescribeProxySettings(outcome.snapshot);
  return line;
}
