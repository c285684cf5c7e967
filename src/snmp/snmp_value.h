#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pulsewell {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// An object identifier as its list of arcs, e.g. 1.3.6.1.2.1.31.1.1.1.1.
using OID = std::vector<std::uint32_t>;
// The arcs of an OID held elsewhere.
using OIDView = std::span<const std::uint32_t>;

// A decoded SNMP value. The three exception tags (noSuchObject, noSuchInstance,
// endOfMibView) all become `missing`: callers never need to tell them apart. An unsigned
// value keeps the width of its type: a Counter32 wraps at 2^32, a Counter64 does not.
// SNMPValue owns its byte string or OID; SNMPValueView points into the storage it was
// decoded from, so decoding a reply need not copy anything.
template <typename ByteString, typename Arcs>
class BasicSNMPValue {
 public:
  enum class Kind { integer, unsignedInteger, bytes, oid, null, missing };

  static BasicSNMPValue integer(std::int64_t value) { return BasicSNMPValue{value}; }
  // A 64-bit unsigned value, as a Counter64 carries it.
  static BasicSNMPValue unsignedInteger(std::uint64_t value) {
    return BasicSNMPValue{Unsigned{value, 64}};
  }
  // A 32-bit one: Counter32, Gauge32, TimeTicks.
  static BasicSNMPValue unsigned32(std::uint32_t value) {
    return BasicSNMPValue{Unsigned{value, 32}};
  }
  static BasicSNMPValue bytes(ByteString value) { return BasicSNMPValue{std::move(value)}; }
  static BasicSNMPValue bytes(std::string_view text) requires std::same_as<ByteString, Bytes> {
    return BasicSNMPValue{Bytes(text.begin(), text.end())};
  }
  static BasicSNMPValue oid(Arcs value) { return BasicSNMPValue{std::move(value)}; }
  static BasicSNMPValue null() { return BasicSNMPValue{Null{}}; }
  static BasicSNMPValue missing() { return BasicSNMPValue{Missing{}}; }

  Kind kind() const { return static_cast<Kind>(payload_.index()); }

  // Each accessor gives the payload when the value is of that case, else nullptr.
  const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&payload_); }
  const std::uint64_t* asUnsigned() const {
    const auto* number = std::get_if<Unsigned>(&payload_);
    return number != nullptr ? &number->value : nullptr;
  }
  // 32 or 64 for an unsigned value, else 0.
  unsigned unsignedBits() const {
    const auto* number = std::get_if<Unsigned>(&payload_);
    return number != nullptr ? number->bits : 0;
  }
  const ByteString* asBytes() const { return std::get_if<ByteString>(&payload_); }
  const Arcs* asOID() const { return std::get_if<Arcs>(&payload_); }
  bool isNull() const { return kind() == Kind::null; }
  bool isMissing() const { return kind() == Kind::missing; }

  bool operator==(const BasicSNMPValue&) const = default;

 private:
  struct Unsigned {
    std::uint64_t value;
    unsigned bits;
    bool operator==(const Unsigned&) const = default;
  };
  struct Null {
    bool operator==(const Null&) const = default;
  };
  struct Missing {
    bool operator==(const Missing&) const = default;
  };
  // Order matches Kind.
  using Payload = std::variant<std::int64_t, Unsigned, ByteString, Arcs, Null, Missing>;

  template <typename T>
  explicit BasicSNMPValue(T value) : payload_(std::move(value)) {}

  Payload payload_;
};

using SNMPValue = BasicSNMPValue<Bytes, OID>;
using SNMPValueView = BasicSNMPValue<ByteView, OIDView>;

struct SNMPVarBind {
  OID oid;
  SNMPValue value;

  bool operator==(const SNMPVarBind&) const = default;
};

// A binding whose OID and value point into the storage they were decoded from.
struct SNMPVarBindView {
  OIDView oid;
  SNMPValueView value;
};

}  // namespace pulsewell
