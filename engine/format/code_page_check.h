#pragma once
// Whether text bytes fit a code page: every byte (or, for the multi-byte page 936, every
// sequence) is one the page defines. Text stored in another code page than the table's header
// names usually holds bytes its page leaves undefined.

#include <array>
#include <cstddef>

namespace engine {

class CodePage;

class CodePageCheck {
 public:
  explicit CodePageCheck(const CodePage& codePage);
  // True when every one of the `n` bytes at `bytes` decodes to a character of the page.
  bool Fits(const char* bytes, size_t n) const;
  // True when the page defines every byte, so that any text fits.
  bool FitsAnyText() const { return anyText_; }

 private:
  const CodePage& codePage_;
  bool multiByte_;
  bool anyText_ = false;
  std::array<bool, 256> defined_{};  // single-byte pages
};

}  // namespace engine
