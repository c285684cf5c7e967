#include "snmp/if_mib.h"

namespace pulsewell::IfMib {

namespace {

OID ifTableColumn(std::uint32_t column) {
  return {1, 3, 6, 1, 2, 1, 2, 2, 1, column};
}
OID ifXTableColumn(std::uint32_t column) {
  return {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, column};
}

}  // namespace

OID sysUpTime() {
  return {1, 3, 6, 1, 2, 1, 1, 3, 0};
}
OID ifIndex() {
  return ifTableColumn(1);
}
OID ifDescr() {
  return ifTableColumn(2);
}
OID ifSpeed() {
  return ifTableColumn(5);
}
OID ifOperStatus() {
  return ifTableColumn(8);
}
OID ifInOctets() {
  return ifTableColumn(10);
}
OID ifOutOctets() {
  return ifTableColumn(16);
}
OID ifName() {
  return ifXTableColumn(1);
}
OID ifHCInOctets() {
  return ifXTableColumn(6);
}
OID ifHCOutOctets() {
  return ifXTableColumn(10);
}

OID ifHighSpeed() {
  return ifXTableColumn(15);
}

OID instance(const OID& column, std::uint32_t index) {
  OID oid = column;
  oid.push_back(index);
  return oid;
}

}  // namespace pulsewell::IfMib
