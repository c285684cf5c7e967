#include "netsnmp_reference.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstdlib>

namespace pulsewell::bench {

namespace {
// Room for a request of a few OIDs; snmp_build grows the buffer itself if ever needed.
constexpr std::size_t buildBufferSize = 1500;
}  // namespace

struct NetSnmpReference::State {
  std::string community;
  std::vector<std::vector<oid>> names;
  netsnmp_session session{};
  u_char* buffer = static_cast<u_char*>(std::malloc(buildBufferSize));
  std::size_t bufferSize = buildBufferSize;
};

NetSnmpReference::NetSnmpReference(std::string community,
                                   std::vector<std::vector<std::uint32_t>> requestOIDs)
    : state_(new State) {
  state_->community = std::move(community);
  for (const auto& arcs : requestOIDs)
    state_->names.emplace_back(arcs.begin(), arcs.end());
  // A v2c session as net-snmp's request path sets one up, without opening a transport.
  snmp_sess_init(&state_->session);
  state_->session.version = SNMP_VERSION_2c;
  state_->session.community = reinterpret_cast<u_char*>(state_->community.data());
  state_->session.community_len = state_->community.size();
}

NetSnmpReference::~NetSnmpReference() {
  std::free(state_->buffer);
  delete state_;
}

std::optional<std::size_t> NetSnmpReference::parse(std::span<std::uint8_t> datagram) {
  auto* pdu = static_cast<netsnmp_pdu*>(std::calloc(1, sizeof(netsnmp_pdu)));
  std::optional<std::size_t> bindings;
  if (snmp_parse(nullptr, &state_->session, pdu, datagram.data(), datagram.size()) ==
      SNMPERR_SUCCESS) {
    bindings = 0;
    for (const netsnmp_variable_list* v = pdu->variables; v != nullptr; v = v->next_variable)
      ++*bindings;
  }
  snmp_free_pdu(pdu);
  return bindings;
}

std::span<const std::uint8_t> NetSnmpReference::build(std::int32_t requestID) {
  netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
  // What snmp_send takes from the session before it builds.
  pdu->version = state_->session.version;
  pdu->reqid = requestID;
  for (const auto& name : state_->names)
    snmp_add_null_var(pdu, name.data(), name.size());
  std::size_t offset = 0;
  const int result =
      snmp_build(&state_->buffer, &state_->bufferSize, &offset, &state_->session, pdu);
  snmp_free_pdu(pdu);
  if (result != SNMPERR_SUCCESS) return {};
  return {state_->buffer + state_->bufferSize - offset, offset};
}

}  // namespace pulsewell::bench
