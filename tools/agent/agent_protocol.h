#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/agent_table.h"
#include "snmp/ber_tags.h"
#include "snmp/snmp_value.h"

// The simulator agent's side of SNMP v2c: reading requests and building the Response a
// read-only agent gives (RFC 3416). Pure functions over bytes and a table.
namespace pulsewell::AgentProtocol {

constexpr std::int64_t errorTooBig = 1;
constexpr std::int64_t errorNotWritable = 17;

// Repetitions granted to one GetBulk at most, whatever it asks for: keeps one request
// from walking a whole large table in a single answer.
constexpr std::int64_t maxRepetitionsCap = 100;
// The largest UDP payload over IPv4; an answer must fit one datagram.
constexpr std::size_t maxDatagram = 65507;

// One binding: its name and its complete value element (tag, length, content).
struct Binding {
  OID oid{};
  Bytes value{};

  bool operator==(const Binding&) const = default;
};

struct Request {
  std::string community{};
  std::uint8_t pdu = 0;
  std::int32_t id = 0;
  // The second and third INTEGER of the PDU: error-status and error-index except in a
  // GetBulk.
  std::int64_t nonRepeaters = 0;
  std::int64_t maxRepetitions = 0;
  std::vector<Binding> bindings{};
};

struct Reply {
  std::int32_t id = 0;
  std::int64_t errorStatus = 0;
  std::int64_t errorIndex = 0;
  std::vector<Binding> bindings{};

  bool operator==(const Reply&) const = default;
};

// An SNMP v2c message (version 1) with a PDU of any tag, or none when the datagram is not
// one: wrong version, a request-id beyond 32 bits, an undecodable binding.
std::optional<Request> decodeRequest(ByteView datagram);

// What a read-only agent over `table` answers, or none for a PDU it never answers
// (Response, Trap, Report, Inform). Get gives noSuchInstance for absent objects, GetNext
// and GetBulk give endOfMibView past the end, Set is refused with notWritable. A GetBulk
// is granted at most maxRepetitionsCap repetitions, or exactly `forcedBulkBindings`
// bindings when given; repetitions stop after one that ended every column, and any answer
// is cut (GetBulk) or refused with tooBig (others) to fit one datagram for `community`.
std::optional<Reply> answer(const Request& request, const AgentTable& table,
                            std::optional<std::size_t> forcedBulkBindings = std::nullopt);

// The Response message carrying `reply`.
Bytes encodeResponse(std::string_view community, const Reply& reply);

}  // namespace pulsewell::AgentProtocol
