#include "heartbeat.h"

#include "app/runningstate.h"
#include "camlist/listgeometry.h"
#include "camlist/selection.h"
#include "catalogue/camrecord.h"
#include "catalogue/servertext.h"
#include "platform/twips.h"
#include "resources/pictures.h"
#include "status/camdescription.h"
#include "status/countdown.h"
#include "status/heartbeatrules.h"
#include "status/statusbar.h"
#include "view/camimagefetch.h"
#include "windows/demandtimer.h"
#include "windows/form1.h"
#include "windows/form3.h"
#include "windows/form4.h"
#include "windows/shapes.h"

#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTextEdit>

Heartbeat::Heartbeat(RunningState &state, Form1 &form1, Form3 &form3, Form4 &form4, CamSelection &selection,
                     CamImageFetch &fetch, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_form1(form1)
    , m_form3(form3)
    , m_form4(form4)
    , m_selection(selection)
    , m_fetch(fetch)
{
}

void Heartbeat::showCamInformation()
{
    const QStringList &f = m_state.CurrentCamFields;
    ShowCamDescription(*m_form1.RichTextBox1, f, m_form1.palette().color(QPalette::Text), 10);
    ShowCamDescription(*m_form4.RichTextBox1, f, QColor(192, 192, 192), 12);

    StatusBar &bar = *m_form1.StatusBar1;
    bar.setPanelText(1, heartbeat::addedByText(f));
    bar.setPanelText(2, server_text::shown(CamRecord::field(f, CamRecord::ViewCount), server_text::LineLimit));
    bar.setPanelText(3, server_text::shown(CamRecord::field(f, CamRecord::CommentCount), server_text::LineLimit));
    bar.setPanelPicture(2, pictures::ImageList1(8));
    bar.setPanelPicture(3, pictures::ImageList1(7));
    const QPixmap rating = pictures::ImageList1(list_geometry::ratingPicture(CamRecord::field(f, CamRecord::Rating)).value_or(0));
    bar.setPanelPicture(4, rating);

    QString figures = heartbeat::overlayFigures(f);
    m_form4.Label1->setText(figures.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    m_form4.Image1->setPixmap(rating);

    // Each new cam moves the overlay to the other edge and the status box opposite it.
    const QScreen *screen = m_form3.screen();
    const int screenWidth = twips::fromPixels(screen ? screen->geometry().width() : m_form3.width());
    const heartbeat::Sides sides =
        heartbeat::switchSides(screenWidth, twips::fromPixels(m_form4.x()), twips::fromPixels(m_form4.width()),
                               twips::fromPixels(m_form3.Shape3->width()), twips::fromPixels(m_form3.Label1->width()));
    m_form4.move(twips::toPixels(sides.overlayLeft), m_form4.y());
    m_form3.Shape3->move(twips::toPixels(sides.shape3Left), m_form3.Shape3->y());
    m_form3.Label1->move(twips::toPixels(sides.label1Left), m_form3.Label1->y());
}

void Heartbeat::Timer1_Timer()
{
    if (m_fetch.isRunning())
        return;

    const QString title = heartbeat::windowTitle(m_state.CurrentCamFields);
    if (m_form1.windowTitle() != title)
        showCamInformation();
    m_form1.setWindowTitle(title);
    m_form3.setWindowTitle(m_form1.windowTitle() + heartbeat::FullscreenTitleSuffix);

    const heartbeat::RefreshStep refresh =
        heartbeat::refreshStep(m_state.RefreshCountdown, m_state.refreshIntervalText, m_state.RefreshInterval);
    m_state.RefreshCountdown = refresh.countdown;
    if (refresh.fetch)
        m_fetch.FetchCamImage();

    const bool autoShuffle = m_state.autoShuffle;
    const heartbeat::ShuffleStep shuffle = heartbeat::shuffleStep(m_state.ShuffleCountdown, autoShuffle);
    if (shuffle.pick)
        m_selection.PickRandomCam();
    else
        m_state.ShuffleCountdown = shuffle.countdown;

    const QString intervalText = countdown::readInterval(m_state.shuffleIntervalText, m_state.ShuffleInterval);
    const double fill =
        countdown::fillFraction(countdown::intervalSeconds(intervalText).value_or(0), countdown::value(m_state.ShuffleCountdown));
    QLabel *track = m_form3.AutoRandom[0];
    m_form3.AutoRandom[1]->resize(int(fill * track->width() + 0.5), m_form3.AutoRandom[1]->height());
    m_form3.AutoRandomLabel->setText(heartbeat::countdownCaption(m_state.ShuffleCountdown));

    if (autoShuffle)
        m_form3.setAutoRandomVisible(m_state.infoBarOn);
}

void Heartbeat::Check2_Click()
{
    const bool on = m_state.autoShuffle;
    if (!on)
        m_state.ShuffleCountdown = countdown::readInterval(m_state.shuffleIntervalText, m_state.ShuffleInterval);
    m_form3.setAutoRandomVisible(on);
}
