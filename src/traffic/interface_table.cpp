#include "traffic/interface_table.h"

#include <array>
#include <map>

#include "snmp/if_mib.h"
#include "traffic/interface_counters.h"
#include "traffic/interface_name.h"

namespace pulsewell {
namespace {

// The columns walked, in this order.
enum Column : std::size_t { name, descr, operStatus, hcIn, hcOut, in, out, columnCount };

std::vector<OID> columnsFor(RowDetail detail) {
  std::vector<OID> roots{IfMib::ifName(), IfMib::ifDescr(), IfMib::ifOperStatus()};
  if (detail == RowDetail::namesAndCounters) {
    roots.insert(roots.end(), {IfMib::ifHCInOctets(), IfMib::ifHCOutOctets(), IfMib::ifInOctets(),
                               IfMib::ifOutOctets()});
  }
  return roots;
}

}  // namespace

std::vector<InterfaceRow> readInterfaceRows(const SNMPClient& client, RowDetail detail) {
  const auto walked = client.walkColumns(columnsFor(detail), SNMPClient::walkLimit);

  // Each row's value in every column, by index; a column the row lacks stays missing.
  static const SNMPValue missing = SNMPValue::missing();
  std::map<std::uint32_t, std::array<const SNMPValue*, columnCount>> cells;
  for (std::size_t column = 0; column < walked.size(); ++column) {
    for (const SNMPVarBind& binding : walked[column]) {
      if (binding.oid.empty()) continue;
      auto [row, added] = cells.try_emplace(binding.oid.back());
      if (added) row->second.fill(&missing);
      row->second[column] = &binding.value;
    }
  }

  std::vector<InterfaceRow> rows;
  for (const auto& [index, cell] : cells) {
    const auto rowName = interfaceName(*cell[name], *cell[descr]);
    if (!rowName) continue;
    InterfaceRow row{index, Bytes(rowName->begin(), rowName->end())};
    row.isUp = IfMib::isOperStatusUp(*cell[operStatus]);
    if (detail == RowDetail::namesAndCounters) {
      const auto counters = chooseCounters(counterValue(*cell[hcIn]), counterValue(*cell[hcOut]),
                                           counterValue(*cell[in]), counterValue(*cell[out]));
      row.counters = counters ? counters->width() : CounterWidth::none;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace pulsewell
