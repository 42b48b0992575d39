#include "io/file_syncs.h"

#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "io/file_system.h"

namespace engine {

namespace {

// Threads that run the syncs handed to them; they wait for work for the life of the process.
class SyncThreads {
 public:
  // The threads of this process.
  static SyncThreads& Get() {
    static std::mutex creating;
    static SyncThreads* threads = nullptr;
    const std::lock_guard<std::mutex> lock(creating);
    // A child made by fork has none of its parent's threads: it starts its own and leaves the
    // parent's object alone (its lock may have been held at the fork).
    if (!threads || threads->process_ != ::getpid()) threads = new SyncThreads();
    return *threads;
  }

  // Runs `task` on a thread of the set, starting one more when every thread is busy. Raises,
  // with the task not taken, when no thread could run it (none could be started).
  void Run(std::function<void()> task) {
    std::unique_lock<std::mutex> lock(mutex_);
    queue_.push_back(std::move(task));
    if (idle_ < queue_.size()) {
      try {
        std::thread([this] { Work(); }).detach();
        ++threads_;
      } catch (...) {
        // Still under the lock: no thread has taken the task from the back of the queue.
        if (threads_ == 0) {
          queue_.pop_back();
          throw;
        }
      }
    }
    lock.unlock();
    wake_.notify_one();
  }

 private:
  SyncThreads() : process_(::getpid()) {}

  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      ++idle_;
      wake_.wait(lock, [this] { return !queue_.empty(); });
      --idle_;
      std::function<void()> task = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }

  const pid_t process_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  size_t idle_ = 0;
  size_t threads_ = 0;  // started; each serves the queue for the life of the process
};

}  // namespace

void SyncFiles(const std::vector<File*>& files, bool together) {
  if (!together || files.size() < 2) {
    for (File* file : files) file->Sync();
    return;
  }
  std::vector<std::exception_ptr> failures(files.size());
  const auto sync = [&](size_t i) {
    try {
      files[i]->Sync();
    } catch (...) {
      failures[i] = std::current_exception();
    }
  };
  std::mutex mutex;
  std::condition_variable done;
  size_t open = 0;  // syncs handed to the threads and not ended yet
  SyncThreads* threads = nullptr;  // looked up once, by the first sync handed over
  for (size_t i = 1; i < files.size(); ++i) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      ++open;
    }
    try {
      if (!threads) threads = &SyncThreads::Get();
      threads->Run([&, i] {
        sync(i);
        const std::lock_guard<std::mutex> lock(mutex);
        if (--open == 0) done.notify_one();
      });
    } catch (...) {
      // No thread to be had (or no memory to hand the sync over): synced here.
      {
        const std::lock_guard<std::mutex> lock(mutex);
        --open;
      }
      sync(i);
    }
  }
  sync(0);
  std::unique_lock<std::mutex> lock(mutex);
  done.wait(lock, [&] { return open == 0; });
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

}  // namespace engine
