#include "camselection.h"

#include "control/views.h"
#include "core/catalogue/camrecord.h"
#include "core/state/runningstate.h"

#include <QRandomGenerator>

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
    goToCam(int(m_random.generateDouble() * m_state.camCount));
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

