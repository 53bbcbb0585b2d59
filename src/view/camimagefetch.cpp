#include "camimagefetch.h"

#include "app/runningstate.h"
#include "app/workingfiles.h"
#include "catalogue/camrecord.h"
#include "platform/download.h"
#include "platform/picturedecoder.h"
#include "platform/twips.h"
#include "status/statusbar.h"
#include "view/fetchrules.h"
#include "view/picturearea.h"
#include "view/pictureextension.h"
#include "view/pictureloadjob.h"
#include "view/scaleddrawing.h"
#include "windows/form1.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>

CamImageFetch::CamImageFetch(RunningState &state, Form1 &form1, Transfer &inet, QDir workDir, int timeoutMs,
                             QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_form1(form1)
    , m_inet(inet)
    , m_workDir(std::move(workDir))
    , m_timeoutMs(timeoutMs)
    , m_pictureLoad(new PictureLoadJob(this))
{
    connect(m_pictureLoad, &PictureLoadJob::loaded, this, &CamImageFetch::pictureLoaded);
}

bool CamImageFetch::isRunning() const
{
    return m_running || m_pictureLoad->isBusy();
}

void CamImageFetch::setDecodeBudget(int ms)
{
    m_pictureLoad->setBudget(ms);
}

void CamImageFetch::abandon()
{
    ++m_generation;
    if (m_running) {
        m_inet.cancel();
        m_pictureLoad->cancel();
    }
}

void CamImageFetch::transferStateChanged(int code)
{
    if (m_running && !abandoned(m_run))
        DrawShadowText(*m_form1.picDraw, fetch_rules::stateBullets(code));
}

void CamImageFetch::writeFile(const QString &name, const QByteArray &bytes, bool *ok) const
{
    *ok = working_files::write(m_workDir, name, bytes);
}

void CamImageFetch::FetchCamImage()
{
    if (isRunning())
        return; // one refresh at a time; the one running will re-enable the heartbeat
    m_running = true;
    const quint64 run = m_run = m_generation;

    // No comments until this cam's have arrived; nothing else may be transferring.
    m_state.CommentTable = QStringList{QString(), QString()};
    m_inet.cancel();

    const QString address = m_form1.Text1->text();
    QString extension = picture_extension::ImageExtension(address);

    // A monotonic clock, so a transfer across midnight is not negative.
    QElapsedTimer clock;
    clock.start();
    DownloadRequest pictureRequest{address, PictureMaxBytes, m_timeoutMs};
    const DownloadResult picture = m_inet.download(pictureRequest);
    TransferSeconds = float(clock.nsecsElapsed() / 1e9);
    const bool current = !abandoned(run);

    if (current) {
        // One fallback name; a second failure gives up on the file for this run.
        bool written = false;
        writeFile(working_files::pictureFile(extension), picture.body, &written);
        if (!written) {
            extension = picture_extension::Fallback;
            writeFile(working_files::pictureFile(extension), picture.body, &written);
        }
        // The statistics give what was written, as it lies on disk.
        if (written) {
            const qint64 length = QFileInfo(m_workDir.filePath(working_files::pictureFile(extension))).size();
            if (const auto text = fetch_rules::transferStatusText(length, TransferSeconds))
                m_form1.StatusBar1->setPanelText(5, *text);
        }
    }

    // A failed comments download leaves the cam without comments.
    if (current) {
        const QString camId = CamRecord::field(m_state.CurrentCamFields, CamRecord::CamId);
        DownloadRequest commentsRequest{fetch_rules::commentsAddress(m_state.ServerUrl, camId), CatalogueMaxBytes,
                                        m_timeoutMs};
        const DownloadResult comments = m_inet.download(commentsRequest);
        if (comments.ok() && !abandoned(run)) {
            bool written = false;
            writeFile(working_files::TextFile, comments.body, &written);
            if (written) {
                if (const auto text = working_files::read(m_workDir, working_files::TextFile, CatalogueMaxBytes))
                    m_state.CommentTable = fetch_rules::buildCommentTable(*text);
            }
        }
    }

    // The picture is decoded off the window thread, and only if this cam is still the one
    // selected; pictureLoaded() ends the refresh.
    m_extension = extension;
    if (!abandoned(run)) {
        // A picture near the size limit goes before the next is decoded, so two of them
        // never take memory at once; the areas keep showing it meanwhile.
        std::vector<QImage> letGo;
        if (m_form1.picOriginal->picture().sizeInBytes() > LargePictureBytes) {
            letGo = takeHalvings();
            letGo.push_back(m_form1.picOriginal->picture());
            m_form1.picOriginal->setPicture(QImage());
        }
        QList<QSize> areas{m_form1.picDraw->size()};
        if (m_fullscreenArea)
            areas.append(m_fullscreenArea->size());
        if (m_pictureLoad->start(m_workDir.filePath(working_files::pictureFile(extension)), areas,
                                 m_form1.scaleMode(), std::move(letGo)))
            return;
    }
    endRefresh();
}

void CamImageFetch::pictureLoaded(const LoadedPicture &result)
{
    if (!m_running)
        return;
    if (!abandoned(m_run)) {
        const QImage picture = result.picture.value_or(QImage());
        m_form1.picOriginal->setPicture(picture);
        keepHalvings(picture, result.halvings);
        (void)m_form1.DrawScaled(*m_form1.picDraw);
        if (m_fullscreenArea)
            (void)m_form1.DrawScaled(*m_fullscreenArea);
    }
    endRefresh();
}

void CamImageFetch::endRefresh()
{
    QFile::remove(m_workDir.filePath(working_files::pictureFile(m_extension)));
    QFile::remove(m_workDir.filePath(working_files::TextFile));
    m_running = false;
    m_form1.Timer1->start();
    emit refreshEnded();
}

void DrawShadowText(PictureArea &area, const QString &text)
{
    QPainter p(&area.surface());
    p.setFont(area.font());
    const QSize big(area.surface().width() + 1000, area.surface().height() + 1000);
    p.setPen(Qt::black);
    p.drawText(QRect(QPoint(twips::toPixels(135), twips::toPixels(75)), big), Qt::AlignLeft | Qt::AlignTop, text);
    p.setPen(Qt::white);
    p.drawText(QRect(QPoint(twips::toPixels(120), twips::toPixels(60)), big), Qt::AlignLeft | Qt::AlignTop, text);
    p.end();
    area.update();
}
