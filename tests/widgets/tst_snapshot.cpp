#include "apprun.h"
#include "camserverprocess.h"
#include "control/camselection.h"
#include "control/picturesnapshot.h"
#include "core/catalogue/camrecord.h"
#include "core/files/snapshot.h"
#include "core/state/snapshottexts.h"
#include "ui/desktop/folderchooser.h"
#include "ui/desktop/picturemenu.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/shapes.h"
#include "ui/widgets/statusbar.h"
#include "ui/windows/fullscreenwindow.h"
#include "ui/windows/mainwindow.h"
#include "wholefiles.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A picture with detail everywhere, so a reduced decode differs from a full one.
QImage pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 7) & 0xFF, (y * 5) & 0xFF, ((x ^ y) * 3) & 0xFF);
    }
    return image;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return bytes;
}

// The names a save may take from now on for a few seconds, whatever second it lands in.
QStringList namesFromNow(const QString &camName, const QString &extension, int seconds = 4)
{
    QStringList names;
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = 0; s < seconds; ++s)
        names.append(snapshot::fileName(camName, now.addSecs(s), extension));
    return names;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestSnapshot : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void savesTheBytesAsServed_data();
    void savesTheBytesAsServed();
    void neverReplacesOrWritesThroughAnEntry_data();
    void neverReplacesOrWritesThroughAnEntry();
    void nothingToSaveAfterAFailedRefresh();
    void nothingToSaveAfterACamChange();
    void fullscreenStatusBox();
    void folderChosenOnceAndRemembered();
    void copiesTheFullSizePicture();
    void ctrlCInATextFieldCopiesItsText();
    void pictureMenu();

private:
    bool startOn(AppRun &run, const QString &camId);
    QString shownCamName(const AppRun &run) const;
    void setPicturesFolder(const QString &folder);

    QTemporaryDir m_docs;   // the catalogue and the served pictures
    QTemporaryDir m_config; // XDG_CONFIG_HOME
    QString m_pictures;
    QImage m_big;
    QByteArray m_bigJpeg;
    QByteArray m_png;
    std::unique_ptr<CamServerProcess> m_server;
};

void TestSnapshot::setPicturesFolder(const QString &folder)
{
    QVERIFY(writeFile(QDir(m_config.path()).filePath(QStringLiteral("user-dirs.dirs")),
                      "XDG_PICTURES_DIR=\"" + QFile::encodeName(folder) + "\"\n"));
}

void TestSnapshot::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    const QDir docs(m_docs.path());
    QVERIFY(docs.mkpath(QStringLiteral("shots")));
    m_big = pattern(3200, 2400);
    m_bigJpeg = encoded(m_big, "jpeg");
    m_png = encoded(pattern(320, 240), "png");
    QVERIFY(writeFile(docs.filePath(QStringLiteral("shots/harbour.jpg")), m_bigJpeg));
    // The address says JPEG; the bytes are a PNG.
    QVERIFY(writeFile(docs.filePath(QStringLiteral("shots/lake.jpg")), m_png));
    QVERIFY(writeFile(docs.filePath(QStringLiteral("shots/dots.png")), m_png));
    QVERIFY(writeFile(docs.filePath(QStringLiteral("list.txt")),
                      "1;Harbour/../of\x01Kessvik;{base}/shots/harbour.jpg;d;;5;0;7;me\r\n"
                      "2;Lake Orrin;{base}/shots/lake.jpg?size=big;d;;4;0;1;you\r\n"
                      "3;...;{base}/shots/dots.png;d;;1;0;0;x\r\n"));
    m_server = std::make_unique<CamServerProcess>(QStringList{QStringLiteral("--catalogue"),
                                                              docs.filePath(QStringLiteral("list.txt")),
                                                              QStringLiteral("--pictures"), m_docs.path()});
    QVERIFY(m_server->start());
}

void TestSnapshot::init()
{
    QVERIFY(m_server->clearFaults());
    m_pictures = QDir(m_config.path()).filePath(QStringLiteral("Pictures ") + QTest::currentTestFunction()
                                                + QStringLiteral(" ") + QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(m_pictures));
    setPicturesFolder(m_pictures);
    QFile::remove(PictureSnapshot::settingsFile());
}

bool TestSnapshot::startOn(AppRun &run, const QString &camId)
{
    if (!run.writeConfig(m_server->baseUrl()) || !run.startAndWait())
        return false;
    if (run.app->state().selection.pictureAddress().isEmpty())
        return false;
    const QDeadlineTimer deadline(20000);
    // The first refresh comes with the heartbeat; one of our own makes sure of it.
    while (run.app->fetch().picture().isNull() && !deadline.hasExpired())
        run.refresh();
    return CamRecord::field(run.app->state().selection.currentCamFields(), CamRecord::CamId) == camId
        && !run.app->fetch().picture().isNull();
}

QString TestSnapshot::shownCamName(const AppRun &run) const
{
    return CamRecord::field(run.app->state().selection.currentCamFields(), CamRecord::CamName);
}

void TestSnapshot::savesTheBytesAsServed_data()
{
    QTest::addColumn<QString>("camId");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("namePart");
    QTest::addColumn<QString>("extension");
    QTest::newRow("jpeg, server text name") << QStringLiteral("1") << QStringLiteral("/shots/harbour.jpg")
                                            << QStringLiteral("Harbour .. of Kessvik") << QStringLiteral("jpg");
    QTest::newRow("png behind a jpg address") << QStringLiteral("2") << QStringLiteral("/shots/lake.jpg")
                                              << QStringLiteral("Lake Orrin") << QStringLiteral("png");
    QTest::newRow("name of dots only") << QStringLiteral("3") << QStringLiteral("/shots/dots.png")
                                       << QStringLiteral("Snapshot") << QStringLiteral("png");
}

// Ctrl+S in the main window: the file holds exactly the bytes the server sent, under the
// cam's name and the time, and the status bar says where.
void TestSnapshot::savesTheBytesAsServed()
{
    QFETCH(QString, camId);
    QFETCH(QString, path);
    QFETCH(QString, namePart);
    QFETCH(QString, extension);
    StartOptions start;
    start.camId = camId;
    AppRun run(1500, 10000, start);
    QVERIFY(startOn(run, camId));
    MainWindow &f1 = run.app->mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&f1));

    const QStringList names = namesFromNow(shownCamName(run), extension);
    const auto mode = run.app->state().switches.scaleMode();
    QTest::keyClick(&f1, Qt::Key_S, Qt::ControlModifier);
    // Not the "s" command.
    QCOMPARE(run.app->state().switches.scaleMode(), mode);
    const QStringList saved = entries(m_pictures);
    QCOMPARE(saved.size(), 1);
    QVERIFY2(names.contains(saved.first()), qPrintable(saved.first()));
    QVERIFY2(saved.first().startsWith(namePart + QLatin1Char(' ')), qPrintable(saved.first()));
    QVERIFY(saved.first().endsWith(QLatin1Char('.') + extension));
    const QString file = QDir(m_pictures).filePath(saved.first());
    const RawHttpReply served = m_server->get(path.toUtf8());
    QCOMPARE(served.status, 200);
    QCOMPARE(readFile(file), served.body);
    QCOMPARE(f1.camStatusBar()->panelText(5), snapshot_texts::SavedTo.arg(file));

    // The same picture saved again keeps the first file and takes the next free name.
    QTest::keyClick(&f1, Qt::Key_S, Qt::ControlModifier);
    const QStringList both = entries(m_pictures);
    QCOMPARE(both.size(), 2);
    QCOMPARE(readFile(file), served.body);
    for (const QString &name : both)
        QCOMPARE(readFile(QDir(m_pictures).filePath(name)), served.body);
    const QString second = both.filter(QStringLiteral(" (2).")).value(0, both.last());
    QVERIFY2(second.endsWith(QLatin1Char('.') + extension), qPrintable(second));
    if (snapshot::numbered(saved.first(), 2) != second)
        QVERIFY2(names.contains(second), qPrintable(second)); // a second later: a name of its own
}

void TestSnapshot::neverReplacesOrWritesThroughAnEntry_data()
{
    QTest::addColumn<bool>("asLink");
    QTest::newRow("a file of that name") << false;
    QTest::newRow("a link of that name") << true;
}

// Whatever has the name already stays as it is; the picture takes " (2)".
void TestSnapshot::neverReplacesOrWritesThroughAnEntry()
{
    QFETCH(bool, asLink);
    StartOptions start;
    start.camId = QStringLiteral("1");
    AppRun run(1500, 10000, start);
    QVERIFY(startOn(run, start.camId));
    QTemporaryDir elsewhere;
    const QString victim = QDir(elsewhere.path()).filePath(QStringLiteral("victim"));
    QVERIFY(writeFile(victim, "precious"));
    const QStringList names = namesFromNow(shownCamName(run), QStringLiteral("jpg"));
    for (const QString &name : names) {
        const QString path = QDir(m_pictures).filePath(name);
        QVERIFY(asLink ? QFile::link(victim, path) : writeFile(path, "mine"));
    }

    QTest::keyClick(&run.app->mainWindow(), Qt::Key_S, Qt::ControlModifier);
    const QStringList added = [&] {
        QStringList all = entries(m_pictures);
        for (const QString &name : names)
            all.removeAll(name);
        return all;
    }();
    QCOMPARE(added.size(), 1);
    QStringList numbered;
    for (const QString &name : names)
        numbered.append(snapshot::numbered(name, 2));
    QVERIFY2(numbered.contains(added.first()), qPrintable(added.first()));
    QCOMPARE(readFile(QDir(m_pictures).filePath(added.first())), m_bigJpeg);
    QVERIFY(!QFileInfo(QDir(m_pictures).filePath(added.first())).isSymLink());
    QCOMPARE(readFile(victim), QByteArray("precious"));
    for (const QString &name : names) {
        const QFileInfo entry(QDir(m_pictures).filePath(name));
        QCOMPARE(entry.isSymLink(), asLink);
        if (!asLink)
            QCOMPARE(readFile(entry.filePath()), QByteArray("mine"));
    }
}

void TestSnapshot::nothingToSaveAfterAFailedRefresh()
{
    StartOptions start;
    start.camId = QStringLiteral("1");
    AppRun run(1500, 10000, start);
    QVERIFY(startOn(run, start.camId));
    QVERIFY(m_server->setFault(QStringLiteral("/shots/harbour.jpg"), QStringLiteral("status:500")));
    QVERIFY(run.refresh());
    QVERIFY(run.app->fetch().picture().isNull());
    MainWindow &f1 = run.app->mainWindow();
    QTest::keyClick(&f1, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(entries(m_pictures), QStringList());
    QCOMPARE(f1.camStatusBar()->panelText(5), snapshot_texts::NothingToSave);
    QTest::keyClick(&f1, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(f1.camStatusBar()->panelText(5), snapshot_texts::NothingToCopy);
    // The menu greys what the keys would refuse; the address is there all the same.
    PictureMenu &menu = run.app->pictureMenu();
    const auto rightClick = [&] {
        const QPoint at(20, 20);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, f1.pictureArea()->mapToGlobal(at));
        QApplication::sendEvent(f1.pictureArea(), &click);
        const bool shown = QTest::qWaitFor([&] { return menu.isVisible(); });
        menu.hide();
        return shown;
    };
    QVERIFY(rightClick());
    QVERIFY(!menu.saveAction()->isEnabled());
    QVERIFY(!menu.copyAction()->isEnabled());
    QVERIFY(menu.copyAddressAction()->isEnabled());

    // The next good picture can be saved again.
    QVERIFY(m_server->clearFaults());
    QVERIFY(run.refresh());
    QVERIFY(rightClick());
    QVERIFY(menu.saveAction()->isEnabled());
    QVERIFY(menu.copyAction()->isEnabled());
    QTest::keyClick(&f1, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(entries(m_pictures).size(), 1);
}

void TestSnapshot::nothingToSaveAfterACamChange()
{
    StartOptions start;
    start.camId = QStringLiteral("1");
    AppRun run(1500, 10000, start);
    QVERIFY(startOn(run, start.camId));
    run.app->selection().goToCam(1);
    QVERIFY(!run.app->state().selection.pictureAddress().contains(QLatin1String("harbour")));
    // No event has run since: the new cam's picture cannot be in yet.
    QTest::keyClick(&run.app->mainWindow(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(entries(m_pictures), QStringList());
    QCOMPARE(run.app->mainWindow().camStatusBar()->panelText(5), snapshot_texts::NothingToSave);
}

void TestSnapshot::fullscreenStatusBox()
{
    StartOptions start;
    start.camId = QStringLiteral("2");
    AppRun run(1500, 10000, start);
    QVERIFY(startOn(run, start.camId));
    run.app->openFullscreen();
    FullscreenWindow &f3 = run.app->fullscreenWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&f3));
    QTest::keyClick(&f3, Qt::Key_S, Qt::ControlModifier);
    const QStringList saved = entries(m_pictures);
    QCOMPARE(saved.size(), 1);
    QVERIFY(f3.statusMessage()->isVisible());
    // The whole message, its folder cut in the middle where it is too long, inside the box.
    QLabel *label = f3.statusMessage();
    const QString text = label->text();
    QVERIFY2(text.startsWith(snapshot_texts::SavedTo.arg(QString())) && text.endsWith(QLatin1Char('/') + saved.first()), qPrintable(text));
    QVERIFY2(label->fontMetrics().horizontalAdvance(text) <= label->width(), qPrintable(text));
    QVERIFY(QRect(QPoint(), f3.statusBox()->size()).contains(QRect(label->pos() - f3.statusBox()->pos(), label->size())));
    QCOMPARE(label->accessibleName(), snapshot_texts::SavedTo.arg(QDir(m_pictures).filePath(saved.first())));
}

// No pictures folder: the user is asked once, and the answer is kept for the next run.
void TestSnapshot::folderChosenOnceAndRemembered()
{
    setPicturesFolder(QDir(m_config.path()).filePath(QStringLiteral("no such folder")));
    QTemporaryDir chosen;
    {
        StartOptions start;
        start.camId = QStringLiteral("2");
        AppRun run(1500, 10000, start);
        QVERIFY(startOn(run, start.camId));
        QTest::keyClick(&run.app->mainWindow(), Qt::Key_S, Qt::ControlModifier);
        QFileDialog *dialog = run.app->folderChooser().dialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), QStringLiteral("snapshotFolderDialog"));
        QVERIFY(dialog->isVisible());
        QVERIFY(entries(chosen.path()).isEmpty());
        // A cancel saves nothing and says so.
        dialog->reject();
        QVERIFY(entries(chosen.path()).isEmpty());
        QCOMPARE(run.app->mainWindow().camStatusBar()->panelText(5), snapshot_texts::SaveCancelled);

        QTest::keyClick(&run.app->mainWindow(), Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(run.app->folderChooser().dialog());
        dialog = run.app->folderChooser().dialog();
        dialog->setDirectory(chosen.path());
        dialog->selectFile(chosen.path());
        static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
        QCOMPARE(entries(chosen.path()).size(), 1);
        QCOMPARE(readFile(QDir(chosen.path()).filePath(entries(chosen.path()).first())), m_png);
    }
    StartOptions start;
    start.camId = QStringLiteral("3");
    AppRun run(1500, 10000, start);
    QVERIFY(startOn(run, start.camId));
    QTest::keyClick(&run.app->mainWindow(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!run.app->folderChooser().dialog());
    QCOMPARE(entries(chosen.path()).size(), 2);
}

// Ctrl+C puts the picture on the clipboard at its full size, also when the area shows it
// decoded smaller.
void TestSnapshot::copiesTheFullSizePicture()
{
    StartOptions start;
    start.camId = QStringLiteral("1");
    AppRun run(1500, 10000, start);
    QVERIFY(startOn(run, start.camId));
    QVERIFY2(run.app->fetch().pictureReduction() > 1, "the test needs a picture shown reduced");
    QGuiApplication::clipboard()->clear();
    MainWindow &f1 = run.app->mainWindow();
    QTest::keyClick(&f1, Qt::Key_C, Qt::ControlModifier);
    const QImage copied = QGuiApplication::clipboard()->image();
    QCOMPARE(copied.size(), m_big.size());
    const QImage expected = QImage::fromData(m_bigJpeg).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(copied.convertToFormat(QImage::Format_RGB32), expected);
    QCOMPARE(f1.camStatusBar()->panelText(5), snapshot_texts::PictureCopied);
}

void TestSnapshot::ctrlCInATextFieldCopiesItsText()
{
    StartOptions start;
    start.camId = QStringLiteral("2");
    AppRun run(1500, 10000, start);
    QVERIFY(startOn(run, start.camId));
    MainWindow &f1 = run.app->mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&f1));
    QGuiApplication::clipboard()->clear();
    QLineEdit *box = f1.refreshIntervalEdit();
    const bool comments = run.app->state().switches.showComments();
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), box->text());
    QVERIFY(QGuiApplication::clipboard()->image().isNull());
    // Not the "c" command either.
    QCOMPARE(run.app->state().switches.showComments(), comments);
    // Without a selection the key copies the picture.
    box->deselect();
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(320, 240));
    QCOMPARE(box->text(), QStringLiteral("5"));
    QCOMPARE(run.app->state().switches.showComments(), comments);
}

void TestSnapshot::pictureMenu()
{
    StartOptions start;
    start.camId = QStringLiteral("2");
    AppRun run(1500, 10000, start);
    QVERIFY(startOn(run, start.camId));
    MainWindow &f1 = run.app->mainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&f1));
    PictureMenu &menu = run.app->pictureMenu();
    QCOMPARE(menu.objectName(), QStringLiteral("pictureMenu"));
    QCOMPARE(menu.actions().size(), 3);
    QCOMPARE(menu.saveAction()->text(), snapshot_texts::SavePicture);
    QCOMPARE(menu.copyAction()->text(), snapshot_texts::CopyPicture);
    QCOMPARE(menu.copyAddressAction()->text(), snapshot_texts::CopyPictureAddress);

    // A right-click on either picture opens it.
    for (PictureArea *area : {f1.pictureArea(), run.app->fullscreenWindow().pictureArea()}) {
        if (area == run.app->fullscreenWindow().pictureArea()) {
            run.app->openFullscreen();
            QVERIFY(QTest::qWaitForWindowExposed(&run.app->fullscreenWindow()));
        }
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20), area->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(area, &click);
        QTRY_VERIFY(menu.isVisible());
        menu.hide();
    }
    run.app->closeFullscreen();

    menu.saveAction()->trigger();
    QCOMPARE(entries(m_pictures).size(), 1);
    QGuiApplication::clipboard()->clear();
    menu.copyAction()->trigger();
    QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(320, 240));
    menu.copyAddressAction()->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), m_server->baseUrl() + QStringLiteral("/shots/lake.jpg?size=big"));
    QCOMPARE(f1.camStatusBar()->panelText(5), snapshot_texts::AddressCopied);
}

QTEST_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
