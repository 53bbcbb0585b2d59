#include "camselection.h"

#include "control/views.h"
#include "core/catalogue/camrecord.h"
#include "core/state/runningstate.h"

#include <QDateTime>
#include <QRandomGenerator>

#include <vector>

CamSelection::CamSelection(RunningState &state, CamListView &list, QRandomGenerator &random, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_list(list)
    , m_random(random)
{
}

void CamSelection::buildRows()
{
    for (int i = 0; i < m_state.catalogue.camCount(); ++i) {
        const QStringList fields = CamRecord::split(m_state.catalogue.camTable()[i]);
        m_list.addRow(CamRecord::field(fields, CamRecord::CamName), CamRecord::field(fields, CamRecord::Rating));
    }
}

void CamSelection::selectListCam(int k)
{
    m_list.setNameHighlighted(m_state.selection.currentCam(), false);
    m_list.setSelectionShown(m_state.selection.currentCam(), false);
    m_list.setSelectionShown(k, true);
    m_list.setNameHighlighted(k, true);
}

void CamSelection::showCam(int k)
{
    emit camChanged();
    // The old cam's comments must not rotate over the new cam until its own are in.
    const QStringList fields = CamRecord::split(m_state.catalogue.camTable().value(k));
    m_state.selection.select(k, fields, CamRecord::field(fields, CamRecord::ImageUrl));
    emit eraseRequested();
    m_state.countdowns.setRefresh(0);
}

void CamSelection::pickRandomCam()
{
    m_state.reloadShuffleCountdown();
    // One draw whatever failed, so that with no failures the pick is the one it always was.
    const double u = m_random.generateDouble();
    const std::vector<int> left = camsNotFailedLately();
    goToCam(left.empty() ? int(u * m_state.catalogue.camCount()) : left[std::size_t(u * double(left.size()))]);
}

std::vector<int> CamSelection::camsNotFailedLately() const
{
    std::vector<int> left;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    bool anyFailed = false;
    const QHash<QString, CamHealth> &health = m_state.health.all();
    for (auto it = health.cbegin(); it != health.cend() && !anyFailed; ++it)
        anyFailed = it.value().failedLately(now);
    if (!anyFailed)
        return left;
    for (int cam = 0; cam < m_state.catalogue.camCount(); ++cam) {
        // The id alone, not the whole line split: this runs over every cam at each pick.
        const QString id = CamRecord::idOf(m_state.catalogue.camTable()[cam]);
        if (!m_state.health.of(id).failedLately(now))
            left.push_back(cam);
    }
    return left;
}

void CamSelection::goToCam(int k)
{
    selectListCam(k);
    m_list.scrollToCam(k);
    showCam(k);
}

void CamSelection::rowClicked(int i)
{
    selectListCam(i);
    showCam(i);
}

