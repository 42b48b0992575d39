#pragma once
// Finding a table file by a name typed in any letter case: on a file system that tells letter
// cases apart, "kunden.db" or "Kunden" (with the default extension added) still names the
// file "Kunden.DB".

#include <QString>

namespace tools {

// `path` when it exists; else the one entry of its directory whose name equals the path's file
// name without regard to letter case, or, when the file name has no extension, equals it with
// "." and `defaultSuffix` added; else `path` unchanged.
QString ResolveTableFileName(const QString& path, const QString& defaultSuffix);

}  // namespace tools
