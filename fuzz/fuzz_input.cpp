#include "fuzz/fuzz_input.h"

#include <cctype>
#include <string_view>

#include "io/engine_error.h"

namespace fuzz {

namespace {

constexpr std::string_view kMarker("\0KERBOLT:", 9);
constexpr size_t kMaxExtension = 3;

// Length of the extension and its closing NUL at `at`, or 0 when none follows a marker there.
size_t ExtensionLength(std::string_view bytes, size_t at) {
  for (size_t n = 1; n <= kMaxExtension && at + n < bytes.size(); ++n) {
    if (!std::isalnum(static_cast<unsigned char>(bytes[at + n - 1]))) return 0;
    if (bytes[at + n] == '\0') return n;
  }
  return 0;
}

}  // namespace

std::string PutTable(testsupport::MemoryFileSystem& fs, const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string name = kTable;
  std::string ops;
  size_t start = 0;
  for (;;) {
    size_t marker = bytes.find(kMarker, start);
    size_t length = 0;
    while (marker != std::string_view::npos && (length = ExtensionLength(bytes, marker + kMarker.size())) == 0)
      marker = bytes.find(kMarker, marker + 1);
    const std::string_view content = bytes.substr(start, marker == std::string_view::npos ? marker : marker - start);
    if (name == "OPS")
      ops.assign(content);
    else
      fs.Put(kDir + name, std::string(content));
    if (marker == std::string_view::npos) return ops;
    const std::string extension(bytes.substr(marker + kMarker.size(), length));
    name = extension == "OPS" ? extension : "FUZZ." + extension;
    start = marker + kMarker.size() + length + 1;
  }
}

bool OpenTable(engine::TTable& table, testsupport::MemoryFileSystem& fs) {
  table.SetFileSystem(&fs);
  table.SetDatabaseName(kDir);
  table.SetTableName(kTable);
  try {
    table.Open();
    return true;
  } catch (const engine::EDBEngineError&) {
    return false;
  }
}

}  // namespace fuzz
