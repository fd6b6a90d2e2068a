#include "bridge/shell_jobs.h"

#include <utility>

#include "bridge/app_catalog.h"
#include "bridge/app_icons.h"

ShellJobs::ShellJobs(FolderLister list_folder, CloakReader read_cloaked, Answer answer)
    : list_folder_(std::move(list_folder)),
      read_cloaked_(std::move(read_cloaked)),
      answer_(std::move(answer)) {}

ShellJobs::~ShellJobs() {
  // First, as its wait for a job stuck in the shell may take a moment, and then nothing of it
  // delivers a value to the calls that go unanswered below.
  worker_.reset();
}

void ShellJobs::ListApps(std::unique_ptr<flutter::MethodResult> result) {
  Submit(
      [list_folder = list_folder_, read_cloaked = read_cloaked_](const std::atomic<bool>& stop) {
        return flutter::EncodableValue(BuildAppCatalog(list_folder, read_cloaked, stop));
      },
      std::move(result));
}

void ShellJobs::GetIcons(int size, flutter::EncodableMap items,
                         std::unique_ptr<flutter::MethodResult> result) {
  // The items are a copy: the call's arguments are gone by the time the worker reads them.
  Submit(
      [size, items = std::move(items)](const std::atomic<bool>& stop) {
        return flutter::EncodableValue(ExtractIconPngs(items, size, stop));
      },
      std::move(result));
}

void ShellJobs::Submit(ShellWorker::Job job, std::unique_ptr<flutter::MethodResult> result) {
  if (!worker_) {
    worker_ =
        std::make_unique<ShellWorker>([this](uint64_t id, const flutter::EncodableValue& value) {
          // Taken out first: the reply is the call's last step, and nothing of it stays behind.
          const auto waiting = waiting_.find(id);
          if (waiting == waiting_.end()) return;
          std::unique_ptr<flutter::MethodResult> answered = std::move(waiting->second);
          waiting_.erase(waiting);
          answer_(*answered, value);
        });
  }
  // Recorded before the job is given: a worker that cannot start answers it at once.
  const uint64_t id = next_job_++;
  waiting_.emplace(id, std::move(result));
  worker_->Submit(id, std::move(job));
}
