#include "camcatalogue.h"

#include <utility>

void CamCatalogue::setCams(QStringList camTable, int count, QSet<QString> ownCams)
{
    m_camTable = std::move(camTable);
    m_camCount = count;
    m_ownCams = std::move(ownCams);
    emit camsChanged();
}

void CamCatalogue::setFavourites(QSet<QString> ids)
{
    if (ids == m_favouriteCams)
        return;
    m_favouriteCams = std::move(ids);
    emit favouritesChanged();
}

void CamCatalogue::setFavourite(const QString &id, bool on)
{
    if (m_favouriteCams.contains(id) == on)
        return;
    if (on)
        m_favouriteCams.insert(id);
    else
        m_favouriteCams.remove(id);
    emit favouritesChanged();
}
