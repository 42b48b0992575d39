#pragma once
// The name of a duplicate in the program directory.

#include <QString>

namespace duplicate {

// A source outside the program directory keeps its name; one inside it (the directory texts
// equal letter for letter) is duplicated as "Copy.DB", or as "Copy2.DB" when it is itself
// named COPY.DB in any letter case.
QString ChooseCopyTableName(const QString& sourceDirectory, const QString& sourceTableName,
                            const QString& programDirectory);

}  // namespace duplicate
