#pragma once
// One pxlib document with its messages collected, closed and deleted on destruction.

#include <string>
#include <vector>

extern "C" {  // pxlib's header declares C functions without C linkage
#include <paradox.h>
}

namespace pxcheck {

class PxDoc {
 public:
  // pxlib's errors and warnings go to `messages` ("error: …", "warning: …").
  explicit PxDoc(std::vector<std::string>* messages);
  ~PxDoc();
  PxDoc(const PxDoc&) = delete;
  PxDoc& operator=(const PxDoc&) = delete;

  bool Open(const std::string& path);
  pxdoc_t* get() const { return doc_; }
  const pxhead_t& Head() const { return *doc_->px_head; }
  const pxfield_t& Field(int i) const { return *PX_get_field(doc_, i); }
  // Bytes of the first `count` fields of a record.
  int FieldBytes(int count) const;

 private:
  pxdoc_t* doc_;
  bool opened_ = false;
};

}  // namespace pxcheck
