#pragma once
// The user comments: one comment of the selected cam at a time, picked at random, shown
// on every comment view for a time that grows with its length, then seven seconds without
// a comment. Its own timer (`Timer3`) drives it, running from the start; the running
// state's showComments switch turns it on and off.
//
// A comment line that cannot be shown (fewer than three fields) ends its tick quietly with
// the bar down; the next tick draws another.
#include <QList>
#include <QObject>

class CommentView;
class QRandomGenerator;
class QTimer;
struct RunningState;

class CommentRotation : public QObject
{
    Q_OBJECT
public:
    CommentRotation(RunningState &state, QRandomGenerator &random, QObject *parent = nullptr);

    void addCommentView(CommentView *view) { m_commentViews.append(view); }

    QTimer *timer() const { return m_rotationTimer; }
    // Whether a comment is up on the views.
    bool isCommentShown() const { return m_commentShown; }

    void onTick();
    // Change of the showComments switch, by the user or by the "c" command.
    void onShowCommentsToggled();
    // A new cam takes a comment of the old one down at once.
    void takeDownIfUp();

private:
    void takeDown();

    RunningState &m_state;
    QRandomGenerator &m_random;
    QList<CommentView *> m_commentViews;
    QTimer *m_rotationTimer;
    bool m_commentShown = false;
};
