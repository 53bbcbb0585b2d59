#include "commentrotation.h"

#include "control/views.h"
#include "core/rules/commentrules.h"
#include "core/state/runningstate.h"

#include <QRandomGenerator>
#include <QTime>
#include <QTimer>

CommentRotation::CommentRotation(RunningState &state, QRandomGenerator &random, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_random(random)
    , m_rotationTimer(new QTimer(this))
{
    m_rotationTimer->setObjectName(QStringLiteral("Timer3"));
    m_rotationTimer->setInterval(comment_rules::PauseMs);
    m_rotationTimer->start();
    connect(m_rotationTimer, &QTimer::timeout, this, &CommentRotation::onTick);
}

void CommentRotation::takeDown()
{
    m_commentShown = false;
    for (CommentView *view : m_commentViews)
        view->hideComment();
}

void CommentRotation::onTick()
{
    m_random.seed(quint32(QTime::currentTime().msecsSinceStartOfDay() / 1000));

    QTimer &timer = *m_rotationTimer;
    if (m_commentShown) {
        takeDown();
        timer.stop();
        timer.setInterval(comment_rules::PauseMs);
        if (m_state.switches.showComments())
            timer.start();
        return;
    }

    const QStringList &table = m_state.selection.commentTable();
    if (table.size() < 2 || (table.size() == 2 && table[0].isEmpty()))
        return; // no comments

    const int count = int(table.size()) - 1;
    const int i = comment_rules::pickComment(count, m_state.selection.lastCommentIndex(), [this] { return m_random.generateDouble(); });
    m_state.selection.setLastCommentIndex(i);

    QStringList fields = table[i].split(QLatin1Char(';'));
    if (fields.size() < 3)
        return; // not a comment line; the next tick draws another
    fields[1] = comment_rules::cleanText(fields[1]);

    timer.stop();
    timer.setInterval(comment_rules::shownMilliseconds(fields[1]));
    timer.start();

    for (CommentView *view : m_commentViews)
        view->showComment(fields);
    m_commentShown = true;
}

void CommentRotation::onShowCommentsToggled()
{
    if (m_state.switches.showComments())
        m_rotationTimer->start();
    else
        m_rotationTimer->stop();
    takeDownIfUp();
}

void CommentRotation::takeDownIfUp()
{
    if (m_commentShown)
        onTick();
}
