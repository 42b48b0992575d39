#pragma once
// The causes of values that could not be read, gathered while a table is read: each distinct
// German message once, in the order it first came, with the number of values it spoiled.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace engine {

// Causes listed one by one; the values spoiled by further causes are summed up.
constexpr size_t kListedCauses = 10;

// Distinct failure messages in the order they first came, with how many values each spoiled.
class UnreadableCauses {
 public:
  void Add(const std::string& message) {
    auto [it, added] = counts_.emplace(message, 0);
    if (added) order_.push_back(message);
    ++it->second;
  }

  // Takes over the causes gathered after these ones, as if they had been added here.
  void Merge(const UnreadableCauses& later) {
    for (const std::string& message : later.order_) {
      auto [it, added] = counts_.emplace(message, 0);
      if (added) order_.push_back(message);
      it->second += later.counts_.at(message);
    }
  }

  void AppendTo(std::vector<std::string>& lines) const {
    uint64_t rest = 0;
    for (size_t i = 0; i < order_.size(); ++i) {
      const uint64_t n = counts_.at(order_[i]);
      if (i >= kListedCauses) {
        rest += n;
        continue;
      }
      lines.push_back(n == 1 ? order_[i] : order_[i] + " (" + std::to_string(n) + " Werte)");
    }
    if (rest > 0)
      lines.push_back("Weitere " + std::to_string(rest) + " Werte aus " +
                      std::to_string(order_.size() - kListedCauses) +
                      " weiteren Ursachen konnten nicht gelesen werden.");
  }

 private:
  std::map<std::string, uint64_t> counts_;
  std::vector<std::string> order_;
};

}  // namespace engine
