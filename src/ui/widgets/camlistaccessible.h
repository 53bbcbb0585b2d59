#pragma once
// The cam list as screen readers see it: a list whose children are the rows shown (named
// by their cam's name, selected where the highlight is), then the list's own widgets.
// Rows are made when first asked for and live as long as the list's interface. A row's
// description tells its mark (failed, unchanged), if any.
#include <QAccessibleWidget>
#include <QHash>

class CamListWidget;

class CamListAccessible : public QAccessibleWidget
{
public:
    explicit CamListAccessible(CamListWidget *list);
    ~CamListAccessible() override;

    // Makes the list known to the accessibility framework; once is enough.
    static void install();
    // Tells screen readers that a row's mark changed, if any is listening.
    static void markChanged(CamListWidget *list, int cam);

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    // The row of a cam, or null where it is filtered out.
    QAccessibleInterface *row(int cam) const;

private:
    CamListWidget *list() const;

    mutable QHash<int, QAccessible::Id> m_rows; // cam -> registered row interface
};
