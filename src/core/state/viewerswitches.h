#pragma once
// What the user sets and the windows show: the scale mode, the switches and the interval
// boxes' texts. Each change is announced once, whoever made it.
#include "core/geometry/scalegeometry.h"
#include "core/rules/countdown.h"
#include "core/rules/liverules.h"

#include <QObject>
#include <QString>

class ViewerSwitches : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    ViewScaleMode scaleMode() const { return m_scaleMode; }
    // Whether the fullscreen window shows its Info-Bar.
    bool infoBarOn() const { return m_infoBarOn; }
    // "Show user comments" and "Auto shuffle".
    bool showComments() const { return m_showComments; }
    bool autoShuffle() const { return m_autoShuffle; }
    // The refresh and auto-shuffle interval boxes' texts, as typed.
    const QString &refreshIntervalText() const { return m_refreshIntervalText; }
    const QString &shuffleIntervalText() const { return m_shuffleIntervalText; }
    // A live cam's frames shown per second at most; set at start-up only and read as a
    // stream starts, so it announces nothing.
    int maxFramesPerSecond() const { return m_maxFramesPerSecond; }

    // An interval as a countdown is loaded from it: the box's text when it is readable
    // (and then remembered), else the last readable one.
    QString refreshIntervalNow() { return countdown::readInterval(m_refreshIntervalText, m_lastRefreshInterval); }
    QString shuffleIntervalNow() { return countdown::readInterval(m_shuffleIntervalText, m_lastShuffleInterval); }

    void setScaleMode(ViewScaleMode mode);
    void setInfoBarOn(bool on);
    void setShowComments(bool on);
    void setAutoShuffle(bool on);
    void setRefreshIntervalText(const QString &text);
    void setShuffleIntervalText(const QString &text);
    void setMaxFramesPerSecond(int frames) { m_maxFramesPerSecond = frames; }

signals:
    void scaleModeChanged(ViewScaleMode mode);
    void infoBarOnChanged(bool on);
    void showCommentsChanged(bool on);
    void autoShuffleChanged(bool on);
    void refreshIntervalTextChanged(const QString &text);
    void shuffleIntervalTextChanged(const QString &text);

private:
    ViewScaleMode m_scaleMode = ViewScaleMode::ScaleInline;
    bool m_infoBarOn = true;
    bool m_showComments = true;
    bool m_autoShuffle = false;
    QString m_refreshIntervalText{QStringLiteral("5")};
    QString m_shuffleIntervalText{QStringLiteral("60")};
    QString m_lastRefreshInterval{QStringLiteral("5")};
    QString m_lastShuffleInterval{QStringLiteral("60")};
    int m_maxFramesPerSecond = live_rules::DefaultMaxFramesPerSecond;
};
