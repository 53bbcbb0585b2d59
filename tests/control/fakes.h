#pragma once
// Stand-ins for the network and the windows, so the controllers run alone: a downloader
// whose transfers the test answers by hand, and views that write down every call.
#include "control/camimagefetch.h"
#include "control/camselection.h"
#include "control/views.h"
#include "core/catalogue/camrecord.h"
#include "core/state/runningstate.h"
#include "platform/download.h"

#include <QDir>
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>

// Answers come from the event loop, once, and the handler then deletes itself, as a real
// one does.
class FakeHandler : public DownloadHandler
{
    Q_OBJECT
public:
    FakeHandler(const QString &address, QObject *parent)
        : DownloadHandler(parent)
        , m_address(address)
    {
    }

    void cancel() override
    {
        ++cancels;
        answer(DownloadResult::Error::Cancelled);
    }
    QString address() const override { return m_address; }

    void answer(DownloadResult::Error error, const QByteArray &body = {})
    {
        DownloadResult result;
        result.error = error;
        result.body = error == DownloadResult::Error::None ? body : QByteArray();
        answerWith(result);
    }
    void answer(const DownloadResult &result) { answerWith(result); }
    // A live stream's next part.
    void part(const QByteArray &bytes)
    {
        streamed += bytes.size();
        emit partReceived(bytes, streamed);
    }

    void answerWith(const DownloadResult &result)
    {
        if (m_answered)
            return;
        m_answered = true;
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                emit stateChanged(result.ok() ? 12 : 11);
                emit finished(result);
                deleteLater();
            },
            Qt::QueuedConnection);
    }

    int cancels = 0;
    qint64 streamed = 0;

private:
    QString m_address;
    bool m_answered = false;
};

class FakeDownloader : public QObject, public Downloader
{
    Q_OBJECT
public:
    DownloadHandler *start(const DownloadRequest &request) override
    {
        requests.append(request);
        auto *handler = new FakeHandler(request.address, this);
        handlers.append(handler);
        return handler;
    }
    void cancel() override { ++cancels; }

    FakeHandler *last() const { return handlers.isEmpty() ? nullptr : handlers.last().data(); }

    QList<DownloadRequest> requests;
    QList<QPointer<FakeHandler>> handlers;
    int cancels = 0;
};

// One fake for every view a window implements; each call is counted or kept.
class FakeView : public PictureView, public TransferView, public CamInfoView, public TitleView, public CommentView,
                 public CamListView, public CountdownView
{
public:
    QSize area{320, 240};
    qreal pixelRatio = 1.0;
    bool atOnce = true; // false: stands for a hidden window's area
    QList<QImage> pictures; // every showPicture()
    int draws = 0;          // drawings, of the picture kept or from a prepared surface
    QList<QImage> prepared; // every prepared surface handed over
    int letGos = 0;
    int clears = 0;
    QStringList bullets;
    int bulletClears = 0;
    QStringList statistics;
    QList<QStringList> camInfos;
    QStringList titles;
    QList<QStringList> comments;
    int hides = 0;
    QStringList listCalls; // "select 2 on", "highlight 2 off", "scroll 2"
    QList<double> fills;
    QStringList captions;
    QList<bool> countdownShown;
    QStringList failureReasons; // every showFailureReason()
    QStringList unchangedNotes; // every showUnchangedNote()

    bool untouched() const
    {
        return pictures.isEmpty() && draws == 0 && clears == 0 && bullets.isEmpty() && statistics.isEmpty();
    }

    QSize pictureAreaSize() const override { return area; }
    qreal pictureAreaPixelRatio() const override { return pixelRatio; }
    void showPicture(const QImage &picture, ViewScaleMode, const QImage &surface) override
    {
        pictures.append(picture);
        if (!surface.isNull())
            prepared.append(surface);
        ++draws;
    }
    void letGoOfPicture() override { ++letGos; }
    bool drawsPictureAtOnce() const override { return atOnce; }
    void showFailureReason(const QString &reason) override { failureReasons.append(reason); }
    void showUnchangedNote(const QString &note) override { unchangedNotes.append(note); }
    void showTransferState(const QString &text) override { bullets.append(text); }
    void showTransferStatistics(const QString &text) override { statistics.append(text); }
    void clearTransferState() override { ++bulletClears; }
    void showCamInfo(const QStringList &camFields) override { camInfos.append(camFields); }
    void showTitle(const QString &title) override { titles.append(title); }
    void showComment(const QStringList &fields) override { comments.append(fields); }
    void hideComment() override { ++hides; }
    void addRow(const QString &, const QString &) override {}
    void setNameHighlighted(int row, bool on) override { listCalls.append(call("highlight", row, on)); }
    void setSelectionShown(int row, bool on) override { listCalls.append(call("select", row, on)); }
    void scrollToCam(int row) override { listCalls.append(QStringLiteral("scroll %1").arg(row)); }
    void setFavouriteShown(int row, bool on) override { listCalls.append(call("star", row, on)); }
    void setOwnShown(int row, bool on) override { listCalls.append(call("own", row, on)); }
    void showOnly(const std::vector<int> &cams) override
    {
        QStringList shown;
        for (int cam : cams)
            shown.append(QString::number(cam));
        listCalls.append(QStringLiteral("only ") + shown.join(QLatin1Char(',')));
    }
    void showAll() override { listCalls.append(QStringLiteral("all")); }
    void showCountdown(double fill, const QString &caption) override
    {
        fills.append(fill);
        captions.append(caption);
    }
    void setCountdownVisible(bool visible) override { countdownShown.append(visible); }

private:
    static QString call(const char *what, int row, bool on)
    {
        return QStringLiteral("%1 %2 %3").arg(QLatin1String(what)).arg(row).arg(on ? "on" : "off");
    }
};

// A wall tile's picture area that writes down what it is told to show; onScreen says
// whether it can be seen.
class FakeTileView : public PictureView
{
public:
    bool onScreen = true;
    QList<QImage> pictures; // every showPicture()
    QList<QImage> prepared; // the surface made for the area with each
    QStringList failures;   // every showFailureReason()

    QSize pictureAreaSize() const override { return {160, 120}; }
    qreal pictureAreaPixelRatio() const override { return 1.0; }
    bool pictureOnScreen() const override { return onScreen; }
    void showPicture(const QImage &picture, ViewScaleMode, const QImage &surface) override
    {
        pictures.append(picture);
        prepared.append(surface);
    }
    void letGoOfPicture() override {}
    void showFailureReason(const QString &reason) override { failures.append(reason); }
    void showUnchangedNote(const QString &) override {}
};

// Three cams, the first selected, as the catalogue leaves them.
struct CamState : RunningState
{
    CamState()
    {
        QStringList table{QString()};
        for (int i = 0; i < 3; ++i)
            table.insert(i, QStringLiteral("cam%1;Cam %1;http://127.0.0.1:9/cams/%1.png;Desc %1;;4;2;100;ann").arg(i));
        catalogue.setServerUrl(QStringLiteral("http://127.0.0.1:9"));
        catalogue.setCams(table, 3);
        const QStringList fields = CamRecord::split(table[0]);
        selection.select(0, fields, CamRecord::field(fields, CamRecord::ImageUrl));
    }
};

// The selection and the refresh on fake views, wired as the application wires them: a new
// cam abandons the refresh. first and second stand for the two windows.
struct Rig
{
    QTemporaryDir dir;
    CamState state;
    FakeDownloader net;
    FakeView first, second, transfer, list;
    QRandomGenerator random{1};
    CamSelection selection{state, list, random};
    CamImageFetch fetch{state, transfer, net, WorkingFolder(dir.path()), 30000};
    QSignalSpy ended{&fetch, &CamImageFetch::refreshEnded};

    Rig()
    {
        fetch.addPictureView(&first);
        fetch.addPictureView(&second);
        QObject::connect(&selection, &CamSelection::camChanged, &fetch, &CamImageFetch::abandon);
    }
    QStringList leftovers() const
    {
        return QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System);
    }
};
