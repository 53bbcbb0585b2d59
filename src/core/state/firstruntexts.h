#pragma once
// The words of the first start, when there is no config.ini yet: the question for the
// catalogue server's address and what it says about an address it cannot take.
#include <QString>

namespace first_run_texts {

inline const QString AddressLabel = QStringLiteral("Address of the cam catalogue server (http or https):");
inline const QString NotAnAddress =
    QStringLiteral("Type an address that starts with http:// or https:// and names the server.");
inline const QString NotABase = QStringLiteral("The server's address cannot hold \"?\", \"#\" or \"=\".");
inline const QString TooLong = QStringLiteral("The address is longer than 2048 characters.");
// %1: the file, %2: why it could not be written.
inline const QString WriteFailedCause = QStringLiteral("Cannot write %1: %2");

} // namespace first_run_texts
