#pragma once
// Loops that a second thread helps with: one thread (the owner) runs loops of independent
// pieces one after another, another thread, once free, joins each loop running and takes
// pieces too, until the owner says that no more loops come. Which thread does a piece does not
// change what the piece does.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

namespace engine {

class SharedLoop {
 public:
  // On the owner's thread: runs body(begin, end) over ranges covering [0, n), each once, with
  // the helper if it comes; returns when every range is done. `body` must not raise.
  void Run(size_t n, const std::function<void(size_t begin, size_t end)>& body);
  // On the owner's thread: no more loops come; a waiting helper returns.
  void Finish();
  // On the helper's thread: takes part in every loop the owner runs from now on, until Finish.
  void Help();

 private:
  // Takes ranges of the running loop until none is left.
  void TakeRanges();

  std::mutex mutex_;
  std::condition_variable changed_;
  const std::function<void(size_t, size_t)>* body_ = nullptr;  // the running loop's body
  size_t size_ = 0;
  std::atomic<size_t> next_{0};  // start of the next range to take
  unsigned loop_ = 0;            // loops started
  unsigned helping_ = 0;         // 1 while the helper takes ranges
  bool finished_ = false;
};

}  // namespace engine
