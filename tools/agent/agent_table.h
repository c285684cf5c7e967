#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include "agent/agent_value.h"
#include "agent/simulated_interface.h"
#include "snmp/snmp_value.h"

namespace pulsewell {

// The objects a simulator agent serves, kept in OID order (arc by arc, a prefix first),
// which is the order GetNext and GetBulk walk.
class AgentTable {
 public:
  using Entries = std::map<OID, AgentValue>;

  // Adds or replaces one object. Throws std::invalid_argument for an OID that BER cannot
  // carry (AgentValue::isEncodableOID).
  void set(OID oid, AgentValue value);
  // With the usual wire type of `value` (AgentValue::from).
  void set(OID oid, const SNMPValue& value);
  // Whether there was such an object.
  bool remove(const OID& oid);
  void clear() { entries_.clear(); }

  const AgentValue* find(const OID& oid) const;
  // The first object strictly after `oid`, or nullptr at the end of the table.
  const Entries::value_type* next(const OID& oid) const;

  const Entries& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // Writes the row of `row.index`: ifIndex, ifDescr and ifName (the name), ifOperStatus,
  // ifInOctets and ifOutOctets (the counters modulo 2^32, as a 32-bit counter wraps) and,
  // with high-capacity counters, ifHCInOctets and ifHCOutOctets. Replaces the whole row.
  void setInterface(const SimulatedInterface& row);
  // Removes every interface column of row `index`.
  void removeInterface(std::uint32_t index);

  // Device behaviours that tests replay as table changes.

  // Renumbering: the row at `from` moves to `to`, replacing any row there.
  void moveInterface(std::uint32_t from, std::uint32_t to);
  // A restart: every octet counter of every row starts again at 0.
  void resetCounters();
  // Traffic: every row's received (in) and sent (out) octet counters move on by these
  // amounts, the 32-bit ones wrapping as a device's do.
  void addToCounters(std::uint64_t inOctets, std::uint64_t outOctets);
  // An agent without 64-bit counters: ifHCInOctets and ifHCOutOctets disappear.
  void removeHighCapacityCounters();
  // Every object under `column`, e.g. IfMib::ifName() for an empty ifName column.
  void removeColumn(const OID& column);

  bool operator==(const AgentTable&) const = default;

 private:
  Entries entries_;
};

}  // namespace pulsewell
