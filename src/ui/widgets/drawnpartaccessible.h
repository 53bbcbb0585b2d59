#pragma once
// One part of a widget that the widget draws itself (a row of the cam list, a panel of the
// status bar), as screen readers see it: a child with a role, a name, a value, a place and
// a selection of its own. The functions describe the part while it exists; valid() false
// means the widget or the part has gone, and the interface then reports nothing.
#include <QAccessibleInterface>
#include <QPointer>
#include <QWidget>

#include <functional>

struct DrawnPart
{
    QAccessible::Role role = QAccessible::StaticText;
    std::function<bool()> valid;
    std::function<QString(QAccessible::Text)> text;
    std::function<QRect()> localRect;  // in the widget's own coordinates
    std::function<bool()> selected;    // empty: not selectable
    std::function<bool()> checked;     // empty: not checkable
};

// Makes every Widget known to screen readers through an Accessible made from it; once is
// enough.
template <class Widget, class Accessible>
void installAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory([](const QString &, QObject *object) -> QAccessibleInterface * {
            auto *widget = qobject_cast<Widget *>(object);
            return widget ? new Accessible(widget) : nullptr;
        });
        return true;
    }();
    (void)installed;
}

class DrawnPartAccessible : public QAccessibleInterface
{
public:
    DrawnPartAccessible(QWidget *owner, DrawnPart part);

    bool isValid() const override;
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString &) override {}
    QAccessible::Role role() const override { return m_part.role; }
    QRect rect() const override;
    QAccessible::State state() const override;

private:
    QPointer<QWidget> m_owner;
    DrawnPart m_part;
};
