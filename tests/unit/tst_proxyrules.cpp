// Which hosts go past the proxy.
#include "core/http/proxyrules.h"

#include <QTest>

class TestProxyRules : public QObject
{
    Q_OBJECT
private slots:
    void withLoopback_data();
    void withLoopback();
    void upperCaseListOnlyWhenLowerIsEmpty();
};

void TestProxyRules::withLoopback_data()
{
    QTest::addColumn<QString>("noProxy");
    QTest::addColumn<QString>("exempt");

    const QString loopback = QStringLiteral("localhost,127.0.0.0/8,::1");
    QTest::newRow("empty list") << "" << loopback;
    QTest::newRow("list with blanks and empty entries") << " a.test ,, 10.0.0.0/8 " << loopback + ",a.test,10.0.0.0/8";
    QTest::newRow("star among others") << "a.test, * " << "*";
}

void TestProxyRules::withLoopback()
{
    QFETCH(QString, noProxy);
    QFETCH(QString, exempt);
    QCOMPARE(proxy_rules::withLoopback(noProxy), exempt);
}

void TestProxyRules::upperCaseListOnlyWhenLowerIsEmpty()
{
    QCOMPARE(proxy_rules::noProxyList(QStringLiteral("a.test"), QStringLiteral("b.test")), QStringLiteral("a.test"));
    QCOMPARE(proxy_rules::noProxyList(QString(), QStringLiteral("b.test")), QStringLiteral("b.test"));
}

QTEST_APPLESS_MAIN(TestProxyRules)
#include "tst_proxyrules.moc"
