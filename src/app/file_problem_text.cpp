#include "app/file_problem_text.h"

#include <cerrno>
#include <system_error>

namespace pulsewell {

std::string fileProblemText(const FileProblem& problem, bool german) {
  const std::string& path = problem.path;
  switch (problem.error) {
    case ENOTDIR:
      return path + (german ? " ist kein Ordner" : " is not a folder");
    case EISDIR:
      return path + (german ? " ist ein Ordner" : " is a folder");
    case EINVAL:
      return path + (german ? " ist keine gewöhnliche Datei" : " is not a regular file");
    case EACCES:
    case EPERM:
      return path + (german ? ": keine Berechtigung" : ": permission denied");
    case EROFS:
      return path + (german ? " liegt auf einem schreibgeschützten Dateisystem"
                            : " is on a read-only file system");
    case ENOSPC:
    case EDQUOT:
      return path + (german ? ": kein Platz mehr auf dem Datenträger" : ": no space left on disk");
    case ELOOP:
      return path + (german ? ": zu viele symbolische Verknüpfungen" : ": too many symbolic links");
    default:
      // Rare causes in the system's own words.
      return path + ": " + std::generic_category().message(problem.error);
  }
}

}  // namespace pulsewell
