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
    for (int i = 0; i < m_state.camCount; ++i) {
        const QStringList fields = CamRecord::split(m_state.camTable[i]);
        m_list.addRow(CamRecord::field(fields, CamRecord::CamName), CamRecord::field(fields, CamRecord::Rating));
    }
}

void CamSelection::selectListCam(int k)
{
    m_list.setNameHighlighted(m_state.currentCam, false);
    m_list.setSelectionShown(m_state.currentCam, false);
    m_list.setSelectionShown(k, true);
    m_list.setNameHighlighted(k, true);
}

void CamSelection::showCurrentCam()
{
    emit camChanged();
    m_state.currentCamFields = CamRecord::split(m_state.camTable.value(m_state.currentCam));
    // The old cam's comments must not rotate over the new cam until its own are in.
    m_state.emptyCommentTable();
    m_state.lastCommentIndex = -1;
    m_state.pictureAddress = CamRecord::field(m_state.currentCamFields, CamRecord::ImageUrl);
    emit pictureAddressChanged();
    emit eraseRequested();
    m_state.refreshCountdown = 0;
}

void CamSelection::pickRandomCam()
{
    m_state.reloadShuffleCountdown();
    // One draw whatever failed, so that with no failures the pick is the one it always was.
    const double u = m_random.generateDouble();
    const std::vector<int> left = camsNotFailedLately();
    goToCam(left.empty() ? int(u * m_state.camCount) : left[std::size_t(u * double(left.size()))]);
}

std::vector<int> CamSelection::camsNotFailedLately() const
{
    std::vector<int> left;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    bool anyFailed = false;
    for (auto it = m_state.camHealth.cbegin(); it != m_state.camHealth.cend() && !anyFailed; ++it)
        anyFailed = it.value().failedLately(now);
    if (!anyFailed)
        return left;
    for (int cam = 0; cam < m_state.camCount; ++cam) {
        // The id alone, not the whole line split: this runs over every cam at each pick.
        const QString id = CamRecord::idOf(m_state.camTable[cam]);
        const auto health = m_state.camHealth.constFind(id);
        if (health == m_state.camHealth.cend() || !health->failedLately(now))
            left.push_back(cam);
    }
    return left;
}

void CamSelection::goToCam(int k)
{
    selectListCam(k);
    m_list.scrollToCam(k);
    m_state.currentCam = k;
    showCurrentCam();
}

void CamSelection::rowClicked(int i)
{
    selectListCam(i);
    m_state.currentCam = i;
    showCurrentCam();
}

