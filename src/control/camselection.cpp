#include "camselection.h"

#include "core/state/runningstate.h"
#include "core/catalogue/camrecord.h"
#include "core/rules/countdown.h"
#include "control/views.h"

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
    for (int i = 0; i < m_state.CamCount; ++i) {
        const QStringList fields = CamRecord::split(m_state.CamTable[i]);
        m_list.addRow(CamRecord::field(fields, CamRecord::CamName), CamRecord::field(fields, CamRecord::Rating));
    }
}

void CamSelection::selectListCam(int k)
{
    m_list.setNameHighlighted(m_state.CurrentCam, false);
    m_list.setSelectionShown(m_state.CurrentCam, false);
    m_list.setSelectionShown(k, true);
    m_list.setNameHighlighted(k, true);
}

void CamSelection::showCurrentCam()
{
    emit camChanged();
    m_state.CurrentCamFields = CamRecord::split(m_state.CamTable.value(m_state.CurrentCam));
    m_state.LastCommentIndex = -1;
    m_state.pictureAddress = CamRecord::field(m_state.CurrentCamFields, CamRecord::ImageUrl);
    emit pictureAddressChanged();
    emit eraseRequested();
    m_state.RefreshCountdown = 0;
}

void CamSelection::pickRandomCam()
{
    m_state.ShuffleCountdown = countdown::readInterval(m_state.shuffleIntervalText, m_state.ShuffleInterval);
    goToCam(int(m_random.generateDouble() * m_state.CamCount));
}

void CamSelection::goToCam(int k)
{
    selectListCam(k);
    m_list.scrollToCam(k);
    m_state.CurrentCam = k;
    showCurrentCam();
}

void CamSelection::rowClicked(int i)
{
    selectListCam(i);
    m_state.CurrentCam = i;
    showCurrentCam();
}

