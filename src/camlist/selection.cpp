#include "selection.h"

#include "app/runningstate.h"
#include "camlist/camlistwidget.h"
#include "catalogue/camrecord.h"
#include "status/countdown.h"
#include "windows/form1.h"

#include <QRandomGenerator>

CamSelection::CamSelection(RunningState &state, Form1 &form1, QRandomGenerator &random, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_form1(form1)
    , m_random(random)
{
}

void CamSelection::buildRows()
{
    CamListWidget &list = *m_form1.CamList;
    for (int i = 0; i < m_state.CamCount; ++i) {
        const QStringList fields = CamRecord::split(m_state.CamTable[i]);
        list.addRow(CamRecord::field(fields, CamRecord::CamName), CamRecord::field(fields, CamRecord::Rating));
    }
}

void CamSelection::SelectListCam(int k)
{
    CamListWidget &list = *m_form1.CamList;
    list.setNameHighlighted(m_state.CurrentCam, false);
    list.setSelectionShown(m_state.CurrentCam, false);
    list.setSelectionShown(k, true);
    list.setNameHighlighted(k, true);
}

void CamSelection::ShowCurrentCam()
{
    emit camChanged();
    m_state.CurrentCamFields = CamRecord::split(m_state.CamTable.value(m_state.CurrentCam));
    m_state.LastCommentIndex = -1;
    m_state.pictureAddress = CamRecord::field(m_state.CurrentCamFields, CamRecord::ImageUrl);
    m_form1.showState();
    emit eraseRequested();
    m_state.RefreshCountdown = 0;
}

void CamSelection::PickRandomCam()
{
    m_state.ShuffleCountdown = countdown::readInterval(m_state.shuffleIntervalText, m_state.ShuffleInterval);
    goToCam(int(m_random.generateDouble() * m_state.CamCount));
}

void CamSelection::goToCam(int k)
{
    SelectListCam(k);
    m_form1.CamList->ScrollToCam(k);
    m_state.CurrentCam = k;
    ShowCurrentCam();
}

void CamSelection::rowClicked(int i)
{
    SelectListCam(i);
    m_state.CurrentCam = i;
    ShowCurrentCam();
}

