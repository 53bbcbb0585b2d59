#pragma once
// The cam catalogue: the server's cams and the user's own after them, and which of them the
// user marked as favourites.
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class CamCatalogue : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Raw catalogue lines, one per cam, plus one spare slot at the end.
    const QStringList &camTable() const { return m_camTable; }
    int camCount() const { return m_camCount; }
    // The catalogue server's base address, from config.ini.
    const QString &serverUrl() const { return m_serverUrl; }
    // The ids of the cams marked as favourites, and of those the user added from cams.txt
    // (their lines follow the server's in camTable).
    const QSet<QString> &favouriteCams() const { return m_favouriteCams; }
    const QSet<QString> &ownCams() const { return m_ownCams; }

    void setServerUrl(const QString &address) { m_serverUrl = address; }
    // camTable holds count cams and the spare slot.
    void setCams(QStringList camTable, int count, QSet<QString> ownCams = {});
    void setFavourites(QSet<QString> ids);
    void setFavourite(const QString &id, bool on);

signals:
    void camsChanged();
    void favouritesChanged();

private:
    QStringList m_camTable{QString()};
    int m_camCount = 0;
    QString m_serverUrl;
    QSet<QString> m_favouriteCams;
    QSet<QString> m_ownCams;
};
