#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/agent_table.h"
#include "snmp/snmp_value.h"

// A scripted agent table as text, one binding per line:
//
//   # comment
//   1.3.6.1.2.1.31.1.1.1.1.1   string     eth0
//   1.3.6.1.2.1.31.1.1.1.1.2   string     "wan \"uplink\" \x00"
//   1.3.6.1.2.1.31.1.1.1.6.1   counter64  123456789
//   1.3.6.1.2.1.2.2.1.8.1      integer    1
//
// Types: string, integer, counter32, gauge32, counter64, timeticks, oid, null. A string
// is the rest of the line without surrounding blanks, or a quoted text with the escapes
// \" \\ \n \t and \xHH (for blanks at the ends, an empty text or any byte). Lines whose
// first non-blank is # are comments.
namespace pulsewell::TableFile {

struct Error {
  std::size_t line = 0;  // 1-based; 0 for the file as a whole
  std::string message{};

  // "line 3: message", or the message alone for line 0.
  std::string text() const;
  bool operator==(const Error&) const = default;
};

struct Parsed {
  AgentTable table;  // the bindings of every good line
  std::vector<Error> errors;
};

// Every bad line gives one error; the good lines still fill the table.
Parsed parse(std::string_view text);
Parsed load(const std::filesystem::path& path);

// Dotted decimal arcs, with or without a leading dot; none unless AgentValue can carry it.
std::optional<OID> parseOID(std::string_view text);

}  // namespace pulsewell::TableFile
