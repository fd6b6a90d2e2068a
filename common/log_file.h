#ifndef COMMON_LOG_FILE_H_
#define COMMON_LOG_FILE_H_

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A log a user can send: each line with its time (UTC) and its process, appended to
// <folder>\keelo.log. A GUI program's standard error goes nowhere, so this is where its lines
// can be found afterwards. Lines are written by a thread of the log's own, so that a slow disk
// never holds up the thread that writes one; the first line starts it, so that a process that
// writes none (the host, on most starts) pays nothing for it. Bounded: when a line would take
// keelo.log past the size limit, the file is moved aside as keelo.1.log (that one as keelo.2.log,
// and so on up to the number of older files kept, the oldest going) and a new one begun. A file
// that cannot be moved aside (a reader holds it open without sharing it for deletion) is never
// begun afresh, which would erase the newest lines: it grows past the limit until a later line
// finds it free. The host and its proxy guard may write at the same time; they take turns through a
// mutex of the session. Nothing it fails at fails its caller: a line it cannot write is dropped.
class LogFile {
 public:
  static constexpr uint64_t kDefaultSizeLimit = 1 << 20;
  static constexpr int kDefaultOlderFiles = 2;

  explicit LogFile(std::wstring folder, uint64_t size_limit = kDefaultSizeLimit,
                   int older_files = kDefaultOlderFiles);
  // Writes what is queued, then ends the thread.
  ~LogFile();

  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Queues |text| as one line, timed now. Never waits for the disk.
  void Write(std::string_view text);

  // Waits until every line queued before the call is written (or dropped); false when |timeout|
  // passed first.
  bool Flush(std::chrono::milliseconds timeout);

  // For a process that is dying, perhaps on account of a thread that holds the log's lock and
  // will never let go of it: Write when the lock is free at once, and otherwise the line goes to
  // the file directly. Never waits for the lock.
  void WriteWithoutWaiting(std::string_view text);
  // Flush, taking the lock only when it is free; false when |timeout| passed first.
  bool FlushWithoutWaiting(std::chrono::milliseconds timeout);

 private:
  // False when the writer could not be started; the caller drops its line.
  bool StartWriterLocked();
  void WriteQueuedLines();
  void Append(const std::vector<std::string>& lines);
  // Moves keelo.log aside as keelo.1.log, and the older files one further; false, with
  // keelo.log where it was, when it could not be moved.
  bool MoveCurrentFileAside();

  const std::wstring folder_;
  const uint64_t size_limit_;
  const int older_files_;

  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable written_;
  std::vector<std::string> queue_;
  size_t queued_bytes_ = 0;
  // Lines queued, and lines written or dropped, since the start.
  uint64_t lines_queued_ = 0;
  uint64_t lines_done_ = 0;
  uint64_t lines_dropped_ = 0;
  bool stopping_ = false;
  // Guarded by mutex_, since any thread's first line may start it.
  std::thread writer_;
};

// "2026-12-07T17:25:03.123Z [1234] text" and the line end. The text is cut at kMaxLogText bytes
// (at a character's start, marked with "..."), and control characters, a line end among them,
// become '?', so that one call is always one line.
inline constexpr size_t kMaxLogText = 2048;
std::string FormatLogLine(const SYSTEMTIME& utc, DWORD process_id, std::string_view text);

// Whether a line of |line_size| bytes must go to a new file rather than a file of |file_size|
// bytes, which it would take past |size_limit|. An empty file takes any line.
bool LogNeedsRotation(uint64_t file_size, uint64_t line_size, uint64_t size_limit);

// keelo.log in |folder| for |age| 0, and keelo.<age>.log for the older ones.
std::wstring LogFilePath(const std::wstring& folder, int age);

// Makes |log| (null: none) the log of this process, where WriteLogLine writes, until the object
// goes. Made before the threads that write start and destroyed after they end, and declared
// after the log, so that it is cleared before the log is destroyed.
class ProcessLogScope {
 public:
  explicit ProcessLogScope(LogFile* log);
  ~ProcessLogScope();

  ProcessLogScope(const ProcessLogScope&) = delete;
  ProcessLogScope& operator=(const ProcessLogScope&) = delete;
};

// To the process's log; nowhere while there is none.
void WriteLogLine(std::string_view text);
// Flush of the process's log; for a process about to end.
void FlushProcessLog(std::chrono::milliseconds timeout);
// The same for a process that is dying (see LogFile::WriteWithoutWaiting).
void WriteLogLineWhileDying(std::string_view text);
void FlushProcessLogWhileDying(std::chrono::milliseconds timeout);

#endif  // COMMON_LOG_FILE_H_
