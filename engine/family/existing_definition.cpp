#include "family/existing_definition.h"

#include "io/names.h"
#include "storage/header_reader.h"

namespace engine {

TableDefinition DefinitionOf(const TableHeader& h, const std::vector<SecondaryIndex>& secondaries) {
  TableDefinition def;
  def.fields = h.fields;
  def.required.assign(h.fields.size(), false);
  def.keyFields = h.fileType == static_cast<uint8_t>(FileType::KeyedDb) ? h.primaryKeyFields : 0;
  def.level = h.Level();
  def.blockSizeKiB = h.blockSizeKiB;
  def.sortOrder = h.sortOrder;
  def.sortOrderId = h.sortOrderId;
  def.codePage = h.HasExtension() ? h.codePage : 437;
  def.autoInc = h.autoInc;
  for (const auto& s : secondaries) def.indexes.push_back(s.def);
  return def;
}

TableDefinition ReadDefinition(FileSystem& fs, const std::string& dir, const std::string& tableName) {
  const TableHeader h = ReadTableHeader(fs, dir + tableName);
  TableDefinition def = DefinitionOf(h, DiscoverSecondaryIndexes(fs, dir, BaseNameOf(tableName), h));
  for (size_t i = 0; i < def.fields.size(); ++i) def.fields[i].number = static_cast<uint16_t>(i + 1);
  if (!h.HasExtension()) def.sortOrderId = h.sortOrder == 0 ? "ascii" : "";
  for (auto& ix : def.indexes) ix.extension.clear();
  return def;
}

}  // namespace engine
