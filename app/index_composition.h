#pragma once
// The text of the index composition box: one line per index field, "name  -  type name", lines
// ended by a carriage return except the last, then the descending fields if there are any.

#include <QString>

#include <functional>

#include "format/field_type.h"

namespace app {

// The name shown for a field type: "ftString" … "ftMemo" for the types a Paradox table field
// can show in an index or grid, "Unbekannt " (with its trailing blank) for every other type.
QString FieldTypeName(engine::TFieldType type);

// `fields` and `descFields`: field names separated by ";". `typeOf` gives a field's type by its
// name and raises for a name the table does not have.
QString IndexCompositionText(const QString& fields, const QString& descFields,
                             const std::function<engine::TFieldType(const QString&)>& typeOf);

}  // namespace app
