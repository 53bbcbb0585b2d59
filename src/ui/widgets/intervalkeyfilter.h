#pragma once
// The key filter of the refresh and auto-shuffle interval boxes: a typed digit 0 to 9 or
// Backspace goes through; any other typed character is dropped and announced (rejected(),
// which the application answers with a beep). Keys that type nothing (arrows, Delete, Home,
// End, Tab) are not filtered, and neither is pasted text.
#include <QObject>

class QLineEdit;

class IntervalKeyFilter : public QObject
{
    Q_OBJECT
public:
    explicit IntervalKeyFilter(QObject *parent = nullptr);

    void watch(QLineEdit *box);

signals:
    void rejected();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
