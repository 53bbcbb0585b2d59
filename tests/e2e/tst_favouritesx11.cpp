// Favourites and own cams on a real X server under a window manager (Xvfb + openbox),
// against lumora-camserver on 127.0.0.1: the user's cams.txt adds a cam after the server's
// and its broken line is skipped; a star clicked in the list is on the screen, and is
// there again after the viewer is started anew; Ctrl+D unstars the selected cam.
#include "apprun.h"
#include "camserverprocess.h"
#include "craftedpictures.h"
#include "core/geometry/twips.h"
#include "core/state/runningstate.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/shapes.h"
#include "ui/windows/mainwindow.h"
#include "wholefiles.h"

#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The pixels in the star of row (at the top of the list's rows) that show the star's gold.
int goldInStar(CamListWidget &list, int row)
{
    QCoreApplication::processEvents();
    QTest::qWait(150); // let the server paint what was drawn
    const QRect t = CamListWidget::starRect();
    const QRect star(twips::toPixels(t.x()), twips::toPixels(row * CamListWidget::ItemHeight + t.y()),
                     twips::toPixels(t.width()), twips::toPixels(t.height()));
    const QPoint at = list.mapToGlobal(star.topLeft());
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), star.width(), star.height()).toImage();
    int gold = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            gold += std::abs(c.red() - StarFill.red()) + std::abs(c.green() - StarFill.green()) + std::abs(c.blue() - StarFill.blue()) < 30;
        }
    return gold;
}

} // namespace

class TestFavouritesX11 : public QObject
{
    Q_OBJECT
private slots:
    void starSurvivesARestart();
};

void TestFavouritesX11::starSurvivesARestart()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QTemporaryDir files;
    QTemporaryDir config;
    QVERIFY(QDir(files.path()).mkpath(QStringLiteral("pictures")));
    QVERIFY(writeFile(files.filePath(QStringLiteral("pictures/pic.png")), crafted::filled(QSize(320, 240), qRgb(0, 90, 200), "PNG")));
    QVERIFY(writeFile(files.filePath(QStringLiteral("camlist.txt")), "1;Harbour;{base}/pic.png;d;;3;0;1;t\r\n"
                                                                     "2;Square;{base}/pic.png;d;;2;0;1;t\r\n"));
    CamServerProcess server({QStringLiteral("--catalogue"), files.filePath(QStringLiteral("camlist.txt")),
                             QStringLiteral("--pictures"), files.filePath(QStringLiteral("pictures"))});
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(QDir(config.path()).mkpath(QStringLiteral("lumora-viewer")));
    QVERIFY(writeFile(config.filePath(QStringLiteral("lumora-viewer/cams.txt")),
                      "mine;My balcony;" + server.baseUrl().toUtf8() + "/pic.png;d;;5;0;0;me\n"
                      "broken;only;four;fields\n"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));

    for (const bool restarted : {false, true}) {
        AppRun run(5000);
        QVERIFY(run.writeConfig(server.baseUrl()));
        QVERIFY(run.startAndWait());
        MainWindow &main = run.app->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        CamListWidget &list = *main.camList();
        QCOMPARE(run.app->state().catalogue.camCount(), 3);
        QVERIFY(list.isOwnShown(2) && !list.isOwnShown(1));
        if (!restarted) {
            QCOMPARE(goldInStar(list, 2), 0);
            const QRect t = CamListWidget::starRect();
            const QPoint star(twips::toPixels(t.center().x()), twips::toPixels(2 * CamListWidget::ItemHeight + t.center().y()));
            QTest::mouseClick(&list, Qt::LeftButton, {}, star);
        }
        QCOMPARE(run.app->state().catalogue.favouriteCams(), QSet<QString>{QStringLiteral("mine")});
        QVERIFY2(goldInStar(list, 2) > 20, restarted ? "after the restart" : "after the click");
        QCOMPARE(goldInStar(list, 1), 0);
    }
    // Ctrl+D unstars the selected cam from the keyboard.
    AppRun run(5000, 10000, StartOptions{false, QStringLiteral("mine"), {}, {}, {}, {}});
    QVERIFY(run.writeConfig(server.baseUrl()));
    QVERIFY(run.startAndWait());
    const RunningState &state = run.app->state();
    QCOMPARE(state.selection.currentCam(), 2);
    QTest::keyClick(&run.app->mainWindow(), Qt::Key_D, Qt::ControlModifier);
    QVERIFY(state.catalogue.favouriteCams().isEmpty());
    QVERIFY(!run.app->mainWindow().camList()->isFavouriteShown(2));
}

QTEST_MAIN(TestFavouritesX11)
#include "tst_favouritesx11.moc"
