#include "minihost/base/suite_registry.h"

namespace minihost {

void SuiteRegistry::Register(std::string name, A_long version, const void* table,
                             std::size_t size) {
  tables_[{std::move(name), version}] = {table, size};
}

const void* SuiteRegistry::Find(const std::string& name, A_long version) const {
  auto it = tables_.find({name, version});
  return it == tables_.end() ? nullptr : it->second.first;
}

std::vector<SuiteRegistry::Served> SuiteRegistry::Tables() const {
  std::vector<Served> out;
  for (const auto& [key, table] : tables_) {
    out.push_back({key.first, key.second, table.first, table.second});
  }
  return out;
}

void SuiteRegistry::NoteAcquired(const std::string& name, A_long version) {
  ++outstanding_[{name, version}];
  events_.push_back({true, name, version});
}

bool SuiteRegistry::NoteReleased(const std::string& name, A_long version) {
  events_.push_back({false, name, version});
  auto it = outstanding_.find({name, version});
  if (it == outstanding_.end() || it->second == 0) return false;
  --it->second;
  return true;
}

std::map<std::pair<std::string, A_long>, int> SuiteRegistry::Outstanding() const {
  std::map<std::pair<std::string, A_long>, int> out;
  for (const auto& [key, count] : outstanding_) {
    if (count != 0) out.emplace(key, count);
  }
  return out;
}

}  // namespace minihost
