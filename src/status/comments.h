#pragma once
// The user comments: one comment of the selected cam at a time, picked at random, shown
// in the comment bar of the main and the fullscreen window for a time that grows with its
// length, then seven seconds without a comment. Form1's Timer3 drives it; the running state's
// showComments switch (shown by Check1) turns it on and off.
//
// A comment line that cannot be shown (fewer than three fields) ends its tick quietly with
// the bar down; the next tick draws another.
#include <QObject>
#include <QStringList>

class Form1;
class Form3;
class QRandomGenerator;
struct CommentBar;
struct RunningState;

// Shows or hides the bar and its labels, in the order Shape1, Shape2, the three labels,
// Line1.
void SetCommentBoxVisible(const CommentBar &bar, bool visible);

// Puts a comment's name, text and date into the bar's labels and places them: the name
// and date columns as wide as the wider of the two, the text beside them centred in the
// bar's height, the line between.
void FillCommentBox(const CommentBar &bar, const QStringList &fields);

class CommentRotation : public QObject
{
    Q_OBJECT
public:
    CommentRotation(RunningState &state, Form1 &form1, Form3 &form3, QRandomGenerator &random,
                    QObject *parent = nullptr);

    void Timer3_Timer();
    // Change of the showComments switch, by a click on Check1 or by the "c" command.
    void Check1_Click();
    // A new cam takes a comment of the old one down at once.
    void takeDownIfUp();

private:
    RunningState &m_state;
    Form1 &m_form1;
    Form3 &m_form3;
    QRandomGenerator &m_random;
};
