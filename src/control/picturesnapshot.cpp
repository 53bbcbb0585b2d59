#include "picturesnapshot.h"

#include "control/camimagefetch.h"
#include "core/catalogue/camrecord.h"
#include "core/files/snapshot.h"
#include "core/files/xdgdirs.h"
#include "core/state/runningstate.h"
#include "core/state/snapshottexts.h"
#include "platform/picturedecoder.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QSettings>

#include <utility>

namespace {

const QString FolderKey = QStringLiteral("snapshots/folder");

QString extensionOf(const QByteArray &bytes)
{
    if (const auto sniffed = snapshot::sniffExtension(bytes))
        return *sniffed;
    // A format the decoder knows by other means than its first bytes.
    QBuffer buffer;
    buffer.setData(bytes);
    return snapshot::extensionOfFormat(QImageReader::imageFormat(&buffer));
}

} // namespace

PictureSnapshot::PictureSnapshot(const RunningState &state, const CamImageFetch &fetch, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_fetch(fetch)
{
}

QString PictureSnapshot::settingsFile()
{
    return xdg_dirs::configHome() + QStringLiteral("/lumora-viewer/settings.ini");
}

QString PictureSnapshot::saveFolder()
{
    const QString pictures = xdg_dirs::picturesFolder();
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    const QString chosen = QSettings(settingsFile(), QSettings::IniFormat).value(FolderKey).toString();
    if (!chosen.isEmpty() && QFileInfo(chosen).isDir())
        return chosen;
    return QString();
}

bool PictureSnapshot::canSave() const
{
    return !m_fetch.shownPictureBytes().isEmpty();
}

bool PictureSnapshot::canCopy() const
{
    return !m_fetch.shownPictureBytes().isEmpty() && !m_fetch.picture().isNull();
}

bool PictureSnapshot::canCopyAddress() const
{
    return !addressToCopy().isEmpty();
}

QString PictureSnapshot::addressToCopy() const
{
    return m_fetch.shownPictureAddress().isEmpty() ? m_state.selection.pictureAddress() : m_fetch.shownPictureAddress();
}

void PictureSnapshot::savePicture()
{
    if (!canSave()) {
        emit statusMessage(snapshot_texts::NothingToSave);
        return;
    }
    const Request request{m_fetch.shownPictureBytes(), CamRecord::field(m_state.selection.currentCamFields(), CamRecord::CamName),
                          QDateTime::currentDateTime()};
    const QString folder = saveFolder();
    if (!folder.isEmpty())
        return save(request, folder);
    m_waiting = request;
    emit folderRequested();
}

void PictureSnapshot::folderChosen(const QString &folder)
{
    if (!m_waiting)
        return;
    const Request request = *std::exchange(m_waiting, std::nullopt);
    if (folder.isEmpty()) {
        emit statusMessage(snapshot_texts::SaveCancelled);
        return;
    }
    QSettings settings(settingsFile(), QSettings::IniFormat);
    settings.setValue(FolderKey, QDir(folder).absolutePath());
    settings.sync();
    save(request, folder);
}

void PictureSnapshot::save(const Request &request, const QString &folder)
{
    const QString name = snapshot::fileName(request.camName, request.time, extensionOf(request.bytes));
    const std::optional<QString> path = snapshot::saveNew(QDir(folder), name, request.bytes);
    if (!path) {
        emit statusMessage(snapshot_texts::SaveFailed.arg(QDir::toNativeSeparators(folder)));
        return;
    }
    emit statusMessage(snapshot_texts::SavedTo.arg(QDir::toNativeSeparators(*path)));
    emit pictureSaved(*path);
}

void PictureSnapshot::copyPicture()
{
    if (!canCopy()) {
        emit statusMessage(snapshot_texts::NothingToCopy);
        return;
    }
    const QByteArray &bytes = m_fetch.shownPictureBytes();
    QImage picture = m_fetch.picture();
    // The picture shown may be a reduced decode; the clipboard gets it at its full size.
    if (m_fetch.pictureReduction() > 1) {
        QString error;
        const Picture full = decodePictureBytes(bytes, error);
        if (!full || full->isNull()) {
            emit statusMessage(snapshot_texts::NothingToCopy);
            return;
        }
        picture = *full;
    }
    QGuiApplication::clipboard()->setImage(picture);
    emit statusMessage(snapshot_texts::PictureCopied);
}

void PictureSnapshot::copyPictureAddress()
{
    const QString address = addressToCopy();
    if (address.isEmpty()) {
        emit statusMessage(snapshot_texts::NoAddress);
        return;
    }
    QGuiApplication::clipboard()->setText(address);
    emit statusMessage(snapshot_texts::AddressCopied);
}
