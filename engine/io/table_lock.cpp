#include "io/table_lock.h"

#include <map>
#include <mutex>

#include "io/engine_error.h"
#include "io/fail.h"
#include "io/names.h"

namespace engine {

namespace {

struct Entry {
  int sharedHolders = 0;
  bool exclusiveHolder = false;
  std::unique_ptr<TableLock> system;  // the operating system's lock, null when there is none
};

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
  FailPlain(kErrLocked, "Die Tabelle " + Quoted(path) + why);
}

}  // namespace

struct TableLockRegistry::State {
  std::mutex mutex;
  std::map<std::string, Entry> entries;  // by canonical path
};

namespace {

// One holder. It counts in the registry only once `admitted`: a holder made ready before the
// registry changes lets no failure after the change leave an entry without its holder.
class Holder : public TableLock {
 public:
  Holder(std::shared_ptr<TableLockRegistry::State> state, std::string key, bool exclusive)
      : state_(std::move(state)), key_(std::move(key)), exclusive_(exclusive) {}
  ~Holder() override {
    if (!admitted) return;
    std::unique_ptr<TableLock> released;  // let go after the registry's mutex
    std::lock_guard<std::mutex> guard(state_->mutex);
    const auto it = state_->entries.find(key_);
    if (it == state_->entries.end()) return;
    Entry& entry = it->second;
    if (exclusive_)
      entry.exclusiveHolder = false;
    else
      --entry.sharedHolders;
    if (entry.exclusiveHolder || entry.sharedHolders > 0) return;
    released = std::move(entry.system);
    state_->entries.erase(it);
  }

  bool admitted = false;

 private:
  std::shared_ptr<TableLockRegistry::State> state_;
  std::string key_;
  bool exclusive_;
};

}  // namespace

TableLockRegistry::TableLockRegistry() : state_(std::make_shared<State>()) {}
TableLockRegistry::~TableLockRegistry() = default;

std::unique_ptr<TableLock> TableLockRegistry::Acquire(const std::string& key, const std::string& path,
                                                      bool exclusive, const SystemLock& systemLock) {
  auto holder = std::make_unique<Holder>(state_, key, exclusive);
  std::lock_guard<std::mutex> guard(state_->mutex);
  const auto found = state_->entries.find(key);
  if (found != state_->entries.end()) {
    Entry& entry = found->second;
    if (entry.exclusiveHolder) Refuse(path, " ist in diesem Programm bereits exklusiv geöffnet.");
    if (exclusive)
      Refuse(path, " ist in diesem Programm bereits geöffnet und kann nicht exklusiv geöffnet werden.");
    ++entry.sharedHolders;
    holder->admitted = true;
    return holder;
  }
  Entry entry;
  if (systemLock) entry.system = systemLock();
  if (exclusive)
    entry.exclusiveHolder = true;
  else
    entry.sharedHolders = 1;
  state_->entries.emplace(key, std::move(entry));
  holder->admitted = true;
  return holder;
}

void RefuseHeldElsewhere(const std::string& path, bool exclusive) {
  if (exclusive) Refuse(path, " ist von einem anderen Benutzer geöffnet und kann nicht exklusiv geöffnet werden.");
  Refuse(path, " ist von einem anderen Benutzer exklusiv geöffnet.");
}

}  // namespace engine
