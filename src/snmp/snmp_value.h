#pragma once

#include <compare>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace pulsewell {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// An object identifier as its list of arcs, e.g. 1.3.6.1.2.1.31.1.1.1.1.
using OID = std::vector<std::uint32_t>;

// A decoded SNMP value. The three exception tags (noSuchObject, noSuchInstance,
// endOfMibView) all become `missing`: callers never need to tell them apart.
class SNMPValue {
 public:
  enum class Kind { integer, unsignedInteger, bytes, oid, null, missing };

  static SNMPValue integer(std::int64_t value) { return SNMPValue{value}; }
  static SNMPValue unsignedInteger(std::uint64_t value) { return SNMPValue{value}; }
  static SNMPValue bytes(Bytes value) { return SNMPValue{std::move(value)}; }
  static SNMPValue bytes(std::string_view text) {
    return SNMPValue{Bytes(text.begin(), text.end())};
  }
  static SNMPValue oid(OID value) { return SNMPValue{std::move(value)}; }
  static SNMPValue null() { return SNMPValue{Null{}}; }
  static SNMPValue missing() { return SNMPValue{Missing{}}; }

  Kind kind() const { return static_cast<Kind>(payload_.index()); }

  // Each accessor gives the payload when the value is of that case, else nullptr.
  const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&payload_); }
  const std::uint64_t* asUnsigned() const { return std::get_if<std::uint64_t>(&payload_); }
  const Bytes* asBytes() const { return std::get_if<Bytes>(&payload_); }
  const OID* asOID() const { return std::get_if<OID>(&payload_); }
  bool isNull() const { return kind() == Kind::null; }
  bool isMissing() const { return kind() == Kind::missing; }

  bool operator==(const SNMPValue&) const = default;

 private:
  struct Null {
    bool operator==(const Null&) const = default;
  };
  struct Missing {
    bool operator==(const Missing&) const = default;
  };
  // Order matches Kind.
  using Payload = std::variant<std::int64_t, std::uint64_t, Bytes, OID, Null, Missing>;

  template <typename T>
  explicit SNMPValue(T value) : payload_(std::move(value)) {}

  Payload payload_;
};

struct SNMPVarBind {
  OID oid;
  SNMPValue value;

  bool operator==(const SNMPVarBind&) const = default;
};

}  // namespace pulsewell
