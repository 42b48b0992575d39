#pragma once
// Upper case of text in a table's code page, worked out apart from the engine: each byte is
// decoded with iconv, upper-cased by the C library's Unicode case mapping, and encoded back.

#include <string>

namespace pxcheck {

// `bytes` with every letter upper-cased; a byte whose capital the code page lacks (or that is
// not a letter) stays. The multi-byte code page 936 has only its ASCII letters upper-cased.
std::string UpperText(const std::string& bytes, int codePage, bool level3);

}  // namespace pxcheck
