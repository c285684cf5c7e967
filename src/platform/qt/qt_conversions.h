#pragma once

#include <QString>
#include <string>
#include <string_view>

// The one place where the shell's Qt types and the core's standard types meet. The core
// holds text as UTF-8.
namespace pulsewell {

QString toQString(std::string_view utf8);
std::string toStdString(const QString& text);

}  // namespace pulsewell
