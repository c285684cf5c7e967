#pragma once

// net-snmp's library doing the codec's work, the reference of the codec benchmarks. Kept
// apart from the code under measurement: net-snmp's headers declare names (`oid`, ...)
// that clash with ours.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pulsewell::bench {

class NetSnmpReference {
 public:
  NetSnmpReference(std::string community, std::vector<std::vector<std::uint32_t>> requestOIDs);
  ~NetSnmpReference();
  NetSnmpReference(const NetSnmpReference&) = delete;
  NetSnmpReference& operator=(const NetSnmpReference&) = delete;

  // What net-snmp does with every received datagram: a new PDU, snmp_parse, the PDU freed
  // once the caller is done. The number of bindings, or none when refused.
  std::optional<std::size_t> parse(std::span<std::uint8_t> datagram);

  // A GetRequest for the OIDs given at construction: a new PDU with one null binding per
  // OID, snmp_build into a kept buffer (backwards from its end), the PDU freed. The
  // message, valid until the next build; empty when refused.
  std::span<const std::uint8_t> build(std::int32_t requestID);

 private:
  struct State;
  State* state_;
};

}  // namespace pulsewell::bench
