#pragma once

#include <optional>

#include "snmp/snmp_value.h"

namespace pulsewell {

// `bytes` without the NUL bytes at their end: no part of a name (Windows ends every ifDescr
// with one).
ByteView withoutTrailingNuls(ByteView bytes);

// The name a row of the interface table goes by: its ifName, or where that is absent or
// empty, its ifDescr, which is all that agents without the ifXTable name interfaces by.
// None when neither holds a name. Works on owned values and on views alike.
template <typename Value>
std::optional<ByteView> interfaceName(const Value& ifName, const Value& ifDescr) {
  for (const Value* column : {&ifName, &ifDescr}) {
    if (const auto* bytes = column->asBytes()) {
      const ByteView name = withoutTrailingNuls(ByteView(bytes->data(), bytes->size()));
      if (!name.empty()) return name;
    }
  }
  return std::nullopt;
}

}  // namespace pulsewell
