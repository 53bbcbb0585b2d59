// Which hosts a no_proxy list sends past the proxy.
#include "core/http/proxyrules.h"

#include <QTest>

class TestProxyRules : public QObject
{
    Q_OBJECT
private slots:
    void bypassesProxy_data();
    void bypassesProxy();
    void upperCaseListOnlyWhenLowerIsEmpty();
};

void TestProxyRules::bypassesProxy_data()
{
    QTest::addColumn<QString>("noProxy");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("direct");

    QTest::newRow("star") << "*" << "cams.example.test" << 80 << true;
    QTest::newRow("empty list") << "" << "cams.example.test" << 80 << false;
    QTest::newRow("bare domain covers a name under it") << "example.test" << "cams.example.test" << 80 << true;
    QTest::newRow("bare domain covers itself") << "example.test" << "example.test" << 80 << true;
    QTest::newRow("leading dot") << ".example.test" << "cams.example.test" << 80 << true;
    QTest::newRow("leading dot covers the domain itself") << ".example.test" << "example.test" << 80 << true;
    QTest::newRow("only whole labels") << "example.test" << "badexample.test" << 80 << false;
    QTest::newRow("list with blanks") << " other.test ,  example.test " << "cams.example.test" << 80 << true;
    QTest::newRow("empty entries") << ",,other.test," << "cams.example.test" << 80 << false;
    QTest::newRow("case and final dot") << "Example.TEST." << "CAMS.example.test." << 443 << true;
    QTest::newRow("port given, same") << "example.test:8080" << "cams.example.test" << 8080 << true;
    QTest::newRow("port given, other") << "example.test:8080" << "cams.example.test" << 80 << false;
    QTest::newRow("address exactly") << "10.0.0.1" << "10.0.0.1" << 80 << true;
    QTest::newRow("no suffix match for addresses") << "0.0.1" << "10.0.0.1" << 80 << false;
    QTest::newRow("IPv6 address") << "::1, fe80::2" << "fe80::2" << 80 << true;
    QTest::newRow("IPv6 address with port") << "[fe80::2]:81" << "fe80::2" << 80 << false;
}

void TestProxyRules::bypassesProxy()
{
    QFETCH(QString, noProxy);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, direct);
    QCOMPARE(proxy_rules::bypassesProxy(noProxy, host, port), direct);
}

void TestProxyRules::upperCaseListOnlyWhenLowerIsEmpty()
{
    QCOMPARE(proxy_rules::noProxyList(QStringLiteral("a.test"), QStringLiteral("b.test")), QStringLiteral("a.test"));
    QCOMPARE(proxy_rules::noProxyList(QString(), QStringLiteral("b.test")), QStringLiteral("b.test"));
}

QTEST_APPLESS_MAIN(TestProxyRules)
#include "tst_proxyrules.moc"
