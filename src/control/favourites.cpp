#include "favourites.h"

#include "control/views.h"
#include "core/catalogue/camrecord.h"
#include "core/catalogue/servertext.h"
#include "core/files/favouritesfile.h"
#include "core/state/favouritetexts.h"
#include "core/state/runningstate.h"

Favourites::Favourites(RunningState &state, CamListView &list, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_list(list)
{
}

QString Favourites::camId(int cam) const
{
    return CamRecord::idOf(m_state.catalogue.camTable().at(cam));
}

void Favourites::load(const QString &file)
{
    m_file = file;
    const favourites_file::Content content = favourites_file::read(file);
    m_writable = content.problem.isEmpty();
    if (!m_writable)
        emit warning(favourite_texts::FavouritesUnreadable.arg(file, content.problem));
    m_fileIds = content.ids;
    m_fileIds.removeDuplicates();
    const QSet<QString> wanted(m_fileIds.cbegin(), m_fileIds.cend());
    QSet<QString> favourites;
    for (int cam = 0; cam < m_state.catalogue.camCount(); ++cam) {
        const QString id = camId(cam);
        if (wanted.contains(id) && !favourites.contains(id)) {
            favourites.insert(id);
            m_list.setFavouriteShown(cam, true);
        }
        if (m_state.catalogue.ownCams().contains(id))
            m_list.setOwnShown(cam, true);
    }
    m_state.catalogue.setFavourites(favourites);
    emit favouritesChanged();
}

void Favourites::toggle(int cam)
{
    if (cam < 0 || cam >= m_state.catalogue.camCount())
        return;
    const QString id = camId(cam);
    const bool on = !m_state.catalogue.favouriteCams().contains(id);
    m_state.catalogue.setFavourite(id, on);
    if (on)
        m_fileIds.append(id);
    else
        m_fileIds.removeAll(id);
    m_list.setFavouriteShown(cam, on);
    const QString name = server_text::shown(CamRecord::field(CamRecord::split(m_state.catalogue.camTable().at(cam)), CamRecord::CamName),
                                            server_text::LineLimit);
    emit statusMessage(on ? favourite_texts::added(name) : favourite_texts::removed(name));
    emit favouritesChanged();
    if (!m_writable) {
        if (!m_toldNotKept)
            emit warning(favourite_texts::FavouritesNotKept.arg(m_file, favourite_texts::KeptAsFound));
        m_toldNotKept = true;
        return;
    }
    const QString why = favourites_file::write(m_file, m_fileIds);
    if (!why.isEmpty())
        emit warning(favourite_texts::FavouritesNotKept.arg(m_file, why));
}

void Favourites::toggleCurrent()
{
    toggle(m_state.selection.currentCam());
}
