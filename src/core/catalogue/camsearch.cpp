#include "camsearch.h"

#include "core/catalogue/camrecord.h"
#include "core/catalogue/servertext.h"

#include <algorithm>
#include <numeric>

namespace cam_search {

QString folded(const QString &text)
{
    // Most names are plain ASCII, where lower case is all there is to do.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLower();
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString result;
    result.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing || c.category() == QChar::Mark_Enclosing
            || c.category() == QChar::Mark_SpacingCombining)
            continue;
        result.append(c);
    }
    // Case folding rather than lower case: ß becomes ss, as a user types it.
    return result.toCaseFolded().replace(QChar(0xDF), QLatin1String("ss"));
}

void Index::build(const QStringList &camTable, int camCount)
{
    m_texts.clear();
    m_texts.reserve(std::size_t(std::max(0, camCount)));
    for (int i = 0; i < camCount && i < camTable.size(); ++i) {
        const QStringList fields = CamRecord::split(camTable[i]);
        // As the list and the description show them; a line break in a description is
        // no word to find.
        QString description = server_text::shown(CamRecord::field(fields, CamRecord::Description), server_text::BlockLimit);
        description.replace(QLatin1String("<br>"), QLatin1String("\n"), Qt::CaseInsensitive);
        m_texts.push_back(folded(server_text::shown(CamRecord::field(fields, CamRecord::CamName), server_text::LineLimit)
                                 + QLatin1Char('\n') + description));
    }
    m_lastQuery.clear();
    m_lastMatches.resize(m_texts.size());
    std::iota(m_lastMatches.begin(), m_lastMatches.end(), 0);
}

const std::vector<int> &Index::matches(const QString &query)
{
    const QString wanted = folded(query);
    // A longer query can only match fewer cams: look among the last matches only.
    const bool narrowing = wanted.startsWith(m_lastQuery) && !m_lastQuery.isEmpty();
    std::vector<int> found;
    if (wanted.isEmpty()) {
        found.resize(m_texts.size());
        std::iota(found.begin(), found.end(), 0);
    } else if (narrowing) {
        for (int i : m_lastMatches)
            if (m_texts[std::size_t(i)].contains(wanted))
                found.push_back(i);
    } else {
        for (std::size_t i = 0; i < m_texts.size(); ++i)
            if (m_texts[i].contains(wanted))
                found.push_back(int(i));
    }
    m_lastQuery = wanted;
    m_lastMatches = std::move(found);
    return m_lastMatches;
}

} // namespace cam_search
