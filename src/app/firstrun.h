#pragma once
// The first start, when no config.ini exists anywhere: asks the user for the catalogue
// server's address and writes it into configFile, the user's own config.ini (see
// writeNewConfig()).
//
// Returns at once; the dialog waits for the user without a loop of its own. Once OK has
// been pressed, written(problem) runs with an empty problem when the file is in place, or
// with why it could not be written. Cancel, Escape or closing the dialog writes nothing and
// ends the program with code 1, as does a termination signal while it asks.
#include <QString>

#include <functional>

class TerminationSignals;

void askForServerAddress(const QString &configFile, TerminationSignals &termination,
                         const std::function<void(const QString &problem)> &written);
