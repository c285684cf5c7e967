#include "agent/agent_protocol.h"

#include <algorithm>
#include <limits>

#include "snmp/ber_tags.h"
#include "snmp/snmp_codec.h"

namespace pulsewell::AgentProtocol {

namespace {
constexpr std::int64_t versionTwoC = 1;
// How much the three enclosing lengths (bindings list, PDU, message) can grow once
// content is added: from one byte to at most five each.
constexpr std::size_t lengthGrowth = std::size_t{3} * 4;

void append(Bytes& out, ByteView bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

Bytes bindingElement(const Binding& binding) {
  Bytes content = SNMPCodec::tlv(BERTag::objectIdentifier, SNMPCodec::oidBytes(binding.oid));
  append(content, binding.value);
  return SNMPCodec::tlv(BERTag::sequence, content);
}

std::size_t bindingSize(const Binding& binding) {
  return bindingElement(binding).size();
}

// Bytes left for bindings in an answer to `request`.
std::size_t bindingBudget(const Request& request) {
  const Reply empty{.id = request.id, .errorStatus = errorTooBig};
  const std::size_t overhead = encodeResponse(request.community, empty).size() + lengthGrowth;
  return overhead >= maxDatagram ? 0 : maxDatagram - overhead;
}

Binding exact(const AgentTable& table, const OID& oid) {
  const AgentValue* value = table.find(oid);
  return {oid, value != nullptr ? value->encode() : AgentValue::noSuchInstance().encode()};
}

Binding successor(const AgentTable& table, const OID& oid) {
  const auto* next = table.next(oid);
  if (next == nullptr) return {oid, AgentValue::endOfMibView().encode()};
  return {next->first, next->second.encode()};
}

bool isEndOfMibView(const Binding& binding) {
  return !binding.value.empty() && binding.value.front() == BERTag::endOfMibView;
}

std::size_t clampCount(std::int64_t value, std::size_t limit) {
  if (value <= 0) return 0;
  return static_cast<std::size_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(value), limit));
}

// RFC 3416, 4.2.3: the first non-repeaters bindings get one successor each, the others
// `repetitions` successors, interleaved row by row. Stops early once a whole row is past
// the end, or when the next binding would not fit.
std::optional<std::vector<Binding>> bulk(const Request& request, const AgentTable& table,
                                         std::optional<std::size_t> forced, std::size_t budget) {
  const std::size_t count = request.bindings.size();
  const std::size_t nonRepeaters = clampCount(request.nonRepeaters, count);
  const std::size_t repetitions =
      forced ? *forced
             : clampCount(request.maxRepetitions, static_cast<std::size_t>(maxRepetitionsCap));
  const std::size_t wanted = forced ? *forced : std::numeric_limits<std::size_t>::max();

  std::vector<Binding> out;
  std::size_t used = 0;
  for (std::size_t i = 0; i < nonRepeaters && out.size() < wanted; ++i) {
    Binding binding = successor(table, request.bindings[i].oid);
    used += bindingSize(binding);
    if (used > budget) return std::nullopt;  // the non-repeaters alone do not fit: tooBig
    out.push_back(std::move(binding));
  }

  std::vector<OID> cursors;
  for (std::size_t i = nonRepeaters; i < count; ++i)
    cursors.push_back(request.bindings[i].oid);
  for (std::size_t row = 0; row < repetitions && !cursors.empty(); ++row) {
    bool rowEnded = true;
    for (OID& cursor : cursors) {
      if (out.size() >= wanted) return out;
      Binding binding = successor(table, cursor);
      used += bindingSize(binding);
      if (used > budget) return out;
      rowEnded = rowEnded && isEndOfMibView(binding);
      cursor = binding.oid;
      out.push_back(std::move(binding));
    }
    if (rowEnded) break;
  }
  return out;
}

std::size_t totalSize(const std::vector<Binding>& bindings) {
  std::size_t total = 0;
  for (const Binding& binding : bindings)
    total += bindingSize(binding);
  return total;
}

}  // namespace

std::optional<Request> decodeRequest(ByteView datagram) {
  SNMPCodec::Reader outer(datagram);
  const auto message = outer.next();
  if (!message || message->tag != BERTag::sequence) return std::nullopt;

  SNMPCodec::Reader fields(message->body);
  const auto version = fields.integerValue();
  if (!version || *version != versionTwoC) return std::nullopt;
  const auto community = fields.next();
  if (!community || community->tag != BERTag::octetString) return std::nullopt;
  const auto pdu = fields.next();
  if (!pdu) return std::nullopt;

  Request request;
  request.community.assign(community->body.begin(), community->body.end());
  request.pdu = pdu->tag;

  SNMPCodec::Reader inner(pdu->body);
  const auto id = inner.integerValue();
  if (!id || *id < std::numeric_limits<std::int32_t>::min() ||
      *id > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  request.id = static_cast<std::int32_t>(*id);
  const auto second = inner.integerValue();
  const auto third = inner.integerValue();
  const auto list = inner.next();
  if (!second || !third || !list || list->tag != BERTag::sequence) return std::nullopt;
  request.nonRepeaters = *second;
  request.maxRepetitions = *third;

  SNMPCodec::Reader bindings(list->body);
  while (!bindings.atEnd()) {
    const auto element = bindings.next();
    if (!element || element->tag != BERTag::sequence) return std::nullopt;
    SNMPCodec::Reader parts(element->body);
    const auto name = parts.next();
    if (!name || name->tag != BERTag::objectIdentifier) return std::nullopt;
    auto oid = SNMPCodec::decodeOID(name->body);
    const auto value = parts.next();
    if (!oid || !value) return std::nullopt;
    request.bindings.push_back({std::move(*oid), SNMPCodec::tlv(value->tag, value->body)});
  }
  return request;
}

std::optional<Reply> answer(const Request& request, const AgentTable& table,
                            std::optional<std::size_t> forcedBulkBindings) {
  const std::size_t budget = bindingBudget(request);
  const Reply tooBig{.id = request.id, .errorStatus = errorTooBig};
  Reply reply{.id = request.id};
  switch (request.pdu) {
    case BERTag::getRequest:
      for (const Binding& binding : request.bindings) {
        reply.bindings.push_back(exact(table, binding.oid));
      }
      break;
    case BERTag::getNextRequest:
      for (const Binding& binding : request.bindings) {
        reply.bindings.push_back(successor(table, binding.oid));
      }
      break;
    case BERTag::getBulkRequest: {
      auto bindings = bulk(request, table, forcedBulkBindings, budget);
      if (!bindings) return tooBig;
      reply.bindings = std::move(*bindings);
      return reply;
    }
    case BERTag::setRequest:
      // Read-only: every object exists as far as a writer is concerned, none is writable.
      reply.errorStatus = errorNotWritable;
      reply.errorIndex = request.bindings.empty() ? 0 : 1;
      reply.bindings = request.bindings;
      break;
    default:
      return std::nullopt;
  }
  if (totalSize(reply.bindings) > budget) return tooBig;
  return reply;
}

Bytes encodeResponse(std::string_view community, const Reply& reply) {
  Bytes list;
  for (const Binding& binding : reply.bindings)
    append(list, bindingElement(binding));

  Bytes pdu = SNMPCodec::integer(reply.id);
  append(pdu, SNMPCodec::integer(reply.errorStatus));
  append(pdu, SNMPCodec::integer(reply.errorIndex));
  append(pdu, SNMPCodec::tlv(BERTag::sequence, list));

  Bytes message = SNMPCodec::integer(versionTwoC);
  const ByteView communityBytes(reinterpret_cast<const std::uint8_t*>(community.data()),
                                community.size());
  append(message, SNMPCodec::tlv(BERTag::octetString, communityBytes));
  append(message, SNMPCodec::tlv(BERTag::response, pdu));
  return SNMPCodec::tlv(BERTag::sequence, message);
}

}  // namespace pulsewell::AgentProtocol
