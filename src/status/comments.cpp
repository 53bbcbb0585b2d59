#include "comments.h"

#include "app/runningstate.h"
#include "catalogue/servertext.h"
#include "platform/twips.h"
#include "status/commentrules.h"
#include "windows/form1.h"
#include "windows/form3.h"
#include "windows/shapes.h"


#include <algorithm>
#include <QLabel>
#include <QRandomGenerator>
#include <QTime>
#include <QTimer>

void SetCommentBoxVisible(const CommentBar &bar, bool visible)
{
    bar.Shape1->setVisible(visible);
    bar.Shape2->setVisible(visible);
    for (QLabel *label : bar.CamComment)
        label->setVisible(visible);
    bar.Line1->setVisible(visible);
}

void FillCommentBox(const CommentBar &bar, const QStringList &fields)
{
    QLabel *name = bar.CamComment[0];
    QLabel *text = bar.CamComment[1];
    QLabel *date = bar.CamComment[2];
    name->setText(server_text::shown(fields.value(0), server_text::LineLimit));
    text->setText(server_text::shown(fields.value(1), server_text::BlockLimit));
    date->setText(server_text::shown(fields.value(2), server_text::LineLimit));
    // Name and date size themselves to their text first.
    name->adjustSize();
    date->adjustSize();

    const comment_rules::BoxPlacement p = comment_rules::placeCommentBox(
        twips::fromPixels(name->width()), twips::fromPixels(date->width()), comment_rules::TextLabelHeight,
        twips::fromPixels(bar.Shape1->y()), twips::fromPixels(bar.Shape1->height()),
        twips::fromPixels(bar.Shape1->width()));
    const int left = twips::toPixels(comment_rules::ColumnLeft);
    const int column = twips::toPixels(p.columnWidth);
    name->setGeometry(left, name->y(), column, name->height());
    date->setGeometry(left, date->y(), column, date->height());
    // A long text wraps onto further lines as far as the bar's height allows, and stays
    // centred in the bar.
    const int textWidth = twips::toPixels(p.label1Width);
    const int oneLine = twips::toPixels(comment_rules::TextLabelHeight);
    const int textHeight = std::clamp(text->heightForWidth(textWidth), oneLine, std::max(oneLine, bar.Shape1->height() - 8));
    const int textTop = textHeight == oneLine ? twips::toPixels(p.label1Top) : bar.Shape1->y() + (bar.Shape1->height() - textHeight) / 2;
    text->setGeometry(twips::toPixels(p.label1Left), textTop, textWidth, textHeight);
    bar.Line1->setLine(p.lineX, bar.Line1->Y1(), p.lineX, bar.Line1->Y2());
}

CommentRotation::CommentRotation(RunningState &state, Form1 &form1, Form3 &form3, QRandomGenerator &random,
                                 QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_form1(form1)
    , m_form3(form3)
    , m_random(random)
{
}

void CommentRotation::Timer3_Timer()
{
    m_random.seed(quint32(QTime::currentTime().msecsSinceStartOfDay() / 1000));

    QTimer &timer = *m_form1.Timer3;
    if (!m_form1.Shape1->isHidden()) {
        SetCommentBoxVisible(m_form1.commentBar(), false);
        SetCommentBoxVisible(m_form3.commentBar(), false);
        timer.stop();
        timer.setInterval(comment_rules::PauseMs);
        if (m_state.showComments)
            timer.start();
        return;
    }

    const QStringList &table = m_state.CommentTable;
    if (table.size() < 2 || (table.size() == 2 && table[0].isEmpty()))
        return; // no comments

    const int count = int(table.size()) - 1;
    const int i = comment_rules::pickComment(count, m_state.LastCommentIndex, [this] { return m_random.generateDouble(); });
    m_state.LastCommentIndex = i;

    QStringList fields = table[i].split(QLatin1Char(';'));
    if (fields.size() < 3)
        return; // not a comment line; the next tick draws another
    fields[1] = comment_rules::cleanText(fields[1]);
    FillCommentBox(m_form1.commentBar(), fields);
    FillCommentBox(m_form3.commentBar(), fields);

    timer.stop();
    timer.setInterval(comment_rules::shownMilliseconds(fields[1]));
    timer.start();

    SetCommentBoxVisible(m_form1.commentBar(), true);
    SetCommentBoxVisible(m_form3.commentBar(), true);
}

void CommentRotation::Check1_Click()
{
    if (m_state.showComments)
        m_form1.Timer3->start();
    else
        m_form1.Timer3->stop();
    takeDownIfUp();
}

void CommentRotation::takeDownIfUp()
{
    if (!m_form1.Shape1->isHidden())
        Timer3_Timer();
}
