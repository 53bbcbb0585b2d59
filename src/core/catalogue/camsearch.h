#pragma once
// Finding cams by a piece of their name or description, as a user types it: letter case and
// accents do not count ("gansemarkt" finds "Gänsemarkt", "CAFE" finds "Café"), and the text
// is looked for anywhere in the name or the description.
//
// The index folds every cam's text once; each query then only compares. A query that
// extends the one before looks only among that one's matches, so typing a word costs less
// with every letter.
#include <QString>
#include <QStringList>

#include <vector>

namespace cam_search {

// Lower case, accents and other combining marks dropped, ß as ss, blanks kept as they are.
QString folded(const QString &text);

class Index
{
public:
    // The first camCount lines of the cam table (name and description of each).
    void build(const QStringList &camTable, int camCount);
    int size() const { return int(m_texts.size()); }

    // The cams, in table order, whose name or description holds query; every cam for an
    // empty query.
    const std::vector<int> &matches(const QString &query);

private:
    std::vector<QString> m_texts; // folded "name\ndescription" per cam
    QString m_lastQuery;          // folded
    std::vector<int> m_lastMatches;
};

} // namespace cam_search
