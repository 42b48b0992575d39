#pragma once
// Rebuilding an open table in place with one optional parameter of the engine's restructure
// ("BLOCK SIZE" with the block size in bytes, or "LEVEL"), both given as decimal text.

#include <string>

#include "component/table.h"

namespace blocksize {

// `table` must be open, exclusively, and be a Paradox table; otherwise engine::EDBEngineError
// is raised with an English text and the table stays as it was. The table is closed for the
// restructure and opened again (still exclusive) whether the restructure succeeded or not; the
// restructure's failure is then raised.
void RestructureWithOption(engine::TTable& table, const std::string& optionName,
                           const std::string& value);

}  // namespace blocksize
