#pragma once
// The key filter of the interval boxes Text2 and Text3: a typed digit 1 to 9 or Backspace
// goes through; any other typed character is dropped with a beep. Keys that type nothing
// (arrows, Delete, Home, End) are not filtered, and neither is pasted text.
#include <QObject>

#include <functional>

class QLineEdit;

class IntervalKeyFilter : public QObject
{
    Q_OBJECT
public:
    explicit IntervalKeyFilter(QObject *parent = nullptr);

    void watch(QLineEdit *box);
    // The beep; the system beep unless replaced.
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> m_beep;
};
