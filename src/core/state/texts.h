#pragma once
// The start-up and shutdown texts the user sees, word for word.
#include <QString>

namespace texts {

inline const QString AppTitle = QStringLiteral("lumora viewer 5");
inline const QString TitleSuffix = QStringLiteral(" - lumora viewer 5");
// The main window's title before the first cam has been shown.
inline const QString DesignTitle = QStringLiteral("...") + TitleSuffix;

inline const QString ConfigMessage =
    QStringLiteral("Can't read 'config.ini' !!!\r\nPlease reinstall lumora viewer 5 !");
inline const QString ConnectionMessage =
    QStringLiteral("It seems, that there is a problem with your Internet connection.\r\n"
                   "Please check your connection and try again.");
// A catalogue that parses to no cam at all (an error page, an empty list): there is
// nothing to show, so the program says so instead of opening an empty window.
inline const QString EmptyCatalogueMessage =
    QStringLiteral("The cam list from the server holds no cams.\r\n"
                   "Please check the address in 'config.ini' and try again later.");

// The stop message's second button when the cam list could not be downloaded.
inline const QString RetryButton = QStringLiteral("Retry");

// The causes the stop message's detail line and standard error give for a cam list that
// did not arrive or holds nothing: %1 is the cam list's address.
inline const QString DownloadFailedCause = QStringLiteral("Could not download %1: %2");
inline const QString EmptyAnswerCause = QStringLiteral("Could not download %1: the answer is empty (HTTP status %2)");
inline const QString WorkingFileCause = QStringLiteral("Cannot write the working file %1");
inline const QString NoCamCause = QStringLiteral("The cam list from %1 holds no cam line (%2 bytes, HTTP status %3)");

} // namespace texts
