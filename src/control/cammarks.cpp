#include "cammarks.h"

#include "core/catalogue/camrecord.h"
#include "core/state/runningstate.h"

CamMarks::CamMarks(RunningState &state, CamMarkView &view, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_view(view)
{
}

CamMark CamMarks::markFor(const CamHealth &health)
{
    if (health.failuresInARow > 0)
        return CamMark::Failed;
    return health.unchangedSinceMs != 0 ? CamMark::Unchanged : CamMark::None;
}

void CamMarks::update()
{
    // The table only grows at start-up (the server's cams, then the user's own).
    if (m_rowsCount != m_state.catalogue.camCount()) {
        m_rowsOfCam.clear();
        for (int row = 0; row < m_state.catalogue.camCount(); ++row)
            m_rowsOfCam.insert(CamRecord::idOf(m_state.catalogue.camTable().value(row)), row);
        m_rowsCount = m_state.catalogue.camCount();
    }
    QHash<int, CamMark> marks;
    for (auto it = m_state.health.all().cbegin(); it != m_state.health.all().cend(); ++it) {
        const CamMark mark = markFor(it.value());
        if (mark == CamMark::None)
            continue;
        for (auto row = m_rowsOfCam.constFind(it.key()); row != m_rowsOfCam.cend() && row.key() == it.key(); ++row)
            marks.insert(row.value(), mark);
    }
    for (auto it = m_shown.cbegin(); it != m_shown.cend(); ++it) {
        if (!marks.contains(it.key()))
            m_view.showCamMark(it.key(), CamMark::None);
    }
    for (auto it = marks.cbegin(); it != marks.cend(); ++it) {
        if (m_shown.value(it.key(), CamMark::None) != it.value())
            m_view.showCamMark(it.key(), it.value());
    }
    m_shown = std::move(marks);
}
