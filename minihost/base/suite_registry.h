// The suites the host serves by name and version, and the balance of what a
// plug-in has acquired and not yet released.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/ae_types.h"

namespace minihost {

struct SuiteEvent {
  bool acquire;  // false: release
  std::string name;
  A_long version;
  bool operator==(const SuiteEvent&) const = default;
};

class SuiteRegistry {
 public:
  // Makes a suite available. `table` must outlive the registry.
  template <class Table>
  void Register(std::string name, A_long version, const Table* table) {
    Register(std::move(name), version, table, sizeof(Table));
  }
  void Register(std::string name, A_long version, const void* table, std::size_t size);

  struct Served {
    std::string name;
    A_long version;
    const void* table;
    std::size_t size;  // bytes
  };
  // Every table served, for checks that each slot is filled.
  std::vector<Served> Tables() const;

  // Returns the table, or null for a name and version the host does not serve.
  const void* Find(const std::string& name, A_long version) const;

  // Bookkeeping of an acquisition or release the host has granted.
  void NoteAcquired(const std::string& name, A_long version);
  // False when nothing of that name and version was outstanding.
  bool NoteReleased(const std::string& name, A_long version);

  // Outstanding acquisitions, e.g. {"PF Handle Suite", 2} -> 1.
  std::map<std::pair<std::string, A_long>, int> Outstanding() const;
  const std::vector<SuiteEvent>& events() const { return events_; }
  void ClearEvents() { events_.clear(); }

 private:
  std::map<std::pair<std::string, A_long>, std::pair<const void*, std::size_t>> tables_;
  std::map<std::pair<std::string, A_long>, int> outstanding_;
  std::vector<SuiteEvent> events_;
};

}  // namespace minihost
