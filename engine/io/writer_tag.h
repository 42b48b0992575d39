#pragma once
// A tag that sets one writer's temporary files apart from every other writer's: two processes,
// or two calls in one process, never share a temporary name even where the file system offers
// no locks to keep them apart.

#include <string>

namespace engine {

// "-<process id>-<call count>", different on every call; contains neither "." nor "/".
std::string WriterTag();

}  // namespace engine
