// Keyboard and screen-reader access to the main window's controls: names, tooltips, the
// focus order and Enter on the tool buttons.
#include "mainwindow.h"

#include "core/state/controltexts.h"
#include "ui/widgets/camlistwidget.h"
#include "ui/widgets/picturearea.h"
#include "ui/widgets/statusbar.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextEdit>
#include <QToolButton>

namespace {

void describe(QWidget *w, const QString &name, const QString &tip)
{
    w->setAccessibleName(name);
    w->setToolTip(tip);
}

// Enter presses a tool button, as Space does.
class EnterPressesButton : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        static_cast<QToolButton *>(watched)->click();
        return true;
    }
};

} // namespace

void MainWindow::setUpKeyboardAccess()
{
    using namespace control_texts;
    describe(m_camList, CamListName, CamListTip);
    describe(m_scaleModeButton, ScaleModeName, ScaleModeTip);
    describe(m_randomCamButton, RandomCamName, RandomCamTip);
    describe(m_refreshIntervalEdit, RefreshName, RefreshTip);
    describe(m_showCommentsCheck, CommentsName, CommentsTip);
    describe(m_autoShuffleCheck, AutoShuffleName, AutoShuffleTip);
    describe(m_shuffleIntervalEdit, ShuffleIntervalName, ShuffleIntervalTip);
    describe(m_descriptionBox, DescriptionName, DescriptionTip);
    m_camStatusBar->setAccessibleName(StatusBarName);
    for (int panel = 1; panel <= StatusBar::PanelCount; ++panel)
        m_camStatusBar->setPanelName(panel, PanelNames.at(std::size_t(panel - 1)));

    // The list keeps the keyboard's selection keys; its scroll bar and the picture need no focus.
    m_camList->setFocusPolicy(Qt::StrongFocus);
    m_camListScrollBar->setFocusPolicy(Qt::NoFocus);
    m_pictureArea->setFocusPolicy(Qt::NoFocus);
    auto *enter = new EnterPressesButton(this);
    for (QToolButton *button : {m_scaleModeButton, m_randomCamButton, m_wallButton}) {
        button->setFocusPolicy(Qt::StrongFocus);
        button->installEventFilter(enter);
    }
    // Left to right along the top (the filter line, when open, above the list's rows), then
    // the description below.
    const std::array<QWidget *, 10> order{m_camList, m_camList->filterEdit(), m_scaleModeButton, m_randomCamButton, m_wallButton, m_refreshIntervalEdit,
                                         m_showCommentsCheck, m_autoShuffleCheck, m_shuffleIntervalEdit, m_descriptionBox};
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}
