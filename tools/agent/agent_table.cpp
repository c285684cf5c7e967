#include "agent/agent_table.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "snmp/if_mib.h"

namespace pulsewell {

namespace {

std::array<OID, 8> interfaceColumns() {
  return {IfMib::ifIndex(),     IfMib::ifDescr(), IfMib::ifOperStatus(), IfMib::ifInOctets(),
          IfMib::ifOutOctets(), IfMib::ifName(),  IfMib::ifHCInOctets(), IfMib::ifHCOutOctets()};
}

bool startsWith(const OID& oid, const OID& prefix) {
  return oid.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

}  // namespace

void AgentTable::set(OID oid, AgentValue value) {
  if (!AgentValue::isEncodableOID(oid)) {
    throw std::invalid_argument("the OID cannot be encoded");
  }
  entries_.insert_or_assign(std::move(oid), std::move(value));
}

void AgentTable::set(OID oid, const SNMPValue& value) {
  set(std::move(oid), AgentValue::from(value));
}

bool AgentTable::remove(const OID& oid) {
  return entries_.erase(oid) > 0;
}

const AgentValue* AgentTable::find(const OID& oid) const {
  const auto found = entries_.find(oid);
  return found == entries_.end() ? nullptr : &found->second;
}

const AgentTable::Entries::value_type* AgentTable::next(const OID& oid) const {
  const auto found = entries_.upper_bound(oid);
  return found == entries_.end() ? nullptr : &*found;
}

void AgentTable::setInterface(const SimulatedInterface& row) {
  removeInterface(row.index);
  const auto at = [&row](const OID& column) { return IfMib::instance(column, row.index); };
  const auto low32 = [](std::uint64_t counter) { return static_cast<std::uint32_t>(counter); };
  set(at(IfMib::ifIndex()), AgentValue::integer(row.index));
  set(at(IfMib::ifDescr()), AgentValue::octetString(row.name));
  set(at(IfMib::ifOperStatus()), AgentValue::integer(row.operStatus));
  set(at(IfMib::ifInOctets()), AgentValue::counter32(low32(row.inOctets)));
  set(at(IfMib::ifOutOctets()), AgentValue::counter32(low32(row.outOctets)));
  set(at(IfMib::ifName()), AgentValue::octetString(row.name));
  if (row.hasHighCapacityCounters) {
    set(at(IfMib::ifHCInOctets()), AgentValue::counter64(row.inOctets));
    set(at(IfMib::ifHCOutOctets()), AgentValue::counter64(row.outOctets));
  }
}

void AgentTable::removeInterface(std::uint32_t index) {
  for (const OID& column : interfaceColumns())
    entries_.erase(IfMib::instance(column, index));
}

void AgentTable::moveInterface(std::uint32_t from, std::uint32_t to) {
  if (from == to) return;
  Entries moved;
  for (const OID& column : interfaceColumns()) {
    const auto found = entries_.find(IfMib::instance(column, from));
    if (found == entries_.end()) continue;
    AgentValue value = found->second;
    // ifIndex names its own row, so it follows the move.
    if (column == IfMib::ifIndex()) value = AgentValue::integer(to);
    moved.insert_or_assign(IfMib::instance(column, to), std::move(value));
    entries_.erase(found);
  }
  removeInterface(to);
  entries_.merge(moved);
}

void AgentTable::resetCounters() {
  for (auto& [oid, value] : entries_) {
    if (oid.empty()) continue;
    const OID column(oid.begin(), oid.end() - 1);
    if (column == IfMib::ifInOctets() || column == IfMib::ifOutOctets()) {
      value = AgentValue::counter32(0);
    } else if (column == IfMib::ifHCInOctets() || column == IfMib::ifHCOutOctets()) {
      value = AgentValue::counter64(0);
    }
  }
}

void AgentTable::addToCounters(std::uint64_t inOctets, std::uint64_t outOctets) {
  for (auto& [oid, value] : entries_) {
    if (oid.empty()) continue;
    const std::uint64_t* current = value.value().asUnsigned();
    if (current == nullptr) continue;
    const OID column(oid.begin(), oid.end() - 1);
    if (column == IfMib::ifInOctets() || column == IfMib::ifOutOctets()) {
      const std::uint64_t step = column == IfMib::ifInOctets() ? inOctets : outOctets;
      value = AgentValue::counter32(static_cast<std::uint32_t>(*current + step));
    } else if (column == IfMib::ifHCInOctets() || column == IfMib::ifHCOutOctets()) {
      const std::uint64_t step = column == IfMib::ifHCInOctets() ? inOctets : outOctets;
      value = AgentValue::counter64(*current + step);
    }
  }
}

void AgentTable::removeHighCapacityCounters() {
  removeColumn(IfMib::ifHCInOctets());
  removeColumn(IfMib::ifHCOutOctets());
}

void AgentTable::removeColumn(const OID& column) {
  std::erase_if(entries_, [&column](const auto& entry) {
    return entry.first.size() > column.size() && startsWith(entry.first, column);
  });
}

}  // namespace pulsewell
