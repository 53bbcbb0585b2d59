#pragma once
// StatusBar (`StatusBar1`): the main window's status bar, five panels side by side, each
// with a text and an optional picture in front of it. Panels are numbered 1 to 5 from the
// left.
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <array>

class StatusBar : public QWidget
{
    Q_OBJECT
public:
    explicit StatusBar(QWidget *parent = nullptr);

    static constexpr int PanelCount = 5;

    void setPanelText(int panel, const QString &text);
    void setPanelPicture(int panel, const QPixmap &picture);
    QString panelText(int panel) const;
    QPixmap panelPicture(int panel) const;
    // What a panel shows, for its tooltip and for screen readers, which read each panel by
    // its name and text, and the bar's description: every panel's name and text.
    void setPanelName(int panel, const QString &name);
    QString panelName(int panel) const;
    QString panelToolTip(int panel) const;
    // Where a panel lies in the bar; empty for a number out of range.
    QRect panelGeometry(int panel) const;

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Panel
    {
        QString name;
        QString text;
        QPixmap picture;
    };
    Panel *panel(int number);
    const Panel *panel(int number) const;
    QRect panelRect(int index) const;
    void describePanels();
    void measureStatistics();

    std::array<Panel, PanelCount> m_panels;
    int m_statsWidth = 0; // the statistics' text, measured when it changes

};
