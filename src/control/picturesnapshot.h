#pragma once
// Keeping the cam's picture: saved as a file exactly as it was downloaded (bytes and
// format), copied to the clipboard decoded at its full size, or its address copied as
// text. Only the picture the views show now counts (CamImageFetch::shownPictureBytes());
// with none on show, each action says so instead.
//
// A saved picture goes into the user's pictures folder when that exists, otherwise into
// the folder the user chose once, remembered in settingsFile(). With neither,
// folderRequested() asks for one and the save waits for folderChosen(); the picture and
// the moment saved are those of the request. Nothing already in the folder is replaced
// or written through (snapshot::saveNew).
//
// Every outcome is announced with statusMessage() for the window the user is looking at.
#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>

class CamImageFetch;
struct RunningState;

class PictureSnapshot : public QObject
{
    Q_OBJECT
public:
    PictureSnapshot(const RunningState &state, const CamImageFetch &fetch, QObject *parent = nullptr);

    // Where the chosen folder is remembered: "lumora-viewer/settings.ini" under the
    // user's configuration folder (xdg_dirs::configHome()).
    static QString settingsFile();
    // The folder a picture is saved into now; empty when the user has to choose one.
    static QString saveFolder();

    // Whether there is a picture to save, to copy, an address to copy; what the actions
    // below find. The picture menu greys its entries by these.
    bool canSave() const;
    bool canCopy() const;
    bool canCopyAddress() const;

    void savePicture();
    // The user's answer to folderRequested(); an empty path: declined.
    void folderChosen(const QString &folder);
    void copyPicture();
    void copyPictureAddress();

signals:
    void folderRequested();
    void statusMessage(const QString &text);
    // The file a save made.
    void pictureSaved(const QString &path);

private:
    struct Request
    {
        QByteArray bytes;
        QString camName;
        QDateTime time;
    };
    void save(const Request &request, const QString &folder);
    QString addressToCopy() const;

    const RunningState &m_state;
    const CamImageFetch &m_fetch;
    std::optional<Request> m_waiting; // for the folder
};
