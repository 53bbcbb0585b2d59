#pragma once
// The words of saving and copying the cam's picture: the picture menu's entries and the
// status messages that answer them.
#include <QString>

namespace snapshot_texts {

inline const QString SavePicture = QStringLiteral("Save picture");
inline const QString CopyPicture = QStringLiteral("Copy picture");
inline const QString CopyPictureAddress = QStringLiteral("Copy picture address");

// %1: the saved file's full path.
inline const QString SavedTo = QStringLiteral("Saved to %1");
inline const QString NothingToSave = QStringLiteral("Nothing to save");
inline const QString NothingToCopy = QStringLiteral("Nothing to copy");
inline const QString NoAddress = QStringLiteral("No picture address to copy");
// %1: the folder.
inline const QString SaveFailed = QStringLiteral("The picture could not be saved in %1");
inline const QString SaveCancelled = QStringLiteral("The picture was not saved");
inline const QString PictureCopied = QStringLiteral("Picture copied");
inline const QString AddressCopied = QStringLiteral("Picture address copied");
inline const QString ChooseFolderTitle = QStringLiteral("Choose a folder for saved pictures");

} // namespace snapshot_texts
