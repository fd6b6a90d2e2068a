#include "common/log_file.h"

#include <atomic>
#include <cstdio>
#include <optional>
#include <system_error>
#include <utility>

#include "common/app_paths.h"
#include "common/scoped_handles.h"
#include "common/shared_names.h"

namespace {

// Long enough for another process's whole batch; a process that died holding the mutex
// abandons it, which counts as taking it.
constexpr DWORD kLogMutexTimeoutMs = 2000;
// Lines queued beyond this are dropped until the writer catches up: a flood of lines must not
// grow the process's memory without end.
constexpr size_t kMaxQueuedBytes = 1 << 20;

std::atomic<LogFile*> process_log{nullptr};

bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

ScopedFileHandle OpenForAppend(const std::wstring& path) {
  // Shared for deletion too, so that another process can move the file aside while it is open.
  return ScopedFileHandle(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  // A line that cannot be written is dropped; there is nowhere to report it.
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string DroppedLinesNotice(uint64_t dropped) {
  std::string notice = std::to_string(dropped);
  notice += " lines dropped: written faster than the disk took them";
  return notice;
}

}  // namespace

LogFile::LogFile(std::wstring folder, uint64_t size_limit, int older_files)
    : folder_(std::move(folder)), size_limit_(size_limit), older_files_(older_files) {}

LogFile::~LogFile() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_one();
  if (writer_.joinable()) writer_.join();
}

bool LogFile::StartWriterLocked() {
  if (writer_.joinable()) return true;
  try {
    writer_ = std::thread([this] { WriteQueuedLines(); });
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void LogFile::Write(std::string_view text) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  std::string line = FormatLogLine(now, GetCurrentProcessId(), text);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++lines_queued_;
    if (queued_bytes_ + line.size() > kMaxQueuedBytes || !StartWriterLocked()) {
      ++lines_dropped_;
      ++lines_done_;
      return;
    }
    queued_bytes_ += line.size();
    queue_.push_back(std::move(line));
  }
  queued_.notify_one();
}

bool LogFile::Flush(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t target = lines_queued_;
  return written_.wait_for(lock, timeout, [&] { return lines_done_ >= target; });
}

void LogFile::WriteWithoutWaiting(std::string_view text) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  std::string line = FormatLogLine(now, GetCurrentProcessId(), text);
  {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    // A dying process starts no thread: without a writer the line goes to the file below.
    if (lock.owns_lock() && writer_.joinable()) {
      ++lines_queued_;
      queued_bytes_ += line.size();
      queue_.push_back(std::move(line));
      lock.unlock();
      queued_.notify_one();
      return;
    }
  }
  // Without the session's turn either, which that thread may hold as well: a line among another
  // process's loses nothing.
  const ScopedFileHandle file = OpenForAppend(LogFilePath(folder_, 0));
  if (file) WriteAll(file.get(), line);
}

bool LogFile::FlushWithoutWaiting(std::chrono::milliseconds timeout) {
  constexpr DWORD kPollMs = 10;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::optional<uint64_t> target;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
      if (lock.owns_lock()) {
        if (!target) target = lines_queued_;
        if (lines_done_ >= *target) return true;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(kPollMs);
  }
}

void LogFile::WriteQueuedLines() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    std::vector<std::string> lines;
    lines.swap(queue_);
    queued_bytes_ = 0;
    const uint64_t dropped = std::exchange(lines_dropped_, 0);
    lock.unlock();
    if (dropped > 0) {
      SYSTEMTIME now;
      GetSystemTime(&now);
      lines.insert(lines.begin(),
                   FormatLogLine(now, GetCurrentProcessId(), DroppedLinesNotice(dropped)));
    }
    Append(lines);
    lock.lock();
    lines_done_ += lines.size() - (dropped > 0 ? 1 : 0);
    written_.notify_all();
  }
}

void LogFile::Append(const std::vector<std::string>& lines) {
  if (!CreateFolderWithParents(folder_)) return;
  const ScopedHandle session_mutex(CreateMutexW(nullptr, FALSE, kLogMutexName));
  // Without its turn (another process stuck holding it) it writes anyway: a line may then land
  // in a file being moved aside, which loses nothing.
  const DWORD wait =
      session_mutex ? WaitForSingleObject(session_mutex.get(), kLogMutexTimeoutMs) : WAIT_FAILED;
  const bool turn_taken = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  const std::wstring current = LogFilePath(folder_, 0);
  ScopedFileHandle file = OpenForAppend(current);
  LARGE_INTEGER size = {};
  if (file) GetFileSizeEx(file.get(), &size);
  uint64_t file_size = static_cast<uint64_t>(size.QuadPart);
  std::string pending;
  // Tried again with the next batch once it failed: a file held open stays held for a while.
  bool rotation_failed = false;
  for (const std::string& line : lines) {
    if (!rotation_failed && LogNeedsRotation(file_size, line.size(), size_limit_)) {
      if (file) WriteAll(file.get(), pending);
      pending.clear();
      file.reset();
      rotation_failed = !MoveCurrentFileAside();
      if (!rotation_failed) file_size = 0;
      // Appended to, never begun afresh: a file that could not be moved aside holds the newest
      // lines, and goes over the limit until a later batch can move it.
      file = OpenForAppend(current);
    }
    pending += line;
    file_size += line.size();
  }
  if (file) WriteAll(file.get(), pending);
  if (turn_taken) ReleaseMutex(session_mutex.get());
}

bool LogFile::MoveCurrentFileAside() {
  const std::wstring current = LogFilePath(folder_, 0);
  {
    // Opened for deletion only where every other handle shares it so: one that does not (a
    // reader's) would fail the move below after the older files had moved up, for nothing.
    const ScopedFileHandle probe(
        CreateFileW(current.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) return false;
  }
  for (int age = older_files_; age > 1; --age) {
    MoveFileExW(LogFilePath(folder_, age - 1).c_str(), LogFilePath(folder_, age).c_str(),
                MOVEFILE_REPLACE_EXISTING);
  }
  return older_files_ > 0 ? MoveFileExW(current.c_str(), LogFilePath(folder_, 1).c_str(),
                                        MOVEFILE_REPLACE_EXISTING) != FALSE
                          : DeleteFileW(current.c_str()) != FALSE;
}

std::string FormatLogLine(const SYSTEMTIME& utc, DWORD process_id, std::string_view text) {
  char prefix[64];
  std::snprintf(prefix, sizeof(prefix), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ [%lu] ", utc.wYear,
                utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds,
                static_cast<unsigned long>(process_id));
  const bool cut = text.size() > kMaxLogText;
  if (cut) {
    size_t end = kMaxLogText;
    while (end > 0 && IsUtf8Continuation(text[end])) --end;
    text = text.substr(0, end);
  }
  std::string line(prefix);
  line.reserve(line.size() + text.size() + 5);
  for (const char byte : text) {
    const bool control = static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F;
    line.push_back(control && byte != '\t' ? '?' : byte);
  }
  if (cut) line += "...";
  // Notepad before Windows 10 shows a file of bare line feeds as one line.
  line += "\r\n";
  return line;
}

bool LogNeedsRotation(uint64_t file_size, uint64_t line_size, uint64_t size_limit) {
  return file_size > 0 && file_size + line_size > size_limit;
}

std::wstring LogFilePath(const std::wstring& folder, int age) {
  if (age == 0) return folder + L"\\keelo.log";
  return folder + L"\\keelo." + std::to_wstring(age) + L".log";
}

ProcessLogScope::ProcessLogScope(LogFile* log) { process_log.store(log); }

ProcessLogScope::~ProcessLogScope() { process_log.store(nullptr); }

void WriteLogLine(std::string_view text) {
  if (LogFile* log = process_log.load()) log->Write(text);
}

void FlushProcessLog(std::chrono::milliseconds timeout) {
  if (LogFile* log = process_log.load()) log->Flush(timeout);
}

void WriteLogLineWhileDying(std::string_view text) {
  if (LogFile* log = process_log.load()) log->WriteWithoutWaiting(text);
}

void FlushProcessLogWhileDying(std::chrono::milliseconds timeout) {
  if (LogFile* log = process_log.load()) log->FlushWithoutWaiting(timeout);
}
