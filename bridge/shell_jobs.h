#ifndef BRIDGE_SHELL_JOBS_H_
#define BRIDGE_SHELL_JOBS_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "bridge/folder_listing.h"
#include "bridge/shell_worker.h"
#include "bridge/window_cloaking.h"
#include "messaging/encodable_value.h"
#include "messaging/method_result.h"

// The calls whose reply is slow shell work, "listApps" and "getIcons": each becomes a job of the
// shell worker, started by the first of them, and its call is answered once the job's value comes
// back on the UI thread.
class ShellJobs {
 public:
  // Answers |result| with |value| on the UI thread; its owner counts it as a call it handles.
  using Answer =
      std::function<void(flutter::MethodResult& result, const flutter::EncodableValue& value)>;

  // |list_folder| and |read_cloaked| are what the catalogue's walk and window pass use.
  ShellJobs(FolderLister list_folder, CloakReader read_cloaked, Answer answer);
  // Stops the worker (see ShellWorker); the calls it has not answered go unanswered.
  ~ShellJobs();

  ShellJobs(const ShellJobs&) = delete;
  ShellJobs& operator=(const ShellJobs&) = delete;

  // The installed applications, built anew.
  void ListApps(std::unique_ptr<flutter::MethodResult> result);
  // The PNG of each path of |items| at |size| pixels, by the entry's key.
  void GetIcons(int size, flutter::EncodableMap items,
                std::unique_ptr<flutter::MethodResult> result);

 private:
  // Answers |result| with what |job| makes on the worker, once it is done.
  void Submit(ShellWorker::Job job, std::unique_ptr<flutter::MethodResult> result);

  FolderLister list_folder_;
  CloakReader read_cloaked_;
  Answer answer_;
  std::unique_ptr<ShellWorker> worker_;
  // The calls waiting for their job's value, by job id.
  std::map<uint64_t, std::unique_ptr<flutter::MethodResult>> waiting_;
  uint64_t next_job_ = 1;
};

#endif  // BRIDGE_SHELL_JOBS_H_
