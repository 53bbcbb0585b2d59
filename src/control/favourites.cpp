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
    return CamRecord::idOf(m_state.camTable.at(cam));
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
    m_state.favouriteCams.clear();
    for (int cam = 0; cam < m_state.camCount; ++cam) {
        const QString id = camId(cam);
        if (wanted.contains(id) && !m_state.favouriteCams.contains(id)) {
            m_state.favouriteCams.insert(id);
            m_list.setFavouriteShown(cam, true);
        }
        if (m_state.ownCams.contains(id))
            m_list.setOwnShown(cam, true);
    }
    emit favouritesChanged();
}

void Favourites::toggle(int cam)
{
    if (cam < 0 || cam >= m_state.camCount)
        return;
    const QString id = camId(cam);
    const bool on = !m_state.favouriteCams.contains(id);
    if (on) {
        m_state.favouriteCams.insert(id);
        m_fileIds.append(id);
    } else {
        m_state.favouriteCams.remove(id);
        m_fileIds.removeAll(id);
    }
    m_list.setFavouriteShown(cam, on);
    const QString name = server_text::shown(CamRecord::field(CamRecord::split(m_state.camTable.at(cam)), CamRecord::CamName),
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
    toggle(m_state.currentCam);
}
