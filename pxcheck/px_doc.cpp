#include "pxcheck/px_doc.h"

namespace pxcheck {

namespace {

void CollectMessage(pxdoc_t*, int type, const char* msg, void* data) {
  auto* messages = static_cast<std::vector<std::string>*>(data);
  messages->push_back((type == PX_Warning ? "warning: " : "error: ") + std::string(msg ? msg : ""));
}

}  // namespace

PxDoc::PxDoc(std::vector<std::string>* messages)
    : doc_(PX_new3(CollectMessage, nullptr, nullptr, nullptr, messages)) {}

PxDoc::~PxDoc() {
  if (!doc_) return;
  if (opened_) PX_close(doc_);
  PX_delete(doc_);
}

bool PxDoc::Open(const std::string& path) {
  opened_ = doc_ && PX_open_file(doc_, path.c_str()) == 0;
  return opened_;
}

int PxDoc::FieldBytes(int count) const {
  int bytes = 0;
  for (int i = 0; i < count; ++i) bytes += Field(i).px_flen;
  return bytes;
}

}  // namespace pxcheck
