#pragma once
// The status bar as screen readers see it: a status bar whose children are its five
// panels, each named as its tooltip names it and with the panel's text as its value.
// Panel interfaces are made with the bar's interface and go with it.
#include <QAccessibleWidget>

#include <array>

class StatusBar;

class StatusBarAccessible : public QAccessibleWidget
{
public:
    explicit StatusBarAccessible(StatusBar *bar);
    ~StatusBarAccessible() override;

    // Makes the status bar known to the accessibility framework; once is enough.
    static void install();

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;

private:
    std::array<QAccessible::Id, 5> m_panels{};
};
